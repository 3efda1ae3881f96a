// The option words with the values they start with, and their defaults: one
// definition for every host.
#include "host/options.h"
#include "machine/memory.h"

// Each option word starts with, and PREFS_SetDefaults gives it, the value a
// new preferences record holds.
u32 PREFS_Ram14MB, PREFS_BlitterEnabled, PREFS_FdcDelay = 1;
u32 PREFS_Unthrottled, PREFS_HardDiskOn = 1, PREFS_FrameSkip = 1, PREFS_AutoFrameSkip = 1;
u32 PREFS_SpeedCounters = 1, PREFS_BufferedDrawing = 1, PREFS_PrinterOn = 1, PREFS_BigScreen;
u32 PREFS_ClockFactor = 8, PREFS_AutoSaveOnQuit = 1, PREFS_WriteProtect, PREFS_SoundOn;
u32 PREFS_SimpleVideoCounter;
u32 PREFS_DoubleSize;
u32 PREFS_PauseInBackground = 1, PREFS_Word0C = 1;
std::string PREFS_StateTos;

void PREFS_SetDefaults() {
  PREFS_Ram14MB = 0;
  PREFS_BlitterEnabled = 0;
  MMU_BusErrorsEnabled = 1;
  PREFS_FdcDelay = 1;
  PREFS_Unthrottled = 0;
  PREFS_HardDiskOn = 1;
  PREFS_FrameSkip = 1;
  PREFS_AutoFrameSkip = 1;
  PREFS_SpeedCounters = 1;
  PREFS_BufferedDrawing = 1;
  PREFS_PrinterOn = 1;
  PREFS_BigScreen = 0;
  PREFS_ClockFactor = 8;
  PREFS_AutoSaveOnQuit = 1;
  PREFS_WriteProtect = 0;
  PREFS_SoundOn = 0;
  PREFS_SimpleVideoCounter = 0;
  PREFS_DoubleSize = 0;
  PREFS_PauseInBackground = 1;
  PREFS_Word0C = 1;
}
