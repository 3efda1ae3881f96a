#include "machine/shifter.h"

#include <cstdio>
#include <cstring>

#include "common/console.h"
#include "common/endian.h"
#include "cpu/exceptions.h"
#include "host/options.h"
#include "host/screen.h"
#include "machine/memory.h"
#include "machine/scheduler.h"

u32 SHIFTER_Mode;
u32 SHIFTER_LoadBase;
u32 SHIFTER_VideoAddress;
u32 SHIFTER_ChangePending;
u32 SHIFTER_MixedRes;
u32 SHIFTER_TopBorderOpen, SHIFTER_BottomBorderOpen;
u32 SHIFTER_LeftBorderOpen, SHIFTER_RightBorderOpen;
u32 SHIFTER_SyncSwitchLog[4];
u32 SHIFTER_Sync60Line;
u32 SHIFTER_ResSwitchLog[4];
u32 SHIFTER_ResFrames[2];
u32 SHIFTER_LinePos;
u8 SHIFTER_BaseHigh, SHIFTER_BaseMid, SHIFTER_Sync;
u8 SHIFTER_Counter[3];
u16 SHIFTER_Resolution;
u32 SHIFTER_Palette[16];
SHIFTER_PaletteRow SHIFTER_PaletteRows[SHIFTER_PaletteRowCount];

namespace {

void update_base() { SHIFTER_LoadBase = (u32(SHIFTER_BaseHigh) << 16) | (u32(SHIFTER_BaseMid) << 8); }
bool is_palette(u32 a) { return a - 0xff8240 < 0x20; }
u32 palette_index(u32 a) { return (a - 0xff8240) >> 1; }

// One palette entry written; `rowStep` moves the palette row of the second
// half of a long write one row on.
void palette_write(u32 i, u32 w, u32 rowStep) {
  w &= 0xffff;
  if (SHIFTER_Palette[i] == w) return;
  SHIFTER_Palette[i] = w;
  SHIFTER_ChangePending = 1;
  SCREEN_VideoWritten = 1;
  if (SHIFTER_MixedRes > 1) return;
  const SHIFTER_Rgb16 c = SHIFTER_HostComponents(w);
  SHIFTER_UpdateVideoCounter();
  SCREEN_HostPalette[i] = SCREEN_Color2Index(c.red, c.green, c.blue);
  u32 row = SHIFTER_LinePos + rowStep;
  if (row >= SHIFTER_PaletteRowCount) row = SHIFTER_PaletteRowCount - 1;
  std::memcpy(SHIFTER_PaletteRows[row].colours, SCREEN_HostPalette, sizeof SCREEN_HostPalette);
  SHIFTER_PaletteRows[row].written = 1;
}

// The part of a resolution write that every access size shares.
void resolution_write(u32 v) {
  if (v > 1 || SHIFTER_Resolution > 1) {
    if (SHIFTER_Mode == 2) SHIFTER_Resolution = 2;
    return;
  }
  if (v == SHIFTER_Resolution) return;
  SHIFTER_Resolution = u16(v & 3);
  SHIFTER_TopBorderOpen = SHIFTER_BottomBorderOpen = 0;
  SCREEN_DisplayLines = 200;
  SHIFTER_ChangePending = 1;
  SHIFTER_ResFrames[v] = SCHED_FrameCount;
  if (SHIFTER_ResFrames[0] == SHIFTER_ResFrames[1]) SHIFTER_MixedRes = 1;
  SHIFTER_Mode = SHIFTER_Resolution;
  SCREEN_OpenWindow();
}

// A byte write of the resolution also watches for the switches to high and
// back to low at the start or the end of one line, which open the side
// borders.
void resolution_write_byte(u32 v) {
  const u32 line = u32(SCHED_LineCounter);
  const i32 pos = SCHED_FrameCycle - (SCHED_LineCounter - 1) * SCHED_CyclesPerLine;
  u32* log = SHIFTER_ResSwitchLog;
  auto note = [&](u32 high, u32 low) {
    if (v == 2) log[high] = line;
    if (v == 0) log[low] = line;
    if (log[high] == log[low]) SHIFTER_LeftBorderOpen = SHIFTER_RightBorderOpen = 1;
  };
  if (pos < 90) note(0, 1);
  if (pos > 430) note(2, 3);
  resolution_write(v);
}

// A 60 Hz write followed by a 50 Hz write one line later, in the same
// frame, opens the top border near the top of the frame and the bottom border
// near its bottom.
void sync_write(u32 v) {
  const u32 line = u32(SCHED_LineCounter);
  u32* log = SHIFTER_SyncSwitchLog;
  if (v & 2) {
    log[1] = line;
    log[2] = SCHED_FrameCount;
  } else {
    SHIFTER_Sync60Line = line;
    log[0] = SCHED_FrameCount;
  }
  if (log[0] == log[2] && i32(log[1] - SHIFTER_Sync60Line) < 2) {
    if (log[1] > 262) SHIFTER_BottomBorderOpen = 1;
    if (log[1] < 44) SHIFTER_TopBorderOpen = 1;
  }
  SCREEN_DisplayLines = 200;
  SCREEN_FirstLine = 64;
  if (SHIFTER_TopBorderOpen) {
    SCREEN_FirstLine = 35;
    SCREEN_DisplayLines = 229;
  }
  if (SHIFTER_BottomBorderOpen) SCREEN_DisplayLines += 38;
  SHIFTER_Sync = u8(v);
}

}  // namespace

SHIFTER_Rgb16 SHIFTER_HostComponents(u32 w) {
  return {u16(double(w & 0x700) * 36.5708), u16(double(w & 0x070) * 585.1339),
          u16(double(w & 0x007) * 9362.1428)};
}

