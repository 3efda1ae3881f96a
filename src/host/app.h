// The application around the machine, as the host provides it: the folder
// that holds the application, the host's clocks, the start-up banner and the
// other start-up and shut-down services, fatal start-up errors and the
// process exit.
#pragma once

#include <string>
#include <vector>

#include "common/files.h"
#include "common/types.h"

// ---- The application's folder ------------------------------------------

struct APP_FolderRecord {
  std::string path;  // the folder that holds the application, with no trailing slash
  u8 flag;
};
extern APP_FolderRecord APP_Folder;

// When non-empty, APP_GetAppFolder reports this folder instead of the
// executable's (the headless runner and tests point it at a ROM folder).
extern std::string APP_FolderOverride;

void APP_GetAppFolder();
// One copy of the application a folder: takes the advisory lock on
// APP_Folder (flock on the folder itself, held by a close-on-exec descriptor
// until the process ends, however it ends). False when another process holds
// it: another copy runs from that folder, by whatever path it was named. The
// process takes the folder it holds again freely, and moving to another
// folder lets go of the old one. A folder it cannot open or lock (a file
// system without locks) is not refused: the start goes on without the lock
// and its files say what is wrong with them where they are opened.
bool APP_LockFolder();
// Full path of `name` in APP_Folder when such a file exists, else empty.
std::string APP_FindFile(const char* name);
// Where the quit writes the automatic state, and the start reads it.
std::string APP_AutoStatePath();
// What was under "Auto Saved State" when the start refused it
// (APP_AutoStateRefused), held until the quit sets it aside: the quit sets
// aside that, also once written in place, and not a state saved under the
// name since.
extern FILES_HeldEntry APP_AutoStateRefusedEntry;
// What the start found there and did not refuse (restored it, or found it a
// state it restores with the option off), or the machine saved there since
// (APP_StateSaved), or what it refused and restored from there since
// (APP_StateLoaded), held: the quit's own file, which it writes over at the
// end whoever else could not restore it since.
extern FILES_HeldEntry APP_AutoStateTakenEntry;
// A state was saved at path (Save State As, the debugger's `F`, the quit
// itself, which the user may cancel): where the automatic state's name
// leads there, what the start refused is gone from it (a refused link that
// led nowhere stays refused, DEBUG_StateSaved likewise), and that is the
// quit's own file again. A file another program put there, a state too, is
// set aside all the same.
void APP_StateSaved(const char* path);
// A state restored from path (Load State, the debugger's `U`): when that is
// what the start refused, still under the automatic state's name, it is
// refused no longer, and the quit writes over it as after a start that
// restored it.
void APP_StateLoaded(const char* path);
// What the start refused is no longer under the name (the machine saved
// or restored its state there): the quit writes over it as usual, whether
// or not it can be read.
void APP_RefusedSavedOver();
// Whether a state saved at path (through its symbolic links) would replace
// what the start refused under "Auto Saved State" before the quit has set
// it aside.
bool APP_LeadsToRefusedAutoState(const char* path);
// Whether what the start refused under "Auto Saved State" is a link that
// leads nowhere, or to a state the user saved there since
// (INPUT_RefusedLinkOpen); a state saved at `path` meanwhile is given to
// APP_RefusedLinkSaved, which keeps it from the quit's state when the link
// leads to it.
bool APP_RefusedLinkOpen();
void APP_RefusedLinkSaved(const char* path);

// ---- Compressed floppy images ----------------------------------------------

// A floppy image the host unpacks before it goes in (a gzip-compressed ".gz"
// file): the descriptor of its unpacked copy, an anonymous file that closing
// removes; HOST_NotPacked for any other file; HOST_UnpackFailed, with `why`
// saying what went wrong as words that follow the file's name. With
// `packed`, an unpacked image also leaves there a descriptor of the
// compressed file itself, open read only, for the caller to close.
constexpr int HOST_NotPacked = -1;
constexpr int HOST_UnpackFailed = -2;
int HOST_UnpackImage(const char* path, std::string& why, int* packed = nullptr);
// Whether HOST_UnpackImage unpacks the file at path: by the name the path
// gives it, whatever the name of a file a symbolic link there leads to.
bool HOST_UnpacksByName(const char* path);

// ---- Clocks ----------------------------------------------------------------

struct HOST_DateTime {
  i32 year, month, day;  // month 1-12, day 1-31
  i32 hour, minute, second;
};

// The host's sense of time. The defaults read the system clocks; tests
// install their own functions.
struct HOST_ClockOps {
  u64 (*microseconds)();
  void (*sleepMicroseconds)(u32 us);
  HOST_DateTime (*localTime)();
};
extern HOST_ClockOps HOST_Clock;
void HOST_UseSystemClock();

inline u64 HOST_Microseconds() { return HOST_Clock.microseconds(); }
inline void HOST_Sleep(u32 us) { HOST_Clock.sleepMicroseconds(us); }
inline HOST_DateTime HOST_LocalTime() { return HOST_Clock.localTime(); }
// Sixtieths of a second, derived from the microsecond clock.
inline u32 HOST_TickCount() { return u32(HOST_Microseconds() * 60 / 1000000); }

// ---- Start-up and shut-down -------------------------------------------------

void APP_InstallAppleEvents();

// A request of the desktop: to quit (the window's close box and the
// desktop's quit), to print or open documents, to open the application.
struct APP_AppleEvent {
  enum Kind : u8 { Quit, PrintDocs, OpenDocs, OpenApp } kind;
  std::vector<std::string> paths;  // OpenDocs: the documents, in order
  bool command;                    // OpenDocs: Command was held
  bool atStart = false;            // OpenDocs: named on the command line
};
using APP_AppleEventHandler = i32 (*)(const APP_AppleEvent& event);
// The handlers by kind: quit, print documents, open documents, open the
// application. Each returns 0.
i32 APP_HandleQuit(const APP_AppleEvent& event);       // the quit path (APP_AutoSaveOnQuit)
i32 APP_HandlePrintDocs(const APP_AppleEvent& event);  // nothing
i32 APP_HandleOpenDocs(const APP_AppleEvent& event);   // APP_OpenDocuments
i32 APP_HandleOpenApp(const APP_AppleEvent& event);    // nothing
extern const APP_AppleEventHandler APP_AppleEventTable[4];
// Hands a request to its handler; its result.
i32 APP_ProcessAppleEvent(const APP_AppleEvent& event);

void APP_Banner();
void APP_ICStart();
void APP_ICStop();
[[noreturn]] void APP_Fatal(i32 code);
void APP_ExitHook();

// Stores `value` at `word` (the pause loop's request for a whole redraw).
void APP_StoreLong(u32* word, u32 value);
// Copy a string led by its length byte, that byte included, to `dest`;
// return `dest`.
u8* APP_BlockMoveA(u8* dest, const u8* text);
u8* APP_BlockMoveB(u8* dest, const u8* text);
// The saved state's spare word (STATE_SpareWord), big-endian, at the open
// file's current position: 0, or the errno of a failed or short transfer.
int APP_FSWriteLong(int fd);
int APP_FSReadLong(int fd);

// Message of a start-up failure code, or null for codes without one.
const char* APP_FatalMessage(i32 code);
// What the fatal alert of `code` says: its message, or for a code without
// one the alert text set last (DLG_SetAlertText), which may be empty.
std::string APP_FatalText(i32 code);

// Ends the process with `code`. Tests replace the handler (it must not return).
using HOST_ExitFn = void (*)(int code);
extern HOST_ExitFn HOST_ExitHandler;
[[noreturn]] void HOST_Exit(int code);
