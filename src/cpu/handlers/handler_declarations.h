// Declarations of every instruction handler named in the member list.
#pragma once

#include "common/types.h"

#define M68K_HANDLER(base, group, ...) u32 m68k_exec_##base##_##group(u32 opcode);
#include "cpu/handlers/handler_list.inc"
#undef M68K_HANDLER
