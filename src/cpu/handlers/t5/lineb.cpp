// Handlers of opcode line B of the 68000 table with prefetch: CMP, CMPA, CMPM and EOR.
#include "cpu/handlers/arith_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t5 1
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/members/t5/lineb.inc"
