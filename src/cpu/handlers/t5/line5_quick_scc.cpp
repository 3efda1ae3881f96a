// Handlers of opcode line 5 of the 68000 table with prefetch: ADDQ, SUBQ and Scc.
#include "cpu/handlers/arith_ops.h"
#include "cpu/handlers/branch_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t5 1
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/members/t5/line5_quick_scc.inc"
