// The preferences file: one record of 2,348 big-endian bytes that keeps the
// option words between runs, in the user's configuration folder
// ($XDG_CONFIG_HOME/vantorell, or ~/.config/vantorell). The record is read
// into the option words at start-up, every value checked (one out of its
// range takes its default), and written back from them whole through a
// temporary file, so a failed write leaves the previous file as it was.
// Bytes the record does not use are kept as the file had them. The TOS of
// the automatic state (PREFS_StateTos) lies, tagged, in the reserved
// stretch from 0x12c on, which older readers keep as it is. A file that is
// there but can't be read (no permission to read it, a folder of its name)
// is never written over in the run that found it: the run takes the
// defaults and the user's settings stay for when the file can be read.
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

// ---- The file, step by step ----

// Results of PREFS_ReadFile besides 0 (a whole record read).
constexpr i32 PREFS_NoFile = -43;     // no file of that name
constexpr i32 PREFS_ShortFile = -39;  // the file ends before a whole record (its bytes stay read)
constexpr i32 PREFS_ReadError = -36;  // it can't be read

// 1 when there is a folder to keep the file in (PREFS_FolderPath names one).
u32 PREFS_HasFindFolder();
// The preferences folder into `folder`, created when missing: 1, or 0 when
// there is none or it can't be made.
u32 PREFS_FindPrefsFolder(std::string& folder);
// Creates `folder` and the missing folders above it: 1 when it exists after.
u32 PREFS_CreateNamedFolder(const std::string& folder);
// The file in `folder` into `record`: 0 or one of the results above; with
// PREFS_ReadError, `why` (when given) says why, the file's path first.
i32 PREFS_ReadFile(const std::string& folder, u8* record, std::string* why = nullptr);
// 1 when `record` holds the whole file of `folder` (none for an empty
// folder name), 0 when the defaults are to be used.
u32 PREFS_ReadFromFolder(const std::string& folder, u8* record);
// PREFS_Record as the whole file in `folder`, which must exist (written
// through a temporary file); 1 when done, else 0 with the reason on
// standard error and in `why` (when given).
u32 PREFS_WriteFileHere(const std::string& folder, std::string* why = nullptr);
// The same after making the folder; 0 for an empty folder name.
u32 PREFS_WriteFile(const std::string& folder, std::string* why = nullptr);
// Removes the file from `folder`: 1 when it was there.
u32 PREFS_DeleteFile(const std::string& folder);

// Reads the file in `folder` into PREFS_Record and the option words. A
// missing or short file gives the defaults, which are written at once
// (creating the folder). An empty folder means there is no file: the
// defaults, nothing written. A file that is there but can't be read gives
// the defaults too, and is kept as it is: PREFS_SaveTo never writes over
// it until the next load (once nothing of that name is there any more, it
// writes the file again). Returns why it could not be read (its path
// first), or an empty string.
std::string PREFS_LoadFrom(const std::string& folder);
// The option words into PREFS_Record, written as the whole new file in
// `folder` (created when missing). False, with the reason on standard
// error and in `why` (when given), when it could not be written: the old
// file is then untouched. For the file the last load could not read nothing
// is written: true while the option words are still what that load took,
// else false with why.
bool PREFS_SaveTo(const std::string& folder, std::string* why = nullptr);
