// vantorell-headless: builds the machine as the application does, with a
// given folder as the application's folder, runs it unthrottled for a number
// of frames and prints one line of figures. For tests and benchmarks; the
// application itself takes no arguments.
//
//   vantorell-headless --folder DIR --frames N [--screenshot FILE.png]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "host/host.h"
#include "machine/machine.h"
#include "machine/scheduler.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: vantorell-headless --folder DIR --frames N [--screenshot FILE.png]\n");
  return 2;
}

[[noreturn]] void start_up_failed(int code) {
  std::fflush(stdout);
  std::fprintf(stderr, "vantorell-headless: the machine could not be started (exit code %d)\n",
               code);
  std::exit(code ? code : 1);
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder, screenshot;
  long frames = -1;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (i + 1 >= argc) return usage();
    if (!std::strcmp(arg, "--folder")) {
      folder = argv[++i];
    } else if (!std::strcmp(arg, "--frames")) {
      char* end = nullptr;
      frames = std::strtol(argv[++i], &end, 10);
      if (*end || frames <= 0) return usage();
    } else if (!std::strcmp(arg, "--screenshot")) {
      screenshot = argv[++i];
    } else {
      return usage();
    }
  }
  if (folder.empty() || frames <= 0) return usage();
  if (!screenshot.empty()) {
    std::fprintf(stderr,
                 "vantorell-headless: --screenshot needs the Shifter's screen conversion, "
                 "which this build doesn't have yet\n");
    return 2;
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    std::fprintf(stderr, "vantorell-headless: %s is not a folder\n", folder.c_str());
    return 1;
  }
  const std::filesystem::path tos = std::filesystem::path(folder) / "tos.img";
  if (!std::filesystem::is_regular_file(tos, ec)) {
    std::fprintf(stderr, "vantorell-headless: no TOS image: %s does not exist\n",
                 tos.string().c_str());
    return 1;
  }

  APP_FolderOverride = std::filesystem::absolute(folder).string();
  HOST_ExitHandler = start_up_failed;
  APP_StartUp();
  PREFS_Unthrottled = 1;
  APP_InitMachine();

  SCHED_StopAfterFrames = u32(frames);
  const u64 instructions_before = m68k_instruction_count;
  const auto t0 = std::chrono::steady_clock::now();
  APP_Run();
  const auto t1 = std::chrono::steady_clock::now();
  APP_ShutDown();

  // The machine paces itself to 50 frames a second: that is emulated time.
  const double emulated = double(SCHED_FrameCount) / 50.0;
  const double host = std::chrono::duration<double>(t1 - t0).count();
  const double mips = double(m68k_instruction_count - instructions_before) / host / 1e6;
  std::printf("frames %u emulated %.3f s host %.3f s ratio %.2f mips %.2f\n", SCHED_FrameCount,
              emulated, host, host > 0 ? emulated / host : 0.0, mips);
  return 0;
}
