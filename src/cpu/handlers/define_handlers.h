// Defines the handlers of one table group from the member lists.
//
// A translation unit that defines, say, the t01234 handlers of lines 0-4:
//
//   #include "cpu/handlers/<templates it needs>.h"
//   #define M68K_GROUP_DEFINED_t01234 1
//   #include "cpu/handlers/define_handlers.h"
//   #include "cpu/handlers/lines_0_4.inc"
//
// Each M68K_HANDLER line of that group becomes the function
// m68k_exec_<base>_<group>, a call of its implementation that the compiler
// inlines; lines of the other groups expand to nothing.
#pragma once

#include "cpu/handlers/handler_declarations.h"

#define M68K_DEFINE_HANDLER(base, group, impl) \
  u32 m68k_exec_##base##_##group(u32 opcode) { return impl(opcode); }
#define M68K_SKIP_HANDLER(base, group, impl)

#define M68K_PICK_t01234 M68K_SELECT(M68K_GROUP_DEFINED_t01234)
#define M68K_PICK_t0123 M68K_SELECT(M68K_GROUP_DEFINED_t0123)
#define M68K_PICK_t012 M68K_SELECT(M68K_GROUP_DEFINED_t012)
#define M68K_PICK_t34 M68K_SELECT(M68K_GROUP_DEFINED_t34)
#define M68K_PICK_t01 M68K_SELECT(M68K_GROUP_DEFINED_t01)
#define M68K_PICK_t0 M68K_SELECT(M68K_GROUP_DEFINED_t0)
#define M68K_PICK_t3 M68K_SELECT(M68K_GROUP_DEFINED_t3)
#define M68K_PICK_t4 M68K_SELECT(M68K_GROUP_DEFINED_t4)
#define M68K_PICK_t5 M68K_SELECT(M68K_GROUP_DEFINED_t5)

// M68K_SELECT(x) is M68K_DEFINE_HANDLER when x expands to 1, else M68K_SKIP_HANDLER.
#define M68K_SELECT(x) M68K_SELECT_(x)
#define M68K_SELECT_(x) M68K_SELECT_##x
#define M68K_SELECT_1 M68K_DEFINE_HANDLER
#define M68K_SELECT_M68K_GROUP_DEFINED_t01234 M68K_SKIP_HANDLER
#define M68K_SELECT_M68K_GROUP_DEFINED_t0123 M68K_SKIP_HANDLER
#define M68K_SELECT_M68K_GROUP_DEFINED_t012 M68K_SKIP_HANDLER
#define M68K_SELECT_M68K_GROUP_DEFINED_t34 M68K_SKIP_HANDLER
#define M68K_SELECT_M68K_GROUP_DEFINED_t01 M68K_SKIP_HANDLER
#define M68K_SELECT_M68K_GROUP_DEFINED_t0 M68K_SKIP_HANDLER
#define M68K_SELECT_M68K_GROUP_DEFINED_t3 M68K_SKIP_HANDLER
#define M68K_SELECT_M68K_GROUP_DEFINED_t4 M68K_SKIP_HANDLER
#define M68K_SELECT_M68K_GROUP_DEFINED_t5 M68K_SKIP_HANDLER

#undef M68K_HANDLER
#define M68K_HANDLER(base, group, impl) M68K_PICK_##group(base, group, impl)
