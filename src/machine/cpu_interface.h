// What the machine needs of the processor core beyond cpu/exceptions.h.
// These are the core's own entry points; their definitions live with the
// processor (until it provides them, cpu_interface_standin.cpp does).
#pragma once

#include "common/types.h"

// Takes an interrupt of `level` (1-7); level 6 uses MFP_VectorLatch.
void m68k_accept_interrupt(u32 level);
// Power-on state of the processor, then APP_HardwareReset.
void m68k_restart();
// The emulation's main loop; returns when APP_StopFlag becomes non-zero.
void m68k_go(i32 mode);
// One pass of the fetch-dispatch loop until a stop or leave request.
void m68k_run_loop();

// Instructions executed by the run loop since start-up (for the figures of
// the headless runner).
extern u64 m68k_instruction_count;
