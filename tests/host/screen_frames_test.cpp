// The converters against pictures computed pixel by pixel from the screen
// memory: the line converters in low, medium and doubled low resolution with
// borders open and closed on both paths, the whole-frame converters for both
// monochrome polarities and the big screen; each at 32 bits against the
// computed picture and at 16 bits against its 32-bit twin.
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
