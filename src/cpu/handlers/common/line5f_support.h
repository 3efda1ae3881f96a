// Support shared by the handlers of opcode lines 5-F: the value operations
// that ADD, SUB, OR, AND and EOR forms are parameterised by and the cycle
// counts that follow from the addressing mode.
#pragma once

#include "cpu/exceptions.h"
#include "cpu/handlers/common/operands.h"

namespace m68k_ops::l5f {

// Emulated address of the opcode of the instruction being executed.
M68K_INLINE u32 opcode_address() { return m68k_get_pc(); }

// Two-operand value operations: dst op src at size S, flags written.
struct OpAdd {
  template <u32 S>
  M68K_INLINE static u32 apply(u32 src, u32 dst) { return add_with_flags<S>(src, dst); }
  M68K_INLINE static u32 address(u32 a, u32 v) { return a + v; }
};
struct OpSub {
  template <u32 S>
  M68K_INLINE static u32 apply(u32 src, u32 dst) { return sub_with_flags<S>(src, dst); }
  M68K_INLINE static u32 address(u32 a, u32 v) { return a - v; }
};
struct OpOr {
  template <u32 S>
  M68K_INLINE static u32 apply(u32 src, u32 dst) {
    const u32 r = (dst | src) & mask_of<S>;
    set_logic_flags<S>(r);
    return r;
  }
};
struct OpAnd {
  template <u32 S>
  M68K_INLINE static u32 apply(u32 src, u32 dst) {
    const u32 r = dst & src & mask_of<S>;
    set_logic_flags<S>(r);
    return r;
  }
};
struct OpEor {
  template <u32 S>
  M68K_INLINE static u32 apply(u32 src, u32 dst) {
    const u32 r = (dst ^ src) & mask_of<S>;
    set_logic_flags<S>(r);
    return r;
  }
};

// Cycles of a read-modify-write of a memory operand (ADDQ, ADD Dn,<ea>,
// EOR, Scc, the memory shifts): 8 for byte and word, 12 for long, plus the
// effective-address time of the operand.
template <Mode M, u32 S>
constexpr u32 rmw_cycles() {
  return (S == L ? 12 : 8) + ea_cycles<M, S>();
}

// Cycles of ADD, SUB, OR and AND <ea>,Dn: 4 plus the effective-address time
// for byte and word; for long 6, or 8 when the source is a register or an
// immediate.
template <Mode M, u32 S>
constexpr u32 ea_to_dn_cycles() {
  if constexpr (S != L) return 4 + ea_cycles<M, S>();
  else return (M == Dreg || M == Areg || M == Immd ? 8 : 6) + ea_cycles<M, L>();
}

}  // namespace m68k_ops::l5f
