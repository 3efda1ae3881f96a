// Helpers shared by the handlers of opcode lines 0-4, beside operands.h.
#pragma once

#include "cpu/bus.h"
#include "cpu/exceptions.h"
#include "cpu/handlers/common/operands.h"

namespace m68k_ops {

// After a bus or address error the rest of the instruction runs on silent
// memory (reads give all ones, writes are dropped), and jumps and further
// exceptions are ignored, all by the core. What the handlers themselves
// must do is not to load registers from a faulted read: the frame goes on
// the stack pointer the instruction leaves. They ask m68k_faulted().

// Address of a control operand ((An), d16(An), d8(An,Xn), abs, PC-relative).
template <Mode M, Index X, class P>
M68K_INLINE u32 control_address(u32 r, StreamOf<P>& st) {
  return Ea<M, L, X>(r, st).addr;
}

// Whether forming a control address read memory and that read faulted: only
// the memory-indirect forms of the 68020's full extension word read. The
// handlers that load or push an address then leave the registers alone.
template <Mode M, Index X>
M68K_INLINE bool address_read_faulted() {
  if constexpr (X == Ix020 && (M == Ad8r || M == PC8r)) return m68k_faulted();
  else return false;
}

// The end of an instruction whose last act is a run of memory writes
// (MOVEM): with Prefetch the PC moves and the prefetch register is reloaded
// before the first write, without it after the last.
template <class P>
M68K_INLINE void finish_before_writes(StreamOf<P>& st) {
  if constexpr (P::prefetch) st.finish();
}
template <class P>
M68K_INLINE void finish_after_writes(StreamOf<P>& st) {
  if constexpr (!P::prefetch) st.finish();
}

// Cycles of a read-modify-write memory operand: base + 68000 EA time,
// or the register count for Dn.
template <Mode M, u32 S>
constexpr u32 rmw_cycles(u32 regB, u32 regL, u32 memB, u32 memL) {
  if constexpr (M == Dreg) return S == L ? regL : regB;
  else return (S == L ? memL : memB) + ea_cycles<M, S>();
}

}  // namespace m68k_ops
