// The host layer as the machine sees it: folder, clocks, option words,
// sound output, screen hooks, alerts and host events.
//
// This build has no window. Alerts and dialogs report on standard error and
// take a fixed answer that is logged with them; time comes from a clock that
// tests can replace.
#pragma once

#include <atomic>
#include <string>

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
// Full path of `name` in APP_Folder when such a file exists, else empty.
std::string APP_FindFile(const char* name);

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

void PREFS_Load();
void PREFS_Save();
void PREFS_SetDefaults();
void APP_InstallAppleEvents();
u32 SCREEN_Init();
void APP_Banner();
void APP_ICStart();
void APP_ICStop();
[[noreturn]] void APP_Fatal(i32 code);
void APP_ExitHook();
void MENU_UpdateChecks();

// Message of a start-up failure code, or null for codes without one.
const char* APP_FatalMessage(i32 code);

// Ends the process with `code`. Tests replace the handler (it must not return).
using HOST_ExitFn = void (*)(int code);
extern HOST_ExitFn HOST_ExitHandler;
[[noreturn]] void HOST_Exit(int code);

// ---- Sound output -------------------------------------------------------------

// The sample ring between the synthesis (the one writer, on the emulation
// thread) and the audio output (the one reader, on the audio thread). Each
// index is stored only by its owner, with release order after the samples it
// covers, and loaded by the other side with acquire order; no lock. One slot
// stays empty, so a full ring holds SOUND_RingSize - 1 samples; a sample
// that finds the ring full is dropped.
constexpr u32 SOUND_RingSize = 11025;
extern i16 SOUND_Ring[SOUND_RingSize];
extern std::atomic<u32> SOUND_RingWrite;  // next index to write
extern std::atomic<u32> SOUND_RingRead;   // next index to read
// Samples waiting.
u32 SOUND_RingCount();
// Writer side: appends one sample; false (and the sample dropped) when full.
bool SOUND_RingPut(i16 sample);
// Reader side: takes up to n samples into out and fills the rest of the n
// with silence (an underrun); returns the samples taken.
u32 SOUND_RingTake(i16* out, u32 n);
// Empties the ring; only while no reader runs.
void SOUND_RingClear();
extern u32 SOUND_Active;
extern u32 SOUND_Stopped;      // the output unit's stopped state
extern u32 SOUND_FramesEnded;  // SOUND_EndFrame calls that reached the synthesizer

void SOUND_Open();
void SOUND_Start();
void SOUND_SetStopped(u32 stopped);
void SOUND_Pause(u32 flag);
void SOUND_Reset();
void SOUND_EndFrame();
void SOUND_PutSample(i32 sample);
void SOUND_Close();

// ---- MIDI output ---------------------------------------------------------------

struct QTMIDI_DriverRecord {
  u32 open;
  void (*close)();
  void (*writeByte)(u8 byte);
  void (*allNotesOff)();
  void (*reset)();
  void (*spare1)();
  void (*spare2)();
};
extern QTMIDI_DriverRecord QTMIDI_Driver;
void QTMIDI_CheckQuickTime();
void QTMIDI_OpenIfEnabled();
void QTMIDI_Shutdown();

// ---- Screen and status line -------------------------------------------------------

extern u32 SCREEN_ForceRedraw;
extern u32 SCREEN_RedrawRequest;
extern u32 SCREEN_FrameBytes;
extern u32 SCREEN_HostPalette[16];
extern u32 SCREEN_BigScreen;
extern u32 SCREEN_Zoom;
extern u32 SCREEN_Height;
extern u32 SCREEN_PresentCount;  // pictures presented since start-up

void SCREEN_OpenWindow();
void SCREEN_InvalidateLines();
void SCREEN_ConvertLine(u32 line);
void SCREEN_UpdatePalette();
void SCREEN_Present();
void SCREEN_DrawStatusLine();
void SCREEN_DrawSpeedCounters();
void SCREEN_SetDriveLight(u32 light, u32 state);
void SCREEN_CheckWindowVisible();
// Host pixel value of a colour with 16-bit components; the windowless build
// packs it as 0xAARRGGBB from the components' high bytes.
u32 SCREEN_Color2Index(u16 red, u16 green, u16 blue);

// ---- Alerts and file dialogs ---------------------------------------------------------

// The answers the windowless alerts give.
struct DLG_Answers {
  u32 confirmBootWrite;  // 1 go ahead, 0 refuse
  u32 askForTos;         // 0 cancel, non-zero choose a file
  u32 confirmFormat;     // 1 format an existing image file, 0 cancel
};
extern DLG_Answers DLG_FixedAnswers;

struct NAV_Reply {
  u8 chosen;
  std::string path;
};

u32 DLG_Alert(u32 index, u32 stopFlag);
u32 DLG_ConfirmBootWrite();
// Asked before an existing file is formatted as a new hard-disk image, with
// OK and Cancel: 1 to go ahead, 0 to leave the file alone.
u32 DLG_ConfirmFormat(const char* text);
u32 DLG_AskForTos();
void NAV_GetFile(NAV_Reply& reply, u32 kind);
// The text of the next alert (DLG_Alert or DLG_ShowAlert), which shows it
// and forgets it.
void DLG_SetAlertText(const char* text);
void DLG_ShowAlert(i32 id);

// ---- Host events and input -------------------------------------------------------------

extern u32 EVENTS_Paused, EVENTS_Suspended, EVENTS_WindowObscured, EVENTS_InBackground;
extern i32 EVENTS_LastMouseH, EVENTS_LastMouseV;
extern u32 EVENTS_CapsLock;
extern u32 EVENTS_VdiTracking;
extern u32 EVENTS_PollCount;  // host polls since start-up

// The host pointer in window coordinates and the host key map (bit k & 7 of
// byte k >> 3 set while virtual key k is down), as the keyboard processor
// reads them. The windowless build reports these words, which tests set.
extern i32 EVENTS_MouseH, EVENTS_MouseV;
extern u8 EVENTS_KeyMap[16];
void EVENTS_GetMouse(i32& h, i32& v);
void EVENTS_GetKeys(u8 map[16]);

// Scripted input of the windowless build: when set, called at every host
// poll of the pointer (once a frame) with the number of polls before it.
extern void (*EVENTS_ScriptHook)(u32 poll);

void EVENTS_DoEvent(i32 wait);
void EVENTS_PollMouse();
void EVENTS_PauseLoop();

// ---- Debugger -----------------------------------------------------------------------------

extern u32 DEBUG_Requested;
extern u32 DEBUG_DumpAbort;
void DEBUG_CommandLoop();

// ---- Saved state ---------------------------------------------------------------------------

extern u32 STATE_SpareWord;

// ---- Option words ----------------------------------------------------------------------------

extern u32 PREFS_Ram14MB, PREFS_BlitterEnabled, MMU_BusErrorsEnabled, PREFS_FdcDelay;
extern u32 PREFS_Unthrottled, PREFS_HardDiskOn, PREFS_FrameSkip, PREFS_AutoFrameSkip;
extern u32 PREFS_SpeedCounters, PREFS_BufferedDrawing, PREFS_PrinterOn, PREFS_BigScreen;
extern u32 PREFS_ClockFactor, PREFS_AutoSaveOnQuit, PREFS_WriteProtect, PREFS_SoundOn;
extern u32 PREFS_SimpleVideoCounter;
