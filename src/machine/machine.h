// Start-up, the main program and the hardware reset of the machine.
#pragma once

#include "common/types.h"
#include "cpu/bus.h"       // APP_StopFlag, APP_AutoStateLoaded, APP_HardwareReset
#include "cpu/run_loop.h"  // m68k_go, and the instruction count of the figures

// The steps of main, in their order.
void APP_StartUp();  // application folder and its lock, preferences read and written back
void APP_InitMachine();
void APP_Run();       // the emulation, until the stop word is set
// Printer file, MIDI, sound, preferences, exit hook; the process's exit
// status: 0 when the quit kept everything it saves, 1 when it could not
// (APP_QuitUnsaved) or the preferences can't be written now.
int APP_ShutDown();

// Set by a quit that went ahead without saving the automatic state or the
// preferences (the user chose Quit Anyway, or nobody could be asked).
extern u32 APP_QuitUnsaved;

void APP_RequestStop();
void APP_SetDefaultDirToApp();

// The start-up line of a TOS version, or null when there is none.
const char* APP_TosLine(u32 version, u32 emuTos);
