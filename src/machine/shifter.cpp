#include "machine/shifter.h"

#include <cstdio>

#include "cpu/exceptions.h"
#include "host/host.h"
#include "machine/memory.h"

u32 SHIFTER_Mode;
u32 SHIFTER_LoadBase;
u32 SHIFTER_ChangePending;
u32 SHIFTER_MixedRes;
u32 SHIFTER_TopBorderOpen, SHIFTER_BottomBorderOpen;
u32 SHIFTER_LeftBorderOpen, SHIFTER_RightBorderOpen;
u32 SHIFTER_SyncSwitchLog[4];
u32 SHIFTER_ResSwitchLog[4];
u32 SHIFTER_ResFrames[2];
u8 SHIFTER_BaseHigh, SHIFTER_BaseMid, SHIFTER_Sync;
u16 SHIFTER_Resolution;
u32 SHIFTER_Palette[16];

namespace {
void update_base() { SHIFTER_LoadBase = (u32(SHIFTER_BaseHigh) << 16) | (u32(SHIFTER_BaseMid) << 8); }
bool is_palette(u32 a) { return a - 0xff8240 < 0x20; }
u32 palette_index(u32 a) { return (a - 0xff8240) >> 1; }

void palette_write(u32 i, u32 w) {
  w &= 0xffff;
  if (SHIFTER_Palette[i] == w) return;
  SHIFTER_Palette[i] = w;
  SHIFTER_ChangePending = 1;
  SCREEN_VideoWritten = 1;
}

void resolution_write(u32 v) {
  SCREEN_VideoWritten = 1;
  if (SHIFTER_Mode == 2) return;  // a monochrome monitor pins high resolution
  SHIFTER_Resolution = u16(v & 3);
  if (SHIFTER_Mode != (v & 3) && (v & 3) < 2) {
    SHIFTER_Mode = v & 3;
    SHIFTER_ChangePending = 1;
    SCREEN_OpenWindow();
  }
}
}  // namespace

i32 SHIFTER_Reset(u32 mode) {
  SHIFTER_Mode = mode;
  SHIFTER_Resolution = u16(mode);
  SHIFTER_BaseHigh = SHIFTER_BaseMid = 0;
  SHIFTER_Sync = 0;
  update_base();
  SHIFTER_TopBorderOpen = SHIFTER_BottomBorderOpen = 0;
  SHIFTER_LeftBorderOpen = SHIFTER_RightBorderOpen = 0;
  SHIFTER_MixedRes = 0;
  SHIFTER_ChangePending = 1;
  SCREEN_OpenWindow();
  return 0;
}

u32 SHIFTER_GetB(u32 a) {
  if (is_palette(a)) return SHIFTER_Palette[palette_index(a)] & 0xff;
  switch (a) {
    case 0xff8201: return SHIFTER_BaseHigh;
    case 0xff8203: return SHIFTER_BaseMid;
    case 0xff8205: return (SHIFTER_LoadBase >> 16) & 0xff;
    case 0xff8207: return (SHIFTER_LoadBase >> 8) & 0xff;
    case 0xff8209: return SHIFTER_LoadBase & 0xff;
    case 0xff820a: return SHIFTER_Sync;
    case 0xff820b: return 0;
    case 0xff8260: return SHIFTER_Resolution & 0xff;
    case 0xff8262: std::printf("TT test video "); return 4;
    case 0xff820d: return 4;
    default:
      std::printf("Shifter GetB %x\n", a);
      MMU_BusError();
      return 0;
  }
}

u32 SHIFTER_GetW(u32 a) {
  if (is_palette(a)) return SHIFTER_Palette[palette_index(a)];
  if (a == 0xff8200) return SHIFTER_BaseHigh;
  if (a == 0xff8202) return SHIFTER_BaseMid;
  return (SHIFTER_GetB(a) << 8) | SHIFTER_GetB(a + 1);
}

u32 SHIFTER_GetL(u32 a) {
  if (is_palette(a) && palette_index(a) < 15)
    return (SHIFTER_Palette[palette_index(a)] << 16) | SHIFTER_Palette[palette_index(a) + 1];
  if (a == 0xff8200) return (u32(SHIFTER_BaseHigh) << 16) | SHIFTER_BaseMid;
  return (SHIFTER_GetB(a + 1) << 16) | SHIFTER_GetB(a + 3);
}

void SHIFTER_PutB(u32 a, u32 v) {
  SCREEN_VideoWritten = 1;
  switch (a) {
    case 0xff8201: SHIFTER_BaseHigh = u8(v); update_base(); break;
    case 0xff8203: SHIFTER_BaseMid = u8(v); update_base(); break;
    case 0xff820a: SHIFTER_Sync = u8(v); break;
    case 0xff8260: resolution_write(v); break;
    default: break;
  }
}

void SHIFTER_PutW(u32 a, u32 v) {
  if (is_palette(a)) return palette_write(palette_index(a), v);
  SCREEN_VideoWritten = 1;
  switch (a) {
    case 0xff8200: SHIFTER_BaseHigh = u8(v); update_base(); break;
    case 0xff8202: SHIFTER_BaseMid = u8(v); update_base(); break;
    case 0xff8260: resolution_write(v); break;
    default: std::printf("SHIFTER_PutW %x\n", a); break;
  }
}

void SHIFTER_PutL(u32 a, u32 v) {
  if (is_palette(a) && palette_index(a) < 15) {
    palette_write(palette_index(a), v >> 16);
    palette_write(palette_index(a) + 1, v & 0xffff);
    return;
  }
  SCREEN_VideoWritten = 1;
  if (a == 0xff8200) {
    SHIFTER_BaseHigh = u8(v >> 16);
    SHIFTER_BaseMid = u8(v);
    update_base();
  } else if (a == 0xff8260 && v <= 1) {
    resolution_write(v);
  }
}
