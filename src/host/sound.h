// Sound output as the machine sees it: the host's audio output, fed by the
// synthesizer one sample at a time through a lock-free sample ring, and the
// hooks the machine calls at reset and at each frame end.
#pragma once

#include <atomic>

#include "common/types.h"

// The sample ring between the synthesis (the one writer, on the emulation
// thread) and the audio output (the one reader, on the audio thread). Each
// index is stored only by its owner, with release order after the samples it
// covers, and loaded by the other side with acquire order; no lock. One slot
// stays empty, so a full ring holds SOUND_RingSize - 1 samples; a sample
// that finds the ring full is dropped.
constexpr u32 SOUND_RingSize = 11025;
extern i16 SOUND_Ring[SOUND_RingSize];
extern std::atomic<u32> SOUND_RingWrite;  // next index to write
extern std::atomic<u32> SOUND_RingRead;   // next index to read
// Samples waiting.
u32 SOUND_RingCount();
// Writer side: appends one sample; false (and the sample dropped) when full.
bool SOUND_RingPut(i16 sample);
// Reader side: takes up to n samples into out and fills the rest of the n
// with silence (an underrun); returns the samples taken.
u32 SOUND_RingTake(i16* out, u32 n);
// Empties the ring; only while no reader runs.
void SOUND_RingClear();
extern u32 SOUND_Active;
extern u32 SOUND_Stopped;      // the output unit's stopped state
extern u32 SOUND_FramesEnded;  // SOUND_EndFrame calls that reached the synthesizer

void SOUND_Open();
void SOUND_Start();
// Sound switched off: samples dropped, the output stopped.
void SOUND_Stop();
void SOUND_SetStopped(u32 stopped);
void SOUND_Pause(u32 flag);
void SOUND_Reset();
void SOUND_EndFrame();
void SOUND_PutSample(i32 sample);
// What SOUND_Start hands the synthesizer for its samples: SOUND_PutSample.
extern void (*const SOUND_SampleSink)(i32 sample);
// The host's microsecond clock.
u64 SOUND_Microseconds();
void SOUND_Close();
// An empty operation of the sound chip (machine/ym2149.cpp).
void SOUND_StopHook();