i32 SHIFTER_Reset(u32 mode) {
  const u32 res_log[4] = {2501, 802, 5099, 731};
  std::memcpy(SHIFTER_ResSwitchLog, res_log, sizeof res_log);
  SHIFTER_SyncSwitchLog[0] = 1;
  SHIFTER_SyncSwitchLog[1] = 1;
  SHIFTER_SyncSwitchLog[2] = 5;
  SHIFTER_Counter[0] = 0x00;
  SHIFTER_Counter[1] = 0x80;
  SHIFTER_Counter[2] = 0x07;
  SHIFTER_TopBorderOpen = SHIFTER_BottomBorderOpen = 0;
  SHIFTER_LeftBorderOpen = SHIFTER_RightBorderOpen = 0;
  SHIFTER_ResFrames[0] = 0;
  SHIFTER_ResFrames[1] = 1;
  SHIFTER_LinePos = 0;
  SHIFTER_ChangePending = 1;
  SHIFTER_Mode = mode;
  SCREEN_VideoWritten = 1;
  SHIFTER_MixedRes = 0;
  SHIFTER_Resolution = u16(mode);
  SCREEN_OpenWindow();
  // The host's colours follow the palette from the start, not only from its
  // first write: a palette that stays black is still drawn in opaque black.
  SCREEN_UpdatePalette();
  return 0;
}

void SHIFTER_UpdateVideoCounter() {
  SHIFTER_LinePos = 0;
  u32 offset;
  if (PREFS_SimpleVideoCounter) {
    offset = u32(SCHED_LineCounter - 49) * 160;
  } else {
    const i32 first = i32(SCREEN_FirstLine);
    const i32 now = SCHED_FrameCycle;
    const i32 lines = i32(SCREEN_DisplayLines) + first;
    i32 column;
    if (now < first * SCHED_CyclesPerLine) {
      offset = 0;
      column = ((now + 1) % SCHED_CyclesPerLine + SCHED_CyclesPerLine) % SCHED_CyclesPerLine;
    } else {
      const i32 t = now - first * SCHED_CyclesPerLine + 1;
      const i32 row = t / SCHED_CyclesPerLine;
      column = t % SCHED_CyclesPerLine;
      const i32 clamped = column < 96 ? 96 : column > 416 ? 416 : column;
      const i32 byte_column = ((clamped - 96) / 2) & ~1;
      offset = row < lines ? u32(row * 160 + byte_column) : u32(lines * 160);
    }
    SHIFTER_LinePos = u32(column) / 4;
  }
  SHIFTER_VideoAddress = SCREEN_FrameBase + offset;
  SHIFTER_Counter[0] = u8(SHIFTER_VideoAddress >> 16);
  SHIFTER_Counter[1] = u8(SHIFTER_VideoAddress >> 8);
  SHIFTER_Counter[2] = u8(SHIFTER_VideoAddress);
}

void SHIFTER_DebugPrintPalette() {
  for (u32 c : SHIFTER_Palette) std::printf("%d  ", c);
  std::printf("\n");
}

u32 SHIFTER_GetB(u32 a) {
  if (is_palette(a)) return SHIFTER_Palette[palette_index(a)] & 0xff;
  switch (a) {
    case 0xff8201: return SHIFTER_BaseHigh;
    case 0xff8203: return SHIFTER_BaseMid;
    case 0xff8205: SHIFTER_UpdateVideoCounter(); return SHIFTER_Counter[0];
    case 0xff8207: SHIFTER_UpdateVideoCounter(); return SHIFTER_Counter[1];
    case 0xff8209: SHIFTER_UpdateVideoCounter(); return SHIFTER_Counter[2];
    case 0xff820a: return SHIFTER_Sync;
    case 0xff820b: return 0;
    case 0xff8260: return SHIFTER_Resolution & 0xff;
    case 0xff8262: std::printf("TT test video "); return 4;
    case 0xff820d: return 4;
    default:
      CONSOLE_Line("Shifter GetB %x", a);
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
  if (is_palette(a)) {
    const u32 i = palette_index(a);
    // The last entry's second word is the resolution register behind it.
    const u32 next = i < 15 ? SHIFTER_Palette[i + 1] : u32(SHIFTER_Resolution & 0xff) << 8;
    return (SHIFTER_Palette[i] << 16) | next;
  }
  if (a == 0xff8200) return (u32(SHIFTER_BaseHigh) << 16) | SHIFTER_BaseMid;
  return (SHIFTER_GetB(a + 1) << 16) | SHIFTER_GetB(a + 3);
}

void SHIFTER_PutB(u32 a, u32 v) {
  SCREEN_VideoWritten = 1;
  switch (a) {
    case 0xff8201: SHIFTER_BaseHigh = u8(v); update_base(); break;
    case 0xff8203: SHIFTER_BaseMid = u8(v); update_base(); break;
    case 0xff820a: sync_write(v & 0xff); break;
    case 0xff8260: resolution_write_byte(v & 0xff); break;
    default: break;
  }
}

void SHIFTER_PutW(u32 a, u32 v) {
  if (is_palette(a)) return palette_write(palette_index(a), v, 0);
  SCREEN_VideoWritten = 1;
  switch (a) {
    case 0xff8200: SHIFTER_BaseHigh = u8(v); update_base(); break;
    case 0xff8202: SHIFTER_BaseMid = u8(v); update_base(); break;
    case 0xff8260: resolution_write(v & 0xffff); break;
    default: CONSOLE_Line("SHIFTER_PutW %x", a); break;
  }
}

void SHIFTER_PutL(u32 a, u32 v) {
  if (is_palette(a) && palette_index(a) < 15) {
    palette_write(palette_index(a), v >> 16, 0);
    palette_write(palette_index(a) + 1, v & 0xffff, 1);
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
