#include "machine/hdd.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/endian.h"
#include "common/files.h"
#include "common/lane_hash.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "host/app.h"
#include "host/dialogs.h"
#include "host/options.h"
#include "host/screen.h"
#include "machine/bigscreen.h"
#include "machine/diskimg.h"
#include "machine/fdc.h"
#include "machine/holders.h"
#include "machine/memory.h"
#include "machine/sections.h"
#include "machine/state.h"

HDD_BpbRecord HDD_Bpb[2];
u32 HDD_Open[2];
u32 HDD_ReadOnly[2];

namespace {

constexpr HDD_BpbRecord default_bpb = {0x200, 8, 0x1000, 0x28, 0x28, 0x2a, 0x7a, 0x1400, 1};
constexpr u32 max_sector_bytes = 8192;
constexpr u32 drive_c = 2, drive_d = 3;
constexpr u32 err_general = 0xffffffff;  // -1
constexpr u32 err_write_protected = 0xfffffff3;  // -13

std::FILE* image[2];
u64 image_bytes[2];
const char* const image_names[2] = {"HDD-C.dmg", "HDD-D.dmg"};

u32 le16(const u8* p) { return p[0] | (u32(p[1]) << 8); }
u32 le32(const u8* p) { return le16(p) | (le16(p + 2) << 16); }

void close_image(u32 d) {
  if (image[d]) std::fclose(image[d]);
  image[d] = nullptr;
  HDD_Open[d] = 0;
  HDD_ReadOnly[d] = 0;
}

void show(const std::string& text) {
  DLG_SetAlertText(text.c_str());
  DLG_ShowAlert(130);
}

u32& d0() { return m68k_regfile.d[0]; }

// A FAT32 boot sector: no 16-bit FAT size, a 32-bit one instead.
bool is_fat32(const u8* s) { return le16(s + 0x16) == 0 && le32(s + 0x24) != 0; }

}  // namespace

bool HDD_BpbFromBootSector(const u8* s, u64 imageBytes, HDD_BpbRecord& bpb,
                           std::string& reason) {
  const u32 recsiz = le16(s + 0x0b), clsiz = s[0x0d], reserved = le16(s + 0x0e);
  const u32 fats = s[0x10], entries = le16(s + 0x11), fsiz = le16(s + 0x16);
  u32 total = le16(s + 0x13);
  if (total == 0) total = le32(s + 0x20);
  if (is_fat32(s)) {
    reason = "it is a FAT32 volume, and the driver reads FAT12 and FAT16 volumes (the ST's file system)";
    return false;
  }
  if (recsiz < 512 || recsiz > max_sector_bytes || (recsiz & (recsiz - 1))) {
    reason = "bytes per sector must be a power of two from 512 to 8192";
    return false;
  }
  if (clsiz == 0 || (clsiz & (clsiz - 1)) || recsiz * clsiz > 0xffff) {
    reason = "sectors per cluster must be a power of two and a cluster below 64 KB";
    return false;
  }
  if (reserved == 0 || fats != 2 || fsiz == 0) {
    reason = "the volume needs reserved sectors, two FATs and a FAT size";
    return false;
  }
  const u32 rdlen = (entries * 32 + recsiz - 1) / recsiz;
  const u32 fatrec = reserved + fsiz;
  const u32 datrec = fatrec + fsiz + rdlen;
  if (u64(total) * recsiz > imageBytes) {
    reason = "the volume is larger than its image file";
    return false;
  }
  if (datrec >= total || datrec > 0xffff) {
    reason = "the volume has no data area the sector numbers can reach";
    return false;
  }
  u32 numcl = (total - datrec) / clsiz;
  // The operating system and the port number sectors with 16 bits: a cluster
  // beyond sector 65535 would wrap onto the start of the volume.
  if (u64(datrec) + u64(numcl) * clsiz > 0x10000) {
    reason = "the volume has sectors beyond the 16-bit sector numbers";
    return false;
  }
  // Clusters the FAT can describe (two entries are reserved).
  const bool fat16 = numcl >= 4085;
  const u64 fat_entries = fat16 ? u64(fsiz) * recsiz / 2 : u64(fsiz) * recsiz * 2 / 3;
  if (fat_entries < 2 || numcl > fat_entries - 2 || numcl > 0xfff4) {
    reason = "the FAT is too small for the volume";
    return false;
  }
  bpb = {u16(recsiz), u16(clsiz), u16(recsiz * clsiz), u16(rdlen), u16(fsiz),
         u16(fatrec), u16(datrec), u16(numcl), u16(fat16 ? 1 : 0)};
  return true;
}

