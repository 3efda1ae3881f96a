// The whole-frame screen converter and the PNG writer; and screenshots of test
// ROMs that draw a known pattern in each resolution, taken by the headless
// runner and compared with pictures the test draws itself.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/endian.h"
#include "host/shared/screen_convert.h"
#include "support/file_size_limit.h"
#include "support/machine_fixture.h"

namespace {

const u16 test_palette[16] = {0x777, 0x700, 0x070, 0x007, 0x770, 0x077, 0x707, 0x000,
                              0x123, 0x456, 0x765, 0x321, 0x531, 0x246, 0x642, 0x111};

// An ST colour as 8-bit RGB: each 3-bit level l shows as (l x 9362) >> 8.
struct Rgb {
  u8 r, g, b;
  bool operator==(const Rgb&) const = default;
};
Rgb st_rgb(u16 c) {
  auto level = [](u32 l) { return u8((l * 9362) >> 8); };
  return {level((c >> 8) & 7), level((c >> 4) & 7), level(c & 7)};
}
Rgb pixel(const SCREEN_Image& img, u32 x, u32 y) {
  const u8* p = &img.rgba[(size_t(y) * img.width + x) * 4];
  return {p[0], p[1], p[2]};
}

SCREEN_ShifterView view(u32 res, u32 base, bool big = false) {
  SCREEN_ShifterView v{};
  v.resolution = res;
  v.bigScreen = big ? 1 : 0;
  v.base = base;
  for (int i = 0; i < 16; ++i) v.palette[i] = test_palette[i];
  return v;
}

TEST(ScreenConvert, LowResolutionPlanesMakeSixteenColours) {
  std::vector<u8> ram(0x10000, 0);
  // Group 0 of line 0: pixel x has colour x (plane p holds bit p).
  for (u32 p = 0; p < 4; ++p) {
    u32 w = 0;
    for (u32 x = 0; x < 16; ++x) w |= ((x >> p) & 1) << (15 - x);
    be_write16(&ram[0x8000 + 2 * p], w);
  }
  be_write16(&ram[0x8000 + 160 + 8 * 19 + 6], 0x0001);  // line 1, last pixel: colour 8
  const SCREEN_Image img = SCREEN_ConvertST(ram.data(), u32(ram.size()), view(0, 0x8000));
  ASSERT_EQ(img.width, 320u);
  ASSERT_EQ(img.height, 200u);
  ASSERT_EQ(img.rgba.size(), 320u * 200 * 4);
  for (u32 x = 0; x < 16; ++x) EXPECT_EQ(pixel(img, x, 0), st_rgb(test_palette[x])) << x;
  EXPECT_EQ(pixel(img, 319, 1), st_rgb(test_palette[8]));
  EXPECT_EQ(pixel(img, 318, 1), st_rgb(test_palette[0]));
  EXPECT_EQ(img.rgba[3], 0xff);
}

TEST(ScreenConvert, MediumHighAndBigScreen) {
  std::vector<u8> ram(0x40000, 0);
  be_write16(&ram[0], 0x8000);  // medium: pixel 0 plane 0 -> colour 1
  be_write16(&ram[2], 0x4000);  // pixel 1 plane 1 -> colour 2
  SCREEN_Image img = SCREEN_ConvertST(ram.data(), u32(ram.size()), view(1, 0));
  ASSERT_EQ(img.width, 640u);
  ASSERT_EQ(img.height, 200u);
  EXPECT_EQ(pixel(img, 0, 0), st_rgb(test_palette[1]));
  EXPECT_EQ(pixel(img, 1, 0), st_rgb(test_palette[2]));
  EXPECT_EQ(pixel(img, 2, 0), st_rgb(test_palette[0]));

  // High: set bits black on white while colour 0 has bit 0 set.
  be_write16(&ram[80 * 399 + 78], 0x0001);
  img = SCREEN_ConvertST(ram.data(), u32(ram.size()), view(2, 0));
  ASSERT_EQ(img.height, 400u);
  EXPECT_EQ(pixel(img, 0, 0), (Rgb{0, 0, 0}));
  EXPECT_EQ(pixel(img, 1, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(pixel(img, 639, 399), (Rgb{0, 0, 0}));
  SCREEN_ShifterView inverted = view(2, 0);
  inverted.palette[0] = 0x776;
  img = SCREEN_ConvertST(ram.data(), u32(ram.size()), inverted);
  EXPECT_EQ(pixel(img, 0, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(pixel(img, 1, 0), (Rgb{0, 0, 0}));

  // Big screen: 640 x 400 with four planes, 320 bytes a line.
  be_write16(&ram[320 * 399 + 8 * 39 + 6], 0x0001);
  img = SCREEN_ConvertST(ram.data(), u32(ram.size()), view(0, 0, true));
  ASSERT_EQ(img.width, 640u);
  ASSERT_EQ(img.height, 400u);
  EXPECT_EQ(pixel(img, 639, 399), st_rgb(test_palette[8]));
}

TEST(ScreenConvert, ScreenBeyondTheRamReadsAsZero) {
  std::vector<u8> ram(0x8000, 0xff);
  const SCREEN_Image img = SCREEN_ConvertST(ram.data(), u32(ram.size()), view(0, 0x7f00));
  EXPECT_EQ(pixel(img, 0, 0), st_rgb(test_palette[15]));  // inside: all planes set
  EXPECT_EQ(pixel(img, 0, 199), st_rgb(test_palette[0]));
  const SCREEN_Image none = SCREEN_ConvertST(nullptr, 0, view(1, 0));
  EXPECT_EQ(pixel(none, 5, 5), st_rgb(test_palette[0]));
}

// Reads a PNG as 8-bit RGBA.
bool read_png(const std::string& path, SCREEN_Image& out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGBA;
  out.width = image.width;
  out.height = image.height;
  out.rgba.assign(PNG_IMAGE_SIZE(image), 0);
  const bool ok = png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr);
  png_image_free(&image);
  return ok;
}

TEST(ScreenConvert, PngRoundTrip) {
  TempFolder folder;
  SCREEN_Image img;
  img.width = 3;
  img.height = 2;
  img.rgba = {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12, 255, 13, 14, 15, 255,
              16, 17, 18, 255};
  std::string error;
  ASSERT_TRUE(SCREEN_WritePng(folder.file("a.png"), img, error)) << error;
  SCREEN_Image back;
  ASSERT_TRUE(read_png(folder.file("a.png"), back));
  EXPECT_EQ(back.width, 3u);
  EXPECT_EQ(back.height, 2u);
  EXPECT_EQ(back.rgba, img.rgba);
  EXPECT_FALSE(SCREEN_WritePng(folder.file("no/such/folder/a.png"), img, error));
  EXPECT_NE(error.find("can't create"), std::string::npos) << error;

  // On a full disk, a picture written over an older one leaves the older
  // one whole.
  img.width = img.height = 64;
  img.rgba.resize(64 * 64 * 4);
  for (size_t i = 0; i < img.rgba.size(); ++i) img.rgba[i] = u8(i * 7919 >> 3);
  {
    FileSizeLimit full_disk(64);
    EXPECT_FALSE(SCREEN_WritePng(folder.file("a.png"), img, error));
  }
  ASSERT_TRUE(read_png(folder.file("a.png"), back));
  EXPECT_EQ(back.width, 3u);
}

// ---- Screenshots of the pattern ROMs through the headless runner ----

int run(const std::string& args) {
  const std::string cmd = std::string(HEADLESS_PATH) + " " + args + " >/dev/null 2>&1";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The picture the pattern ROM draws: group g of line y has colour
// (g + y) & mask, with the two leftmost pixels' plane-0 bit flipped.
SCREEN_Image expected_pattern(u32 width, u32 height, u32 mask, bool mono) {
  SCREEN_Image img;
  img.width = width;
  img.height = height;
  img.rgba.resize(size_t(width) * height * 4);
  for (u32 y = 0; y < height; ++y) {
    for (u32 x = 0; x < width; ++x) {
      u32 c = ((x / 16) + y) & mask;
      if (x % 16 < 2) c ^= 1;
      Rgb rgb = st_rgb(test_palette[c]);
      if (mono) rgb = c ? Rgb{0, 0, 0} : Rgb{255, 255, 255};  // colour 0 is 0x777
      u8* p = &img.rgba[(size_t(y) * width + x) * 4];
      p[0] = rgb.r;
      p[1] = rgb.g;
      p[2] = rgb.b;
      p[3] = 255;
    }
  }
  return img;
}

struct PatternCase {
  const char* rom;
  const char* extra;
  u32 width, height, mask;
  bool mono;
};

class Screenshot : public ::testing::TestWithParam<PatternCase> {};

TEST_P(Screenshot, TestRomDrawingComesOutAsTheExpectedPng) {
  const PatternCase& c = GetParam();
  TempFolder folder;
  folder.write("tos.img", load_test_rom(c.rom));
  const std::string png = folder.file("shot.png");
  ASSERT_EQ(run("--folder " + folder.path() + " --frames 25 --screenshot " + png + " " + c.extra), 0);
  SCREEN_Image shot;
  ASSERT_TRUE(read_png(png, shot));
  const SCREEN_Image want = expected_pattern(c.width, c.height, c.mask, c.mono);
  ASSERT_EQ(shot.width, want.width);
  ASSERT_EQ(shot.height, want.height);
  size_t wrong = 0, first = 0;
  for (size_t i = 0; i < want.rgba.size(); ++i)
    if (shot.rgba[i] != want.rgba[i] && wrong++ == 0) first = i;
  EXPECT_EQ(wrong, 0u) << "first difference at pixel " << first / 4 % want.width << ","
                       << first / 4 / want.width;
}

INSTANTIATE_TEST_SUITE_P(Resolutions, Screenshot,
                         ::testing::Values(PatternCase{"screen_low", "", 320, 200, 15, false},
                                           PatternCase{"screen_medium", "", 640, 200, 3, false},
                                           PatternCase{"screen_high", "--monochrome", 640, 400, 1,
                                                       true}),
                         [](const ::testing::TestParamInfo<PatternCase>& info) {
                           return std::string(info.param.rom);
                         });

}  // namespace
