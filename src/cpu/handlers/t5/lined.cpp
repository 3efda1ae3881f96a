// Handlers of opcode line D of the 68000 table with prefetch: ADD, ADDA and ADDX.
#include "cpu/handlers/arith_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t5 1
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/members/t5/lined.inc"
