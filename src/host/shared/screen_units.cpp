// The pixel tables of both host depths and their remaking.
#include "host/shared/screen_units.h"

#include <bit>

SCREEN_PixelTables<u32> SCREEN_Pixels32;
SCREEN_PixelTables<u16> SCREEN_Pixels16;

template <typename Pixel>
void SCREEN_PixelTables<Pixel>::remake(const u32* now) {
  u32 changed = made ? 0 : 0xffff;
  for (u32 i = 0; i < 16; ++i) changed |= u32(Pixel(now[i]) != Pixel(palette[i])) << i;
  std::memcpy(palette, now, sizeof palette);
  made = true;
  auto make = [this](u32 key) {
    const Pixel a = Pixel(palette[key & 15]), b = Pixel(palette[key >> 4]);
    pair[key][0] = a, pair[key][1] = b;
    quad[key][0] = quad[key][1] = a;
    quad[key][2] = quad[key][3] = b;
  };
  // A changed colour lies in the 31 keys that hold it; past a few colours
  // the whole table is as quick.
  if (std::popcount(changed) > 4) {
    for (u32 key = 0; key < 256; ++key) make(key);
    return;
  }
  for (; changed; changed &= changed - 1) {
    const u32 c = u32(std::countr_zero(changed));
    for (u32 other = 0; other < 16; ++other) {
      make(c | other << 4);
      make(other | c << 4);
    }
  }
}

template <typename Pixel>
void SCREEN_PixelTables<Pixel>::remake_mono(Pixel clear, Pixel set) {
  monoClear = clear;
  monoSet = set;
  monoMade = true;
  for (u32 b = 0; b < 256; ++b)
    for (u32 i = 0; i < 8; ++i) mono[b][i] = (b << i) & 0x80 ? set : clear;
}

template struct SCREEN_PixelTables<u32>;
template struct SCREEN_PixelTables<u16>;
