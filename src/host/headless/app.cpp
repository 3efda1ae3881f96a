// Fatal start-up errors of the windowless build (the message goes to
// standard error, and the process ends), its exit, which has nothing to
// close, and the desktop's requests, which never come.
#include <cstdio>

#include "host/app.h"

void APP_Fatal(i32 code) {
  const std::string msg = APP_FatalText(code);
  std::fprintf(stderr, "alert: %s\n", msg.c_str());
  HOST_Exit(1);
}

void APP_ExitHook() {}
void APP_InstallAppleEvents() {}
