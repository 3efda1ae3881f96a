// Handlers of opcode line 0 of the 68000 table with prefetch: the bit
// operations and MOVEP.
#include "cpu/handlers/line0_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t5 1
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/members/t5/line0_bits.inc"
