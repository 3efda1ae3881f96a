// Start-up, hardware reset and the stop word of the emulated machine.
#pragma once

#include <string>

#include "common/types.h"

// Non-zero ends the run loop.
extern i32 APP_StopFlag;
// 1 once "Auto Saved State" has been loaded at a run-loop entry.
extern u32 APP_AutoStateLoaded;
// The application's folder on the host (holds "Auto Saved State").
extern std::string APP_Folder;

// Puts the emulated hardware outside the processor into its power-on state.
void APP_HardwareReset();
