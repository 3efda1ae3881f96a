// Handlers of opcode lines 8 and C of the 68000 table with prefetch: the word
// multiply and divide and the decimal add and subtract.
#include "cpu/handlers/arith_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t5 1
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/members/t5/line8_div_sbcd.inc"
#include "cpu/handlers/members/t5/linec_mul_abcd.inc"
