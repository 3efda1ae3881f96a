// The two host pixel depths the screen draws, as one type each, so that the
// converters are written once for both: 32 bits (one u32 a pixel, the
// palette entry as it is) and 16 bits (one u16 a pixel, RGB555 in the
// palette entry's low half).
#pragma once

#include "common/types.h"
#include "host/shared/screen_units.h"
#include "host/shared/screen_window.h"

struct SCREEN_Depth32 {
  using Pixel = u32;
  static constexpr u32 bits = 32;
  static constexpr Pixel white = 0x00ffffff;
  static u32* shadow() { return SCREEN_Shadow32; }
  static SCREEN_PixelTables<u32>& pixels() { return SCREEN_Pixels32; }
  // The value a border cache keeps for border pixel p.
  static u32 border_value(u32 p) { return p; }
};

struct SCREEN_Depth16 {
  using Pixel = u16;
  static constexpr u32 bits = 16;
  static constexpr Pixel white = 0x7fff;
  static u16* shadow() { return SCREEN_Shadow16; }
  static SCREEN_PixelTables<u16>& pixels() { return SCREEN_Pixels16; }
  static u32 border_value(u32 p) { return (p & 0xffff) << 16 | (p & 0xffff); }
};

template <typename Pixel>
inline void SCREEN_Fill(Pixel* p, u32 n, Pixel v) {
  for (u32 i = 0; i < n; ++i) p[i] = v;
}
