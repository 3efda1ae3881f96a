// The option words: the user's settings as the machine reads them, loaded
// from the preferences by the host and written back by it.
#pragma once

#include <string>

#include "common/types.h"

// 0/1 unless noted. MMU_BusErrorsEnabled is an option too, declared with the
// memory map (machine/memory.h).
extern u32 PREFS_Ram14MB, PREFS_BlitterEnabled, PREFS_FdcDelay;
extern u32 PREFS_Unthrottled, PREFS_HardDiskOn, PREFS_FrameSkip, PREFS_AutoFrameSkip;
extern u32 PREFS_SpeedCounters, PREFS_BufferedDrawing, PREFS_PrinterOn, PREFS_BigScreen;
extern u32 PREFS_ClockFactor, PREFS_AutoSaveOnQuit, PREFS_WriteProtect, PREFS_SoundOn;
extern u32 PREFS_SimpleVideoCounter;
// Low resolution shown doubled (the screen's display mode 4).
extern u32 PREFS_DoubleSize;
// While the window is in the background the ST gets no input and is drawn
// through the shadow picture.
extern u32 PREFS_PauseInBackground;
// Kept in the preferences and written back; nothing else reads it.
extern u32 PREFS_Word0C;
// The TOS image the automatic state was saved with, when it is not the
// folder's "tos.img" (empty then). The quit sets it with the state, the
// preferences keep it, and the next start takes that image while it loads,
// so the state comes back on its own TOS.
extern std::string PREFS_StateTos;

// Reads the preferences (or takes the defaults) into the option words.
void PREFS_Load();
// Once the window is there: says why the preferences PREFS_Load found can't
// be read and the settings are the defaults (an alert, or standard error
// without a window); nothing when they were read or there were none.
void PREFS_TellWhyDefaults();
// Writes the option words back to the preferences: true when they are kept,
// else false with why in `why` (when given) and on standard error.
bool PREFS_Save(std::string* why = nullptr);
void PREFS_SetDefaults();

// MIDI output was open at the last exit: the preferences keep it in their
// word at 0x7c. Only MIDI output writes it, at exit (host/midi.h); the
// defaults leave it as it is.
extern u32 PREFS_MidiOutOpen;
