// The Blitter's throughput in destination words per host microsecond: a
// full low-resolution screen copied word for word, and one plane of it
// copied with a skew, an extra source read and partial end masks, ORed
// into the destination. RAM is the machine's own bank record.
#include <benchmark/benchmark.h>

#include <vector>

#include "blitter/blitter.h"
#include "machine/memory.h"

namespace {

struct Copy {
  u32 src, dst;
  i32 src_x, src_y, dst_x, dst_y;
  u32 xcount, ycount, mask1, mask3, op, skew;
};

void BM_Blit(benchmark::State& state, const Copy& c) {
  std::vector<u8> ram(0x400000 + MMU_GuardBytes, 0x5a);
  MMU_RamBase = ram.data();
  MMU_RamSize = 0x400000;
  MMU_ResetBanks();
  MMU_MapBanks(&MMU_RamBank, 0, 64);

  BLITTER_PutL(BLITTER_SRC_ADDR, c.src);
  BLITTER_PutL(BLITTER_DST_ADDR, c.dst);
  for (auto _ : state) {
    BLITTER_PutW(BLITTER_SRC_XINC, u32(c.src_x));
    BLITTER_PutW(BLITTER_SRC_YINC, u32(c.src_y));
    BLITTER_PutW(BLITTER_DST_XINC, u32(c.dst_x));
    BLITTER_PutW(BLITTER_DST_YINC, u32(c.dst_y));
    BLITTER_PutW(BLITTER_ENDMASK1, c.mask1);
    BLITTER_PutW(BLITTER_ENDMASK2, 0xffff);
    BLITTER_PutW(BLITTER_ENDMASK3, c.mask3);
    BLITTER_PutL(BLITTER_SRC_ADDR, c.src);
    BLITTER_PutL(BLITTER_DST_ADDR, c.dst);
    BLITTER_PutW(BLITTER_XCOUNT, c.xcount);
    BLITTER_PutW(BLITTER_YCOUNT, c.ycount);
    BLITTER_PutW(BLITTER_HOP, 0x200 | c.op);
    BLITTER_PutW(BLITTER_LINE_CTL, 0x8000 | c.skew);
    benchmark::DoNotOptimize(ram[c.dst]);
  }
  const double words = double(c.xcount) * c.ycount * double(state.iterations());
  // Million words a second: words per microsecond.
  state.counters["Mwords"] = benchmark::Counter(words / 1e6, benchmark::Counter::kIsRate);
  MMU_ResetBanks();
  MMU_RamBase = nullptr;
}

// 320 x 200 in four planes: 80 words a line, 200 lines.
const Copy full_screen = {0x10000, 0x78000, 2, 2, 2, 2, 80, 200, 0xffff, 0xffff, 3, 0};
// Plane 1 of 300 pixels from x 5 to x 2 on the next 16 words: skew 13 with
// FXSR, 19 words a line, steps of 8 bytes.
const Copy masked_skewed = {0x10002, 0x78002, 8, 8, 8, 16, 19, 200, 0x3fff, 0xfffc, 7, 0x80 | 13};

BENCHMARK_CAPTURE(BM_Blit, full_screen_copy, full_screen);
BENCHMARK_CAPTURE(BM_Blit, masked_skewed_copy, masked_skewed);

}  // namespace
