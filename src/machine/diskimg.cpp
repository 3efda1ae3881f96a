#include "machine/diskimg.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "common/endian.h"
#include "common/files.h"
#include "common/lane_hash.h"
#include "host/app.h"
#include "host/dialogs.h"
#include "host/events.h"
#include "host/menu.h"
#include "host/options.h"
#include "host/screen.h"
#include "host/sound.h"
#include "machine/hdd.h"
#include "machine/psg.h"

DISKIMG_Drive DISKIMG_Drives[2];
u32 DISKIMG_InsertedMask;
int DISKIMG_Files[2] = {-1, -1};
u32 DISKIMG_WriteProtect[2] = {0x40, 0x40};
u8 DISKIMG_NameA[256] = {7, 'n', 'o', 't', 'h', 'i', 'n', 'g'};
u8 DISKIMG_NameB[256] = {7, 'n', 'o', 't', 'h', 'i', 'n', 'g'};
u32 DISKIMG_LastSize;
u64 DISKIMG_ImageSize[2];
u32 DISKIMG_AlwaysProtected[2];
u32 DISKIMG_Expanding;
DISKIMG_Protection DISKIMG_WhyProtected[2];
FILES_Id DISKIMG_Source[2];
int DISKIMG_PackedFiles[2] = {-1, -1};
std::string DISKIMG_Waiting[2];
DISKIMG_Sensor DISKIMG_SensorPhase[2];
u32 DISKIMG_SensorFrames[2];

