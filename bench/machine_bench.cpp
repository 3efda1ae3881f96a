// The machine's speed: a test ROM workload booted through the start-up path
// and run unthrottled for a fixed number of frames. Reports the ratio of
// emulated to host time (the machine paces itself to 50 frames a second).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/app.h"
#include "host/options.h"
#include "machine/machine.h"
#include "machine/scheduler.h"

namespace {

constexpr u32 frames_per_run = 100;

std::string make_folder() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "vantorell-bench-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) return {};
  std::filesystem::copy_file(std::string(M68K_PROGRAM_DIR) + "/workload.img", tmpl + "/tos.img");
  return tmpl;
}

void BM_MachineFrames(benchmark::State& state) {
  const std::string folder = make_folder();
  if (folder.empty()) {
    state.SkipWithError("no temporary folder");
    return;
  }
  APP_FolderOverride = folder;
  std::FILE* saved = stdout;
  stdout = std::fopen("/dev/null", "w");  // the start-up lines
  APP_StartUp();
  PREFS_Unthrottled = 1;
  APP_InitMachine();
  std::fclose(stdout);
  stdout = saved;

  u64 frames = 0;
  const u64 before = m68k_instruction_count;
  for (auto _ : state) {
    APP_StopFlag = 0;
    SCHED_StopAfterFrames = frames_per_run;  // every run restarts the machine
    APP_Run();
    frames += frames_per_run;
  }
  SCHED_StopAfterFrames = 0;
  state.counters["emulated_s"] = benchmark::Counter(double(frames) / 50.0);
  // Emulated seconds per host second.
  state.counters["ratio"] = benchmark::Counter(double(frames) / 50.0, benchmark::Counter::kIsRate);
  state.counters["MIPS"] = benchmark::Counter(double(m68k_instruction_count - before) / 1e6,
                                              benchmark::Counter::kIsRate);
  std::filesystem::remove_all(folder);
}

}  // namespace

BENCHMARK(BM_MachineFrames)->Unit(benchmark::kMillisecond)->UseRealTime();
