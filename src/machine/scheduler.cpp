#include "machine/scheduler.h"

i32 SCHED_FrameCycle;
i32 SCHED_CycleBefore;
i32 SCHED_NextEvent = SCHED_Never;

void SCHED_ComputeNextEvent() {
  // With no event sources armed, the frame end is the only thing ahead.
  SCHED_NextEvent = SCHED_CyclesPerFrame;
}

void SCHED_Reset() {
  SCHED_FrameCycle = 0;
  SCHED_CycleBefore = 0;
  SCHED_ComputeNextEvent();
}
