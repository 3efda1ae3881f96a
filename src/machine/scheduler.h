// Cycle scheduler: the frame position and the time of the next event.
#pragma once

#include "common/types.h"

constexpr i32 SCHED_CyclesPerFrame = 160256;
constexpr i32 SCHED_Never = 696969;

extern i32 SCHED_FrameCycle;   // CPU cycles since the start of the frame
extern i32 SCHED_CycleBefore;  // frame position before the current instruction
extern i32 SCHED_NextEvent;    // frame position of the earliest pending event

// Event times in frame cycles: Timer C, Timer A, Timer B, Timer D, line end,
// HBL, (slot 6 is SCHED_NextEvent), keyboard receive; SCHED_Never for none.
extern i32 SCHED_EventTimes[8];
extern u32 SCHED_InBorder;      // 1 while the line ends outside the display lines
extern u32 SCHED_SpareWord;
extern u32 SCHED_FrameCount;    // frames since reset
extern u64 SCHED_PaceMark;      // host microseconds of the pacing schedule
extern u32 SCREEN_FirstLine;    // first picture line
extern u32 SCREEN_DisplayLines; // number of picture lines
extern u32 m68k_last_mask;      // interrupt mask at the previous status-register check

// Fires every event the last instruction crossed; runs the frame end.
void SCHED_RunEvents();
// One 16-cycle step of time while the CPU is stopped, with the due events.
void SCHED_StopStep();

// Recomputes SCHED_NextEvent from the armed events.
void SCHED_ComputeNextEvent();

void SCHED_Reset();