namespace {

constexpr u32 min_image_size = 200000;

u8* name_of(u32 drive) { return drive ? DISKIMG_NameB : DISKIMG_NameA; }

void set_name(u8* name, const char* text) {
  const size_t n = std::min<size_t>(std::strlen(text), 255);
  name[0] = u8(n);
  std::memcpy(name + 1, text, n);
}


bool read_all_at(int fd, u8* buf, size_t n, off_t offset) {
  while (n > 0) {
    const ssize_t got = pread(fd, buf, n, offset);
    if (got <= 0) return false;
    buf += got;
    n -= size_t(got);
    offset += got;
  }
  return true;
}

u32 le16(const u8* p) { return u32(p[0]) | u32(p[1]) << 8; }

// A digest hashes an image's first 4 MB, in pieces of a multiple of 32
// bytes (the hash's group), so that the bytes hash alike in one piece.
constexpr u64 digest_span = 4u << 20;
DISKIMG_Digest digest_from(const LaneHash& h, u64 size) {
  const u64 hash = h.value();
  return {u32(std::min<u64>(size, 0xffffffff)), u32(hash ^ (hash >> 32))};
}
DISKIMG_Digest digest_of_bytes(const u8* data, u64 size) {
  LaneHash h;
  h.add(data, size_t(std::min<u64>(size, digest_span)));
  return digest_from(h, size);
}

// Closes what drive d holds open: its image and a packed image's file.
void let_go(u32 d) {
  for (int* fd : {&DISKIMG_Files[d], &DISKIMG_PackedFiles[d]}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

// The name a drive knows its disk by, which a restore opens again: the
// file's own path, every link resolved. A link whose name and its file's
// differ in whether the host unpacks them keeps its own name (in its
// folder's own path): the disk comes back read the way it went in.
std::string known_name(const char* path) {
  char full[PATH_MAX];
  if (!realpath(path, full)) return path;
  if (HOST_UnpacksByName(full) == HOST_UnpacksByName(path)) return full;
  const char* slash = std::strrchr(path, '/');
  const std::string folder = slash ? std::string(path, slash == path ? 1 : size_t(slash - path)) : ".";
  if (!realpath(folder.c_str(), full)) return path;
  return std::string(full) + (full[1] ? "/" : "") + (slash ? slash + 1 : path);
}

}  // namespace

void DISKIMG_Reset() {
  for (u32 d = 0; d < 2; ++d) {
    let_go(d);
    DISKIMG_Drives[d] = {};
    DISKIMG_WriteProtect[d] = 0x40;
    DISKIMG_ImageSize[d] = 0;
    DISKIMG_AlwaysProtected[d] = 0;
    DISKIMG_WhyProtected[d] = DISKIMG_Protection::None;
    DISKIMG_Source[d] = {};
    DISKIMG_Waiting[d].clear();
    DISKIMG_SensorPhase[d] = DISKIMG_Sensor::Settled;
    DISKIMG_SensorFrames[d] = 0;
    set_name(name_of(d), "nothing");
  }
  DISKIMG_InsertedMask = 0;
  DISKIMG_LastSize = 0;
}

void DISKIMG_SetWriteProtect(u32 protect) {
  // An expanded MSA image or a file we may only read stays protected: the
  // toggle must not let the ST write where the data would be lost.
  for (u32 d = 0; d < 2; ++d)
    DISKIMG_WriteProtect[d] = (protect || DISKIMG_AlwaysProtected[d]) ? 0x40 : 0;
}

// ---- MSA ----

MSA_Result MSA_Expand(const u8* data, size_t size, std::vector<u8>& image, MSA_Header* header,
                      void (*trackSide)(u32 track, u32 side)) {
  image.clear();
  if (size < 10 || data[0] != 0x0e || data[1] != 0x0f) return MSA_Result::NotMSA;
  const u32 spt = be_read16(data + 2);
  const u32 sidesField = be_read16(data + 4);
  const u32 first = be_read16(data + 6);
  const u32 last = be_read16(data + 8);
  // Up to 36 sectors a track (extended density), one or two sides, at most
  // 256 tracks, and the tracks in order.
  if (spt < 1 || spt > 36 || sidesField > 1 || last > 255 || first > last)
    return MSA_Result::Malformed;
  const u32 sides = sidesField + 1;
  const size_t trackSize = size_t(spt) * 512;
  image.assign(size_t(last + 1) * sides * trackSize, 0);
  size_t pos = 10;
  for (u32 track = first; track <= last; ++track) {
    for (u32 side = 0; side < sides; ++side) {
      if (trackSide) trackSide(track, side);
      if (size - pos < 2) return image.clear(), MSA_Result::Malformed;
      const size_t length = be_read16(data + pos);
      pos += 2;
      if (length > trackSize || size - pos < length) return image.clear(), MSA_Result::Malformed;
      u8* out = image.data() + (size_t(track) * sides + side) * trackSize;
      const u8* in = data + pos;
      pos += length;
      if (length == trackSize) {
        std::memcpy(out, in, trackSize);
        continue;
      }
      size_t filled = 0;
      size_t i = 0;
      while (i < length) {
        const u8 b = in[i];
        if (b != 0xe5) {
          if (filled == trackSize) return image.clear(), MSA_Result::Malformed;
          out[filled++] = b;
          ++i;
          continue;
        }
        // A run: 0xE5, the value, a 16-bit count.
        if (length - i < 4) return image.clear(), MSA_Result::Malformed;
        const u8 value = in[i + 1];
        const size_t count = be_read16(in + i + 2);
        if (count > trackSize - filled) return image.clear(), MSA_Result::Malformed;
        std::memset(out + filled, value, count);
        filled += count;
        i += 4;
      }
      if (filled != trackSize) return image.clear(), MSA_Result::Malformed;
    }
  }
  if (header) *header = {spt, sides, first, last};
  return MSA_Result::Ok;
}

namespace {

// The expansion's progress in the status line, track side by track side,
// with the host's events polled in between (acted on once it is over).
void show_progress(u32 track, u32 side) {
  const u32 n = 10 * track + side + 1;
  char text[16];
  if (n == 69)
    std::snprintf(text, sizeof text, "Error!");
  else
    std::snprintf(text, sizeof text, "Exp:%03u", n);
  SCREEN_ShowProgress(text);
  EVENTS_DoEvent(0);
}

// The two drive items of the disks menu, off while an image is expanded.
void enable_drive_items(u32 enabled) {
  MENU_SetItemEnabled(132, 1, enabled);
  MENU_SetItemEnabled(132, 2, enabled);
}

}  // namespace

int DISKIMG_ExpandMSA(char drive, int fd, std::string* why) {
  u8 head[10];
  if (!read_all_at(fd, head, sizeof head, 0) || head[0] != 0x0e || head[1] != 0x0f)
    return DISKIMG_NotMSA;
  const u32 d = (drive == 'B' || drive == 'b') ? 1 : 0;
  std::string reason;
  enable_drive_items(0);
  auto fail = [&](std::string text) {
    if (why) *why = std::move(text);
    SCREEN_DrawStatusLine();
    SCREEN_ShowProgress("Exp:-69");
    HOST_Sleep(40 * 1000000 / 60);
    // The failure's text goes again: the counters drawn later fill only
    // their own places, which it overlaps.
    SCREEN_DrawStatusLine();
    enable_drive_items(1);
    return DISKIMG_ExpandFailed;
  };

  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_size < 10 || size_t(st.st_size) > MSA_MaxFileSize)
    return fail("is an MSA image too large to expand");
  std::vector<u8> file(size_t(st.st_size));
  std::vector<u8> image;
  MSA_Header h{};
  if (!read_all_at(fd, file.data(), file.size(), 0)) return fail("is a damaged MSA image");
  DISKIMG_Expanding = 1;
  const MSA_Result expanded = MSA_Expand(file.data(), file.size(), image, &h, show_progress);
  DISKIMG_Expanding = 0;
  if (expanded != MSA_Result::Ok) return fail("is a damaged MSA image");

  // The expansion goes to a file of a unique name whose name is removed at
  // once: it can't meet a file of the user's, and nothing is left behind
  // when the drive is ejected or the program ends, however it ends.
  APP_GetAppFolder();
  const int out = FILES_AnonymousFile(APP_Folder.path, d ? "temp2" : "temp1", ".st", reason);
  if (out < 0) return fail("can't be expanded: " + reason);
  if (!FILES_WriteAll(out, image.data(), image.size())) {
    close(out);
    return fail(std::string("can't be expanded (") + std::strerror(errno) + ")");
  }
  DISKIMG_Drive& rec = DISKIMG_Drives[d];
  rec.sides = i32(h.sides);
  rec.sectorsPerTrack = i32(h.sectorsPerTrack);
  rec.bytesPerSector = 512;
  rec.tracks = i32(h.lastTrack + 1);
  SCREEN_DrawStatusLine();
  enable_drive_items(1);
  return out;
}

// ---- Geometry ----

void DISKIMG_GuessGeometry(DISKIMG_Drive& d, u64 size) {
  const u64 sectors = size / 512;
  d.sides = sectors < 1301 ? 1 : 2;
  const u64 perSide = sectors / u64(d.sides);
  d.bytesPerSector = 512;
  for (u32 spt : {9u, 10u, 11u}) {
    if (perSide % spt == 0 && perSide / spt >= 77 && perSide / spt <= 84) {
      d.sectorsPerTrack = i32(spt);
      d.tracks = i32(perSide / spt);
      return;
    }
  }
}

u32 DISKIMG_ReadBootSector(u32 drive) {
  const int fd = DISKIMG_Files[drive];
  if (fd < 0) return 1;
  u8 b[512];
  if (!read_all_at(fd, b, sizeof b, 0)) return 1;
  // The controller and the drive's head are left as they are: the head
  // stays where it stood when the disk changed (the ST, which keeps each
  // drive's track, finds the new disk's tracks from there), and the other
  // drive may be in the middle of a transfer that needs the registers.
  DISKIMG_Drive& d = DISKIMG_Drives[drive];
  d.sides = b[0x1a];
  d.sectorsPerTrack = b[0x18];
  d.bytesPerSector = i32(le16(b + 0x0b));
  if (b[0x0d] == 0) return 1;
  // A boot sector that claims no sides or no sectors a track gives no
  // geometry at all: the size decides.
  if (d.sides == 0 || d.sectorsPerTrack == 0) return 1;
  const u32 sectors = le16(b + 0x13);
  d.tracks = i32(sectors / u32(d.sides * d.sectorsPerTrack));
  const char letter = drive ? 'B' : 'A';
  std::printf("init FDC result (boot sector) FDC %c: %d/%d/%d %d bytes/sector\n", letter, d.sides,
              d.tracks, d.sectorsPerTrack, d.bytesPerSector);
  std::printf("bpd %d\n", int(le16(b + 0x0b)));
  std::printf("spc %d\n", int(b[0x0d]));
  std::printf("res %d\n", int(le16(b + 0x0e)));
  std::printf("nfat %d\n", int(b[0x10]));
  std::printf("ndir %d\n", int(le16(b + 0x11)));
  std::printf("nsect %d\n", int(sectors));
  std::printf("spf %d\n", int(le16(b + 0x16)));
  std::printf("nside %d\n", int(le16(b + 0x1a)));
  d.bytesPerSector = 512;
  if (d.sides >= 3) return 1;
  if (d.sides < 2 && DISKIMG_LastSize > 500000) d.sides = sectors >= 800 ? 2 : 1;
  return 0;
}

// ---- Insert and eject ----

namespace {

// Whether a drive writes the file open as fd (holds it for writing, with
// its lock).
bool a_drive_writes(int fd) {
  const auto mine = FILES_IdOf(fd);
  for (u32 d = 0; d < 2; ++d)
    if (mine && DISKIMG_Writer(d) && FILES_IdOf(DISKIMG_Files[d]) == mine) return true;
  return false;
}

bool is_msa(int fd) {
  u8 head[2];
  return read_all_at(fd, head, sizeof head, 0) && head[0] == 0x0e && head[1] == 0x0f;
}

// Opens the image at path: the unpacked copy of a compressed
// image, else the file itself, for writing unless readOnly (or we may only
// read it), locked while it is written. -1 with why set when it can't be
// opened; `protection` says why an image that was to be written is not.
// With `packed`, an unpacked image also leaves there the compressed file,
// open read only.
int open_image(const char* path, bool readOnly, std::string& why, DISKIMG_Protection& protection,
               int* packed = nullptr) {
  protection = readOnly ? DISKIMG_Protection::Asked : DISKIMG_Protection::None;
  int fd = HOST_UnpackImage(path, why, packed);
  if (fd >= 0) {
    // A compressed image goes in as its unpacked copy, which is never
    // written back: it goes in write-protected, so the ST reports the
    // protection instead of losing what it writes.
    protection = DISKIMG_Protection::Copy;
    return fd;
  }
  if (fd != HOST_NotPacked) return -1;
  if (!readOnly) {
    fd = FILES_OpenRegular(path, O_RDWR, why);
    // Our own drives are asked as well as the lock: a file system that
    // keeps no locks would let both drives write one image.
    if (fd >= 0 && ((flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) || a_drive_writes(fd))) {
      // Another drive, or another program, writes it: this drive only
      // reads it.
      close(fd);
      fd = -1;
      protection = DISKIMG_Protection::InUse;
    } else if (fd < 0) {
      protection = DISKIMG_Protection::ReadOnlyFile;
    }
    if (fd >= 0) return fd;
  }
  return FILES_OpenRegular(path, O_RDONLY, why);
}

// The expansion of the MSA image open as fd (size bytes), as an insertion
// expands it but without a file and without the progress in the status
// line; false with why.
bool expand_msa(int fd, off_t size, std::vector<u8>& image, std::string& why) {
  if (size_t(size) > MSA_MaxFileSize) {
    why = "is an MSA image too large to expand";
    return false;
  }
  std::vector<u8> file(static_cast<size_t>(size));
  if (read_all_at(fd, file.data(), file.size(), 0) &&
      MSA_Expand(file.data(), file.size(), image, nullptr) == MSA_Result::Ok)
    return true;
  why = "is a damaged MSA image";
  return false;
}

// The MSA file open as fd, as its drive keeps it once expanded: read only,
// and without the lock an opening for writing took (where it can't be
// opened again, the descriptor it has, its lock dropped).
int read_only(int fd) {
  const int again = open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC);
  if (again < 0) {
    flock(fd, LOCK_UN);
    return fd;
  }
  close(fd);
  return again;
}

// The image a drive would hold of the file at path, looked at without
// touching the drives: the unpacked copy of a compressed image, an MSA
// image's expansion, any other file as it is. Its size and, when asked,
// its digest and first sector (zeros past a shorter image); false with why
// when it holds none.
bool look_at(const char* path, std::string& why, u64& size, DISKIMG_Digest* digest = nullptr,
             u8* bootSector = nullptr) {
  int fd = HOST_UnpackImage(path, why);
  if (fd == HOST_NotPacked) fd = FILES_OpenRegular(path, O_RDONLY, why);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  if (bootSector) std::memset(bootSector, 0, 512);
  if (!ok) {
    why = std::string("can't be read (") + std::strerror(errno) + ")";
  } else if (is_msa(fd)) {
    std::vector<u8> image;
    ok = expand_msa(fd, st.st_size, image, why);
    size = image.size();
    if (ok && digest) *digest = digest_of_bytes(image.data(), size);
    if (ok && bootSector) std::memcpy(bootSector, image.data(), std::min<size_t>(size, 512));
  } else {
    size = u64(st.st_size);
    if (digest) *digest = DISKIMG_DigestOf(fd, size);
    if (bootSector && pread(fd, bootSector, 512, 0) < 0) {
      why = std::string("can't be read (") + std::strerror(errno) + ")";
      ok = false;
    }
  }
  close(fd);
  return ok;
}

}  // namespace

