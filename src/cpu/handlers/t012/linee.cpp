// Handlers of line E of the 68020 tables: shifts and rotates, bit fields.
#include "cpu/handlers/arith_ops.h"
#include "cpu/handlers/bitfield_ops.h"
#include "cpu/handlers/branch_ops.h"
#include "cpu/handlers/shift_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t012 1
#define M68K_LINE_5F 0xe
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/lines_5_f.inc"
