#include "machine/psg.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/files.h"
#include "host/app.h"
#include "host/options.h"
#include "machine/holders.h"
#include "machine/mfp.h"
#include "machine/scheduler.h"

PSG_RegisterCopy PSG_RegCopy;
u32 PSG_PortA;
i32 PRINTER_Fd = -1;

namespace {

// Where each register's copy lives and how many bits it keeps.
u32* copy_slot(u32 r) {
  PSG_RegisterCopy& c = PSG_RegCopy;
  switch (r) {
    case 0: return &c.r0;
    case 1: return &c.r1;
    case 2: return &c.r2;
    case 3: return &c.r3;
    case 4: return &c.r4;
    case 5: return &c.r5;
    case 6: return &c.r6;
    case 7: return &c.r7;
    case 8: return &c.r8;
    case 9: return &c.r9;
    case 10: return &c.r10;
    case 11: return &c.r11;
    case 12: return &c.r12;
    case 13: return &c.r13;
    default: return nullptr;
  }
}


// The printed bytes wait here until the buffer is full, the frame ends or
// the file is closed: one system call per buffer, not one per byte.
u8 printer_buffer[8192];
u32 printer_buffered;
// The file was refused, or a write to it failed, and that was said: printed
// bytes are dropped, without another try, until PRINTER_Retry.
bool printer_failed;
// The file was begun (emptied) in this run: opened again after a failure,
// it goes on at its end.
bool printer_begun;
// The open file, to see whether "Printer Output" still names it.
FILES_Id printer_id;
// Whether the name was looked at since the frame began (or the last retry):
// it is looked at before the first write of a frame, not for every byte.
bool printer_looked;
// The open file's path, for the words of a refusal.
std::string printer_open_path;
// The files the printer found held by a drive (also as a floppy waiting for
// it) or a hard disk in this run, each kept open so that no other file takes
// its device and inode: none is printed into again, also once its drive let
// it go, and the bytes are lost as was said when it was found (said again
// only when the printer printed into another file since). Another file put
// under the name is the printer's again.
struct HeldFile {
  int fd;
  FILES_Id id;
  bool said;  // its loss is the last the user was told of
};
std::vector<HeldFile> printer_held;
// The name was found held while nothing lay there (a floppy dropped under it
// waits for its drive, and would take whatever is put there), and that was
// said since the printer last printed into a file.
bool printer_name_said;

HeldFile* found_held(const FILES_Id& id) {
  for (HeldFile& h : printer_held)
    if (h.id == id) return &h;
  return nullptr;
}

// Keeps the descriptor of a file the printer found held (or closes it, when
// that file is known already).
void keep_held(int fd, const FILES_Id& id) {
  if (found_held(id)) close(fd);
  else printer_held.push_back({fd, id, true});
}

constexpr const char* printer_name = "Printer Output";

std::string printer_path() {
  APP_GetAppFolder();
  return APP_Folder.path + "/" + printer_name;
}

// Drops printed bytes from here on.
void printer_stop() {
  printer_failed = true;
  printer_buffered = 0;
}

// Says once why printed bytes are lost (`why` follows the file's path) and
// drops them from here on.
void printer_give_up(const std::string& why) {
  std::fprintf(stderr, "%s%s: printed bytes are lost\n", printer_path().c_str(), why.c_str());
  printer_stop();
}

// A write or the close failed: the file keeps what reached it.
void printer_write_failed(int error) { printer_give_up(std::string(": ") + std::strerror(error)); }

// Nothing lies under the name, and a floppy waiting for its drive holds it
// (`held` says so): the bytes are lost, said once until the printer printed
// into a file again.
bool name_held(const std::string& held) {
  if (printer_name_said) {
    printer_stop();
  } else {
    printer_name_said = true;
    printer_give_up(": " + held);
  }
  return false;
}

// Opens "Printer Output", the first time in a run afresh, so no tail of an
// older, longer output survives behind the new one. The file is ours: a
// symbolic link in its place is not followed (it would truncate whatever it
// points at), a file with other names (hard links) is not emptied under
// them, nor is anything but a regular file opened, nor a file the machine
// holds as a disk, nor one it was found to hold earlier in the run; the
// bytes are then lost, and that is said once. Nothing is made under a name
// a floppy waiting for its drive holds: it would go in as that disk.
bool open_printer_file() {
  const std::string path = printer_path();
  std::string why;
  struct stat st;
  bool absent;
  int fd;
  // A file put under the name between the look and the making is looked at
  // again, as found there.
  for (int look = 0;; ++look) {
    absent = lstat(path.c_str(), &st) != 0 && errno == ENOENT;
    if (const std::string waits = absent ? HOLDERS_Of(path.c_str(), HOLDERS_Drives) : ""; !waits.empty())
      return name_held(waits);
    const int flags = O_RDWR | O_NOFOLLOW | O_APPEND | (absent ? O_CREAT | O_EXCL : 0);
    fd = FILES_OpenRegular(path.c_str(), flags, why);
    if (fd >= 0 || !absent || errno != EEXIST || look > 0) break;
  }
  const bool made = absent && fd >= 0;  // never one of the files found held
  std::string held;
  if (fd >= 0 && fstat(fd, &st) != 0) {
    why = std::string("can't be looked at (") + std::strerror(errno) + ")";
  } else if (HeldFile* h = fd >= 0 ? found_held(FILES_IdOf(st)) : nullptr) {
    close(fd);
    if (h->said) {
      printer_stop();  // said when it was found
    } else {
      // Who holds it now, if anyone: else that somebody did.
      h->said = true;
      held = HOLDERS_OfFile(h->id, path, HOLDERS_Drives | HOLDERS_HardDisks);
      printer_give_up(held.empty() ? " was held as a disk earlier in this run" : ": " + held);
    }
    return false;
  } else if (fd >= 0 &&
             !(held = HOLDERS_OfFile(FILES_IdOf(st), path, HOLDERS_Drives | HOLDERS_HardDisks)).empty()) {
    why = held;
  } else if (fd >= 0 && st.st_nlink > 1) {
    why = "has other names (hard links)";
  } else if (fd >= 0 && !printer_begun && ftruncate(fd, 0) != 0) {
    why = std::string("can't be emptied (") + std::strerror(errno) + ")";
  } else if (fd >= 0) {
    for (HeldFile& h : printer_held) h.said = false;
    printer_name_said = false;
    PRINTER_Fd = fd;
    printer_id = FILES_IdOf(st);
    printer_open_path = path;
    printer_begun = true;
    return true;
  }
  if (fd >= 0 && !held.empty() && made) {
    // Taken by a floppy the moment it was made (one waiting under another
    // name that leads here): nothing is left behind.
    if (FILES_IdOf(path) == FILES_IdOf(st)) unlink(path.c_str());
    close(fd);
    return name_held(held);
  }
  if (fd >= 0 && !held.empty()) keep_held(fd, FILES_IdOf(st));
  else if (fd >= 0) close(fd);
  printer_give_up((held.empty() ? " " : ": ") + why);
  return false;
}

// Whether "Printer Output" still names the open file: it was not removed,
// nor renamed with another file (or nothing) put in its place.
bool printer_file_named() {
  struct stat own, named;
  return fstat(PRINTER_Fd, &own) == 0 && own.st_nlink > 0 &&
         lstat(printer_path().c_str(), &named) == 0 && FILES_IdOf(named) == printer_id;
}

// Writes the gathered bytes. Before the first write of a frame, a printer
// file that lost its name is left to whoever has it, and the bytes not
// written yet go to a new "Printer Output" (said once); opened as after a
// failure, so a file someone else put there is not emptied. A file a drive
// took as its disk since it was opened (a dropped floppy goes in mid-frame:
// the drives are asked before every write, in memory, and a floppy waiting
// for a drive where it lies), or a hard disk (asked as the frame begins), is
// left to it for the rest of the run, and the bytes are lost from there on.
void write_printer_buffer() {
  u32 holders = HOLDERS_Drives;
  if (!printer_looked) {
    printer_looked = true;
    holders |= HOLDERS_HardDisks;
    if (!printer_file_named()) {
      close(PRINTER_Fd);
      PRINTER_Fd = -1;
      if (!open_printer_file()) return;
      std::fprintf(stderr, "%s was removed or renamed: printing into a new file\n",
                   printer_path().c_str());
    }
  }
  const std::string held = HOLDERS_OfFile(printer_id, printer_open_path, holders);
  if (!held.empty()) {
    keep_held(PRINTER_Fd, printer_id);
    PRINTER_Fd = -1;
    return printer_give_up(": " + held);
  }
  const u32 n = printer_buffered;
  printer_buffered = 0;
  if (FILES_WriteAll(PRINTER_Fd, printer_buffer, n)) return;
  const int error = errno;
  close(PRINTER_Fd);
  PRINTER_Fd = -1;
  printer_write_failed(error);
}

void print_byte(u8 v) {
  if (PRINTER_Fd < 0 && (printer_failed || !open_printer_file())) return;  // the byte is lost
  printer_buffer[printer_buffered++] = v;
  if (printer_buffered == sizeof printer_buffer) write_printer_buffer();
}

void data_write(u32 v) {
  v &= 0xff;
  const u32 r = PSG_RegCopy.selected;
  if (PREFS_SoundOn) PSG_WriteDataAt(v, SCHED_FrameCycle);
  if (r < 14) {
    PSG_SetCopy(r, v);
    if (r == 13) PSG_RegCopy.shapeWritten = 1;
  } else if (r == 14) {
    PSG_PortA = v;
  } else {
    PSG_RegCopy.r15 = v;
    print_byte(u8(v));
    MFP_GPI &= u8(~0x01);  // the printer's busy line
  }
}

}  // namespace

