// The floppy controller's saved-state section (563 bytes) and its parts of the
// extension. The images are not in the file: their paths are, with what
// tells each image (its digest), the geometry it went in with and whether
// the ST could write it; the restore inserts them again.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/files.h"
#include "host/app.h"
#include "host/dialogs.h"
#include "host/options.h"
#include "machine/diskimg.h"
#include "machine/fdc.h"
#include "machine/psg.h"
#include "machine/sections.h"

namespace {

// Each drive's access as saved: the image went in for writing (no insertion
// rule protects it), and the ST could write it (the user's toggle did not
// protect it either); which of the application folder's own disks it was.
constexpr u32 access_image_writable = 1, access_st_writes = 2;
constexpr u32 access_own_shift = 8, access_known_bits = 0x303;

// What a restore puts back, gathered from the section and the extension's
// blocks while they are stored, and carried out once all of them are.
struct Plan {
  u32 mask;
  u8 names[2][256];
  u32 dma[4], fdc[6], portA;
  u8 address[3];
  bool digestsKnown;  // the extension's first block: heads, step direction, digests
  i32 heads[2], stepDir;
  DISKIMG_Digest digests[2];
  bool geometryKnown;  // its second: each drive's geometry
  i32 geometry[2][3];
  bool accessKnown;  // its third: each drive's access
  u32 access[2];
  bool sensorKnown;  // its fourth: where each drive's sensor stood
  DISKIMG_Sensor phase[2];
  u32 phaseFrames[2];
} plan;

// The path stored in a name field: at most its length byte's count of
// characters, and never past a NUL.
std::string stored_path(const u8* name) {
  std::string path;
  for (u32 i = 1; i <= name[0] && name[i] != 0; ++i) path += char(name[i]);
  return path;
}

// Whether two names name one file (or are the same words, for a name
// nothing is at).
bool same_file(const std::string& a, const std::string& b) {
  const auto fa = FILES_IdOf(a), fb = FILES_IdOf(b);
  return a == b || (fa && fb && *fa == *fb);
}

// The application folder's own disk: disk1.st (1) or disk2.st (2).
std::string own_path(u32 which) { return APP_Folder.path + (which == 1 ? "/disk1.st" : "/disk2.st"); }

// Which of the folder's own disks the file is (0 neither).
u32 own_index(const std::optional<FILES_Id>& id) {
  for (u32 which = 1; which <= 2; ++which)
    if (id && FILES_IdOf(own_path(which)) == id) return which;
  return 0;
}

void refuse_drive(char letter, const std::string& why) {
  DLG_SetAlertText((std::string("Cant insert a disk in drive ") + letter + ", " + why).c_str());
  DLG_Alert(7, 1);
}

// 0 and 0 for an empty drive.
DISKIMG_Digest digest_of(u32 d) {
  if (!(DISKIMG_InsertedMask & (1u << d)) || DISKIMG_Files[d] < 0) return {0, 0};
  return DISKIMG_DigestOf(DISKIMG_Files[d], DISKIMG_ImageSize[d]);
}

// The first sector of the file at path and, when `digest` is given, its
// digest, both of the image a drive would hold of it (a compressed or MSA
// image's expansion): Plain when it goes in as it is, Packed when it goes
// in as its expansion, None when it is no file an insertion opens (or,
// asked for the digest, no image it expands).
enum class Peek { None, Plain, Packed };
Peek peek(const std::string& path, DISKIMG_Digest* digest, u8* bootSector) {
  std::string why;
  const int fd = FILES_OpenRegular(path.c_str(), O_RDONLY, why);
  if (fd < 0) return Peek::None;
  std::memset(bootSector, 0, 512);
  const bool read = pread(fd, bootSector, 512, 0) >= 0;
  close(fd);
  if (!read) return Peek::None;
  const bool packed = (bootSector[0] == 0x1f && bootSector[1] == 0x8b) ||
                      (bootSector[0] == 0x0e && bootSector[1] == 0x0f);
  const Peek kind = packed ? Peek::Packed : Peek::Plain;
  if (digest && !DISKIMG_DigestOfFile(path.c_str(), *digest, bootSector, why)) return Peek::None;
  return kind;
}

// ---- Which file is the state's image ----

// What the restore found for a drive: the state's image, or none (the drive
// stays empty; `refusal` then says what each file looked at is, unless the
// state's drive was empty).
struct Found {
  std::string path;      // the image; empty for none
  bool held = false;     // the drive holds that very file already
  bool asIs = false;     // a cut name: the drive keeps the image it holds
  Peek kind = Peek::None;
  u8 bootSector[512] = {};
  std::string refusal;   // the alert's words after "Cant insert a disk in drive X, "
};

// Whether the file c, looked at for drive d, is the state's image; fills f
// with what it is.
bool is_states_image(u32 d, const std::string& c, Found& f) {
  f.held = DISKIMG_Holds(d, c.c_str());
  DISKIMG_Digest got{};
  f.kind = peek(c, f.held || !plan.digestsKnown ? nullptr : &got, f.bootSector);
  // A drive knows what it took in: its first bytes may have been written
  // since to look like a packed image's, or no longer do.
  if (f.held) f.kind = DISKIMG_WhyProtected[d] == DISKIMG_Protection::Copy ? Peek::Packed : Peek::Plain;
  const DISKIMG_Digest want = plan.digests[d];
  // A state of a build before the digests tells no image: the one it
  // names is taken as it is.
  const bool found = !plan.digestsKnown ? f.held || f.kind != Peek::None
                     : f.held           ? digest_of(d) == want
                                        : f.kind != Peek::None && got == want;
  if (found) f.path = c;
  return found;
}

// The state's image for drive d: the application folder's own disk the
// state held (the folder may have been renamed, moved or copied since),
// then the one the state names (from another folder, say, when this
// folder's disk of that name is another disk), and when the image named is
// gone, the folder's own disk of that drive; the first with the state's
// digest. The restored ST knows the state's disk, its directory and free
// space, and would write them onto whatever disk it found there: no other
// disk is ever taken for it.
Found find_image(u32 d) {
  Found f;
  if (!((plan.mask >> d) & 1)) return f;
  const u8* name = plan.names[d];
  const u32 own = plan.accessKnown ? (plan.access[d] >> access_own_shift) & 3 : 0;
  const bool ownThere = own && FILES_IdOf(own_path(own));
  if (name[0] == 255 && !ownThere) {
    // Cut to the field's length, the path may name another file: the drive
    // keeps only an image whose path was cut the same, else stays empty
    // (the digest then tells whether it is that image). It keeps it as it
    // is, unless it writes what the state's ST could not: that ST's idea
    // of the disk may be older than the image (another drive wrote it).
    const u8* kept = name + (name[1] == 0 ? 2 : 1);
    const std::string start(kept, std::find(kept, name + 256, 0));
    const u8* held = d ? DISKIMG_NameB : DISKIMG_NameA;
    const bool stateReads = plan.accessKnown && !(plan.access[d] & access_image_writable);
    f.refusal = "the saved state holds only the start of its path: " + start + "...";
    if (!(DISKIMG_InsertedMask & (1u << d)) || held[0] != 255 ||
        stored_path(held).compare(0, start.size(), start) != 0)
      return f;
    if (stateReads && DISKIMG_Writer(d))
      f.refusal += ", and the drive writes the image the state's ST had write-protected";
    else
      f.held = f.asIs = true;
    return f;
  }
  const std::string named = name[0] == 255 ? own_path(own) : stored_path(name);
  if (named.empty()) return f;

  std::vector<std::string> candidates;
  const auto consider = [&](const std::string& c) {
    for (const std::string& known : candidates)
      if (same_file(known, c)) return;
    candidates.push_back(c);
  };
  if (ownThere) consider(own_path(own));
  consider(named);
  if (plan.digestsKnown && !FILES_IdOf(named)) consider(own_path(d + 1));
  for (const std::string& c : candidates)
    if (is_states_image(d, c, f)) return f;
  f.held = false;
  // None is: the drive stays empty, and the ST, seeing it empty, reads the
  // disk afresh once the user puts it back. The alert says what each file
  // looked at is: the image the state names gone, or changed since the save
  // (written by the run that went on, or replaced by another of its name);
  // this folder's own disk another disk.
  for (const std::string& c : candidates) {
    std::string why;
    const bool isNamed = same_file(c, named);
    const int fd = FILES_OpenRegular(c.c_str(), O_RDONLY, why);
    if (fd >= 0) {
      close(fd);
      // One no drive can take now (an image that can't be unpacked or
      // expanded) is said to be so: it may well be the state's disk.
      if (DISKIMG_CheckImage(c.c_str(), why)) {
        why = isNamed ? "is not the disk the state was saved with (it changed since)"
                      : "is this folder's own disk, another disk than the one the state was saved with";
      }
    } else if (!isNamed && !FILES_IdOf(c)) {
      continue;  // this folder has no such disk
    }
    f.refusal += (f.refusal.empty() ? "" : "; ") + c + " " + why;
  }
  return f;
}

// ---- Whether it is written ----

// Why the state's word keeps its image, found for drive d, from being
// written; empty when the state lets it be. A state may name any file of
// the host: only the folder's own disks go in as the user protects them,
// and any other only when the state shows that its ST could write it and
// the file is that very image, a floppy image of the state's geometry. An
// image the ST could not write when saved (another drive wrote it, say)
// goes back so, without a word (`quiet`).
std::string states_word(u32 d, const Found& f, bool& quiet) {
  quiet = plan.accessKnown && !(plan.access[d] & access_image_writable);
  if (quiet) return "it was write-protected when the state was saved";
  if (own_index(FILES_IdOf(f.path))) return {};
  if (!plan.accessKnown || !plan.geometryKnown)
    return "the saved state is of an earlier version, which does not show that the ST could write it";
  const i32* g = plan.geometry[d];
  if (!DISKIMG_IsFloppyGeometry(g[0], g[1], g[2]) || u64(plan.digests[d].size) != u64(g[0]) * g[1] * g[2] * 512)
    return "it is not a floppy image of the size the saved state gives";
  if (!DISKIMG_IsFloppyBootSector(f.bootSector)) return "its first sector is no floppy disk's boot sector";
  return {};
}

// What the drive does with the state's image: keeps what it holds, or
// takes the image in again.
struct Verdict {
  bool keep = false;
  std::string readOnly;  // the state's word against writing it; empty when it lets it
  bool quiet = false;    // saved write-protected: it goes back so without a word
  // Kept write-protected although the state lets it write, for a reason
  // its insertion did not tell (the file made read-only since, another
  // writer where it was the file or an earlier restore): `now`, said.
  bool tell = false;
  DISKIMG_Protection now = DISKIMG_Protection::None;
};

// Whether the state's image is written from now on, decided from what is
// true now (the state's word, then the file's permissions and its lock,
// tried now: a writer that held it when the drive took it may have let it
// go since), and so whether the drive keeps what it holds: only when it
// holds that very file, written or protected as it is to be. One that
// another writer still holds is kept: in again, it would only be read all
// the same (and its insertion said so already).
Verdict verdict(u32 d, const Found& f) {
  Verdict v;
  if (f.asIs) {
    v.keep = true;
    return v;
  }
  v.readOnly = states_word(d, f, v.quiet);
  if (!f.held) return v;  // it goes in, and the insertion tries the file then
  DISKIMG_Protection& now = v.now;
  const bool writer = DISKIMG_Writer(d);
  if (!v.readOnly.empty())
    now = DISKIMG_Protection::Asked;
  else if (f.kind == Peek::Packed)
    now = DISKIMG_Protection::Copy;
  else if (!writer)
    now = DISKIMG_WriteCheck(f.path.c_str());  // a drive that writes it holds its lock already
  v.keep = (now != DISKIMG_Protection::None) != writer;
  v.tell = v.keep && (now == DISKIMG_Protection::ReadOnlyFile ||
                      (now == DISKIMG_Protection::InUse && DISKIMG_WhyProtected[d] != now));
  return v;
}

// Drive d takes the state's image as decided, and the user hears when it
// is write-protected although the saved ST could write it. True when it
// took the image in again.
bool put_back(u32 d, const Found& f, const Verdict& v) {
  const char letter = d ? 'B' : 'A';
  if (v.keep) {
    if (v.tell) {
      DISKIMG_WhyProtected[d] = v.now;
      DISKIMG_TellProtected(d, f.path);
    }
    return false;
  }
  DISKIMG_Eject(letter);
  if (!DISKIMG_Insert(f.path.c_str(), letter, !v.readOnly.empty())) return false;
  // A packed image goes in as a copy the ST never writes, whatever the
  // state says: there is nothing to tell and no advice that would help.
  const bool copy = DISKIMG_WhyProtected[d] == DISKIMG_Protection::Copy;
  if (!v.readOnly.empty() && !v.quiet && !copy) DISKIMG_TellProtected(d, f.path, v.readOnly);
  if (v.readOnly.empty() && DISKIMG_WhyProtected[d] == DISKIMG_Protection::ReadOnlyFile)
    DISKIMG_TellProtected(d, f.path);
  return true;
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
  plan = {};
  plan.mask = mask;
  for (u32 d = 0; d < 2; ++d) std::memcpy(plan.names[d], names[d], 256);
  std::copy(dma, dma + 4, plan.dma);
  std::copy(fdc, fdc + 6, plan.fdc);
  plan.portA = portA;
  std::copy(address, address + 3, plan.address);
  return true;
}

void DISKIMG_SaveExtension(StateWriter& w) {
  w.i32v(DISKIMG_Drives[0].headTrack);
  w.i32v(DISKIMG_Drives[1].headTrack);
  w.i32v(FDC_StepDir);
  for (u32 d = 0; d < 2; ++d) {
    const DISKIMG_Digest g = digest_of(d);
    w.u32v(g.size);
    w.u32v(g.hash);
  }
}

bool DISKIMG_RestoreExtension(StateReader& r) {
  i32 heads[2];
  for (i32& h : heads) h = r.i32v();
  const i32 dir = r.i32v();
  DISKIMG_Digest digests[2];
  for (DISKIMG_Digest& g : digests) g.size = r.u32v(), g.hash = r.u32v();
  if (!r.ok() || (dir != 1 && dir != -1)) return false;
  // A head stands on a track of an image (or one past its last, where a
  // step in can take it), whose track count a boot sector gives in 16 bits.
  for (i32 h : heads)
    if (h < DISKIMG_HeadUnknown || h > 0x10000) return false;
  if (!r.applying()) return true;
  plan.digestsKnown = true;
  std::copy(heads, heads + 2, plan.heads);
  plan.stepDir = dir;
  std::copy(digests, digests + 2, plan.digests);
  return true;
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
  plan.geometryKnown = true;
  std::memcpy(plan.geometry, geometry, sizeof geometry);
  return true;
}

void DISKIMG_SaveAccess(StateWriter& w) {
  for (u32 d = 0; d < 2; ++d) {
    u32 access = 0;
    if ((DISKIMG_InsertedMask & (1u << d)) && DISKIMG_Files[d] >= 0) {
      if (!DISKIMG_AlwaysProtected[d]) access |= access_image_writable;
      if (!DISKIMG_WriteProtect[d]) access |= access_st_writes;
      // A packed image's drive reads its expansion: the folder's disk is
      // the file it was expanded from.
      access |= own_index(DISKIMG_Source[d]) << access_own_shift;
    }
    w.u32v(access);
  }
}

bool DISKIMG_RestoreAccess(StateReader& r) {
  u32 access[2];
  for (u32& a : access) a = r.u32v();
  if (!r.ok()) return false;
  for (u32 a : access)
    if ((a & ~access_known_bits) || ((a >> access_own_shift) & 3) == 3 ||
        ((a & access_st_writes) && !(a & access_image_writable)))
      return false;
  if (!r.applying()) return true;
  plan.accessKnown = true;
  std::copy(access, access + 2, plan.access);
  return true;
}

void DISKIMG_SaveSensor(StateWriter& w) {
  for (u32 d = 0; d < 2; ++d) {
    w.u32v(u32(DISKIMG_SensorPhase[d]));
    w.u32v(DISKIMG_SensorFrames[d]);
  }
}

bool DISKIMG_RestoreSensor(StateReader& r) {
  u32 phase[2], frames[2];
  for (u32 d = 0; d < 2; ++d) phase[d] = r.u32v(), frames[d] = r.u32v();
  if (!r.ok()) return false;
  // A phase of its own length, counted down to its end; settled has none.
  for (u32 d = 0; d < 2; ++d)
    if (phase[d] > u32(DISKIMG_Sensor::SlidingIn) || frames[d] > DISKIMG_PhaseFrames ||
        (frames[d] == 0) != (phase[d] == u32(DISKIMG_Sensor::Settled)))
      return false;
  if (!r.applying()) return true;
  plan.sensorKnown = true;
  for (u32 d = 0; d < 2; ++d) {
    plan.phase[d] = DISKIMG_Sensor(phase[d]);
    plan.phaseFrames[d] = frames[d];
  }
  return true;
}

void DISKIMG_FinishRestore() {
  // Both drives find their images before either changes, and every image
  // that goes out goes before any comes in: an image moving from one drive
  // to the other is written by the drive the state gives it to.
  Found found[2];
  for (u32 d = 0; d < 2; ++d) found[d] = find_image(d);
  for (u32 d = 0; d < 2; ++d)
    if (!found[d].held) DISKIMG_Eject(d ? 'B' : 'A');
  // The images the state only read go back first, then those it wrote:
  // a writer's lock is then tried with every drive that lets go of the
  // image gone from it.
  bool quiet, inserted[2] = {};
  for (const bool writers : {false, true})
    for (u32 d = 0; d < 2; ++d)
      if (!found[d].path.empty() && !found[d].asIs && states_word(d, found[d], quiet).empty() == writers)
        inserted[d] = put_back(d, found[d], verdict(d, found[d]));
  for (u32 d = 0; d < 2; ++d)
    if (found[d].path.empty() && !found[d].asIs && !found[d].refusal.empty())
      refuse_drive(d ? 'B' : 'A', found[d].refusal);
  // A drive that kept its image, or took one the digest could not tell
  // before it went in (a compressed or MSA image): one that changed since
  // the state was saved is not the disk the restored ST knows.
  for (u32 d = 0; d < 2 && plan.digestsKnown; ++d) {
    if (!(DISKIMG_InsertedMask & (1u << d)) || digest_of(d) == plan.digests[d]) continue;
    const std::string path = stored_path(d ? DISKIMG_NameB : DISKIMG_NameA);
    DISKIMG_Eject(d ? 'B' : 'A');
    refuse_drive(d ? 'B' : 'A', path + " is not the disk the state was saved with (it changed since)");
  }
  for (u32 d = 0; d < 2; ++d)
    if (inserted[d] && (DISKIMG_InsertedMask & (1u << d))) std::puts(d ? "Restored drive B" : "Restored drive A");
  // A drive that holds the state's image reads it as the saved machine did,
  // whatever its boot sector says now: the ST may have written another
  // since it went in, and the sectors it wrote stand where the geometry it
  // went in with put them.
  for (u32 d = 0; d < 2 && plan.geometryKnown; ++d) {
    if (!(DISKIMG_InsertedMask & (1u << d))) continue;
    DISKIMG_Drive& g = DISKIMG_Drives[d];
    g.sides = plan.geometry[d][0];
    g.tracks = plan.geometry[d][1];
    g.sectorsPerTrack = plan.geometry[d][2];
    // As at an insertion: without sectors a track every track lands on the
    // first, and such an image is only read; a drive that took it for
    // writing writes it once the state gives it sectors.
    const bool none = g.sectorsPerTrack < 1;
    if (!DISKIMG_Writer(d) || none == (DISKIMG_WhyProtected[d] == DISKIMG_Protection::NoGeometry)) continue;
    DISKIMG_AlwaysProtected[d] = none ? 1 : 0;
    DISKIMG_WhyProtected[d] = none ? DISKIMG_Protection::NoGeometry : DISKIMG_Protection::None;
    DISKIMG_WriteProtect[d] = none || PREFS_WriteProtect ? 0x40 : 0;
  }
  // The heads are the drives', whatever disk the restore left in them. A
  // state without them does not tell where they stood (a drive that kept
  // its image has its head where this start left it, not where the ST left
  // it): the ST keeps each drive's track and puts it in the track register
  // before it uses the drive, so each head is taken to be there when its
  // drive is next used, and no sector is read from or written to another
  // track than the ST means.
  for (u32 d = 0; d < 2; ++d)
    DISKIMG_Drives[d].headTrack = plan.digestsKnown ? plan.heads[d] : DISKIMG_HeadUnknown;
  if (plan.digestsKnown) FDC_StepDir = plan.stepDir;
  // Each drive's sensor goes on from where the state's stood: a drive that
  // holds the state's disk and one the state had empty. A drive the restore
  // empties of the state's disk (gone, changed, refused) had a disk to the
  // restored ST: it is ejected there. A state that does not tell (an
  // earlier build's) had its drives settled.
  for (u32 d = 0; d < 2; ++d) {
    const bool has = DISKIMG_InsertedMask & (1u << d), had = (plan.mask >> d) & 1;
    DISKIMG_Sensor phase = plan.sensorKnown ? plan.phase[d] : DISKIMG_Sensor::Settled;
    u32 frames = plan.sensorKnown ? plan.phaseFrames[d] : 0;
    // Phases the drive can't be in (a disk sliding into a drive the
    // restore leaves empty, say) settle.
    const bool fits = phase == DISKIMG_Sensor::Settled ||
                      (phase == DISKIMG_Sensor::SlidingIn ? has : !has && !had);
    if (!fits) phase = DISKIMG_Sensor::Settled, frames = 0;
    if (had && !has) phase = DISKIMG_Sensor::SlidingOut, frames = DISKIMG_PhaseFrames;
    DISKIMG_SensorPhase[d] = phase;
    DISKIMG_SensorFrames[d] = frames;
  }
  // The controller's registers as the state has them.
  std::copy(plan.dma, plan.dma + 4, DMA_Regs);
  std::copy(plan.fdc, plan.fdc + 6, FDC_Regs);
  PSG_PortA = plan.portA;
  std::copy(plan.address, plan.address + 3, DMA_Address);
}
