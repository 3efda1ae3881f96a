// vantorell-headless: builds the machine as the application does, with a
// given folder as the application's folder, runs it unthrottled for a number
// of frames and prints one line of figures; it can write the last frame's
// picture as a PNG and the machine's state at the end, and feed it keyboard
// and mouse input from a script (input_script.h). For tests and benchmarks;
// the application itself takes no arguments.
//
//   vantorell-headless --folder DIR --frames N [--screenshot FILE.png]
//                      [--save-state FILE] [--monochrome] [--blitter] [--input SCRIPT]
//                      [--prefetch] [--debug] [--sound] [--counts]
//
// --prefetch is a developer option: the 68000 runs the handler table with the
// prefetch register and address errors instead of the plain one. --debug
// opens the built-in debugger on the console at the first instruction (its
// `q` quits as the window's quit does, "Auto Saved State" written in DIR).
// --sound switches sound on, as the preferences would: the sound chip's
// samples are then synthesized (and dropped once the ring is full). --counts
// prints, before the figures, the 68000 instructions executed and the sound
// samples synthesized in the run, which the instruction-count benchmark
// (bench/count_instructions.sh) divides by.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/console.h"
#include "common/files.h"
#include "cpu/registers.h"
#include "host/app.h"
#include "host/debugger/debugger.h"
#include "host/options.h"
#include "host/sound.h"
#include "host/shared/screen_convert.h"
#include "input_script.h"
#include "machine/holders.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"
#include "machine/state.h"
#include "machine/ym2149.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: vantorell-headless --folder DIR --frames N [--screenshot FILE.png] "
               "[--save-state FILE] [--monochrome] [--blitter] [--input SCRIPT] [--prefetch] "
               "[--debug] [--sound] [--counts]\n");
  return 2;
}

// The run's status once its report is out: a write to standard output that
// failed (a full disk, a closed descriptor) lost some of it, which fails the
// run; output into a pipe nobody reads any more is dropped and changes
// nothing (see main).
int finish(int status) {
  const int error = CONSOLE_OutputError();
  if (error == 0) return status;
  std::fprintf(stderr, "vantorell-headless: standard output: %s\n", std::strerror(error));
  return status ? status : 1;
}

[[noreturn]] void start_up_failed(int code) {
  std::fflush(stdout);
  std::fprintf(stderr, "vantorell-headless: the machine could not be started (exit code %d)\n",
               code);
  std::exit(code ? code : 1);
}

}  // namespace

