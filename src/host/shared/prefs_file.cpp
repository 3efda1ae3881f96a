// The preferences record, its rows and the file that keeps it.
#include "host/shared/prefs_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/endian.h"
#include "common/files.h"
#include "host/options.h"
#include "host/sound.h"
#include "machine/ikbd.h"
#include "machine/memory.h"
#include "machine/shifter.h"

u8 PREFS_Record[PREFS_RecordSize];

namespace {

// One row of the record: a big-endian u32 at `offset` that feeds `global`.
// A value is in range when lo <= v <= hi and v - lo is a multiple of step.
struct Row {
  u32 offset;
  u32* global;
  u32 fallback;  // the default
  u32 lo, hi, step;
};

constexpr u32 Any = 0xffffffffu;
// Every option word the record keeps, in the record's order. The mode keeps
// to the Shifter's three; the clock factor to at most one line's cycles (the
// MFP keeps it shifted left by 10); the frame skip to the menu's 1-5.
const Row rows[] = {
    {0x00, &PREFS_FrameSkip, 1, 1, 5, 1},
    {0x04, &PREFS_DoubleSize, 0, 0, 1, 1},
    {0x08, &PREFS_SimpleVideoCounter, 0, 0, 1, 1},
    {0x0c, &PREFS_Word0C, 1, 0, Any, 1},
    {0x10, &SHIFTER_MixedRes, 0, 0, 1, 1},
    {0x14, &PREFS_SpeedCounters, 1, 0, 1, 1},
    {0x18, &SHIFTER_Mode, 0, 0, 2, 1},
    {0x1c, &PREFS_BlitterEnabled, 0, 0, 1, 1},
    {0x20, &PREFS_WriteProtect, 0, 0, 0x40, 0x40},
    {0x24, &IKBD_JoyLayout, 1, 1, 3, 1},
    {0x4c, &PREFS_SoundOn, 0, 0, 1, 1},
    {0x54, &PREFS_Unthrottled, 0, 0, 1, 1},
    {0x58, &PREFS_BufferedDrawing, 1, 0, 1, 1},
    {0x5c, &PREFS_PauseInBackground, 1, 0, 1, 1},
    {0x60, &PREFS_HardDiskOn, 1, 0, 1, 1},
    {0x64, &PREFS_AutoSaveOnQuit, 1, 0, 1, 1},
    {0x68, &PREFS_PrinterOn, 1, 0, 1, 1},
    {0x6c, &PREFS_ClockFactor, 8, 1, 512, 1},
    {0x70, &PREFS_FdcDelay, 1, 0, 1, 1},
    {0x74, &PREFS_AutoFrameSkip, 1, 0, 1, 1},
    {0x78, &PREFS_Ram14MB, 0, 0, 1, 1},
    {0x128, &MMU_BusErrorsEnabled, 1, 0, 1, 1},
};
// MIDI output's open state: no default of its own (a new record keeps 0).
constexpr Row midi_row = {0x7c, &PREFS_MidiOutOpen, 0, 0, 1, 1};
constexpr u32 spare_byte = 0x28;  // written as 0

// The automatic state's TOS (PREFS_StateTos) in the reserved stretch at the
// record's end: a tag, the path's length and its bytes. Without the tag the
// stretch holds no path, and it is left as the file had it while there is
// none to keep.
constexpr u32 tos_tag_at = 0x12c, tos_length_at = 0x130, tos_path_at = 0x134;
constexpr u32 tos_tag = 0x544f5350;  // "TOSP"
constexpr u32 tos_path_max = PREFS_RecordSize - tos_path_at;

std::string read_state_tos(const u8* record) {
  const u32 length = be_read32(record + tos_length_at);
  if (be_read32(record + tos_tag_at) != tos_tag || length == 0 || length > tos_path_max) return {};
  const char* p = reinterpret_cast<const char*>(record + tos_path_at);
  std::string path(p, length);
  return path.find('\0') == std::string::npos ? path : std::string();
}

// A path too long for the stretch is not kept.
void write_state_tos(u8* record, const std::string& path) {
  const bool has = !path.empty() && path.size() <= tos_path_max;
  if (!has && be_read32(record + tos_tag_at) != tos_tag) return;
  be_write32(record + tos_tag_at, has ? tos_tag : 0);
  be_write32(record + tos_length_at, has ? u32(path.size()) : 0);
  if (has) std::memcpy(record + tos_path_at, path.data(), path.size());
}

bool in_range(const Row& r, u32 v) { return v >= r.lo && v <= r.hi && (v - r.lo) % r.step == 0; }

void load_row(const Row& r, const u8* record) {
  const u32 v = be_read32(record + r.offset);
  *r.global = in_range(r, v) ? v : r.fallback;
}

std::string file_in(const std::string& folder) { return folder + "/" + PREFS_FileName; }

// The folder whose file the start found but could not read, and why: that
// file is never written over in this run, so the user's settings are there
// again once it can be read. The record the start took instead (the
// defaults) tells whether the session changed anything that is then lost.
std::string kept_folder, kept_why;
u8 kept_record[PREFS_RecordSize];

// Reads up to a whole record from `path`; the number of bytes read, or -1
// with `why` set when it could not be opened or a read failed.
i32 read_record(const std::string& path, u8* record, std::string& why) {
  const int fd = FILES_OpenRegular(path.c_str(), O_RDONLY, why);
  if (fd < 0) return -1;
  u32 got = 0;
  while (got < PREFS_RecordSize) {
    const ssize_t n = read(fd, record + got, PREFS_RecordSize - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = std::string("can't be read (") + std::strerror(errno) + ")";
      close(fd);
      return -1;
    }
    if (n == 0) break;
    got += u32(n);
  }
  close(fd);
  return i32(got);
}

// Creates `folder` and the folders above it that are missing, private to
// the user as configuration folders are.
bool make_folder(const std::string& folder, std::string& error) {
  for (size_t i = 1; i <= folder.size(); ++i) {
    if (i < folder.size() && folder[i] != '/') continue;
    const std::string part = folder.substr(0, i);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      error = part + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

}  // namespace

std::string PREFS_FolderPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/vantorell";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.config/vantorell";
  return std::string();
}

void PREFS_RecordDefaults(u8* record) {
  for (const Row& r : rows) be_write32(record + r.offset, r.fallback);
  record[spare_byte] = 0;
}

void PREFS_RecordToGlobals(const u8* record) {
  for (const Row& r : rows) load_row(r, record);
  load_row(midi_row, record);
  PREFS_StateTos = read_state_tos(record);
  SHIFTER_Resolution = u16(SHIFTER_Mode);
  SOUND_Active = PREFS_SoundOn;
}

void PREFS_GlobalsToRecord(u8* record) {
  for (const Row& r : rows) be_write32(record + r.offset, *r.global);
  if (SHIFTER_Mode == 1) be_write32(record + 0x18, 0);
  be_write32(record + midi_row.offset, PREFS_MidiOutOpen);
  write_state_tos(record, PREFS_StateTos);
  record[spare_byte] = 0;
}

u32 PREFS_HasFindFolder() { return PREFS_FolderPath().empty() ? 0 : 1; }

u32 PREFS_CreateNamedFolder(const std::string& folder) {
  std::string error;
  if (make_folder(folder, error)) return 1;
  std::fprintf(stderr, "Preferences folder not made: %s\n", error.c_str());
  return 0;
}

u32 PREFS_FindPrefsFolder(std::string& folder) {
  folder = PREFS_FolderPath();
  return !folder.empty() && PREFS_CreateNamedFolder(folder) ? 1 : 0;
}

i32 PREFS_ReadFile(const std::string& folder, u8* record, std::string* why) {
  const std::string path = file_in(folder);
  std::string error;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return PREFS_NoFile;
    error = std::string("can't be read (") + std::strerror(errno) + ")";
  } else {
    const i32 got = read_record(path, record, error);
    if (got == i32(PREFS_RecordSize)) return 0;
    if (got >= st.st_size) return PREFS_ShortFile;
    if (got >= 0) error = "could not be read whole";
  }
  if (why) *why = path + " " + error;
  return PREFS_ReadError;
}

