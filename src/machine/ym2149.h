// The YM2149's tone, noise and envelope generators, rendered as one mono
// stream of 16-bit samples at the host's output rate. Register writes arrive
// with the frame cycle at which the CPU made them; the samples that belong
// before that moment are rendered first, so changes land at the right place
// within the frame. The samples between two writes are rendered as one block,
// in which channels that can't be heard cost next to nothing.
#pragma once

#include "common/types.h"

using PSG_SampleSink = void (*)(i32 sample);
using PSG_PortRead = u8 (*)();
using PSG_PortWrite = void (*)(u8 value);

// One sample is this many sub-units of time.
constexpr i32 PSG_SampleUnits = 32768;

struct PSG_Synth {
  u32 rate;                        // output rate in Hz
  PSG_PortRead portARead, portBRead;
  PSG_PortWrite portAWrite, portBWrite;
  u32 selected;
  u8 regs[16];                     // R0-R15 as written, masked in place
  i32 lastMixer;                   // -1 until the first mixer write
  u32 step;                        // one period unit in sub-units
  i32 tonePeriod[3], noisePeriod, envPeriod;
  i32 toneCounter[3], noiseCounter, envCounter;
  u32 volume[3];                   // current amplitudes of A, B, C
  u32 envVolume;
  u8 envMode[3];                   // volume register bit 4
  u8 output[3];                    // 0 or 1
  u8 noiseOutput;                  // 0 or 0xff
  i8 envStep;                      // 31 down to 0
  u8 hold, alternate, attack, holding;
  u32 noiseShift;                  // 17-bit shift register
  u32 cyclesPerFrame, samplesPerFrame, rendered;
  PSG_SampleSink sink;
};

extern PSG_Synth PSG_State;
extern u32 PSG_VolumeTable[32];
extern u32 PSG_Initialised;  // 1 once PSG_Init has run

void PSG_Init(u32 clock, u32 rate, u32 framesPerSecond, u32 cyclesPerFrame, PSG_SampleSink sink,
              PSG_PortRead portARead = nullptr, PSG_PortRead portBRead = nullptr,
              PSG_PortWrite portAWrite = nullptr, PSG_PortWrite portBWrite = nullptr);
void PSG_Select(u32 v);
// Renders the samples due before frame cycle `cycle`, then writes the selected
// register.
void PSG_WriteDataAt(u32 v, i32 cycle);
void PSG_WriteRegAt(u32 r, u32 v, i32 cycle);
void PSG_WriteReg(u32 r, u32 v);
u32 PSG_ReadReg(u32 r);
u32 PSG_ReadData();
// Renders n samples into the sink.
void PSG_Render(i32 n);
// Renders the rest of the frame's samples.
void PSG_EndFrame();
void PSG_Reset();
void PSG_ResetRegs();
