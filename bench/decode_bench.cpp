// Start-up cost of building the decode and dispatch tables.
#include <benchmark/benchmark.h>

#include "cpu/decode.h"

static void BM_DecodeInit(benchmark::State& state) {
  for (auto _ : state) {
    m68k_decode_init();
    benchmark::DoNotOptimize(m68k_dispatch[0x4e71]);
  }
}
BENCHMARK(BM_DecodeInit)->Unit(benchmark::kMillisecond);
