// Speed of the real instruction handlers in a tight 68000 loop (assembled
// from bench/programs/bench_mixed_loop.s) through the run loop and through
// the single step, on the flat test map with the 68000 table. Reports
// million emulated instructions per host second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "common/endian.h"
#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "machine/machine.h"
#include "machine/mfp.h"
#include "machine/scheduler.h"
#include "support/flat_memory.h"
#include "support/m68k_program.h"

namespace {

constexpr u32 kStart = 0x1000;
constexpr u32 kPasses = 0x8000;
constexpr u16 kLeaveWord = 0x4afa;

// The one stand-in: ends the run loop at the program's last word.
u32 h_leave(u32) {
  m68k_pend_set(m68k_pend_leave);
  return 4;
}

u32 leave_address;

void setup() {
  static bool decoded = false;
  if (!decoded) {
    m68k_decode_init();
    decoded = true;
  }
  m68k_registers_reset();
  m68k_model = 0;
  m68k_build_dispatch();
  FLAT_Install();
  SCHED_Reset();
  MFP_Reset();
  APP_StopFlag = 0;
  const std::vector<u8> image = load_m68k_program("bench_mixed_loop");
  std::memcpy(FLAT_Memory(), image.data(), image.size());
  m68k_dispatch[kLeaveWord] = h_leave;
  m68k_regfile.s = 1;
  m68k_regfile.imask = 7;
  m68k_regfile.a[7] = 0x8000;
}

// Each run starts a frame, so that the scheduler sees its events ahead.
void start_pass() {
  SCHED_Reset();
  m68k_regfile.d[7] = kPasses - 1;
  m68k_regfile.pending = 0;
  m68k_jump_to(kStart);
}

// Instructions one run executes, counted by stepping (the leave word
// itself is not counted).
u64 count_instructions() {
  start_pass();
  u64 n = 0;
  while (be_read16(m68k_regfile.pcHost) != kLeaveWord) {
    m68k_step();
    ++n;
  }
  leave_address = m68k_get_pc();
  return n;
}

void BM_RealHandlersRunLoop(benchmark::State& state) {
  setup();
  const u64 per_run = count_instructions();
  u64 instructions = 0;
  for (auto _ : state) {
    start_pass();
    m68k_run_loop();
    if (m68k_get_pc() != leave_address) {
      state.SkipWithError("the loop did not run to its end");
      break;
    }
    instructions += per_run;
  }
  state.counters["Minstr/s"] = benchmark::Counter(double(instructions) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RealHandlersRunLoop)->Unit(benchmark::kMillisecond);

void BM_RealHandlersStep(benchmark::State& state) {
  setup();
  const u64 per_run = count_instructions();
  u64 instructions = 0;
  for (auto _ : state) {
    start_pass();
    for (u64 i = 0; i < per_run; ++i) m68k_step();
    instructions += per_run;
  }
  state.counters["Minstr/s"] = benchmark::Counter(double(instructions) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RealHandlersStep)->Unit(benchmark::kMillisecond);

}  // namespace
