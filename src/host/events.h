// Host event state touched by the CPU core.
#pragma once

#include "common/types.h"

// 1 while the VDI mouse position is tracked for the host pointer.
extern u32 EVENTS_VdiTracking;