bool DISKIMG_CheckImage(const char* path, std::string& why) {
  u64 size = 0;
  if (!look_at(path, why, size)) return false;
  if (size > min_image_size) return true;
  why = "is too small for a floppy image (" + std::to_string(size) + " bytes)";
  return false;
}

bool DISKIMG_DigestOfFile(const char* path, DISKIMG_Digest& digest, u8* bootSector, std::string& why) {
  u64 size = 0;
  return look_at(path, why, size, &digest, bootSector);
}

u32 DISKIMG_Insert(const char* path, char drive, bool readOnly) {
  const u32 d = (drive == 'B' || drive == 'b') ? 1 : 0;
  const char letter = d ? 'B' : 'A';
  if (DISKIMG_InsertedMask & (1u << d)) return 0;
  // A descriptor left behind by an empty drive (its mask cleared by hand)
  // would hold the image's lock against this very insertion.
  let_go(d);

  std::string why;
  DISKIMG_Protection protection;
  int packed = -1;
  int fd = open_image(path, readOnly, why, protection, &packed);
  if (fd >= 0) {
    why.clear();
    if (SOUND_Active) SOUND_Pause(1);
    const int expanded = DISKIMG_ExpandMSA(letter, fd, &why);
    if (SOUND_Active) SOUND_Pause(0);
    if (expanded == DISKIMG_ExpandFailed) {
      close(fd);
      fd = -1;
    } else if (expanded >= 0) {
      // The expansion is a temporary file that is never written back: the
      // image goes in write-protected, so the ST reports the protection
      // instead of losing what it writes. The MSA file stays open (a
      // compressed one's is open already).
      if (packed >= 0)
        close(fd);
      else
        packed = read_only(fd);
      fd = expanded;
      protection = DISKIMG_Protection::Copy;
    }
  }
  struct stat st;
  if (fd >= 0 && fstat(fd, &st) != 0) {
    why = std::string("can't be read (") + std::strerror(errno) + ")";
  } else if (fd >= 0) {
    DISKIMG_LastSize = st.st_size > 0xffffffff ? 0xffffffff : u32(st.st_size);
    if (st.st_size <= off_t(min_image_size))
      why = "is too small for a floppy image (" + std::to_string(st.st_size) + " bytes)";
  }
  if (fd < 0 || !why.empty()) {
    if (fd >= 0) close(fd);
    if (packed >= 0) close(packed);
    DISKIMG_Files[d] = -1;
    DISKIMG_InsertedMask &= ~(1u << d);
    DLG_SetAlertText((std::string("Cant insert a disk in drive ") + letter + ", " + path + " " +
                      why)
                         .c_str());
    DLG_Alert(7, 1);
    return 0;
  }

  DISKIMG_Files[d] = fd;
  DISKIMG_PackedFiles[d] = packed;
  DISKIMG_ImageSize[d] = u64(st.st_size);
  DISKIMG_Source[d] = FILES_IdOf(packed >= 0 ? packed : fd).value_or(FILES_Id{});
  if (DISKIMG_ReadBootSector(d) == 1) DISKIMG_GuessGeometry(DISKIMG_Drives[d], u64(st.st_size));
  // Without sectors per track every track lands on the first one: a write
  // there would overwrite the boot sector and the FATs. Such an image is only
  // read.
  if (DISKIMG_Drives[d].sectorsPerTrack < 1 && protection == DISKIMG_Protection::None)
    protection = DISKIMG_Protection::NoGeometry;
  const bool protect = protection != DISKIMG_Protection::None;
  DISKIMG_InsertedMask |= 1u << d;
  DISKIMG_AlwaysProtected[d] = protect ? 1 : 0;
  DISKIMG_WhyProtected[d] = protection;
  DISKIMG_WriteProtect[d] = protect ? 0x40 : (PREFS_WriteProtect ? 0x40 : 0);
  DISKIMG_SensorPhase[d] = DISKIMG_Sensor::SlidingIn;
  DISKIMG_SensorFrames[d] = DISKIMG_PhaseFrames;
  const DISKIMG_Drive& g = DISKIMG_Drives[d];
  std::printf("non-boot FDC %c: %d/%d/%d %d bytes/sector\n", letter, g.sides, g.tracks,
              g.sectorsPerTrack, 512);
  set_name(name_of(d), known_name(path).c_str());
  if (protection == DISKIMG_Protection::InUse) DISKIMG_TellProtected(d, path);
  return 1;
}

