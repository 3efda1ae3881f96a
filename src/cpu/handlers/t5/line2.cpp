// Handlers of opcode line 2 of the 68000 table with prefetch: MOVE.L and MOVEA.L.
#include "cpu/handlers/move_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t5 1
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/members/t5/line2.inc"
