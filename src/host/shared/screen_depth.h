// The two host pixel depths the screen draws, as one type each, so that the
// converters are written once for both: 32 bits (one u32 a pixel, the
// palette entry as it is) and 16 bits (one u16 a pixel, RGB555 in the
// palette entry's low half).
#pragma once

#include "common/endian.h"
#include "common/types.h"
#include "host/shared/screen_window.h"

struct SCREEN_Depth32 {
  using Pixel = u32;
  static constexpr u32 bits = 32;
  static constexpr Pixel white = 0x00ffffff;
  static u32* shadow() { return SCREEN_Shadow32; }
  // The value a border cache keeps for border pixel p.
  static u32 border_value(u32 p) { return p; }
};

struct SCREEN_Depth16 {
  using Pixel = u16;
  static constexpr u32 bits = 16;
  static constexpr Pixel white = 0x7fff;
  static u16* shadow() { return SCREEN_Shadow16; }
  static u32 border_value(u32 p) { return (p & 0xffff) << 16 | (p & 0xffff); }
};

template <typename Pixel>
inline void SCREEN_Fill(Pixel* p, u32 n, Pixel v) {
  for (u32 i = 0; i < n; ++i) p[i] = v;
}

// One 32-pixel unit of planar screen memory: `planes` 32-bit plane words, bit
// 31 the leftmost pixel. Low resolution and the big screen take four planes
// from two 16-pixel groups of four words, medium resolution two planes from
// two groups of two words.
template <u32 planes>
struct SCREEN_Unit {
  u32 p[planes];
  explicit SCREEN_Unit(const u8* s) {
    for (u32 i = 0; i < planes; ++i) p[i] = be_read16(s + 2 * i) << 16 | be_read16(s + 2 * (i + planes));
  }
  // The palette index of pixel x (0 leftmost).
  u32 index(u32 x) const {
    u32 v = 0;
    for (u32 i = 0; i < planes; ++i) v |= ((p[i] << x) >> 31) << i;
    return v;
  }
};
