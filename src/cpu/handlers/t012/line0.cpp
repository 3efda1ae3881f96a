// Handlers of opcode line 0 that the 68020-class tables (0-2) list, among
// them the 68020's own line-0 instructions.
#include "cpu/handlers/line0_ops.h"
#include "cpu/handlers/later_ops.h"
#include "cpu/handlers/line4_ops.h"
#include "cpu/handlers/misc_ops.h"
#include "cpu/handlers/move_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t012 1
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/members/line0.inc"