namespace {

// The protected-disk alert: "Drive A: PATH" and what follows.
void tell(u32 d, const std::string& path, const std::string& rest) {
  const std::string text = std::string("Drive ") + (d ? 'B' : 'A') + ": " + path + rest;
  DLG_SetAlertText(text.c_str());
  DLG_Alert(DLG_ProtectedDiskAlert, 0);
}

}  // namespace

void DISKIMG_TellProtected(u32 d, const std::string& path, const std::string& why) {
  const std::string eject = "eject the disk and insert it again";
  const std::string writable =
      "make the file writable (its permissions, or the file system it lies on), then " + eject + ".";
  std::string reason = why, advice;
  if (!why.empty()) {
    // A file we may only read as well: a new insertion alone would only read it.
    advice = access(path.c_str(), W_OK) == 0 ? eject + "." : writable;
  } else if (DISKIMG_WhyProtected[d] == DISKIMG_Protection::ReadOnlyFile) {
    reason = "the file may only be read";
    advice = writable;
  } else if (DISKIMG_WhyProtected[d] == DISKIMG_Protection::InUse) {
    const bool drive = a_drive_writes(DISKIMG_Files[d]);
    const std::string other = std::string("drive ") + (d ? 'A' : 'B');
    // This machine's hard disk writes its image (holding the lock): only
    // the ST's drive C or D writes on it, so there is nothing to wait for.
    for (u32 h = 0; h < 2 && !drive; ++h)
      if (HDD_Holds(h, path.c_str()) && !HDD_ReadOnly[h])
        return tell(d, path, std::string(" went in write-protected: hard disk ") + (h ? 'D' : 'C') + " holds " +
                                 path + " as its image. The ST writes on it as drive " + (h ? 'D' : 'C') + ".");
    reason = (drive ? other : "another program (another copy of Vantorell?)") + " writes it";
    advice = eject + " once " + (drive ? other : "that program") + " lets it go.";
  } else {
    advice = eject + ".";
  }
  tell(d, path, " went in write-protected: " + reason + ". To let the ST write on it, " + advice);
}

