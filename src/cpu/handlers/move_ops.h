// MOVE and MOVEA: one template per size and pair of addressing modes, with
// the instruction-stream policy of the table (NoPrefetch or Prefetch).
#pragma once

#include "cpu/handlers/common/line04_support.h"

namespace m68k_ops {

// MOVE <source>,<destination>. The source is read (and its register
// stepped) before the destination address is formed, so the destination
// sees the stepped register; a destination (An)+ / -(An) is stepped before
// the write. With Prefetch the source address is checked before the read
// and the destination address before the step: an odd one ends the
// instruction there, the source's read and step staying done.
template <u32 S, Mode MS, Mode MD, Index X, class P = NoPrefetch>
u32 move(u32 opcode) {
  constexpr u32 cycles = 4 + ea_cycles<MS, S>() + ea_cycles<MD, S>();
  StreamOf<P> st;
  const u32 v = read_source<MS, S, X>(opcode & 7, st);
  if (st.failed()) return cycles;
  const u32 r = (opcode >> 9) & 7;
  if constexpr (MD == Dreg) {
    set_logic_flags<S>(v);
    set_dreg<S>(r, v);
    st.finish();
  } else {
    const Ea<MD, S, X> ea(r, st);
    if (st.template odd<S>(ea.addr)) return cycles;
    ea.update();
    set_logic_flags<S>(v);
    write_and_finish<S>(st, ea.addr, v);
  }
  return cycles;
}

// MOVEA <source>,An: the whole register, a word sign-extended; no flags.
// A value from a faulted read is not loaded (it could be the stack pointer
// the exception frame was just pushed on).
template <u32 S, Mode MS, Index X, class P = NoPrefetch>
u32 movea(u32 opcode) {
  constexpr u32 cycles = 4 + ea_cycles<MS, S>();
  StreamOf<P> st;
  const u32 v = read_source<MS, S, X>(opcode & 7, st);
  if (st.failed()) return cycles;
  if (!m68k_faulted()) m68k_regfile.a[(opcode >> 9) & 7] = S == W ? sext16(v) : v;
  st.finish();
  return cycles;
}

}  // namespace m68k_ops
