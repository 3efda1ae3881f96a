// The Shifter's registers: screen base, video address counter, sync mode,
// palette and resolution; the palette's host colours, the video counter that
// follows the beam, and the detection of the sync and resolution switches
// that open the borders.
#pragma once

#include <cstdio>

#include "common/types.h"

extern u32 SHIFTER_Mode;       // 0 low, 1 medium, 2 monochrome monitor
extern u32 SHIFTER_LoadBase;   // base high << 16 | base mid << 8
extern u32 SHIFTER_VideoAddress;
extern u32 SHIFTER_ChangePending;
extern u32 SHIFTER_MixedRes;
extern u32 SHIFTER_TopBorderOpen, SHIFTER_BottomBorderOpen;
extern u32 SHIFTER_LeftBorderOpen, SHIFTER_RightBorderOpen;
// Frame of the last 60 Hz write, line of the last 50 Hz write, frame of the
// last 50 Hz write, reserved; and the line of the last 60 Hz write.
extern u32 SHIFTER_SyncSwitchLog[4];
extern u32 SHIFTER_Sync60Line;
// Lines of the last switch to high and to low at the line start, to high and
// to low at the line end.
extern u32 SHIFTER_ResSwitchLog[4];
// Frames of the last low and the last medium resolution write.
extern u32 SHIFTER_ResFrames[2];
extern u32 SHIFTER_LinePos;
// Register file: base high, base mid, counter high, mid, low, sync,
// resolution and the 16 palette entries (each the 16-bit value written).
extern u8 SHIFTER_BaseHigh, SHIFTER_BaseMid, SHIFTER_Sync;
extern u8 SHIFTER_Counter[3];
extern u16 SHIFTER_Resolution;
extern u32 SHIFTER_Palette[16];

// Palette rows by position in the line (4-cycle units): 16 host pixel values
// and a flag set when the row was written.
constexpr u32 SHIFTER_PaletteRowCount = 129;
struct SHIFTER_PaletteRow {
  u32 colours[16];
  u32 written;
};
extern SHIFTER_PaletteRow SHIFTER_PaletteRows[SHIFTER_PaletteRowCount];

// 16-bit host colour components of an ST palette value (3 bits a gun).
struct SHIFTER_Rgb16 {
  u16 red, green, blue;
};
SHIFTER_Rgb16 SHIFTER_HostComponents(u32 stColour);

i32 SHIFTER_Reset(u32 mode);
void SHIFTER_UpdateVideoCounter();
void SHIFTER_DebugPrintPalette();
u32 SHIFTER_GetB(u32 addr);
u32 SHIFTER_GetW(u32 addr);
u32 SHIFTER_GetL(u32 addr);
void SHIFTER_PutB(u32 addr, u32 value);
void SHIFTER_PutW(u32 addr, u32 value);
void SHIFTER_PutL(u32 addr, u32 value);

// Saved-state section of the Shifter (machine/sections.h): 108 bytes.
constexpr u32 SHIFTER_StateBytes = 108;
