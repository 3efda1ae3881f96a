// Screen tests on the windowless host: a screen memory of their own, filled
// with a known pattern, behind MMU_RamBase; the display set to a resolution
// and depth; frames run through the line converters or the whole-frame
// presentation; and the pictures the tests expect, computed pixel by pixel
// from the same memory.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "common/types.h"
#include "host/shared/screen_window.h"

constexpr u16 screen_test_palette[16] = {0x777, 0x700, 0x070, 0x007, 0x770, 0x077, 0x707, 0x000,
                                         0x123, 0x456, 0x765, 0x321, 0x531, 0x246, 0x642, 0x111};

class ScreenTest : public ::testing::Test {
 protected:
  static constexpr u32 ram_size = 0x40000;
  static constexpr u32 frame_base = 0x10000;

  void SetUp() override;
  void TearDown() override;

  // Resolution 0 low, 1 medium, 2 high; big screen on top of any; `zoom`
  // is the doubled-size option. The window is built anew.
  void display(u32 res, u32 depth, bool zoom = false, bool big = false);
  // One frame through the line converters: side borders open on `open`.
  void run_line_frame(const std::set<u32>& open = {});
  // The 32-bit host pixel of ST colour register i (alpha 0xff).
  static u32 colour(u32 i);
  // The colour index of ST pixel x of picture line p, planes interleaved.
  u32 st_index(u32 planes, u32 lineBytes, u32 p, u32 x) const;
  // Reads a window picture pixel as 0xRRGGBB.
  static u32 rgb_at(u32 x, u32 y);
  // Reduces an 0xRRGGBB value to the RGB555 pixel of the same colour.
  static u32 rgb555(u32 rgb);

  std::vector<u8> ram;

 private:
  u8* saved_base = nullptr;
  u32 saved_size = 0;
};
