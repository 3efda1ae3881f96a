// The conversations of the windowless build: each is reported on standard
// error and answered at once, the alerts with the fixed answers that tests
// set (OK where there is no choice, Cancel where none is set), the file
// dialogs with no file. There is nothing to open an address with. The
// windowed host uses it too until it has its own dialogs.
#include <cstdio>

#include "host/shared/dialogs.h"

u32 DLG_HostAlert(const DLG_AlertView& v) {
  const u32 answer = v.fixedAnswer ? (*v.fixedAnswer != 0) : !v.cancel;
  const char* text = v.detail.empty() ? v.message : v.detail.c_str();
  if (v.number == 130)
    std::fprintf(stderr, "alert 130: %s; answered OK\n", text);
  else
    std::fprintf(stderr, "alert: %s alert, message %u: %s; answered %s\n", v.stop ? "stop" : "caution",
                 v.number, text, answer ? "OK" : "Cancel");
  return answer;
}

bool DLG_HostChooseFile(const NAV_Request& request, std::string&) {
  std::fprintf(stderr, "dialog: %s file (kind %u); no file chosen\n", request.save ? "save" : "open",
               request.prompt);
  return false;
}

void DLG_HostSettings() { std::fputs("dialog: settings; closed with OK\n", stderr); }
void DLG_HostAbout() { std::fputs("dialog: about Vantorell; closed\n", stderr); }
i32 APP_HostOpenURL(const char*) { return -674; }
void APP_HostSetCursorShown(bool) {}
