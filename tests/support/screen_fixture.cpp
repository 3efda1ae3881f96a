#include "support/screen_fixture.h"

#include "common/endian.h"
#include "host/events.h"
#include "host/headless/headless.h"
#include "host/options.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"
#include "support/machine_fixture.h"

void ScreenTest::SetUp() {
  machine_reset_globals();
  saved_base = MMU_RamBase;
  saved_size = MMU_RamSize;
  ram.assign(ram_size + 16, 0);
  // A pattern with every colour in it: a small linear congruential sequence.
  u32 seed = 12345;
  for (u32 i = 0; i < ram_size; ++i) {
    seed = seed * 1103515245 + 12345;
    ram[i] = u8(seed >> 16);
  }
  MMU_RamBase = ram.data();
  MMU_RamSize = ram_size;
  for (u32 i = 0; i < 16; ++i) SHIFTER_Palette[i] = screen_test_palette[i];
  SCREEN_FrameBase = frame_base;
}

void ScreenTest::TearDown() {
  MMU_RamBase = saved_base;
  MMU_RamSize = saved_size;
  SCREEN_HeadlessDepth = 32;
  SCREEN_FullScreen = 0;
  SCREEN_BigScreen = 0;
  EVENTS_Paused = 0;
  SHIFTER_Mode = 0;
  SHIFTER_Resolution = 0;
  SCREEN_UpdateGeometry();
  SCREEN_PrevWidth = 0;
  SCREEN_OpenWindow();
}

void ScreenTest::display(u32 res, u32 depth, bool zoom, bool big) {
  SCREEN_HeadlessDepth = depth;
  SHIFTER_Mode = res;
  SHIFTER_Resolution = u16(res);
  PREFS_DoubleSize = zoom ? 1 : 0;
  SCREEN_BigScreen = big ? 1 : 0;
  SCREEN_UpdateGeometry();
  SCREEN_PrevWidth = 0;
  SCREEN_OpenWindow();
  SCREEN_UpdatePalette();
  SCREEN_FrameDirty = 1;
  SCREEN_ForceRedraw = 1;
}

void ScreenTest::run_line_frame(const std::set<u32>& open) {
  SCREEN_FramesSinceDraw += 1;
  for (u32 line = 1; line <= 312; ++line) {
    SHIFTER_LeftBorderOpen = SHIFTER_RightBorderOpen = open.count(line) ? 1 : 0;
    SCREEN_ConvertLine(line);
  }
}

u32 ScreenTest::colour(u32 i) {
  auto level = [](u32 l) { return u32((l * 9362) >> 8); };
  const u32 c = screen_test_palette[i];
  return 0xff000000u | level((c >> 8) & 7) << 16 | level((c >> 4) & 7) << 8 | level(c & 7);
}

u32 ScreenTest::st_index(u32 planes, u32 lineBytes, u32 p, u32 x) const {
  const u32 group = frame_base + lineBytes * p + (x / 16) * planes * 2;
  u32 index = 0;
  for (u32 plane = 0; plane < planes; ++plane)
    index |= ((be_read16(&ram[group + 2 * plane]) >> (15 - x % 16)) & 1) << plane;
  return index;
}

u32 ScreenTest::rgb_at(u32 x, u32 y) {
  const SCREEN_Surface& pic = SCREEN_WindowPicture;
  if (pic.depth == 16) return pic.row<u16>(y)[x];
  return pic.row<u32>(y)[x] & 0xffffff;
}

u32 ScreenTest::rgb555(u32 rgb) {
  return ((rgb >> 19) & 31) << 10 | ((rgb >> 11) & 31) << 5 | ((rgb >> 3) & 31);
}
