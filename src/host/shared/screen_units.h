// Planar screen memory into host pixels, for the line converters and the
// whole-frame converters alike. The bit planes of eight pixels become their
// eight 4-bit colour indices, packed two to a byte, through one table
// lookup a plane byte; each such byte (a pair of pixels) then becomes its
// two host pixels, or four when the pixels are doubled, through a table
// made from the host palette. The tables are remade only for the palette
// entries that changed since they were made, so a colour changed between
// two lines costs a few dozen entries. Monochrome bytes become their eight
// pixels through a table of their own.
#pragma once

#include <array>
#include <cstring>
#include <type_traits>

#include "common/types.h"

// Spreads the 8 bits of a byte of plane p, leftmost first, into bit p of
// eight nibbles: pixel i's bit lands in bit 4 x i + p.
constexpr auto SCREEN_SpreadNibbles = [] {
  std::array<std::array<u32, 256>, 4> t{};
  for (u32 p = 0; p < 4; ++p)
    for (u32 b = 0; b < 256; ++b)
      for (u32 i = 0; i < 8; ++i) t[p][b] |= ((b >> (7 - i)) & 1) << (4 * i + p);
  return t;
}();

// The host pixels of one depth's palette, by pair key and by monochrome
// byte.
template <typename Pixel>
struct SCREEN_PixelTables {
  Pixel pair[256][2];        // key -> the pair's two pixels, left first
  Pixel quad[256][4];        // key -> the same two pixels, each twice
  Pixel mono[256][8];        // monochrome byte -> its eight pixels, bit 7 first
  u32 palette[16];           // the host palette `pair` and `quad` were made from
  Pixel monoClear, monoSet;  // the colours `mono` was made from
  bool made = false, monoMade = false;

  // Brings `pair` and `quad` up to the host palette `now` (u32 entries
  // whose low bits are the pixel).
  void follow(const u32* now) {
    u32 differ = 0;
    for (u32 i = 0; i < 16; ++i) differ |= now[i] ^ palette[i];
    if (differ || !made) remake(now);
  }
  // Brings `mono` up to the colours of clear and set bits.
  void follow_mono(Pixel clear, Pixel set) {
    if (!monoMade || clear != monoClear || set != monoSet) remake_mono(clear, set);
  }

 private:
  void remake(const u32* now);
  void remake_mono(Pixel clear, Pixel set);
};

extern SCREEN_PixelTables<u32> SCREEN_Pixels32;
extern SCREEN_PixelTables<u16> SCREEN_Pixels16;

// Draws the 8 pixels of four pair keys (byte k: pixel 2k's colour index in
// its low nibble, pixel 2k + 1's in its high one) at row0, 16 when `wide`
// (every pixel twice side by side), and the same at row1 when `twoRows`.
template <bool wide, bool twoRows, typename Pixel>
inline void SCREEN_DrawKeys(const SCREEN_PixelTables<Pixel>& t, u32 keys, Pixel* row0,
                            std::type_identity_t<Pixel>* row1) {
  constexpr u32 n = wide ? 4 : 2;
  for (u32 k = 0; k < 4; ++k) {
    const u32 key = k == 3 ? keys >> 24 : (keys >> (8 * k)) & 0xff;
    Pixel v[n];
    std::memcpy(v, wide ? t.quad[key] : t.pair[key], sizeof v);
    std::memcpy(row0 + n * k, v, sizeof v);
    if (twoRows) std::memcpy(row1 + n * k, v, sizeof v);
  }
}

// Draws a group of 16 pixels, `planes` consecutive big-endian words at s
// (plane 0 first), as SCREEN_DrawKeys does.
template <u32 planes, bool wide, bool twoRows, typename Pixel>
inline void SCREEN_DrawGroup(const SCREEN_PixelTables<Pixel>& t, const u8* s, Pixel* row0,
                             std::type_identity_t<Pixel>* row1) {
  u32 left = 0, right = 0;
  for (u32 p = 0; p < planes; ++p) {
    left |= SCREEN_SpreadNibbles[p][s[2 * p]];
    right |= SCREEN_SpreadNibbles[p][s[2 * p + 1]];
  }
  constexpr u32 half = wide ? 16 : 8;
  SCREEN_DrawKeys<wide, twoRows>(t, left, row0, row1);
  SCREEN_DrawKeys<wide, twoRows>(t, right, row0 + half, twoRows ? row1 + half : nullptr);
}

// Whether a unit of `bytes` bytes of screen memory may be skipped, being
// equal to its copy of the last drawn frame and `every` unit not wanted;
// otherwise the copy takes the unit's bytes.
template <u32 bytes>
inline bool SCREEN_SkipUnit(u8* copy, const u8* src, bool every) {
  if (!every && std::memcmp(copy, src, bytes) == 0) return true;
  std::memcpy(copy, src, bytes);
  return false;
}
