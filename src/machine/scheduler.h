// Cycle scheduler: the frame position and the time of the next event.
#pragma once

#include "common/types.h"

constexpr i32 SCHED_CyclesPerFrame = 160256;
constexpr i32 SCHED_Never = 696969;

extern i32 SCHED_FrameCycle;   // CPU cycles since the start of the frame
extern i32 SCHED_CycleBefore;  // frame position before the current instruction
extern i32 SCHED_NextEvent;    // frame position of the earliest pending event

// Recomputes SCHED_NextEvent from the armed events.
void SCHED_ComputeNextEvent();

void SCHED_Reset();
