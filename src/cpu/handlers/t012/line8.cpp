// Handlers of line 8 of the 68020 tables: OR, divide, SBCD, PACK and UNPK.
#include "cpu/handlers/arith_ops.h"
#include "cpu/handlers/branch_ops.h"
#include "cpu/handlers/shift_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t012 1
#define M68K_LINE_5F 0x8
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/lines_5_f.inc"
