// The option words with the values they start with, and their defaults: one
// definition for every host.
#include "host/options.h"
#include "machine/memory.h"

u32 PREFS_Ram14MB, PREFS_BlitterEnabled, PREFS_FdcDelay = 1;
u32 PREFS_Unthrottled = 1, PREFS_HardDiskOn = 1, PREFS_FrameSkip = 1, PREFS_AutoFrameSkip = 1;
u32 PREFS_SpeedCounters = 1, PREFS_BufferedDrawing, PREFS_PrinterOn, PREFS_BigScreen;
u32 PREFS_ClockFactor = 8, PREFS_AutoSaveOnQuit = 1, PREFS_WriteProtect = 0x40, PREFS_SoundOn = 1;
u32 PREFS_SimpleVideoCounter = 1;
u32 PREFS_DoubleSize;

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
  PREFS_BufferedDrawing = 0;
  PREFS_PrinterOn = 0;
  PREFS_BigScreen = 0;
  PREFS_ClockFactor = 8;
  PREFS_AutoSaveOnQuit = 1;
  PREFS_WriteProtect = 0x40;
  PREFS_SoundOn = 1;
  PREFS_SimpleVideoCounter = 1;
  PREFS_DoubleSize = 0;
}
