// Cycle scheduler: the frame position, the event times and the frame pacing.
#pragma once

#include "common/types.h"
#include "machine/fdc.h"  // FDC_IrqTime, the ninth event time

constexpr i32 SCHED_CyclesPerFrame = 160256;
constexpr i32 SCHED_CyclesPerLine = 512;
constexpr i32 SCHED_Never = 696969;
constexpr i32 SCHED_KeyboardIdle = 606969;
constexpr i32 SCHED_PollMark = 156000;

extern i32 SCHED_FrameCycle;   // CPU cycles since the start of the frame
extern i32 SCHED_CycleBefore;  // frame position before the current instruction

// Event times in frame cycles, in this order (slot 6 is SCHED_NextEvent, the
// earliest of them); SCHED_Never when not armed.
enum : u32 {
  SCHED_TimerC,
  SCHED_TimerA,
  SCHED_TimerB,
  SCHED_TimerD,
  SCHED_LineEnd,
  SCHED_Hbl,
  SCHED_Next,
  SCHED_Keyboard,
};
extern i32 SCHED_EventTimes[8];
inline i32& SCHED_NextEvent = SCHED_EventTimes[SCHED_Next];

// Timer periods in cycles, Timer A, B, C, D; -1 while stopped.
extern i32 SCHED_TimerPeriods[4];

extern i32 SCHED_LineCounter;
extern u32 SCHED_FrameCount;
extern u32 SCHED_InBorder;  // 1 while the line ends outside the display lines
extern u32 SCHED_SpareWord;
extern u32 SCHED_PollTick;
extern u32 SCHED_LastEventTick;
extern u32 SCHED_FramesThisSecond;
extern u64 SCHED_SecondMark;
extern u64 SCHED_PaceMark;
extern u32 SCHED_FrameHistory[10];
extern i32 SCHED_FrameAverage;
extern u32 SCHED_AutoSkip;
// Interrupt mask at the previous status-register check.
extern u32 m68k_last_mask;

// The frame limit of the headless runner and the tests: when non-zero, the
// number of frame ends still to come; the last of them sets the stop word.
// Every frame end counts, also across machine resets (which start
// SCHED_FrameCount again at 0), so a guest that keeps restarting the machine
// still ends the run.
extern u32 SCHED_StopAfterFrames;
// Frame ends since the program started; no reset clears it.
extern u64 SCHED_FramesEnded;

// Frame flags kept for the screen code.
extern u32 SCREEN_FrameDirty;
extern u32 SCREEN_UseShadow;
extern u32 SCREEN_FramesSinceDraw;
extern u32 SCREEN_FirstLine;     // first picture line
extern u32 SCREEN_DisplayLines;  // number of picture lines

// Recomputes SCHED_NextEvent from the armed events.
void SCHED_ComputeNextEvent();
// Fires every event the last instruction crossed; runs the frame end.
void SCHED_RunEvents();
// One 16-cycle step of time while the CPU is stopped, with the due events.
// Ends with SCHED_CycleBefore at the new position: the step's events are done.
void SCHED_StopStep();
void SCHED_ResetFrame();
void SCHED_PaceFrame();

// Re-arm time of a periodic event: (now + period) modulo the frame.
inline i32 SCHED_Rearm(i32 period) { return (SCHED_FrameCycle + period) % SCHED_CyclesPerFrame; }

// Frame position 0, the cycle before it 0, and the next event computed.
void SCHED_Reset();
