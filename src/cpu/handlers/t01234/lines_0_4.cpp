// Handlers of lines 0-4 that every table lists.
#include "cpu/handlers/common/operands.h"
#include "cpu/handlers/misc_ops.h"

#define M68K_GROUP_DEFINED_t01234 1
#include "cpu/handlers/define_handlers.h"
#include "cpu/handlers/lines_0_4.inc"