void HDD_ReadBootInfo() {
  for (u32 d = 0; d < 2; ++d) {
    if (!HDD_Open[d]) continue;
    u8 sector[512];
    std::string reason = "the boot sector can't be read";
    const bool read = std::fseek(image[d], 0, SEEK_SET) == 0 &&
                      std::fread(sector, 1, sizeof sector, image[d]) == sizeof sector;
    const bool ok = read && HDD_BpbFromBootSector(sector, image_bytes[d], HDD_Bpb[d], reason);
    if (!ok) {
      // (The volume's type is the first thing looked at.)
      if (read && is_fat32(sector))
        reason += std::string(": move it aside, make a FAT16 volume in its place (mkfs.fat -C -F 16 ") +
                  image_names[d] + " 20480 makes one of 20 MB) and copy the files over (mcopy)";
      show(std::string("Cant use ") + image_names[d] + ": " + reason);
      close_image(d);
    }
  }
}

std::string HDD_ImagePath(u32 d) { return APP_Folder.path + "/" + image_names[d]; }

u32 HDD_OpenImages() {
  HDD_CloseImages();
  HDD_Bpb[0] = HDD_Bpb[1] = default_bpb;
  if (!PREFS_HardDiskOn) return 0;
  for (u32 d = 0; d < 2; ++d) {
    // A missing image is no message; one that is there but can't be used
    // (read-only, a directory, a FIFO, too short) says why instead of
    // vanishing.
    const std::string path = HDD_ImagePath(d);
    if (!FILES_Exists(path.c_str())) continue;
    std::string why;
    int fd = FILES_OpenRegular(path.c_str(), O_RDWR, why);
    // Locked while we write it: an image another program (another copy of
    // Vantorell) writes is only read here, so that two STs, each with its
    // own idea of the disk's FAT, never write one disk.
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
      close(fd);
      fd = FILES_OpenRegular(path.c_str(), O_RDONLY, why);
      HDD_ReadOnly[d] = fd >= 0 ? 1 : 0;
    }
    if (fd >= 0 && !(image[d] = fdopen(fd, HDD_ReadOnly[d] ? "rb" : "r+b"))) {
      close(fd);
      why = "can't be opened";
    }
    long end = -1;
    if (image[d] && std::fseek(image[d], 0, SEEK_END) == 0) end = std::ftell(image[d]);
    if (image[d] && end < 512) why = "is too short for a hard-disk image";
    if (!why.empty()) {
      show(std::string("Cant use ") + image_names[d] + ": " + path + " " + why);
      close_image(d);
      continue;
    }
    image_bytes[d] = u64(end);
    HDD_Open[d] = 1;
  }
  HDD_ReadBootInfo();
  // Said only of the volumes the check of their boot sectors kept.
  for (u32 d = 0; d < 2; ++d) {
    if (!HDD_Open[d]) continue;
    std::printf("loaded %s\n", image_names[d]);
    if (!HDD_ReadOnly[d]) continue;
    // One of our own floppy drives may hold the lock: it is named.
    const std::string path = HDD_ImagePath(d);
    std::string writer = "another program (another copy of Vantorell?) writes " + path;
    if (d == 1 && HDD_Open[0] && !HDD_ReadOnly[0] && HDD_Holds(0, path.c_str()))
      writer = "hard disk C holds " + path + " as its image and writes it";
    for (u32 f = 0; f < 2; ++f)
      if (DISKIMG_Writer(f) && DISKIMG_Holds(f, path.c_str()))
        writer = std::string("drive ") + (f ? 'B' : 'A') + " holds " + path + " as its disk and writes it";
    show(std::string(image_names[d]) + " is only read: " + writer + ". The ST can't write on drive " +
         (d ? 'D' : 'C') + ".");
  }
  return HDD_Open[0];
}

