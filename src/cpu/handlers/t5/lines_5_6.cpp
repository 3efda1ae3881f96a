// Handlers of opcode lines 5 and 6 of the 68000 table with prefetch: DBcc and
// the branches.
#include "cpu/handlers/branch_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t5 1
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/members/t5/line5_dbcc.inc"
#include "cpu/handlers/members/t5/line6.inc"
