// The Line-A big-screen mode.
#pragma once

#include "common/types.h"

// ST address of the Line-A variables; 0 until the driver reports it.
extern u32 SCREEN_LineABase;