u32 DISKIMG_Eject(char drive) {
  const u32 d = (drive == 'B' || drive == 'b') ? 1 : 0;
  if (!(DISKIMG_InsertedMask & (1u << d))) return 0;
  let_go(d);
  DISKIMG_ImageSize[d] = 0;
  DISKIMG_AlwaysProtected[d] = 0;
  DISKIMG_WhyProtected[d] = DISKIMG_Protection::None;
  DISKIMG_Source[d] = {};
  DISKIMG_InsertedMask &= ~(1u << d);
  DISKIMG_WriteProtect[d] = 0x40;
  DISKIMG_SensorPhase[d] = DISKIMG_Sensor::SlidingOut;
  DISKIMG_SensorFrames[d] = DISKIMG_PhaseFrames;
  return 1;
}

u32 DISKIMG_SensorLine(u32 d) {
  switch (DISKIMG_SensorPhase[d]) {
    case DISKIMG_Sensor::SlidingOut:
    case DISKIMG_Sensor::SlidingIn: return 0;
    case DISKIMG_Sensor::Empty: return 0x40;
    case DISKIMG_Sensor::Settled: break;
  }
  return (DISKIMG_InsertedMask & (1u << d)) ? DISKIMG_WriteProtect[d] : 0x40;
}

bool DISKIMG_Writer(u32 d) {
  const DISKIMG_Protection why = DISKIMG_WhyProtected[d];
  return (DISKIMG_InsertedMask & (1u << d)) && DISKIMG_Files[d] >= 0 &&
         (why == DISKIMG_Protection::None || why == DISKIMG_Protection::NoGeometry);
}

