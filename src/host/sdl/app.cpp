// Fatal start-up errors and the exit of the windowed host: the message goes
// to standard error and, when a display is there, into a message box; then
// the process ends. At the normal exit the menus and the window are closed.
#include <cstdio>

#include "host/app.h"
#include "host/sdl/sdl_host.h"
#include "platform/window.h"

void APP_Fatal(i32 code) {
  const std::string msg = APP_FatalText(code);
  const char* text = msg.c_str();
  std::fprintf(stderr, "Vantorell: %s\n", text);
  PLATFORM_ShowError("Vantorell", text);
  HOST_Exit(1);
}

void APP_ExitHook() {
  SDL_MenusStop();
  PLATFORM_Shutdown();
}
