// Fatal start-up errors of the windowless build (the message goes to
// standard error, and the process ends) and its exit, which has nothing to
// close.
#include <cstdio>

#include "host/app.h"

void APP_Fatal(i32 code) {
  const char* msg = APP_FatalMessage(code);
  std::fprintf(stderr, "alert: %s\n", msg ? msg : "");
  HOST_Exit(1);
}

void APP_ExitHook() {}
