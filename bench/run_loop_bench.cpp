// Speed of the run loop: a tight 68000 loop (seven NOP-like instructions and
// a DBF back to the top) on the flat test map, with local handlers standing
// in for the instruction set. Reports million instructions per host second.
#include <benchmark/benchmark.h>

#include "common/endian.h"
#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "machine/machine.h"
#include "machine/mfp.h"
#include "machine/scheduler.h"
#include "support/flat_memory.h"

namespace {

u32 h_nop(u32) {
  m68k_regfile.pcHost += 2;
  return 4;
}
// DBF Dn,disp
u32 h_dbf(u32 op) {
  m68k_regs& r = m68k_regfile;
  u32& d = r.d[op & 7];
  const u32 count = (d - 1) & 0xffff;
  d = (d & 0xffff0000u) | count;
  if (count != 0xffff) {
    m68k_branch(sext16(be_read16(r.pcHost + 2)));
    return 10;
  }
  r.pcHost += 4;
  return 14;
}
u32 h_leave(u32) {
  m68k_regfile.pcHost += 2;
  m68k_pend_set(m68k_pend_leave);
  return 4;
}

constexpr u32 loop_count = 0x10000;
constexpr u32 per_pass = 8;

void setup() {
  static bool done = false;
  if (!done) {
    m68k_decode_init();
    done = true;
  }
  FLAT_Install();
  m68k_registers_reset();
  SCHED_Reset();
  MFP_Reset();
  APP_StopFlag = 0;
  m68k_dispatch[0x4e71] = h_nop;
  m68k_dispatch[0x51c8] = h_dbf;
  m68k_dispatch[0x4afa] = h_leave;
  u8* m = FLAT_Memory();
  for (u32 i = 0; i < 7; ++i) be_write16(m + 0x1000 + 2 * i, 0x4e71);
  be_write16(m + 0x100e, 0x51c8);
  be_write16(m + 0x1010, u32(-0x10) & 0xffff);  // back to 0x1000
  be_write16(m + 0x1012, 0x4afa);
  m68k_regfile.s = 1;
  m68k_regfile.imask = 7;
  m68k_regfile.a[7] = 0x8000;
}

void BM_RunLoop(benchmark::State& state) {
  setup();
  u64 instructions = 0;
  for (auto _ : state) {
    m68k_regfile.d[0] = loop_count - 1;
    m68k_jump_to(0x1000);
    m68k_run_loop();
    if (m68k_get_pc() != 0x1014 || (m68k_regfile.d[0] & 0xffff) != 0xffff) {
      state.SkipWithError("the loop did not run to its end");
      break;
    }
    instructions += u64(loop_count) * per_pass + 1;
  }
  state.counters["Minstr/s"] = benchmark::Counter(double(instructions) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RunLoop)->Unit(benchmark::kMillisecond);

void BM_Step(benchmark::State& state) {
  setup();
  u64 instructions = 0;
  for (auto _ : state) {
    m68k_regfile.d[0] = loop_count - 1;
    m68k_jump_to(0x1000);
    for (u32 i = 0; i < loop_count * per_pass; ++i) m68k_step();
    instructions += u64(loop_count) * per_pass;
  }
  state.counters["Minstr/s"] = benchmark::Counter(double(instructions) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Step)->Unit(benchmark::kMillisecond);

}  // namespace