bool DISKIMG_MayInsert(u32 d) {
  return !(DISKIMG_InsertedMask & (1u << d)) && DISKIMG_SensorPhase[d] == DISKIMG_Sensor::Settled;
}

void DISKIMG_FrameEnded() {
  for (u32 d = 0; d < 2; ++d) {
    if (!DISKIMG_SensorFrames[d] || --DISKIMG_SensorFrames[d]) continue;
    // Out past the sensor, the disk leaves the drive empty; that level too
    // stands for the ST to see it.
    if (DISKIMG_SensorPhase[d] == DISKIMG_Sensor::SlidingOut) {
      DISKIMG_SensorPhase[d] = DISKIMG_Sensor::Empty;
      DISKIMG_SensorFrames[d] = DISKIMG_PhaseFrames;
    } else {
      DISKIMG_SensorPhase[d] = DISKIMG_Sensor::Settled;
    }
  }
}

void DISKIMG_StRestarted() {
  for (u32 d = 0; d < 2; ++d) {
    DISKIMG_SensorPhase[d] = DISKIMG_Sensor::Settled;
    DISKIMG_SensorFrames[d] = 0;
  }
}

DISKIMG_Protection DISKIMG_WriteCheck(const char* path) {
  std::string why;
  DISKIMG_Protection protection;
  const int fd = open_image(path, false, why, protection);
  if (fd < 0) return protection == DISKIMG_Protection::None ? DISKIMG_Protection::ReadOnlyFile : protection;
  close(fd);
  return protection;
}

