// The built-in debugger's hooks into the run loop.
#pragma once

#include "common/types.h"

// Non-zero: the run loop's caller enters the debugger before running on.
extern u32 DEBUG_Requested;
// Set when the CPU core reports a program it can't run; the memory dump
// stops early when it becomes non-zero.
extern u32 DEBUG_DumpAbort;

void DEBUG_CommandLoop();
