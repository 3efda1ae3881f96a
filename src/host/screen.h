// Host screen hooks used by the run loop.
#pragma once

#include "common/types.h"

extern u32 SCREEN_RedrawRequest;

void SCREEN_CheckWindowVisible();