bool DISKIMG_Holds(u32 d, const char* path) {
  return (DISKIMG_InsertedMask & (1u << d)) && FILES_IdOf(path) == DISKIMG_Source[d];
}

std::string DISKIMG_NameOf(u32 d) {
  const u8* n = name_of(d);
  return std::string(n + 1, n + 1 + n[0]);
}

void DISKIMG_Moved(u32 d, const char* path) { set_name(name_of(d), known_name(path).c_str()); }

// ---- What tells images apart ----

DISKIMG_Digest DISKIMG_DigestOf(int fd, u64 size) {
  LaneHash h;
  static u8 chunk[262144];
  for (u64 at = 0; at < std::min<u64>(size, digest_span);) {
    const ssize_t got = pread(fd, chunk, sizeof chunk, off_t(at));
    if (got <= 0) break;
    h.add(chunk, size_t(got));
    at += u64(got);
  }
  return digest_from(h, size);
}

bool DISKIMG_IsFloppyBootSector(const u8* s) {
  // Its BPB's sector of 512 bytes and clusters of a power of two of them
  // (text has no zero byte to give the first).
  const u32 perCluster = s[0x0d];
  return le16(s + 0x0b) == 512 && perCluster != 0 && (perCluster & (perCluster - 1)) == 0;
}

bool DISKIMG_IsFloppyGeometry(i32 sides, i32 tracks, i32 sectorsPerTrack) {
  // Up to 86 tracks, as far as a drive's head steps, and 36 sectors a track
  // (extended density).
  return sides >= 1 && sides <= 2 && tracks >= 1 && tracks <= 86 && sectorsPerTrack >= 1 &&
         sectorsPerTrack <= 36;
}
