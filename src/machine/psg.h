// The YM2149 sound chip's registers and the synthesis that feeds the host's
// sample ring.
#pragma once

#include "common/types.h"

using PSG_SampleSink = void (*)(i32 sample);

extern u8 PSG_Regs[16];
extern u32 PSG_Select;
extern u32 PSG_Initialised;  // 1 once PSG_Init has run

void PSG_Init(u32 clock, u32 sampleRate, u32 framesPerSecond, u32 cyclesPerFrame,
              PSG_SampleSink sink);
void PSG_Reset();
// Finishes the current frame's samples.
void PSG_EndFrame();
// Emits the samples due up to frame cycle `cycle`.
void PSG_Render(i32 cycle);

u32 PSG_GetB(u32 addr);
u32 PSG_GetW(u32 addr);
u32 PSG_GetL(u32 addr);
void PSG_PutB(u32 addr, u32 value);
void PSG_PutW(u32 addr, u32 value);
void PSG_PutL(u32 addr, u32 value);
