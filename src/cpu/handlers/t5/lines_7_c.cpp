// Handlers of opcode lines 7 and C of the 68000 table with prefetch built so
// far: MOVEQ, EXG and AND.
#include "cpu/handlers/arith_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t5 1
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/members/t5/line7.inc"
#include "cpu/handlers/members/t5/linec.inc"