int main(int argc, char** argv) {
  CONSOLE_ClaimStandardFiles();
  // Output into a pipe nobody reads any more (`| head -1`) is lost, and the
  // run goes on to write the files it was asked for and to report in its
  // status, as the windowed program does. It starts no other program that
  // would inherit the ignored signal. Output lost any other way (a full
  // disk) is said on standard error and fails the run (finish).
  std::signal(SIGPIPE, SIG_IGN);
  std::string folder, screenshot, save_state, input;
  long frames = -1;
  bool monochrome = false, blitter = false, prefetch = false, debug = false, sound = false,
       counts = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!std::strcmp(arg, "--monochrome")) {
      monochrome = true;
      continue;
    }
    if (!std::strcmp(arg, "--blitter")) {
      blitter = true;
      continue;
    }
    if (!std::strcmp(arg, "--prefetch")) {
      prefetch = true;
      continue;
    }
    if (!std::strcmp(arg, "--debug")) {
      debug = true;
      continue;
    }
    if (!std::strcmp(arg, "--sound")) {
      sound = true;
      continue;
    }
    if (!std::strcmp(arg, "--counts")) {
      counts = true;
      continue;
    }
    if (i + 1 >= argc) return usage();
    if (!std::strcmp(arg, "--folder")) {
      folder = argv[++i];
    } else if (!std::strcmp(arg, "--frames")) {
      char* end = nullptr;
      errno = 0;
      frames = std::strtol(argv[++i], &end, 10);
      // The frame limit is a 32-bit count, and 0 would mean no limit at all.
      if (*end || errno || frames <= 0 || frames > 0xffffffffL) return usage();
    } else if (!std::strcmp(arg, "--screenshot")) {
      screenshot = argv[++i];
    } else if (!std::strcmp(arg, "--save-state")) {
      save_state = argv[++i];
    } else if (!std::strcmp(arg, "--input")) {
      input = argv[++i];
    } else {
      return usage();
    }
  }
  if (folder.empty() || frames <= 0) return usage();
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    std::fprintf(stderr, "vantorell-headless: %s is not a folder\n", folder.c_str());
    return 1;
  }
  // The runner writes the folder's disks too: one copy a folder, as for the
  // application (whose start takes the lock held here again).
  APP_FolderOverride = std::filesystem::absolute(folder).string();
  APP_GetAppFolder();
  if (!APP_LockFolder()) {
    std::fprintf(stderr, "vantorell-headless: another copy of Vantorell runs from %s\n",
                 folder.c_str());
    return 1;
  }
  const std::string tos = (std::filesystem::path(folder) / "tos.img").string();
  std::string why;
  const int tos_fd = FILES_OpenRegular(tos.c_str(), O_RDONLY, why);
  if (tos_fd < 0) {
    std::fprintf(stderr, "vantorell-headless: no TOS image: %s %s\n", tos.c_str(), why.c_str());
    return 1;
  }
  close(tos_fd);

  std::vector<InputEvent> events;
  if (!input.empty()) {
    std::string text, error;
    if (read_input_script(input, text, error)) parse_input_script(text, events, error);
    if (!error.empty()) {
      std::fprintf(stderr, "vantorell-headless: %s\n", error.c_str());
      return 2;
    }
  }

  HOST_ExitHandler = start_up_failed;
  APP_StartUp();
  PREFS_Unthrottled = 1;
  // A monochrome monitor pins the Shifter to high resolution.
  if (monochrome) SHIFTER_Mode = 2;
  if (blitter) PREFS_BlitterEnabled = 1;
  if (sound) PREFS_SoundOn = SOUND_Active = 1;
  // Read by the dispatch build inside the machine's start-up.
  if (prefetch) m68k_prefetch_mode = 1;
  APP_InitMachine();
  if (!input.empty()) install_input_script(std::move(events));

  SCHED_StopAfterFrames = u32(frames);
  if (debug) DEBUG_RequestEntry();
  const u64 instructions_before = m68k_instruction_count;
  const u64 frames_before = SCHED_FramesEnded;
  const u64 sound_frames_before = SOUND_FramesEnded;
  const auto t0 = std::chrono::steady_clock::now();
  APP_Run();
  const auto t1 = std::chrono::steady_clock::now();
  if (!screenshot.empty()) {
    const SCREEN_Image picture = SCREEN_ConvertST(MMU_RamBase, MMU_RamSize, SCREEN_CurrentView());
    // Never written over a file the machine holds (a disk, a hard disk's
    // image, the printer's output).
    std::string error = HOLDERS_Of(screenshot.c_str());
    if (!error.empty()) error = "no picture written: " + error;
    if (!error.empty() || !SCREEN_WritePng(screenshot, picture, error)) {
      std::fprintf(stderr, "vantorell-headless: %s\n", error.c_str());
      APP_ShutDown();
      return finish(1);
    }
  }
  // The state as the menu's save command writes it (which reports a failure).
  if (!save_state.empty() && !STATE_Write(save_state.c_str())) {
    APP_ShutDown();
    return finish(1);
  }
  // A quit from the debugger that could not save everything ends the run
  // with status 1 once it has reported.
  const int status = APP_ShutDown();

  // The machine paces itself to 50 frames a second: that is emulated time.
  // Frame ends are counted here, not by the machine, whose count starts
  // again at every reset.
  const u64 frames_run = SCHED_FramesEnded - frames_before;
  const double emulated = double(frames_run) / 50.0;
  const double host = std::chrono::duration<double>(t1 - t0).count();
  const u64 instructions = m68k_instruction_count - instructions_before;
  const double mips = double(instructions) / host / 1e6;
  if (counts) {
    // Every frame end that reaches the synthesizer completes its frame's samples.
    const u64 samples = u64(SOUND_FramesEnded - sound_frames_before) * PSG_State.samplesPerFrame;
    std::printf("instructions %llu samples %llu\n", static_cast<unsigned long long>(instructions),
                static_cast<unsigned long long>(samples));
  }
  std::printf("frames %llu emulated %.3f s host %.3f s ratio %.2f mips %.2f\n",
              static_cast<unsigned long long>(frames_run),
              emulated, host, host > 0 ? emulated / host : 0.0, mips);
  return finish(status);
}