void PRINTER_Flush() {
  if (printer_buffered) write_printer_buffer();
  printer_looked = false;  // the next frame looks again
}

void PRINTER_Close() {
  PRINTER_Flush();
  const int fd = PRINTER_Fd;
  PRINTER_Fd = -1;
  if (fd >= 0 && close(fd) != 0) printer_write_failed(errno);
  printer_failed = printer_begun = printer_name_said = false;
  for (const HeldFile& h : printer_held) close(h.fd);
  printer_held.clear();
}

void PRINTER_KeepOutput() { printer_begun = true; }

bool PRINTER_Holds(const char* path) {
  const auto id = FILES_IdOf(path);
  if (id && PRINTER_Fd >= 0 && FILES_IdOf(PRINTER_Fd) == id) return true;
  const std::string own = printer_path();
  struct stat st;
  if (id && lstat(own.c_str(), &st) == 0 && S_ISREG(st.st_mode) && *id == FILES_IdOf(st))
    return true;
  // The name itself, whatever is there (nothing yet, a link the printer
  // won't follow): the next printed byte may create it.
  return FILES_SamePlace(path, own.c_str());
}

void PRINTER_Retry() {
  printer_failed = false;
  printer_looked = false;
}

void PSG_SetCopy(u32 r, u32 v) { *copy_slot(r) = v & PSG_RegisterMask[r]; }

u32 PSG_CopyOf(u32 r) {
  if (r < 14) return *copy_slot(r);
  if (r == 14) return PSG_PortA & 0xff;
  return 0;
}

u32 PSG_GetB(u32 addr) {
  if ((addr & 3) == 0) return PSG_CopyOf(PSG_RegCopy.selected);
  return 0;
}

u32 PSG_GetW(u32 addr) {
  if (addr == 0xff8800) return PSG_GetB(addr) << 8;
  if (addr == 0xff8802) return 0;
  return addr;
}

u32 PSG_GetL(u32) { return 0; }

void PSG_PutB(u32 addr, u32 value) {
  switch (addr & 3) {
    case 0:
      if (PREFS_SoundOn) PSG_Select(value);
      PSG_RegCopy.selected = value & 15;
      break;
    case 2: data_write(value); break;
    default: break;
  }
}

void PSG_PutW(u32 addr, u32 value) {
  if (addr == 0xff8800 || addr == 0xff8802) PSG_PutB(addr, (value >> 8) & 0xff);
}

void PSG_PutL(u32 addr, u32 value) {
  if ((addr & 3) != 0) return;
  PSG_PutB(0xff8800, (value >> 24) & 0xff);
  data_write((value >> 8) & 0xff);
}

