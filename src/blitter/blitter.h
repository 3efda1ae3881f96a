// The Blitter's register block at 0xff8a00-0xff8a3d, as the I/O page needs
// it. The operations themselves build on these registers.
#pragma once

#include "common/types.h"

extern u32 BLITTER_Running;  // 1 while an operation runs
extern u8 BLITTER_Regs[0x3e];

u32 BLITTER_GetB(u32 addr);
u32 BLITTER_GetW(u32 addr);
u32 BLITTER_GetL(u32 addr);
void BLITTER_PutB(u32 addr, u32 value);
void BLITTER_PutW(u32 addr, u32 value);
void BLITTER_PutL(u32 addr, u32 value);
