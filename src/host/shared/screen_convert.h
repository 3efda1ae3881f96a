// Whole-frame conversion of ST screen memory into an RGBA picture from the
// Shifter's state: low resolution 320 x 200 in 16 colours, medium 640 x 200
// in 4, high 640 x 400 monochrome, and the 640 x 400 16-colour big screen.
// A plain function of its inputs, so that the window's line converters can
// share it; and a PNG writer for the picture.
#pragma once

#include <string>
#include <vector>

#include "common/types.h"

struct SCREEN_Image {
  u32 width = 0, height = 0;
  std::vector<u8> rgba;  // width x height pixels, 4 bytes each, rows top to bottom
};

// What the conversion needs of the Shifter.
struct SCREEN_ShifterView {
  u32 resolution;    // 0 low, 1 medium, 2 high
  u32 bigScreen;     // 1: the 640 x 400 16-colour mode, whatever the resolution
  u32 base;          // ST address of the first screen byte
  u16 palette[16];   // ST palette values
};

// The displayed frame's view: SCREEN_FrameBase, the resolution register,
// SCREEN_BigScreen and the palette registers.
SCREEN_ShifterView SCREEN_CurrentView();

// Converts from `ram` (the ST's RAM image, `ramSize` bytes, big-endian);
// screen bytes beyond the RAM read as 0.
SCREEN_Image SCREEN_ConvertST(const u8* ram, u32 ramSize, const SCREEN_ShifterView& view);

// The 8-bit RGB of an ST palette value.
void SCREEN_PaletteRgb8(u16 stColour, u8 rgb[3]);

// Writes the picture as an 8-bit RGBA PNG, replacing an older file whole or
// not at all; false with a message in `error`.
bool SCREEN_WritePng(const std::string& path, const SCREEN_Image& image, std::string& error);
