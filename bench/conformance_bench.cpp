// Throughput of the conformance runner: one recorded family (1,000 tests)
// loaded, run and compared per iteration.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "runner.h"
#include "test_file.h"

static void BM_ConformanceFamily(benchmark::State& state) {
  std::vector<conformance::TestCase> tests;
  std::string error;
  if (!conformance::load_test_file(TESTDATA_DIR "/m68000/MOVE.l.bin.gz", tests, error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  conformance::setup_core(4);
  conformance::Outcome out;
  for (auto _ : state) {
    for (const conformance::TestCase& t : tests) conformance::run_test(t, out);
    benchmark::DoNotOptimize(out.fields);
  }
  state.SetItemsProcessed(state.iterations() * i64(tests.size()));
}
BENCHMARK(BM_ConformanceFamily)->Unit(benchmark::kMillisecond);
