#include "host/shared/screen_convert.h"

#include <png.h>

#include <cstdio>

#include "common/files.h"
#include "host/screen.h"
#include "host/shared/screen_window.h"
#include "machine/memory.h"
#include "machine/shifter.h"

SCREEN_ShifterView SCREEN_CurrentView() {
  SCREEN_ShifterView v{};
  v.resolution = SHIFTER_Resolution & 3;
  if (v.resolution == 3) v.resolution = 2;
  v.bigScreen = SCREEN_BigScreen;
  v.base = SCREEN_FrameBase;
  for (u32 i = 0; i < 16; ++i) v.palette[i] = u16(SHIFTER_Palette[i]);
  return v;
}

void SCREEN_PaletteRgb8(u16 stColour, u8 rgb[3]) {
  const SHIFTER_Rgb16 c = SHIFTER_HostComponents(stColour);
  rgb[0] = u8(c.red >> 8);
  rgb[1] = u8(c.green >> 8);
  rgb[2] = u8(c.blue >> 8);
}

namespace {

// Bit-planar lines: `planes` interleaved 16-bit words per 16 pixels.
void convert_planar(const u8* ram, u32 ramSize, u32 base, u32 planes, const u8 (*colours)[3],
                    SCREEN_Image& img) {
  const u32 bytes_per_line = img.width * planes / 8;
  auto byte_at = [&](u32 a) -> u32 { return a < ramSize ? ram[a] : 0; };
  u8* out = img.rgba.data();
  for (u32 y = 0; y < img.height; ++y) {
    const u32 line = base + y * bytes_per_line;
    for (u32 group = 0; group < img.width / 16; ++group) {
      u32 words[4] = {0, 0, 0, 0};
      for (u32 p = 0; p < planes; ++p) {
        const u32 a = (line + (group * planes + p) * 2) & MMU_AddressMask;
        words[p] = (byte_at(a) << 8) | byte_at((a + 1) & MMU_AddressMask);
      }
      for (u32 x = 0; x < 16; ++x) {
        u32 index = 0;
        for (u32 p = 0; p < planes; ++p) index |= ((words[p] >> (15 - x)) & 1) << p;
        const u8* c = colours[index];
        out[0] = c[0];
        out[1] = c[1];
        out[2] = c[2];
        out[3] = 0xff;
        out += 4;
      }
    }
  }
}

}  // namespace

SCREEN_Image SCREEN_ConvertST(const u8* ram, u32 ramSize, const SCREEN_ShifterView& view) {
  SCREEN_Image img;
  u8 colours[16][3];
  for (u32 i = 0; i < 16; ++i) SCREEN_PaletteRgb8(view.palette[i], colours[i]);
  u32 planes;
  if (view.bigScreen) {
    img.width = 640, img.height = 400, planes = 4;
  } else if (view.resolution == 0) {
    img.width = 320, img.height = 200, planes = 4;
  } else if (view.resolution == 1) {
    img.width = 640, img.height = 200, planes = 2;
  } else {
    img.width = 640, img.height = 400, planes = 1;
    // The monochrome monitor's polarity, as in the window.
    const bool inverted = !SCREEN_MonoInkIsBlack(view.palette[0]);
    const u8 black[3] = {0, 0, 0}, white[3] = {255, 255, 255};
    for (int k = 0; k < 3; ++k) {
      colours[0][k] = inverted ? black[k] : white[k];
      colours[1][k] = inverted ? white[k] : black[k];
    }
  }
  img.rgba.resize(size_t(img.width) * img.height * 4);
  convert_planar(ram, ram ? ramSize : 0, view.base & MMU_AddressMask, planes, colours, img);
  return img;
}

namespace {

void append_png_bytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<u8>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void no_flush(png_structp) {}

}  // namespace

bool SCREEN_WritePng(const std::string& path, const SCREEN_Image& image, std::string& error) {
  // Encoded in memory, then written as saved states are: a picture written
  // over an older one replaces it whole or leaves it as it was.
  std::vector<u8> bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    error = "out of memory";
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    error = "cannot encode the picture for " + path;
    return false;
  }
  png_set_write_fn(png, &bytes, append_png_bytes, no_flush);
  png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (u32 y = 0; y < image.height; ++y)
    png_write_row(png, image.rgba.data() + size_t(y) * image.width * 4);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return FILES_WriteWhole(path.c_str(), bytes.data(), bytes.size(), error);
}
