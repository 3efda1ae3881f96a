// Handlers of opcode line 4 that tables 0-3 list.
#include "cpu/handlers/line0_ops.h"
#include "cpu/handlers/later_ops.h"
#include "cpu/handlers/line4_ops.h"
#include "cpu/handlers/misc_ops.h"
#include "cpu/handlers/move_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t0123 1
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/members/line4.inc"
