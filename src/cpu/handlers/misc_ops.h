// One-off handlers of line 4.
#pragma once

#include "cpu/handlers/common/operands.h"

namespace m68k_ops {

M68K_INLINE u32 nop(u32) {
  m68k_regfile.pcHost += 2;
  return 4;
}

}  // namespace m68k_ops
