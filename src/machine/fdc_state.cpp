// The floppy controller's saved-state section (563 bytes) and its parts of the
// extension. The images are not in the file: their paths are, and the
// restore inserts them again.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/app.h"
#include "host/dialogs.h"
#include "machine/diskimg.h"
#include "machine/fdc.h"
#include "machine/psg.h"
#include "machine/sections.h"

namespace {
// The path stored in a name field: at most its length byte's count of
// characters, and never past a NUL.
std::string stored_path(const u8* name) {
  std::string path;
  for (u32 i = 1; i <= name[0] && name[i] != 0; ++i) path += char(name[i]);
  return path;
}

// Whether path is the application folder's own disk1.st or disk2.st (the
// same file, by whatever name the state gives it).
bool own_disk(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  for (const char* name : {"/disk1.st", "/disk2.st"}) {
    struct stat own;
    const std::string p = APP_Folder.path + name;
    if (stat(p.c_str(), &own) == 0 && own.st_dev == st.st_dev && own.st_ino == st.st_ino)
      return true;
  }
  return false;
}
// Whether drive d holds the image at path (the same file, by whatever name).
bool holds(u32 d, const std::string& path) {
  if (!(DISKIMG_InsertedMask & (1u << d))) return false;
  const std::string held = stored_path(d ? DISKIMG_NameB : DISKIMG_NameA);
  struct stat a, b;
  if (held == path) return true;
  return stat(held.c_str(), &a) == 0 && stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

void refuse_drive(char letter, const std::string& why) {
  DLG_SetAlertText((std::string("Cant insert a disk in drive ") + letter + ", " + why).c_str());
  DLG_Alert(7, 1);
}

// Puts the image the state names into drive d, or leaves it empty when the
// state's drive was. The image the drive holds stays when it is that one
// (opened at the start, or never ejected); any other goes: the restored ST
// knows the state's disk, its directory and free space, and would write
// them onto whatever disk it found there.
void restore_drive(u32 d, bool inserted, const u8* name) {
  const char letter = d ? 'B' : 'A';
  if (!inserted) {
    DISKIMG_Eject(letter);
    return;
  }
  if (name[0] == 255) {
    // Cut to the field's length, the path may name another file: the drive
    // keeps only an image whose path was cut the same, else stays empty
    // (the extension's digest then tells whether it is that image).
    const u8* kept = name + (name[1] == 0 ? 2 : 1);
    const std::string start(kept, std::find(kept, name + 256, 0));
    const u8* held = d ? DISKIMG_NameB : DISKIMG_NameA;
    if ((DISKIMG_InsertedMask & (1u << d)) && held[0] == 255 &&
        stored_path(held).compare(0, start.size(), start) == 0)
      return;
    DISKIMG_Eject(letter);
    refuse_drive(letter, "the saved state holds only the start of its path: " + start + "...");
    return;
  }
  const std::string path = stored_path(name);
  if (!path.empty() && holds(d, path)) return;
  DISKIMG_Eject(letter);
  if (path.empty()) return;
  // A state file may name any file of the host: only the folder's own disks
  // go in as the user protects them, any other is only read. An image that
  // is gone (or no regular file) leaves the drive empty, and the
  // insertion's alert says why.
  if (DISKIMG_Insert(path.c_str(), letter, !own_disk(path)))
    std::puts(d ? "Restored drive B" : "Restored drive A");
}

// Tells one image from another: its size (at most 32 bits of it) and a hash
// of its bytes (the first 4 MB of a larger file). 0 and 0 for an empty drive.
struct Digest {
  u32 size, hash;
  bool operator==(const Digest&) const = default;
};
Digest digest_of(u32 d) {
  if (!(DISKIMG_InsertedMask & (1u << d)) || DISKIMG_Files[d] < 0) return {0, 0};
  const u64 size = DISKIMG_ImageSize[d];
  // Four lanes of eight bytes, hashed side by side.
  u64 lane[4] = {0xcbf29ce484222325, 1, 2, 3};
  static u64 chunk[32768];
  for (u64 at = 0; at < std::min<u64>(size, 4u << 20);) {
    const ssize_t got = pread(DISKIMG_Files[d], chunk, sizeof chunk, off_t(at));
    if (got <= 0) break;
    // A short tail's missing bytes count as zeros.
    const size_t words = (size_t(got) + 31) / 32 * 4;
    std::memset(reinterpret_cast<u8*>(chunk) + got, 0, words * 8 - size_t(got));
    for (size_t i = 0; i < words; i += 4)
      for (u32 k = 0; k < 4; ++k) lane[k] = (lane[k] ^ chunk[i + k]) * 0x100000001b3;
    at += u64(got);
  }
  const u64 hash = lane[0] ^ (lane[1] * 3) ^ (lane[2] * 5) ^ (lane[3] * 7);
  return {u32(std::min<u64>(size, 0xffffffff)), u32(hash ^ (hash >> 32))};
}

}  // namespace

void DISKIMG_SaveState(StateWriter& w) {
  for (u32 r : DMA_Regs) w.u32v(r);
  for (u32 r : FDC_Regs) w.u32v(r);
  w.u32v(PSG_PortA);
  w.bytes(DMA_Address, 3);
  w.u32v(DISKIMG_InsertedMask);
  for (const u8* name : {DISKIMG_NameA, DISKIMG_NameB}) {
    // A path the field can't hold whole (255 bytes or more) is marked as
    // cut by a NUL before its first bytes: no reader takes it for the path
    // of an image (an older one sees an empty name).
    if (name[0] < 255) {
      w.bytes(name, 256);
    } else {
      w.u8v(255);
      w.u8v(0);
      w.bytes(name + 1, 254);
    }
  }
}

bool DISKIMG_RestoreState(StateReader& r) {
  u32 dma[4], fdc[6];
  for (u32& v : dma) v = r.u32v();
  for (u32& v : fdc) v = r.u32v();
  const u32 portA = r.u32v();
  u8 address[3];
  r.bytes(address, 3);
  const u32 mask = r.u32v();
  const u8* names[2] = {r.view(256), r.view(256)};
  if (!r.ok()) return false;
  // The mask's bits pick drives; the DMA registers are 16-bit words and the
  // sector count, which sizes a transfer, one byte; port A is one byte.
  if (mask > 3 || portA > 0xff) return false;
  for (u32 v : dma)
    if (v > 0xffff) return false;
  if (dma[DMA_Count] > 0xff) return false;
  if (!r.applying()) return true;
  for (u32 d = 0; d < 2; ++d) restore_drive(d, (mask >> d) & 1, names[d]);
  // After the insertions, which put a new image's head and the track and
  // data registers at 0.
  for (u32 i = 0; i < 4; ++i) DMA_Regs[i] = dma[i];
  for (u32 i = 0; i < 6; ++i) FDC_Regs[i] = fdc[i];
  PSG_PortA = portA;
  for (u32 i = 0; i < 3; ++i) DMA_Address[i] = address[i];
  return true;
}

void DISKIMG_SaveExtension(StateWriter& w) {
  w.i32v(DISKIMG_Drives[0].headTrack);
  w.i32v(DISKIMG_Drives[1].headTrack);
  w.i32v(FDC_StepDir);
  for (u32 d = 0; d < 2; ++d) {
    const Digest g = digest_of(d);
    w.u32v(g.size);
    w.u32v(g.hash);
  }
}

bool DISKIMG_RestoreExtension(StateReader& r) {
  i32 heads[2];
  for (i32& h : heads) h = r.i32v();
  const i32 dir = r.i32v();
  Digest digests[2];
  for (Digest& g : digests) g.size = r.u32v(), g.hash = r.u32v();
  if (!r.ok() || (dir != 1 && dir != -1)) return false;
  // A head stands on a track of an image (or one past its last, where a
  // step in can take it), whose track count a boot sector gives in 16 bits.
  for (i32 h : heads)
    if (h < DISKIMG_HeadUnknown || h > 0x10000) return false;
  if (!r.applying()) return true;
  // The heads are the drives', whatever disk the restore left in them.
  for (u32 d = 0; d < 2; ++d) DISKIMG_Drives[d].headTrack = heads[d];
  FDC_StepDir = dir;
  // An image that changed since the state was saved (written by the run
  // that went on, or replaced by another of its name) is not the disk the
  // restored ST knows: the drive stays empty, and the ST, seeing it empty,
  // reads the disk afresh once the user puts it back.
  for (u32 d = 0; d < 2; ++d) {
    if (!(DISKIMG_InsertedMask & (1u << d)) || digest_of(d) == digests[d]) continue;
    const std::string path = stored_path(d ? DISKIMG_NameB : DISKIMG_NameA);
    DISKIMG_Eject(d ? 'B' : 'A');
    refuse_drive(d ? 'B' : 'A', path + " is not the disk the state was saved with (it changed since)");
  }
  return true;
}

void DISKIMG_ExtensionAbsent() {
  // Where the heads stood is not known (a drive that kept its image has its
  // head where this start left it, not where the ST left it). The ST keeps
  // each drive's track and puts it in the track register before it uses
  // the drive: each head is taken to be there when its drive is next used,
  // so no sector is read from or written to another track than the ST means.
  for (DISKIMG_Drive& g : DISKIMG_Drives) g.headTrack = DISKIMG_HeadUnknown;
}

void DISKIMG_SaveGeometry(StateWriter& w) {
  for (const DISKIMG_Drive& g : DISKIMG_Drives) {
    w.i32v(g.sides);
    w.i32v(g.tracks);
    w.i32v(g.sectorsPerTrack);
  }
}

bool DISKIMG_RestoreGeometry(StateReader& r) {
  i32 geometry[2][3];
  for (auto& g : geometry)
    for (i32& v : g) v = r.i32v();
  if (!r.ok()) return false;
  // As an insertion reads them: at most two sides, a boot sector's 16-bit
  // count of tracks and its byte of sectors a track.
  for (const auto& g : geometry)
    if (u32(g[0]) > 2 || u32(g[1]) > 0xffff || u32(g[2]) > 0xff) return false;
  if (!r.applying()) return true;
  // A drive that holds the state's image reads it as the saved machine did,
  // whatever its boot sector says now: the ST may have written another
  // since it went in, and the sectors it wrote stand where the geometry it
  // went in with put them.
  for (u32 d = 0; d < 2; ++d) {
    if (!(DISKIMG_InsertedMask & (1u << d))) continue;
    DISKIMG_Drive& g = DISKIMG_Drives[d];
    g.sides = geometry[d][0];
    g.tracks = geometry[d][1];
    g.sectorsPerTrack = geometry[d][2];
    // As at an insertion: without sectors a track every track lands on the
    // first, and such an image is only read.
    if (g.sectorsPerTrack < 1) {
      DISKIMG_AlwaysProtected[d] = 1;
      DISKIMG_WriteProtect[d] = 0x40;
    }
  }
  return true;
}
