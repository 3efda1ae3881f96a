// The Shifter's registers as the machine core needs them: screen base,
// sync, resolution and palette. The border tricks, the video counter that
// follows the beam and the line conversion build on these.
#pragma once

#include "common/types.h"

extern u32 SHIFTER_Mode;       // 0 low, 1 medium, 2 monochrome monitor
extern u32 SHIFTER_LoadBase;   // base high << 16 | base mid << 8
extern u32 SHIFTER_ChangePending;
extern u32 SHIFTER_MixedRes;
extern u32 SHIFTER_TopBorderOpen, SHIFTER_BottomBorderOpen;
extern u32 SHIFTER_LeftBorderOpen, SHIFTER_RightBorderOpen;
// Frame of the last 60 Hz write, line of the last 50 Hz write, frame of the
// last 50 Hz write, reserved.
extern u32 SHIFTER_SyncSwitchLog[4];
extern u32 SHIFTER_ResSwitchLog[4];
extern u32 SHIFTER_ResFrames[2];
extern u8 SHIFTER_BaseHigh, SHIFTER_BaseMid, SHIFTER_Sync;
extern u16 SHIFTER_Resolution;
extern u32 SHIFTER_Palette[16];

i32 SHIFTER_Reset(u32 mode);
u32 SHIFTER_GetB(u32 addr);
u32 SHIFTER_GetW(u32 addr);
u32 SHIFTER_GetL(u32 addr);
void SHIFTER_PutB(u32 addr, u32 value);
void SHIFTER_PutW(u32 addr, u32 value);
void SHIFTER_PutL(u32 addr, u32 value);