u32 PREFS_ReadFromFolder(const std::string& folder, u8* record) {
  return !folder.empty() && PREFS_ReadFile(folder, record) == 0 ? 1 : 0;
}

u32 PREFS_WriteFileHere(const std::string& folder, std::string* why) {
  std::string error;
  if (FILES_WriteWhole(file_in(folder).c_str(), PREFS_Record, PREFS_RecordSize, error)) return 1;
  std::fprintf(stderr, "Preferences not saved: %s\n", error.c_str());
  if (why) *why = error;
  return 0;
}

u32 PREFS_WriteFile(const std::string& folder, std::string* why) {
  std::string error;
  if (folder.empty()) {
    error = "there is no folder for them (neither XDG_CONFIG_HOME nor HOME names one)";
    std::fprintf(stderr, "Preferences not saved: %s\n", error.c_str());
  } else if (!make_folder(folder, error)) {
    std::fprintf(stderr, "Preferences folder not made: %s\n", error.c_str());
  } else {
    return PREFS_WriteFileHere(folder, why);
  }
  if (why) *why = error;
  return 0;
}

u32 PREFS_DeleteFile(const std::string& folder) { return unlink(file_in(folder).c_str()) == 0 ? 1 : 0; }

std::string PREFS_LoadFrom(const std::string& folder) {
  kept_folder.clear();
  kept_why.clear();
  std::string why;
  const i32 read = folder.empty() ? PREFS_NoFile : PREFS_ReadFile(folder, PREFS_Record, &why);
  if (read == PREFS_ReadError) {
    // Nothing half read is taken, and nothing is written over the file.
    std::memset(PREFS_Record, 0, PREFS_RecordSize);
    PREFS_RecordDefaults(PREFS_Record);
    kept_folder = folder;
    kept_why = why;
    std::memcpy(kept_record, PREFS_Record, PREFS_RecordSize);
  } else if (read != 0) {
    PREFS_RecordDefaults(PREFS_Record);
    if (!folder.empty()) PREFS_WriteFile(folder);
  }
  PREFS_RecordToGlobals(PREFS_Record);
  return why;
}

bool PREFS_SaveTo(const std::string& folder, std::string* why) {
  // Once nothing of that name is there any more, there is nothing to keep.
  if (!folder.empty() && folder == kept_folder && !FILES_Exists(file_in(folder).c_str())) kept_folder.clear();
  if (!folder.empty() && folder == kept_folder) {
    u8 now[PREFS_RecordSize];
    std::memcpy(now, kept_record, PREFS_RecordSize);
    PREFS_GlobalsToRecord(now);
    if (std::memcmp(now, kept_record, PREFS_RecordSize) == 0) return true;  // nothing of this run is lost
    // Why it is kept, as it is now: still unreadable, or readable since
    // (its settings, which this run never took, stay).
    u8 unused[PREFS_RecordSize];
    std::string reason;
    if (PREFS_ReadFile(folder, unused, &reason) != PREFS_ReadError)
      reason = file_in(folder) + " could not be read at the start, and holds settings this run never took";
    const std::string error = reason + ": it is kept as it was, without the settings changed since the start";
    std::fprintf(stderr, "Preferences not saved: %s\n", error.c_str());
    if (why) *why = error;
    return false;
  }
  PREFS_GlobalsToRecord(PREFS_Record);
  return PREFS_WriteFile(folder, why) != 0;
}
