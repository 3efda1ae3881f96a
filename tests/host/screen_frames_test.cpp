// The converters against pictures computed pixel by pixel from the screen
// memory: the line converters in low, medium and doubled low resolution with
// borders open and closed on both paths, the whole-frame converters for both
// monochrome polarities and the big screen; each at 32 bits against the
// computed picture and at 16 bits against its 32-bit twin. And palettes that
// change between lines and frames over changing memory, against a simple
// converter of the test's own.
#include <array>
#include <string>

#include "host/shared/screen_convert.h"
#include "machine/shifter.h"
#include "support/screen_fixture.h"

namespace {

struct LineCase {
  const char* name;
  u32 res;
  bool zoom, shadow;
  u32 first, lines;
  std::set<u32> open;  // lines with the side borders open
};

constexpr i64 unchanged = -1;

class LineConverters : public ScreenTest {
 protected:
  // The 0xRRGGBB of host pixel hx of ST line L, or `unchanged`.
  i64 expected(const LineCase& c, u32 L, u32 hx) const {
    const u32 border = colour(0) & 0xffffff;
    if (L < c.first || L >= c.first + c.lines) return border;
    const bool open = c.open.count(L) != 0;
    const u32 p = L - c.first, strip = c.res == 1 || c.zoom ? 64 : 32;
    const u32 width = c.res == 1 || c.zoom ? 768 : 384;
    if (!open && (hx < strip || hx >= width - strip)) return border;
    const u32 x = open ? hx : hx - strip;
    if (c.zoom) return x >= 640 ? unchanged : colour(st_index(4, 160, p, x / 2)) & 0xffffff;
    return colour(st_index(c.res == 1 ? 2 : 4, 160, p, x)) & 0xffffff;
  }
};

TEST_F(LineConverters, EveryCaseMatchesTheComputedPictureAtBothDepths) {
  const std::set<u32> sides = {35, 64, 100, 101, 102, 263, 301};
  const LineCase cases[] = {
      {"low direct", 0, false, false, 64, 200, {}},
      {"low shadow, top and bottom open", 0, false, true, 35, 267, {}},
      {"low direct, top and sides open", 0, false, false, 35, 229, sides},
      {"low doubled shadow, sides open", 0, true, true, 64, 200, sides},
      {"low doubled direct", 0, true, false, 64, 238, {}},
      {"medium direct, bottom and sides open", 1, false, false, 64, 238, sides},
      {"medium shadow", 1, false, true, 35, 229, {}},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<u32> picture32;
    for (u32 depth : {32u, 16u}) {
      display(c.res, depth, c.zoom);
      SCREEN_UseShadow = c.shadow;
      SCREEN_FirstLine = c.first;
      SCREEN_DisplayLines = c.lines;
      run_line_frame(c.open);
      ASSERT_EQ(SCREEN_WindowPicture.depth, depth);
      const bool doubled = c.res == 1 || c.zoom;
      size_t wrong = 0;
      std::string first;
      for (u32 row = 0; row < SCREEN_Height; ++row) {
        const u32 L = 35 + (doubled ? row / 2 : row);
        for (u32 hx = 0; hx < SCREEN_Width; ++hx) {
          const u32 got = rgb_at(hx, row);
          i64 want = expected(c, L, hx);
          if (depth == 32) picture32.push_back(got);
          if (depth == 16 && want != unchanged) want = rgb555(picture32[size_t(row) * SCREEN_Width + hx]);
          if (want != unchanged && got != u32(want) && wrong++ == 0)
            first = std::to_string(hx) + "," + std::to_string(row);
        }
      }
      EXPECT_EQ(wrong, 0u) << "depth " << depth << ", first wrong pixel at " << first;
    }
  }
}

// The host pixel at x of `row`, whatever the depth.
u32 raw_pixel(u32 x, u32 row) {
  const SCREEN_Surface& pic = SCREEN_WindowPicture;
  return pic.depth == 16 ? pic.row<u16>(row)[x] : pic.row<u32>(row)[x];
}

class ChangingFrames : public ScreenTest {
 protected:
  u32 seed = 2024;
  u32 next() { return seed = seed * 1664525 + 1013904223; }
  // Changes one byte in 2^(32 - `rarity`) of the screen memory, the big
  // screen's included.
  void stir_memory(u32 rarity) {
    for (u32 a = frame_base; a < frame_base + 128000; ++a)
      if (next() >> rarity == 0) ram[a] = u8(next() >> 24);
  }
  // Nothing, the high half of one entry (no pixel at 16 bits), one colour,
  // or all sixteen.
  void stir_palette() {
    const u32 r = next() >> 29;
    if (r == 3) SCREEN_HostPalette[next() >> 28] ^= 0xffff0000;
    for (u32 n = r < 4 ? 0 : r < 7 ? 1 : 16; n > 0; --n) SCREEN_HostPalette[next() >> 28] = next();
  }
  // The colour indices of ST line L's host row, converted simply: 0 on the
  // borders, -1 where the row keeps what it had.
  std::vector<int> reference_row(u32 res, bool zoom, u32 L, bool open) const {
    const u32 width = res == 1 || zoom ? 768 : 384, strip = width / 12, scale = zoom ? 2 : 1;
    std::vector<int> row(width, 0);
    if (L < SCREEN_FirstLine || L >= SCREEN_FirstLine + SCREEN_DisplayLines) return row;
    const u32 from = open ? 0 : strip;
    const u32 pixels = zoom ? 320 : open ? width : width - 2 * strip;
    for (u32 x = 0; x < pixels; ++x)
      for (u32 z = 0; z < scale; ++z)
        row[from + x * scale + z] = int(st_index(res == 1 ? 2 : 4, 160, L - SCREEN_FirstLine, x));
    if (zoom && open) std::fill(row.begin() + 640, row.end(), -1);
    return row;
  }
};

TEST_F(ChangingFrames, EveryLineShowsThePaletteItWasConvertedWith) {
  for (u32 layout = 0; layout < 3; ++layout) {
    const u32 res = layout == 2 ? 1 : 0;
    const bool zoom = layout == 1;
    for (u32 depth : {32u, 16u}) {
      for (u32 shadow : {0u, 1u}) {
        SCOPED_TRACE("layout " + std::to_string(layout) + ", depth " + std::to_string(depth) +
                     (shadow ? ", shadow" : ", direct"));
        display(res, depth, zoom);
        SCREEN_UseShadow = shadow;
        std::vector<std::array<u32, 16>> palettes(313);
        std::vector<bool> open(313);
        for (u32 frame = 0; frame < 4; ++frame) {
          // The last frame has the palettes and borders of the one before
          // and a few changed bytes: the direct path draws only what
          // changed.
          const bool again = frame == 3;
          stir_memory(again ? 24 : 29);
          if (!again) {
            SCREEN_FirstLine = 36 + (next() >> 27);
            SCREEN_DisplayLines = 200 + (next() >> 27);
          }
          // Palette writes have every unit drawn, as the Shifter's do.
          SCREEN_FrameDirty = 1;
          SCREEN_ForceRedraw = !again;
          SCREEN_FramesSinceDraw += 1;
          for (u32 line = 1; line <= 312; ++line) {
            if (again) {
              std::copy(palettes[line].begin(), palettes[line].end(), SCREEN_HostPalette);
            } else {
              stir_palette();
              std::copy(SCREEN_HostPalette, SCREEN_HostPalette + 16, palettes[line].begin());
              open[line] = next() >> 28 == 0;
            }
            SHIFTER_LeftBorderOpen = SHIFTER_RightBorderOpen = open[line];
            SCREEN_ConvertLine(line);
          }
          const u32 mask = depth == 16 ? 0xffff : 0xffffffff;
          size_t wrong = 0;
          for (u32 row = 0; row < SCREEN_Height; ++row) {
            const u32 L = 35 + (res == 1 || zoom ? row / 2 : row);
            const std::vector<int> want = reference_row(res, zoom, L, open[L]);
            for (u32 x = 0; x < SCREEN_Width; ++x)
              if (want[x] >= 0 && raw_pixel(x, row) != (palettes[L][want[x]] & mask)) ++wrong;
          }
          EXPECT_EQ(wrong, 0u) << "frame " << frame;
        }
      }
    }
  }
}

// The monochrome and big-screen pictures follow the palette (the
// polarity) and the memory from frame to frame; frames with only a few
// changed bytes draw only what changed on the direct path.
TEST_F(ChangingFrames, WholeFramesFollowMemoryAndPalette) {
  for (bool big : {false, true}) {
    for (u32 depth : {32u, 16u}) {
      display(big ? 0 : 2, depth, false, big);
      for (u32 frame = 0; frame < 6; ++frame) {
        SCOPED_TRACE(std::string(big ? "big screen" : "mono") + ", depth " +
                     std::to_string(depth) + ", frame " + std::to_string(frame));
        const bool few = frame % 2 == 1;
        stir_memory(few ? 24 : 29);
        if (!few) {
          for (u32 i = 0; i < 16; ++i)
            if (frame == 0 || next() >> 30 == 0) SHIFTER_Palette[i] = next() & 0x777;
          SCREEN_UpdatePalette();
        }
        SCREEN_UseShadow = frame == 2;
        SCREEN_FrameDirty = 1;
        SCREEN_ForceRedraw = !few;
        SCREEN_Present();
        const u32 mask = depth == 16 ? 0xffff : 0xffffffff, white = depth == 16 ? 0x7fff : 0xffffff;
        const bool black_ink = SHIFTER_Palette[0] & 1;
        size_t wrong = 0;
        for (u32 y = 0; y < 400; ++y) {
          for (u32 x = 0; x < 640; ++x) {
            const u32 mono = (st_index(1, 80, y, x) != 0) == black_ink ? 0 : white;
            const u32 colour = SCREEN_HostPalette[st_index(4, 320, y, x)] & mask;
            wrong += raw_pixel(x, y) != (big ? colour : mono);
          }
        }
        EXPECT_EQ(wrong, 0u);
      }
    }
  }
}

// A frame of the shadow path (a redraw request, a menu command, the end of
// a pause) leaves nothing of its own on the next direct frame once memory
// and border are back as the last direct frame drew them.
TEST_F(ChangingFrames, AShadowFrameLeavesNoStaleUnitOnTheDirectPath) {
  for (u32 kind = 0; kind < 6; ++kind) {  // low resolution lines, monochrome, big screen; 32, 16 bits
    SCOPED_TRACE(kind);
    display(kind / 2 == 1 ? 2 : 0, kind % 2 ? 16 : 32, false, kind / 2 == 2);
    auto frame = [&](bool shadow, bool every) {
      SCREEN_UseShadow = shadow, SCREEN_FrameDirty = 1, SCREEN_ForceRedraw = every;
      kind < 2 ? run_line_frame() : SCREEN_Present();
    };
    frame(false, true);
    const std::vector<u8> drawn(ram.begin() + frame_base, ram.begin() + frame_base + 128000);
    stir_memory(26);
    SCREEN_HostPalette[0] ^= 0xffffff;
    frame(true, false);
    std::copy(drawn.begin(), drawn.end(), ram.begin() + frame_base);
    SCREEN_HostPalette[0] ^= 0xffffff;
    frame(false, false);
    const std::vector<u32> shown = SCREEN_WindowPicture.storage;
    frame(false, true);  // every unit drawn anew
    EXPECT_TRUE(shown == SCREEN_WindowPicture.storage);
  }
}

struct WholeCase {
  const char* name;
  bool big, shadow;
  u16 colour0;
};

class WholeFrameConverters : public ScreenTest {};

TEST_F(WholeFrameConverters, MonochromeBothPolaritiesAndTheBigScreenAtBothDepths) {
  const WholeCase cases[] = {
      {"mono, colour 0 white: black ink", false, false, 0x777},
      {"mono, colour 0 black: white ink", false, true, 0x000},
      {"mono, bit 0 of colour 0 clear: white ink", false, false, 0x776},
      {"mono, only bit 0 of colour 0 set: black ink", false, true, 0x001},
      {"big screen direct", true, false, 0x777},
      {"big screen shadow", true, true, 0x777},
  };
  for (const WholeCase& c : cases) {
    SCOPED_TRACE(c.name);
    SHIFTER_Palette[0] = c.colour0;
    std::vector<u32> picture32;
    for (u32 depth : {32u, 16u}) {
      display(c.big ? 0 : 2, depth, false, c.big);
      SCREEN_UseShadow = c.shadow;
      SCREEN_Present();
      ASSERT_EQ(SCREEN_Width, 640u);
      // The screenshot converter shows the same picture.
      const SCREEN_Image shot = SCREEN_ConvertST(ram.data(), ram_size, SCREEN_CurrentView());
      size_t wrong = 0;
      for (u32 y = 0; y < 400; ++y) {
        for (u32 x = 0; x < 640; ++x) {
          const u32 got = rgb_at(x, y);
          u32 want;
          if (depth == 32) {
            if (c.big) {
              want = colour(st_index(4, 320, y, x)) & 0xffffff;
            } else {
              const bool ink = st_index(1, 80, y, x) != 0;
              want = ink == bool(c.colour0 & 1) ? 0 : 0xffffff;
            }
            const u8* s = &shot.rgba[(size_t(y) * 640 + x) * 4];
            if (u32(s[0] << 16 | s[1] << 8 | s[2]) != want) ++wrong;
            picture32.push_back(got);
          } else {
            want = rgb555(picture32[size_t(y) * 640 + x]);
          }
          if (got != want) ++wrong;
        }
      }
      EXPECT_EQ(wrong, 0u) << "depth " << depth;
    }
  }
}

}  // namespace
