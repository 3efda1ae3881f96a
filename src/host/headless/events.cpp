// Host events of the windowless build: no event arrives; the pointer and the
// key map are words that tests and the input script set, and a script hook
// runs at every pointer poll, where a waiting floppy goes in once its drive
// may take it.
#include "host/events.h"

#include "host/shared/input.h"

i32 EVENTS_MouseH, EVENTS_MouseV;
u8 EVENTS_KeyMap[16];
void (*EVENTS_ScriptHook)(u32 poll);

void EVENTS_GetMouse(i32& h, i32& v) {
  h = EVENTS_MouseH;
  v = EVENTS_MouseV;
}
void EVENTS_GetKeys(u8 map[16]) {
  for (int i = 0; i < 16; ++i) map[i] = EVENTS_KeyMap[i];
}

bool (*EVENTS_BusyHook)();
bool EVENTS_BusyPoll() { return EVENTS_BusyHook && EVENTS_BusyHook(); }

void (*EVENTS_DoEventHook)();
void EVENTS_DoEvent(i32) {
  if (EVENTS_DoEventHook) EVENTS_DoEventHook();
}

void EVENTS_PollMouse() {
  if (EVENTS_ScriptHook) EVENTS_ScriptHook(EVENTS_PollCount);
  ++EVENTS_PollCount;
  INPUT_DiskSwapFrame();
}
// The pointer is where the words say: there is no motion of its own to drop.
void EVENTS_ForgetPointerMotion() {}

// The pause serves the host's events, as the windowed one does its menus.
void EVENTS_PauseLoop() {
  EVENTS_Paused = 0;
  if (EVENTS_DoEventHook) EVENTS_DoEventHook();
}
