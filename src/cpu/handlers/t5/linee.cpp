// Handlers of opcode line E of the 68000 table with prefetch: shifts and rotates.
#include "cpu/handlers/shift_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t5 1
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/members/t5/linee.inc"
