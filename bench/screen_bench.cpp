// The screen's cost: one ST line through the line converter (per resolution
// and path), one whole low or medium resolution frame with its presentation,
// and one monochrome and one big-screen frame. Built twice: with the
// windowless host it measures the conversion alone, at both host depths;
// with the windowed host (bench_window, run it under a display or xvfb-run)
// the frame includes the texture upload and the renderer's present, at the
// display's depth.
#include <benchmark/benchmark.h>

#include <vector>

#include "host/options.h"
#ifdef SCREEN_BENCH_WINDOWLESS
#include "host/headless/headless.h"
#endif
#include "host/shared/screen_window.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"

namespace {

constexpr u32 ram_size = 0x40000, base = 0x10000;
std::vector<u8> ram;

enum Path { DirectClean, DirectAll, Shadow };
const char* const path_names[] = {"direct, unchanged", "direct, every unit", "shadow"};

#ifdef SCREEN_BENCH_WINDOWLESS
const std::vector<i64> depths = {32, 16};
#else
const std::vector<i64> depths = {0};  // the display's
#endif

// Display `mode` (0 low, 1 medium, 2 high, 3 big screen, 4 low doubled) at
// host depth `depth` (0: the display's) over a screen of varied pixels.
void set_up(u32 mode, u32 depth) {
  if (ram.empty()) {
    ram.assign(ram_size + 16, 0);
    u32 seed = 1;
    for (u32 i = 0; i < ram_size; ++i) ram[i] = u8((seed = seed * 1103515245 + 12345) >> 16);
  }
  MMU_RamBase = ram.data();
  MMU_RamSize = ram_size;
  static const u16 palette[16] = {0x777, 0x700, 0x070, 0x007, 0x770, 0x077, 0x707, 0x000,
                                  0x123, 0x456, 0x765, 0x321, 0x531, 0x246, 0x642, 0x111};
  for (u32 i = 0; i < 16; ++i) SHIFTER_Palette[i] = palette[i];
  SCREEN_FrameBase = base;
  SHIFTER_Mode = mode >= 3 ? 0 : mode;
  SHIFTER_Resolution = u16(SHIFTER_Mode);
  PREFS_DoubleSize = mode == 4;
  SCREEN_BigScreen = mode == 3;
  PREFS_FrameSkip = 1;
  SCHED_AutoSkip = 0;
  SCREEN_FirstLine = 64;
  SCREEN_DisplayLines = 200;
#ifdef SCREEN_BENCH_WINDOWLESS
  SCREEN_HeadlessDepth = depth;
#else
  (void)depth;
#endif
  if (!SCREEN_HostDepth) SCREEN_Init();
  SCREEN_UpdateGeometry();
  SCREEN_PrevWidth = 0;
  SCREEN_OpenWindow();
  SCREEN_UpdatePalette();
}

void set_path(Path path) {
  SCREEN_UseShadow = path == Shadow;
  SCREEN_FrameDirty = 1;
  SCREEN_ForceRedraw = path != DirectClean;
  SCREEN_FramesSinceDraw = 1;
}

void BM_ConvertLine(benchmark::State& state) {
  set_up(u32(state.range(0)), u32(state.range(2)));
  const Path path = Path(state.range(1));
  set_path(path);
  SCREEN_ConvertLine(100);  // the direct path's copy of the line is now current
  for (auto _ : state) {
    SCREEN_ForceRedraw = path != DirectClean;
    SCREEN_ConvertLine(100);
  }
  state.SetLabel(path_names[path]);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ConvertLine)->ArgsProduct({{0, 1, 4}, {DirectClean, DirectAll, Shadow}, depths});

// A whole frame: 312 line ends, the last of which presents it.
void BM_LineFrame(benchmark::State& state) {
  set_up(u32(state.range(0)), u32(state.range(2)));
  const Path path = Path(state.range(1));
  for (auto _ : state) {
    set_path(path);
    for (u32 line = 1; line <= 312; ++line) SCREEN_ConvertLine(line);
  }
  state.SetLabel(path_names[path]);
}
BENCHMARK(BM_LineFrame)
    ->ArgsProduct({{0, 1, 4}, {DirectClean, Shadow}, depths})
    ->Unit(benchmark::kMicrosecond);

// A whole monochrome (2) or big-screen (3) frame through SCREEN_Present.
void BM_WholeFrame(benchmark::State& state) {
  set_up(u32(state.range(0)), u32(state.range(2)));
  const Path path = Path(state.range(1));
  for (auto _ : state) {
    set_path(path);
    SCREEN_Present();
  }
  state.SetLabel(path_names[path]);
}
BENCHMARK(BM_WholeFrame)
    ->ArgsProduct({{2, 3}, {DirectClean, DirectAll, Shadow}, depths})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