namespace {

// What tells whether image d changed since a state was saved: its size, and
// a hash of everything a tool that adds, removes or rewrites a file changes:
// the sectors before the data area (the boot sector, the FATs, the root
// directory) and the clusters of every directory. Reading them costs a few
// hundred KB at most, so it is taken at every save.
struct Record {
  u64 size, hash;
  bool operator==(const Record&) const = default;
};

Record record_of(u32 d) {
  std::fflush(image[d]);  // the machine's own writes first
  const int fd = fileno(image[d]);
  struct stat st;
  const u64 size = fstat(fd, &st) == 0 ? u64(st.st_size) : image_bytes[d];
  const HDD_BpbRecord& b = HDD_Bpb[d];
  const u64 sector = b.recsiz;
  LaneHash h;
  std::vector<u8> buf(std::max<size_t>(65536, b.clsizb));
  // A read past the image's end reads zeros.
  const auto read_at = [&](u64 at, size_t n) {
    std::fill(buf.begin(), buf.begin() + n, 0);
    for (size_t got = 0; got < n;) {
      const ssize_t r = pread(fd, buf.data() + got, n - got, off_t(at + got));
      if (r <= 0) break;
      got += size_t(r);
    }
  };
  for (u64 at = 0, end = u64(b.datrec) * sector; at < end; at += buf.size()) {
    const size_t n = size_t(std::min<u64>(buf.size(), end - at));
    read_at(at, n);
    h.add(buf.data(), n);
  }

  // The first FAT's entries of the volume's clusters, and the directories.
  const u32 clusters = u32(b.numcl) + 2;
  const bool fat16 = b.bflags & 1;
  std::vector<u8> fat(std::min<u64>(fat16 ? u64(clusters) * 2 : (u64(clusters) * 3 + 1) / 2,
                                    u64(b.fsiz) * sector) + 2, 0);
  {
    const u64 at = u64(b.fatrec - b.fsiz) * sector;
    for (size_t got = 0; got + 2 < fat.size();) {
      const ssize_t r = pread(fd, fat.data() + got, fat.size() - 2 - got, off_t(at + got));
      if (r <= 0) break;
      got += size_t(r);
    }
  }
  const auto next = [&](u32 c) -> u32 {
    if (fat16) return size_t(c) * 2 + 1 < fat.size() ? le16(&fat[size_t(c) * 2]) : 0;
    const size_t at = size_t(c) * 3 / 2;
    if (at + 1 >= fat.size()) return 0;
    const u32 pair = le16(&fat[at]);
    return c & 1 ? pair >> 4 : pair & 0xfff;
  };
  std::vector<u32> pending;
  std::vector<bool> seen(clusters, false);
  // Subdirectories named in a directory's entries (not "." and "..").
  const auto scan = [&](const u8* e, size_t n) {
    for (size_t i = 0; i + 32 <= n; i += 32, e += 32) {
      if (e[0] == 0) return false;
      if (e[0] == 0xe5 || e[11] == 0x0f || !(e[11] & 0x10) || e[0] == '.') continue;
      const u32 c = le16(e + 0x1a);
      if (c >= 2 && c < clusters && !seen[c]) pending.push_back(c);
    }
    return true;
  };
  const u64 root = u64(b.fatrec + b.fsiz) * sector, rootBytes = u64(b.rdlen) * sector;
  for (u64 at = 0; at < rootBytes; at += buf.size()) {
    const size_t n = size_t(std::min<u64>(buf.size(), rootBytes - at));
    read_at(root + at, n);
    if (!scan(buf.data(), n)) break;
  }
  while (!pending.empty()) {
    u32 c = pending.back();
    pending.pop_back();
    for (; c >= 2 && c < clusters && !seen[c]; c = next(c)) {
      seen[c] = true;
      read_at((u64(b.datrec) + u64(c - 2) * b.clsiz) * sector, b.clsizb);
      h.add(buf.data(), b.clsizb);
      if (!scan(buf.data(), b.clsizb)) break;
    }
  }
  return {size, h.value()};
}

std::string drive_name(u32 d) { return image_names[d]; }

}  // namespace

