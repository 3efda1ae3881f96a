// Handlers of line F of the two tables with a floating-point unit.
#include "cpu/handlers/linef_ops.h"

using namespace m68k_ops;

#define M68K_GROUP_DEFINED_t01 1
#define M68K_LINE_5F 0xf
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/lines_5_f.inc"
