// The host clock of the fuzz set-ups: the system's time, but a wait the
// machine asks for (the pause that shows a failed MSA expansion) returns at
// once, so an input costs no real time for it.
#pragma once

#include "host/app.h"

inline void install_clock_without_sleep() {
  HOST_UseSystemClock();
  HOST_Clock.sleepMicroseconds = [](u32) {};
}
