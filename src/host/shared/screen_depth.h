// The two host pixel depths the screen draws, as one type each, so that the
// converters are written once for both: 32 bits (one u32 a pixel, the
// palette entry as it is) and 16 bits (one u16 a pixel, RGB555 in the
// palette entry's low half).
#pragma once

#include <array>

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

// Spreads the 8 bits of a plane byte, leftmost first, into bit 0 of eight
// bytes: pixel i's bit lands in byte i.
constexpr auto SCREEN_SpreadBits = [] {
  std::array<u64, 256> t{};
  for (u32 b = 0; b < 256; ++b)
    for (u32 i = 0; i < 8; ++i) t[b] |= u64((b >> (7 - i)) & 1) << (8 * i);
  return t;
}();

// One 32-pixel unit of planar screen memory, two 16-pixel groups of
// `planes` words each (four for low resolution and the big screen, two for
// medium resolution), as the palette index of each pixel, leftmost first.
template <u32 planes>
struct SCREEN_Unit {
  u8 index[32];
  explicit SCREEN_Unit(const u8* s) {
    for (u32 half = 0; half < 4; ++half) {  // 8 pixels: group half / 2, byte half % 2
      const u8* g = s + (half / 2) * 2 * planes + half % 2;
      u64 v = 0;
      for (u32 p = 0; p < planes; ++p) v |= SCREEN_SpreadBits[g[2 * p]] << p;
      for (u32 i = 0; i < 8; ++i) index[8 * half + i] = u8(v >> (8 * i));
    }
  }
};
