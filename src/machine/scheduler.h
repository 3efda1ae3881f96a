// Cycle scheduler: the frame position, the event times and the frame pacing.
#pragma once

#include "common/types.h"
#include "cpu/bus.h"      // the frame position, the event times and the CPU's calls
#include "machine/fdc.h"  // FDC_IrqTime, the ninth event time

constexpr i32 SCHED_CyclesPerFrame = 160256;
constexpr i32 SCHED_CyclesPerLine = 512;
constexpr i32 SCHED_Never = 696969;
constexpr i32 SCHED_KeyboardIdle = 606969;
constexpr i32 SCHED_PollMark = 156000;
constexpr i32 SCHED_StopStepCycles = 16;  // one step of a stopped CPU
// More cycles than one instruction adds to the frame position, its
// exception processing included.
constexpr i32 SCHED_MaxInstructionCycles = 1024;

// Timer periods in cycles, Timer A, B, C, D; -1 while stopped.
extern i32 SCHED_TimerPeriods[4];

extern i32 SCHED_LineCounter;
extern u32 SCHED_FrameCount;
extern u32 SCHED_PollTick;
extern u32 SCHED_LastEventTick;
extern u32 SCHED_FramesThisSecond;
extern u64 SCHED_SecondMark;
extern u32 SCHED_FrameHistory[10];
extern i32 SCHED_FrameAverage;
extern u32 SCHED_AutoSkip;

// The frame limit of the headless runner and the tests: when non-zero, the
// number of frame ends still to come; the last of them sets the stop word.
// Every frame end counts, also across machine resets (which start
// SCHED_FrameCount again at 0), so a guest that keeps restarting the machine
// still ends the run.
extern u32 SCHED_StopAfterFrames;
// Frame ends since the program started; no reset clears it.
extern u64 SCHED_FramesEnded;

void SCHED_ResetFrame();
// After a restore: the next event from the event times as the state holds
// them. The HBL's time stays as its machine last computed it (an interrupt
// accepted since raised the mask, and that HBL still comes).
void SCHED_EventsRestored();
void SCHED_PaceFrame();

// Re-arm time of a periodic event: (now + period) modulo the frame.
inline i32 SCHED_Rearm(i32 period) { return (SCHED_FrameCycle + period) % SCHED_CyclesPerFrame; }

// Frame position 0, the cycle before it 0, and the next event computed.
void SCHED_Reset();
