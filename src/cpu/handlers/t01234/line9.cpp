// Handlers of line 9 that every table lists: SUB, SUBA and SUBX.
#include "cpu/handlers/arith_ops.h"
#include "cpu/handlers/branch_ops.h"
#include "cpu/handlers/shift_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t01234 1
#define M68K_LINE_5F 0x9
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/lines_5_f.inc"
