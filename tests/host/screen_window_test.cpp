// The screen's rules around the converters: what the caches and the dirty
// flags let through, frame skip, the screen base and the visible lines,
// rebuilds on a depth change, the window geometry of each mode, the pause
// veil, and the status line with its lights and counters.
#include "host/events.h"
#include "host/headless/headless.h"
#include "host/options.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"
#include "support/screen_fixture.h"

namespace {

class ScreenRules : public ScreenTest {
 protected:
  static void poke(u32 x, u32 y, u32 v) { SCREEN_WindowPicture.row<u32>(y)[x] = v; }
};

// Direct path: a clean unit and an unchanged border are not drawn again; a
// changed unit, a forced redraw and a new border colour are.
TEST_F(ScreenRules, DirectPathSkipsWhatDidNotChange) {
  display(0, 32);
  SCREEN_UseShadow = 0;
  run_line_frame();
  const u32 unit_x = 32 + 64, unit_row = 64 - 35 + 10;  // picture line 10, third unit
  poke(5, 0, 0x123456);                                 // a top border pixel
  poke(unit_x, unit_row, 0x123456);
  SCREEN_FrameDirty = 1;
  run_line_frame();
  EXPECT_EQ(rgb_at(5, 0), 0x123456u);
  EXPECT_EQ(rgb_at(unit_x, unit_row), 0x123456u);

  ram[frame_base + 160 * 10 + 32] ^= 0x80;  // the unit's first pixel
  SCREEN_FrameDirty = 1;
  run_line_frame();
  EXPECT_NE(rgb_at(unit_x, unit_row), 0x123456u);
  EXPECT_EQ(rgb_at(5, 0), 0x123456u);

  SHIFTER_Palette[0] = 0x000;
  SCREEN_UpdatePalette();
  SCREEN_FrameDirty = 1;
  run_line_frame();
  EXPECT_EQ(rgb_at(5, 0), 0u);

  // A line with open side borders reads on into the next line's first unit;
  // that line still draws the unit when it changed.
  ram[frame_base + 160 * 11] ^= 0x80;
  SCREEN_FrameDirty = 1;
  run_line_frame({64 + 10});
  EXPECT_EQ(rgb_at(32, unit_row + 1), SCREEN_HostPalette[st_index(4, 160, 11, 0)] & 0xffffff);
  // Its borders closed again, the strips show the border, not that picture.
  for (u32 shadow : {0u, 1u}) {
    SCREEN_UseShadow = shadow;
    for (const std::set<u32>& open : {std::set<u32>{64 + 10}, std::set<u32>{}}) {
      SCREEN_FrameDirty = 1;
      run_line_frame(open);
    }
    EXPECT_EQ(rgb_at(0, unit_row), 0u) << shadow;
    EXPECT_EQ(rgb_at(383, unit_row), 0u) << shadow;
  }
  // The top border opened, every picture line lies on another row.
  SCREEN_UseShadow = 0;
  SCREEN_FirstLine = 35;
  SCREEN_DisplayLines = 229;
  SCREEN_FrameDirty = 1;
  run_line_frame();
  EXPECT_EQ(rgb_at(32, 0), SCREEN_HostPalette[st_index(4, 160, 0, 0)] & 0xffffff);
  // Its left border opened, a line starts 32 pixels further left.
  SCREEN_FrameDirty = 1;
  run_line_frame({35 + 10});
  EXPECT_EQ(rgb_at(0, 10), SCREEN_HostPalette[st_index(4, 160, 10, 0)] & 0xffffff);
}

TEST_F(ScreenRules, FrameSkipAndAScreenBeyondTheRam) {
  display(0, 32);
  SCREEN_FramesSinceDraw = 0;
  for (u32 skip : {1u, 2u, 3u}) {
    PREFS_FrameSkip = skip;
    const u32 shows = SCREEN_HeadlessShows;
    for (int f = 0; f < 6; ++f) run_line_frame();
    EXPECT_EQ(SCREEN_HeadlessShows - shows, 6 / skip) << skip;
  }
  PREFS_FrameSkip = 1;
  SCREEN_FrameBase = ram_size - 31999;
  const u32 shows = SCREEN_HeadlessShows;
  SCREEN_FrameDirty = 1;
  run_line_frame();
  EXPECT_EQ(SCREEN_HeadlessShows, shows);  // not drawn, not handed over
  EXPECT_EQ(SCREEN_FrameDirty, 1u);
}

// Picture lines reaching past line 301 never write a row outside the
// visible lines (the status line lies below them); the debugger's setter
// keeps them inside.
TEST_F(ScreenRules, OnlyTheVisibleLinesAreWritten) {
  display(1, 32);
  for (u32 shadow : {0u, 1u}) {
    SCREEN_UseShadow = shadow;
    SCREEN_DrawStatusLine();
    const u32 status = rgb_at(400, SCREEN_Height + 5);
    SCREEN_FirstLine = 290;
    SCREEN_DisplayLines = 200;
    SCREEN_FrameDirty = 1;
    run_line_frame();
    for (u32 y = SCREEN_Height + 1; y < SCREEN_Height + 12; ++y) EXPECT_EQ(rgb_at(400, y), status) << y;
  }
  SCREEN_SetPictureLines(290, 200);
  EXPECT_EQ(SCREEN_FirstLine, 290u);
  EXPECT_EQ(SCREEN_DisplayLines, 12u);
  SCREEN_SetPictureLines(3, 400);
  EXPECT_EQ(SCREEN_FirstLine, 35u);
  EXPECT_EQ(SCREEN_DisplayLines, 267u);
}

// A new host depth rebuilds every picture at that depth, even when the
// window's size stays; the next frames draw inside them.
TEST_F(ScreenRules, ADepthChangeRebuildsThePictures) {
  display(0, 32);
  for (u32 depth : {16u, 32u, 16u}) {
    SCREEN_HeadlessDepth = depth;
    SCREEN_UpdateGeometry();
    EXPECT_EQ(SCREEN_WindowPicture.depth, depth);
    EXPECT_EQ(SCREEN_WindowPicture.pitch, 384 * depth / 8);
    EXPECT_EQ(SCREEN_HostPalette[0], depth == 16 ? 0x7fffu : 0xffffffffu);
    SCREEN_FrameDirty = 1;
    run_line_frame();
    EXPECT_EQ(rgb_at(0, 0), depth == 16 ? 0x7fffu : 0xffffffu);
  }
}

TEST_F(ScreenRules, WindowGeometryOfEachMode) {
  struct Mode {
    u32 res;
    bool zoom, big;
    u32 mode, width, height;
    SCREEN_Rect picture;
  };
  const Mode modes[] = {{0, false, false, 0, 384, 267, {30, 33, 230, 353}},
                        {1, false, false, 1, 768, 534, {59, 65, 459, 705}},
                        {2, false, false, 2, 640, 400, {1, 1, 400, 641}},
                        {0, false, true, 3, 640, 400, {1, 1, 400, 641}},
                        {0, true, false, 4, 768, 534, {59, 65, 459, 705}}};
  for (const Mode& m : modes) {
    for (u32 full : {0u, 1u}) {
      SCOPED_TRACE(m.mode * 2 + full);
      SCREEN_FullScreen = full;
      display(m.res, 32, m.zoom, m.big);
      EXPECT_EQ(SCREEN_DisplayMode, m.mode);
      EXPECT_EQ(SCREEN_Width, m.width);
      EXPECT_EQ(SCREEN_Height, m.height);
      EXPECT_EQ(SCREEN_WindowPicture.height, m.height + (full ? 0 : 12));
      // The same picture rectangle in full screen, where no status line is.
      EXPECT_EQ(SCREEN_PictureRect, m.picture);
      // The floppy progress text stays left of the frame counter.
      EXPECT_LE(SCREEN_MessageRect.right, SCREEN_FpsRect.left);
    }
  }
}

TEST_F(ScreenRules, PausedPresentationVeilsEveryOtherPixel) {
  display(2, 32);
  SHIFTER_Palette[0] = 0x777;
  std::fill(ram.begin() + frame_base, ram.begin() + frame_base + 32000, 0);
  EVENTS_Paused = 1;
  SCREEN_Present();
  for (u32 y : {0u, 1u, 200u, 399u})
    for (u32 x : {0u, 1u, 2u, 639u}) EXPECT_EQ(rgb_at(x, y), (x + y) % 2 ? 0xffffffu : 0u) << x << "," << y;
}

// ---- Status line ----

class StatusLine : public ScreenTest {
 protected:
  static u32 px(u16 r, u16 g, u16 b) { return SCREEN_Color2Index(r, g, b) & 0xffffff; }
  // Whether any pixel of the status line's columns [x0, x1) is black.
  static bool ink(i32 x0, i32 x1) {
    for (u32 y = SCREEN_Height + 1; y < SCREEN_Height + 12; ++y)
      for (i32 x = x0; x < x1; ++x)
        if (rgb_at(u32(x), y) == 0) return true;
    return false;
  }
  // Whether the columns [x0, x1) show `text` at x0 exactly.
  static bool shows(i32 x0, i32 x1, const char* text) {
    std::vector<u32> line;
    const u32 h = SCREEN_Height;
    for (u32 y = h + 1; y < h + 12; ++y)
      for (i32 x = x0; x < x1; ++x) line.push_back(rgb_at(u32(x), y));
    SCREEN_FillRect({i32(h) + 1, x0, i32(h) + 12, x1}, px(50000, 50000, 50000));
    SCREEN_DrawText(x0, i32(h) + 10, text, 0);
    size_t i = 0;
    bool same = true;
    for (u32 y = h + 1; y < h + 12; ++y)
      for (i32 x = x0; x < x1; ++x) same &= rgb_at(u32(x), y) == line[i++];
    return same;
  }
};

TEST_F(StatusLine, TextsLightsAndCounters) {
  display(0, 32);
  const u32 h = SCREEN_Height;
  MMU_IsEmuTOS = 0;
  MMU_TosVersion = 6;
  SCREEN_DrawStatusLine();
  EXPECT_EQ(rgb_at(0, h), 0u);    // the top edge
  EXPECT_EQ(rgb_at(383, h), 0u);  // to the right end
  EXPECT_EQ(rgb_at(383, h + 11), px(50000, 50000, 50000));
  EXPECT_TRUE(shows(5, 39, "Disk A:"));
  EXPECT_TRUE(shows(70, 104, "Disk B:"));
  EXPECT_TRUE(shows(135, 169, "HDD  :"));
  EXPECT_TRUE(shows(200, 237, "Tos: 6"));
  EXPECT_TRUE(shows(237, 384, "Skip: -  FPS: ---"));
  for (i32 i = 0; i < 3; ++i) {
    EXPECT_EQ(rgb_at(40 + 65 * i, h + 4), px(40000, 40000, 40000));  // off
    EXPECT_EQ(rgb_at(59 + 65 * i, h + 9), px(40000, 40000, 40000));
    EXPECT_EQ(rgb_at(39 + 65 * i, h + 9), px(30000, 30000, 30000));  // frame edges
    EXPECT_EQ(rgb_at(59 + 65 * i, h + 3), px(30000, 30000, 30000));
    EXPECT_EQ(rgb_at(60 + 65 * i, h + 4), px(50000, 50000, 50000));
  }

  MMU_IsEmuTOS = 1;
  EVENTS_Paused = 1;
  SCREEN_DrawStatusLine();
  EXPECT_TRUE(shows(200, 384, "EmuTos      **Paused**"));
  EVENTS_Paused = 0;
  SCREEN_DrawStatusLine();

  // Counters: none counted leaves them; the caption's placeholders lie
  // inside the areas the counters clear.
  SCHED_FramesThisSecond = 0;
  SCREEN_DrawSpeedCounters();
  EXPECT_TRUE(shows(237, 384, "Skip: -  FPS: ---"));
  SCHED_FramesThisSecond = 49;
  PREFS_AutoFrameSkip = 0;
  PREFS_FrameSkip = 3;
  SCREEN_DrawSpeedCounters();
  EXPECT_TRUE(shows(300, 320, "049"));
  EXPECT_TRUE(shows(262, 270, "3"));
  EXPECT_TRUE(shows(237, 260, "Skip:"));
  EXPECT_TRUE(shows(270, 298, " FPS:"));
  EVENTS_VdiTracking = 1;
  SCREEN_DrawSpeedCounters();
  EXPECT_EQ(rgb_at(264, h + 3), px(0, 50000, 0));  // the digit's top stroke
  EVENTS_VdiTracking = 0;
}

// A light set to 0 or 1 shows green or red and goes off at the sixth
// presentation after it was last set; full screen draws and counts nothing.
TEST_F(StatusLine, DriveLightsAndTheirTimeout) {
  display(0, 32);
  const u32 h = SCREEN_Height;
  SCREEN_SetDriveLight(1, 0);
  EXPECT_EQ(rgb_at(110, h + 6), px(0, 65535, 0));
  SCREEN_SetDriveLight(2, 1);
  EXPECT_EQ(rgb_at(175, h + 6), px(65535, 0, 0));
  SCREEN_UseShadow = 1;
  for (int i = 0; i < 5; ++i) SCREEN_FlushToWindow();
  EXPECT_EQ(rgb_at(175, h + 6), px(65535, 0, 0));
  SCREEN_FlushToWindow();
  EXPECT_EQ(rgb_at(110, h + 6), px(40000, 40000, 40000));
  EXPECT_EQ(rgb_at(175, h + 6), px(40000, 40000, 40000));
  EXPECT_EQ(SCREEN_DriveLightOn, 0u);

  SCREEN_FullScreen = 1;
  display(0, 32);
  SCREEN_SetDriveLight(0, 1);
  EXPECT_EQ(SCREEN_DriveLightOn, 0u);
  EXPECT_EQ(SCREEN_WindowPicture.height, 267u);
}

}  // namespace
