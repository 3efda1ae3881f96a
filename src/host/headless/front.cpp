// Screen, alert and event services of the windowless build.
#include <cstdio>

#include "host/app.h"
#include "host/dialogs.h"
#include "host/events.h"
#include "host/screen.h"
#include "machine/shifter.h"

// ---- Screen ----

u32 SCREEN_ForceRedraw;
u32 SCREEN_RedrawRequest;
u32 SCREEN_FrameBytes = 32000;
u32 SCREEN_HostPalette[16];
u32 SCREEN_BigScreen;
u32 SCREEN_Zoom;
u32 SCREEN_Height = 400;
u32 SCREEN_PresentCount;

void SCREEN_OpenWindow() { SCREEN_FrameBytes = SCREEN_BigScreen ? 128000 : 32000; }
void SCREEN_InvalidateLines() {}
// No picture is kept line by line here (screenshots convert the whole frame),
// but the line's bookkeeping is the Shifter's: the side-border flags hold for
// one line, and the resolution-switch log starts again on the next.
void SCREEN_ConvertLine(u32) {
  SHIFTER_LeftBorderOpen = 0;
  SHIFTER_RightBorderOpen = 0;
  SHIFTER_ResSwitchLog[0] = 601;
  SHIFTER_ResSwitchLog[1] = 603;
  SHIFTER_ResSwitchLog[2] = 418;
  SHIFTER_ResSwitchLog[3] = 788;
}
void SCREEN_UpdatePalette() {
  for (u32 i = 0; i < 16; ++i) {
    const SHIFTER_Rgb16 c = SHIFTER_HostComponents(SHIFTER_Palette[i]);
    SCREEN_HostPalette[i] = SCREEN_Color2Index(c.red, c.green, c.blue);
  }
}
void SCREEN_Present() { ++SCREEN_PresentCount; }
void SCREEN_DrawStatusLine() {}
void SCREEN_DrawSpeedCounters() {}
void SCREEN_SetDriveLight(u32, u32) {}
void SCREEN_CheckWindowVisible() {}
u32 SCREEN_Color2Index(u16 red, u16 green, u16 blue) {
  return 0xff000000u | (u32(red >> 8) << 16) | (u32(green >> 8) << 8) | u32(blue >> 8);
}

// ---- Alerts ----

DLG_Answers DLG_FixedAnswers = {0, 0, 0, 1};

namespace {
std::string alert_text;
}

// An alert shows the text set before it, which serves it once.
u32 DLG_Alert(u32 index, u32 stopFlag) {
  std::fprintf(stderr, "alert: %s alert, message %u%s%s; answered OK\n",
               stopFlag ? "stop" : "caution", index, alert_text.empty() ? "" : ": ",
               alert_text.c_str());
  alert_text.clear();
  return 1;
}

u32 DLG_ConfirmBootWrite() {
  const u32 a = DLG_FixedAnswers.confirmBootWrite;
  std::fprintf(stderr, "alert: write the boot sector of a disk image? answered %s\n",
               a ? "OK" : "Cancel");
  return a;
}

u32 DLG_ConfirmFormat(const char* text) {
  const u32 a = DLG_FixedAnswers.confirmFormat;
  std::fprintf(stderr, "alert: %s answered %s\n", text, a ? "OK" : "Cancel");
  return a;
}

u32 DLG_ConfirmQuit() {
  const u32 a = DLG_FixedAnswers.confirmQuit;
  std::fprintf(stderr, "alert: quit? answered %s\n", a ? "OK" : "Cancel");
  return a;
}

u32 DLG_AskForTos() {
  const u32 a = DLG_FixedAnswers.askForTos;
  std::fprintf(stderr, "alert: no usable TOS image \"tos.img\" in %s; answered %s\n",
               APP_Folder.path.c_str(), a ? "Choose" : "Cancel");
  return a;
}

void NAV_GetFile(NAV_Reply& reply, u32 kind) {
  std::fprintf(stderr, "dialog: open file (kind %u); no file chosen\n", kind);
  reply.chosen = 0;
  reply.path.clear();
}

void DLG_SetAlertText(const char* text) { alert_text = text ? text : ""; }

void DLG_ShowAlert(i32 id) {
  std::fprintf(stderr, "alert %d: %s; answered OK\n", id, alert_text.c_str());
  alert_text.clear();
}

// ---- Host events ----

u32 EVENTS_Paused, EVENTS_Suspended, EVENTS_WindowObscured, EVENTS_InBackground;
i32 EVENTS_LastMouseH, EVENTS_LastMouseV;
u32 EVENTS_CapsLock;
u32 EVENTS_VdiTracking;
u32 EVENTS_PollCount;
i32 EVENTS_MouseH, EVENTS_MouseV;
u8 EVENTS_KeyMap[16];

void EVENTS_GetMouse(i32& h, i32& v) {
  h = EVENTS_MouseH;
  v = EVENTS_MouseV;
}
void EVENTS_GetKeys(u8 map[16]) {
  for (int i = 0; i < 16; ++i) map[i] = EVENTS_KeyMap[i];
}

void EVENTS_DoEvent(i32) {}
void (*EVENTS_ScriptHook)(u32 poll);

void EVENTS_PollMouse() {
  if (EVENTS_ScriptHook) EVENTS_ScriptHook(EVENTS_PollCount);
  ++EVENTS_PollCount;
}
void EVENTS_PauseLoop() { EVENTS_Paused = 0; }
