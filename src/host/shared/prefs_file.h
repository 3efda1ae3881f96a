// The preferences file: one record of 2,348 big-endian bytes that keeps the
// option words between runs, in the user's configuration folder
// ($XDG_CONFIG_HOME/vantorell, or ~/.config/vantorell). The record is read
// into the option words at start-up, every value checked (one out of its
// range takes its default), and written back from them whole through a
// temporary file, so a failed write leaves the previous file as it was.
// Bytes the record does not use are kept as the file had them. The TOS of
// the automatic state (PREFS_StateTos) lies, tagged, in the reserved
// stretch from 0x12c on, which older readers keep as it is.
//
// A host with a window keeps the file (its PREFS_Load and PREFS_Save call
// PREFS_LoadFrom and PREFS_SaveTo with PREFS_FolderPath()); the windowless
// host keeps none, so tests and runs never touch the user's settings.
#pragma once

#include <string>

#include "common/types.h"

constexpr u32 PREFS_RecordSize = 2348;
extern u8 PREFS_Record[PREFS_RecordSize];
constexpr const char* PREFS_FileName = "Vantorell 1.42 Prefs";

// The folder that holds the file, or empty when neither XDG_CONFIG_HOME (an
// absolute path) nor HOME names one.
std::string PREFS_FolderPath();

// Every row of the record at its default; the bytes no row names and the
// MIDI word (0x7c) are left as they are.
void PREFS_RecordDefaults(u8* record);
// The rows into the option words, each value out of its row's range taken as
// the row's default.
void PREFS_RecordToGlobals(const u8* record);
// The option words into the rows; a medium resolution is kept as low.
void PREFS_GlobalsToRecord(u8* record);

// Reads the file in `folder` into PREFS_Record and the option words. A
// missing, short or unreadable file gives the defaults, which are written at
// once (creating the folder). An empty folder means there is no file: the
// defaults, nothing written.
void PREFS_LoadFrom(const std::string& folder);
// The option words into PREFS_Record, written as the whole new file in
// `folder` (created when missing). False, with the reason on standard
// error, when it could not be written: the old file is then untouched.
bool PREFS_SaveTo(const std::string& folder);
