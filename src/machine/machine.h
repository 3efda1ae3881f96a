// Start-up, the main program and the hardware reset of the machine.
#pragma once

#include "common/types.h"
#include "cpu/bus.h"       // APP_StopFlag, APP_AutoStateLoaded, APP_HardwareReset
#include "cpu/run_loop.h"  // m68k_go, and the instruction count of the figures

// The steps of main, in their order.
void APP_StartUp();  // application folder and its lock, preferences read and written back
void APP_InitMachine();
void APP_Run();       // the emulation, until the stop word is set
void APP_ShutDown();  // printer file, MIDI, sound, preferences, exit hook

void APP_RequestStop();
void APP_SetDefaultDirToApp();

// The start-up line of a TOS version, or null when there is none.
const char* APP_TosLine(u32 version, u32 emuTos);
