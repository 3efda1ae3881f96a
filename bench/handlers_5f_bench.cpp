// Instruction throughput of a loop made of lines 5-F handlers (add, shift,
// compare, conditional branches, quick add and DBcc) on flat memory.
#include <benchmark/benchmark.h>

#include "common/endian.h"
#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "support/flat_memory.h"

static void BM_Lines5FLoop(benchmark::State& state) {
  m68k_registers_reset();
  m68k_decode_init();
  m68k_build_dispatch();
  FLAT_Install();
  const u16 code[] = {
      0xd280,          // add.l d0,d1
      0xe38a,          // lsl.l #1,d2
      0xb641,          // cmp.w d1,d3
      0x6702,          // beq.s +2
      0x5283,          // addq.l #1,d3
      0x51cc, 0xfff4,  // dbf d4,start
      0x60f0,          // bra.s start
  };
  for (u32 i = 0; i < sizeof code / 2; ++i) be_write16(FLAT_Memory() + 0x1000 + 2 * i, code[i]);
  m68k_regfile.d[0] = 0x1234567;
  m68k_jump_to(0x1000);
  u64 cycles = 0;
  for (auto _ : state) {
    for (int i = 0; i < 1000; ++i) cycles += m68k_step();
  }
  benchmark::DoNotOptimize(cycles);
  state.SetItemsProcessed(state.iterations() * 1000);
  state.counters["emulated MHz"] = benchmark::Counter(double(cycles) / 1e6, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Lines5FLoop);
