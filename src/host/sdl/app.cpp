// Fatal start-up errors and the exit of the windowed host: the message goes
// to standard error and, when a display is there, into a message box; then
// the process ends. At the normal exit the window is closed.
#include <cstdio>

#include "host/app.h"
#include "platform/window.h"

void APP_Fatal(i32 code) {
  const char* msg = APP_FatalMessage(code);
  const char* text = msg ? msg : "";
  std::fprintf(stderr, "Vantorell: %s\n", text);
  PLATFORM_ShowError("Vantorell", text);
  HOST_Exit(1);
}

void APP_ExitHook() { PLATFORM_Shutdown(); }
