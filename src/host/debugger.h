// The built-in debugger as the run loop sees it: a request word and the
// command loop that serves it between two entries of the run loop.
#pragma once

#include <csignal>

#include "common/types.h"

extern u32 DEBUG_Requested;
// Ends a running memory dump or listing between two lines. A termination
// signal sets it, so a listing of a mistyped length can be stopped.
extern volatile std::sig_atomic_t DEBUG_DumpAbort;
void DEBUG_CommandLoop();