void HDD_SaveRecord(StateWriter& w) {
  for (u32 d = 0; d < 2; ++d) {
    const Record r = HDD_Open[d] ? record_of(d) : Record{0, 0};
    w.u32v(HDD_Open[d] ? 1 : 0);
    w.u32v(u32(r.size >> 32));
    w.u32v(u32(r.size));
    w.u32v(u32(r.hash >> 32));
    w.u32v(u32(r.hash));
  }
}

bool HDD_RestoreRecord(StateReader& r) {
  u32 open[2];
  Record saved[2];
  for (u32 d = 0; d < 2; ++d) {
    open[d] = r.u32v();
    saved[d].size = u64(r.u32v()) << 32;
    saved[d].size |= r.u32v();
    saved[d].hash = u64(r.u32v()) << 32;
    saved[d].hash |= r.u32v();
  }
  if (!r.ok()) return false;
  for (u32 d = 0; d < 2; ++d)
    if (open[d] > 1 || (!open[d] && !(saved[d] == Record{0, 0}))) return false;
  if (r.applying()) return true;
  // The restored ST knows the disk as it was: its FAT and directories in its
  // buffers, its free clusters. On a disk changed since (files put on it by
  // a host tool, or written by a run that went on and ended without a quit)
  // it would write its next file over what is there now.
  for (u32 d = 0; d < 2; ++d) {
    if (!open[d]) continue;
    if (!HDD_Open[d]) {
      STATE_RefuseFile("Cant restore Saved State, it was saved with the hard disk " + drive_name(d) +
                           ", which is not in use now (gone, or the hard disk is off). The state is not loaded.",
                       STATE_RefusedHardDisk);
      return false;
    }
    if (!(record_of(d) == saved[d])) {
      STATE_RefuseFile("Cant restore Saved State, the hard disk " + drive_name(d) +
                           " changed since the state was saved: its ST would write over what was put on the "
                           "disk since. The state is not loaded, and nothing on the disk is changed.",
                       STATE_RefusedHardDisk);
      return false;
    }
  }
  return true;
}

bool HDD_RecordAbsent(StateReader& r) {
  // An earlier build's state tells nothing of the hard disk: with the driver
  // in it and a hard-disk image in use, nothing shows that the disk is the
  // one its ST knows (a file's time does not: a copy gets a new one, and a
  // restored or moved file keeps its old one), and the state is refused.
  // Without an image in use there is no disk its ST could write over.
  if (r.applying() || CART_PortConfig != 1) return true;
  for (u32 d = 0; d < 2; ++d) {
    if (!HDD_Open[d]) continue;
    STATE_RefuseFile("Cant restore Saved State, it was saved by an earlier version, which can't show that the "
                     "hard disk " + drive_name(d) +
                         " is unchanged since: its ST would write over whatever was put on the disk since. "
                         "The state is not loaded, and nothing on the disk is changed.",
                     STATE_RefusedEarlierHardDisk);
    return false;
  }
  return true;
}

void HDD_CloseImages() {
  close_image(0);
  close_image(1);
}

bool HDD_Holds(u32 d, const FILES_Id& file) {
  return HDD_Open[d] && image[d] && FILES_IdOf(fileno(image[d])) == file;
}

bool HDD_Holds(u32 d, const char* path) {
  const auto file = FILES_IdOf(path);
  return file && HDD_Holds(d, *file);
}

