// Running instructions.
#pragma once

#include "common/types.h"

// Executes exactly one instruction at the PC and returns its cycles.
u32 m68k_step();
