// Alerts and file dialogs of the windowless build: each is reported on
// standard error and answered with a fixed answer that tests set. The
// windowed host uses it too until it has its own dialogs.
#include <cstdio>

#include "host/app.h"
#include "host/dialogs.h"

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