void HDD_PortCommandE() {
  if (!HDD_Open[0]) {
    d0() = err_general;
    return;
  }
  const u32 sp = m68k_regfile.a[7];
  const u32 rwflag = MMU_ReadW(sp + 4), count = MMU_ReadW(sp + 10);
  const u32 sector = MMU_ReadW(sp + 12), drive = MMU_ReadW(sp + 14);
  u32 buffer = MMU_ReadL(sp + 6);
  const u32 d = drive - drive_c;
  if ((drive != drive_c && drive != drive_d) || !HDD_Open[d]) {
    d0() = err_general;
    return;
  }
  const u32 size = HDD_Bpb[d].recsiz;
  if ((u64(sector) + count) * size > image_bytes[d]) {
    d0() = err_general;
    return;
  }
  // The buffer must lie in RAM: a transfer into the I/O area could reach
  // this very port again and nest without end.
  buffer &= 0xffffff;
  if (u64(buffer) + u64(count) * size > MMU_RamSize) {
    d0() = err_general;
    return;
  }
  const bool write = rwflag & 1;
  if (write && HDD_ReadOnly[d]) {
    d0() = err_write_protected;
    return;
  }
  SCREEN_SetDriveLight(2, write ? 1 : 0);
  u8 data[max_sector_bytes];
  std::FILE* f = image[d];
  for (u32 i = 0; i < count; ++i, buffer += size) {
    if (std::fseek(f, long((u64(sector) + i) * size), SEEK_SET) != 0) {
      d0() = err_general;
      return;
    }
    if (write) {
      for (u32 b = 0; b < size; ++b) data[b] = u8(MMU_ReadB(buffer + b));
      if (std::fwrite(data, 1, size, f) != size) {
        d0() = err_general;
        return;
      }
    } else {
      if (std::fread(data, 1, size, f) != size) {
        d0() = err_general;
        return;
      }
      for (u32 b = 0; b < size; ++b) MMU_WriteB(buffer + b, data[b]);
    }
  }
  if (write && std::fflush(f) != 0) {
    d0() = err_general;
    return;
  }
  d0() = 0;
}

void HDD_PortCommandF() {
  const u32 drive = MMU_ReadW(m68k_regfile.a[7] + 4);
  const u32 d = drive - drive_c;
  // Without C nothing here answers: sector transfers refuse D too.
  if (!HDD_Open[0] || (drive != drive_c && drive != drive_d) || !HDD_Open[d]) {
    d0() = 0;
    return;
  }
  const HDD_BpbRecord& b = HDD_Bpb[d];
  const u16 words[9] = {b.recsiz, b.clsiz, b.clsizb, b.rdlen, b.fsiz,
                        b.fatrec, b.datrec, b.numcl, b.bflags};
  for (u32 i = 0; i < 9; ++i) MMU_WriteW(HDD_BpbAddress + 2 * i, words[i]);
  d0() = HDD_BpbAddress;
}

void HDD_NoDriverAlert() { DLG_Alert(6, 0); }

u32 HDD_PortGet(u32 addr) {
  switch (addr) {
    case 0xfff702: return (DISKIMG_InsertedMask & 1) ? 0 : 2;
    case 0xfff704:
    case 0xfff706:
      if (!MMU_IsLaterTos()) return 0;
      return PREFS_HardDiskOn && HDD_Open[addr == 0xfff704 ? 0 : 1] ? 1 : 0;
    default: return addr;
  }
}

namespace {
void restart_machine() {
  MMU_ClearRAM();
  m68k_restart();
}

void port_command(u32 addr, u32 value, bool word) {
  if (addr == 0xfff700 && value == 0x45) return HDD_PortCommandE();
  if (addr == 0xfff700 && value == 0x46) return HDD_PortCommandF();
  if (word && addr == 0xfff704) return HDD_NoDriverAlert();
  if (word && addr == 0xfff706 && value == 1) return SCREEN_NoteLineABase();
  if (word && addr == 0xfff706 && value == 2) {
    if (PREFS_BigScreen) SCREEN_EnterBigScreen();
    return;
  }
  restart_machine();
}
}  // namespace

void HDD_PortPutB(u32 addr, u32 value) { port_command(addr, value & 0xff, false); }
void HDD_PortPutW(u32 addr, u32 value) { port_command(addr, value & 0xffff, true); }
void HDD_PortPutL(u32, u32) { MMU_BusError(); }

void HDD_BuildBootSector(u8* s) {
  std::memset(s, 0, 512);
  static const u8 head[0x3e] = {
      0xeb, 0x34, 0x90, 'H', 'D', 'D', 0, '2', '.', '0', ' ',
      0x00, 0x02,            // 512 bytes per sector
      0x04,                  // sectors per cluster
      0x01, 0x00,            // reserved sectors
      0x02,                  // FATs
      0x00, 0x02,            // root entries
      0x00, 0xa0,            // sectors
      0xf8,                  // media
      0x28, 0x00,            // sectors per FAT
      0x20, 0x00,            // sectors per track
      0x40, 0x00,            // heads
      0, 0, 0, 0,            // hidden sectors
      0, 0, 0, 0,            // 32-bit sector count
      0x80, 0x00, 0x29,      // drive, reserved, extended signature
      0x00, 0x00, 0x65, 0x24,  // serial
      'H', 'D', 'D', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
      'F', 'A', 'T', '1', '6', ' ', ' ', ' '};
  std::memcpy(s, head, sizeof head);
  // A PC that boots the image halts: cli, hlt, and back to the hlt.
  static const u8 halt[] = {0xfa, 0xf4, 0xeb, 0xfd};
  std::memcpy(s + 0x3e, halt, sizeof halt);
  s[0x1fe] = 0x55;
  s[0x1ff] = 0xaa;
}

