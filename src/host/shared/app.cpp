// Application services every host shares: the application's folder and its
// lock (one copy of the application a folder), the system clocks, the
// start-up banner, the texts of the fatal start-up errors and the process
// exit.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>

#include "host/app.h"
#include "host/dialogs.h"
#include "host/shared/input.h"
#include "machine/state.h"

APP_FolderRecord APP_Folder;
std::string APP_FolderOverride;

void APP_GetAppFolder() {
  if (!APP_FolderOverride.empty()) {
    APP_Folder.path = APP_FolderOverride;
    return;
  }
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  APP_Folder.path = ec ? std::string(".") : exe.parent_path().string();
}

namespace {

// The folder whose lock this process holds: its descriptor (-1 for none)
// and the folder's identity, which every path to it shares.
int locked_folder = -1;
dev_t locked_device;
ino_t locked_inode;

void unlock_folder() {
  if (locked_folder >= 0) close(locked_folder);  // the lock goes with it
  locked_folder = -1;
}

}  // namespace

bool APP_LockFolder() {
  const int fd = open(APP_Folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    if (fd >= 0) close(fd);
    unlock_folder();
    return true;
  }
  if (locked_folder >= 0 && st.st_dev == locked_device && st.st_ino == locked_inode) {
    // Ours already: a second lock through this new descriptor would be
    // refused by our own.
    close(fd);
    return true;
  }
  unlock_folder();
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool taken = errno == EWOULDBLOCK;
    close(fd);
    return !taken;
  }
  locked_folder = fd;
  locked_device = st.st_dev;
  locked_inode = st.st_ino;
  return true;
}

std::string APP_FindFile(const char* name) {
  const std::filesystem::path p = std::filesystem::path(APP_Folder.path) / name;
  std::error_code ec;
  return std::filesystem::is_regular_file(p, ec) ? p.string() : std::string();
}

// ---- Clocks ----

namespace {

u64 system_microseconds() {
  using namespace std::chrono;
  return u64(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

void system_sleep(u32 us) { std::this_thread::sleep_for(std::chrono::microseconds(us)); }

HOST_DateTime system_local_time() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

}  // namespace

HOST_ClockOps HOST_Clock = {system_microseconds, system_sleep, system_local_time};

void HOST_UseSystemClock() { HOST_Clock = {system_microseconds, system_sleep, system_local_time}; }

// ---- Start-up and shut-down ----

namespace {
[[noreturn]] void exit_process(int code) {
  std::fflush(stdout);
  std::exit(code);
}
}  // namespace

HOST_ExitFn HOST_ExitHandler = exit_process;

void HOST_Exit(int code) {
  std::fflush(stdout);
  HOST_ExitHandler(code);
  std::abort();  // an exit handler must not return
}

void APP_Banner() {
  std::puts("---Vantorell Atari ST Emulator---");
  std::puts("Written by the Vantorell developers.");
  std::puts("Vesion 1.42 (601) 1/6/2004");
  std::puts("Booting the ST...");
}

void APP_ICStart() {}
void APP_ICStop() {}

const char* APP_FatalMessage(i32 code) {
  switch (code) {
    case 1: return "Not enough memory to create a window... Vantorell will exit...";
    case 2: return "Unable to allocate ST Ram memory... Vantorell will exit...";
    case 3: return "Sound memory error... Vantorell will exit...";
    case 4: return "Errors during init... Vantorell will exit...";
    case 5: return "PSG initialisation error... Vantorell will exit...";
    case 6: return "ST Rom memory error... Vantorell will exit...";
    case 8: return "Offscreen memory error... Vantorell will exit...";
    default: return nullptr;
  }
}

std::string APP_FatalText(i32 code) {
  const char* msg = APP_FatalMessage(code);
  return msg ? std::string(msg) : DLG_LastAlertText();
}

void APP_StoreLong(u32* word, u32 value) { *word = value; }

u8* APP_BlockMoveA(u8* dest, const u8* text) {
  std::memmove(dest, text, size_t(text[0]) + 1);
  return dest;
}

u8* APP_BlockMoveB(u8* dest, const u8* text) { return APP_BlockMoveA(dest, text); }

int APP_FSWriteLong(int fd) {
  const u8 bytes[4] = {u8(STATE_SpareWord >> 24), u8(STATE_SpareWord >> 16), u8(STATE_SpareWord >> 8),
                       u8(STATE_SpareWord)};
  const ssize_t n = write(fd, bytes, 4);
  return n == 4 ? 0 : n < 0 ? errno : EIO;
}

int APP_FSReadLong(int fd) {
  u8 b[4];
  const ssize_t n = read(fd, b, 4);
  if (n != 4) return n < 0 ? errno : EIO;
  STATE_SpareWord = u32(b[0]) << 24 | u32(b[1]) << 16 | u32(b[2]) << 8 | b[3];
  return 0;
}

// ---- The desktop's requests ----

i32 APP_HandleQuit(const APP_AppleEvent&) {
  APP_AutoSaveOnQuit();
  return 0;
}

i32 APP_HandlePrintDocs(const APP_AppleEvent&) { return 0; }

i32 APP_HandleOpenDocs(const APP_AppleEvent& event) {
  APP_OpenDocuments(event.paths, event.command, event.atStart);
  return 0;
}

i32 APP_HandleOpenApp(const APP_AppleEvent&) { return 0; }

const APP_AppleEventHandler APP_AppleEventTable[4] = {APP_HandleQuit, APP_HandlePrintDocs, APP_HandleOpenDocs,
                                                      APP_HandleOpenApp};

i32 APP_ProcessAppleEvent(const APP_AppleEvent& event) { return APP_AppleEventTable[event.kind](event); }
