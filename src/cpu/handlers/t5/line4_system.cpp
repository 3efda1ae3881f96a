// Handlers of opcode line 4 of the 68000 table with prefetch: status-register
// moves, address loading, MOVEM, traps, stack frames, returns and jumps.
#include "cpu/handlers/line4_ops.h"
#include "cpu/handlers/misc_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t5 1
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/members/t5/line4_system.inc"