u32 HDD_CreateEmptyImage(const char* path, std::string* why) {
  APP_GetAppFolder();
  const std::string file = path ? std::string(path) : APP_Folder.path + "/HDD (Empty).dmg";
  if (why) why->clear();
  const auto refuse = [&](u32 reason, const std::string& words) {
    if (why) *why = file + (reason == HDD_Held ? ": " : " ") + words;
    const std::string said = reason == HDD_Held ? words : file + " " + words;
    std::fprintf(stderr, "Empty hard disk image: %s\n", said.c_str());
    return reason;
  };
  // Never a file the machine holds: an image made from an earlier one by a
  // link, not a copy, is hard disk C itself.
  if (const std::string holder = HOLDERS_Of(file.c_str()); !holder.empty()) return refuse(HDD_Held, holder);
  // Nor anything but a plain file (a folder, a symbolic link, a FIFO), which
  // is not the user's to be asked about formatting.
  struct stat st;
  if (lstat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    std::string what = FILES_NotRegular(file.c_str());
    if (S_ISLNK(st.st_mode))
      what = stat(file.c_str(), &st) == 0 ? "is a symbolic link" : "is a symbolic link to nothing";
    return refuse(HDD_NotAFile, what);
  }
  const bool existed = FILES_Exists(file.c_str());
  if (existed && !DLG_ConfirmFormat("Formating existing HDD file...")) return HDD_Cancelled;
  // Only the file the user agreed to: never through a symbolic link, and a
  // file that appeared after the question is not taken either.
  std::string error;
  const int flags = O_RDWR | O_CREAT | O_NOFOLLOW | (existed ? 0 : O_EXCL);
  const int fd = FILES_OpenRegular(file.c_str(), flags, error);
  if (fd < 0) {
    std::fprintf(stderr, "Empty hard disk image: %s %s\n", file.c_str(), error.c_str());
    return 0;
  }
  // Asked again of the file opened: what lies under the name may have
  // changed while the user was asked.
  const auto id = FILES_IdOf(fd);
  const std::string now = id ? HOLDERS_OfFile(*id, file, HOLDERS_Drives | HOLDERS_HardDisks) : std::string();
  if (!now.empty()) {
    // Taken the moment it was made (a floppy waiting under another name that
    // leads here): nothing is left behind.
    if (!existed && FILES_IdOf(file) == *id) unlink(file.c_str());
    close(fd);
    return refuse(HDD_Held, now);
  }
  SCREEN_SetDriveLight(2, 1);
  static const u8 zeros[32768] = {};
  bool ok = ftruncate(fd, 0) == 0;
  for (u32 i = 0; i < HDD_EmptyImageBytes / sizeof zeros && ok; ++i)
    ok = FILES_WriteAll(fd, zeros, sizeof zeros);
  u8 sector[512];
  HDD_BuildBootSector(sector);
  static const u8 fat_start[4] = {0xf8, 0xff, 0xff, 0xff};
  ok = ok && pwrite(fd, sector, 512, 0) == 512;
  ok = ok && pwrite(fd, fat_start, 4, 0x200) == 4;
  ok = ok && pwrite(fd, fat_start, 4, 0x5200) == 4;
  // A file made here that could not be finished (a full disk) goes again;
  // one the user agreed to format stays as the failure left it. Whether the
  // name still is ours is asked while the file is open: once closed, its
  // inode may be another new file's.
  const bool ours = !existed && id && FILES_IdOf(file) == *id;
  ok = close(fd) == 0 && ok;
  if (!ok && ours) unlink(file.c_str());
  return ok ? 1 : 0;
}
