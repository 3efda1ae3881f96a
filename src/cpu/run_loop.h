// Running instructions: the emulation's main loop and the single step.
#pragma once

#include "common/types.h"

extern u32 m68k_running;   // 1 while m68k_go runs
extern u32 m68k_trace_pc;  // PC recorded when a trace exception is armed
// Instructions executed since start-up (the run loop adds its count at each
// scheduler call and when it returns, so the figure is exact at frame ends).
extern u64 m68k_instruction_count;

// Runs the emulation until APP_StopFlag is set; mode must be non-zero.
void m68k_go(i32 mode);

// Executes instructions until APP_StopFlag is set or a leave bit is seen.
void m68k_run_loop();

// Executes exactly one instruction at the PC (fetch, dispatch, cycles, the
// frame of a fault it took, trace, pending interrupts), without the
// scheduler. A stopped CPU idles 16 cycles instead. Returns the cycles added
// to SCHED_FrameCycle, exception processing included.
u32 m68k_step();
// The same, also giving the count the instruction's handler returned (the
// total less exception processing and idling).
u32 m68k_step(u32& handler_cycles);
