// The host-side hooks the CPU core calls, in their smallest working form.
#include "host/debugger.h"
#include "host/events.h"
#include "host/prefs.h"
#include "host/screen.h"

u32 DEBUG_Requested;
u32 DEBUG_DumpAbort;
void DEBUG_CommandLoop() { DEBUG_Requested = 0; }

u32 SCREEN_RedrawRequest;
void SCREEN_CheckWindowVisible() {}

u32 PREFS_AutoSaveOnQuit;
u32 PREFS_ClockFactor = 1;
u32 PREFS_BigScreen;

u32 EVENTS_VdiTracking;
