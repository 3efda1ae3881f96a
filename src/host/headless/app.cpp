// Application, clock, option and exit services of the windowless build.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <thread>

#include "host/app.h"
#include "host/menu.h"
#include "host/options.h"
#include "host/screen.h"
#include "host/sound.h"
#include "machine/memory.h"
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

void APP_InstallAppleEvents() {}
u32 SCREEN_Init() { return 0; }

void APP_Banner() {
  std::puts("Vantorell");
  std::puts("Version 0.1");
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

void APP_Fatal(i32 code) {
  const char* msg = APP_FatalMessage(code);
  std::fprintf(stderr, "alert: %s\n", msg ? msg : "");
  HOST_Exit(1);
}

void APP_ExitHook() {}
void MENU_UpdateChecks() {}

// ---- Option words ----

// Each option word starts with, and PREFS_SetDefaults gives it, the value a
// new preferences record holds.
u32 PREFS_Ram14MB, PREFS_BlitterEnabled, PREFS_FdcDelay = 1;
u32 PREFS_Unthrottled, PREFS_HardDiskOn = 1, PREFS_FrameSkip = 1, PREFS_AutoFrameSkip = 1;
u32 PREFS_SpeedCounters = 1, PREFS_BufferedDrawing = 1, PREFS_PrinterOn = 1, PREFS_BigScreen;
u32 PREFS_ClockFactor = 8, PREFS_AutoSaveOnQuit = 1, PREFS_WriteProtect, PREFS_SoundOn;
u32 PREFS_SimpleVideoCounter;

void PREFS_SetDefaults() {
  PREFS_Ram14MB = 0;
  PREFS_BlitterEnabled = 0;
  MMU_BusErrorsEnabled = 1;
  PREFS_FdcDelay = 1;
  PREFS_Unthrottled = 0;
  PREFS_HardDiskOn = 1;
  PREFS_FrameSkip = 1;
  PREFS_AutoFrameSkip = 1;
  PREFS_SpeedCounters = 1;
  PREFS_BufferedDrawing = 1;
  PREFS_PrinterOn = 1;
  PREFS_BigScreen = 0;
  PREFS_ClockFactor = 8;
  PREFS_AutoSaveOnQuit = 1;
  PREFS_WriteProtect = 0;
  PREFS_SoundOn = 0;
  PREFS_SimpleVideoCounter = 0;
}

// This build keeps no preferences file: every start takes the defaults.
void PREFS_Load() {
  PREFS_SetDefaults();
  SOUND_Active = PREFS_SoundOn;
}
void PREFS_Save() {}
