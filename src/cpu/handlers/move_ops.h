// MOVE and MOVEA: one template per size and pair of addressing modes.
#pragma once

#include "cpu/handlers/common/line04_support.h"

namespace m68k_ops {

// MOVE <source>,<destination>. The source is read (and its register
// stepped) before the destination address is formed, so the destination
// sees the stepped register; a destination (An)+ / -(An) is stepped before
// the write.
template <u32 S, Mode MS, Mode MD, Index X>
u32 move(u32 opcode) {
  Stream st;
  const u32 v = read_source<MS, S, X>(opcode & 7, st);
  const u32 r = (opcode >> 9) & 7;
  if constexpr (MD == Dreg) {
    set_logic_flags<S>(v);
    set_dreg<S>(r, v);
  } else {
    const Ea<MD, S, X> ea(r, st);
    ea.update();
    set_logic_flags<S>(v);
    mem_write<S>(ea.addr, v);
  }
  st.finish();
  return 4 + ea_cycles<MS, S>() + ea_cycles<MD, S>();
}

// MOVEA <source>,An: the whole register, a word sign-extended; no flags.
// A value from a faulted read is not loaded (it could be the stack pointer
// the exception frame was just pushed on).
template <u32 S, Mode MS, Index X>
u32 movea(u32 opcode) {
  Stream st;
  const u32 v = read_source<MS, S, X>(opcode & 7, st);
  if (!m68k_faulted()) m68k_regfile.a[(opcode >> 9) & 7] = S == W ? sext16(v) : v;
  st.finish();
  return 4 + ea_cycles<MS, S>();
}

}  // namespace m68k_ops
