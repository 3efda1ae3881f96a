// What the windowless host offers the tests and tools that link it: the
// host depth its window would have, and how often the window was shown.
#pragma once

#include "common/types.h"

extern u32 SCREEN_HeadlessDepth;  // 32 unless a test sets 16 (or any other)
extern u32 SCREEN_HeadlessShows;  // SCREEN_HostShow calls since start-up
