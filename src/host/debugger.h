// The built-in debugger as the run loop sees it: a request word and the
// command loop that serves it between two entries of the run loop.
#pragma once

#include "common/types.h"

extern u32 DEBUG_Requested;
extern u32 DEBUG_DumpAbort;
void DEBUG_CommandLoop();
