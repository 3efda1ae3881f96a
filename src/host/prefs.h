// Preference words read by the CPU core.
#pragma once

#include "common/types.h"

extern u32 PREFS_AutoSaveOnQuit;
extern u32 PREFS_ClockFactor;
extern u32 PREFS_BigScreen;
