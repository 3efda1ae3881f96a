// Operations of opcode line 0: the immediate arithmetic and logic
// instructions, their CCR and SR forms, the single-bit operations and MOVEP.
#pragma once

#include "cpu/handlers/common/line04_support.h"

namespace m68k_ops {

// Immediate operations: the value operations of operands.h, and CMPI,
// which only sets the flags.
using OrI = OpOr;
using AndI = OpAnd;
using EorI = OpEor;
using SubI = OpSub;
using AddI = OpAdd;
struct CmpI {
  static constexpr bool writes = false;
  template <u32 S>
  M68K_INLINE static u32 apply(u32 s, u32 d) {
    compare_flags<S>(s, d);
    return d;
  }
};

// ORI, ANDI, SUBI, ADDI, EORI, CMPI #imm,<ea>. The immediate comes first,
// then the operand's extension words.
template <class Op, u32 S, Mode M, Index X, class P = NoPrefetch>
u32 imm_op(u32 opcode) {
  constexpr u32 cycles = Op::writes ? rmw_cycles<M, S>(8, 16, 12, 20) : rmw_cycles<M, S>(8, 14, 8, 12);
  StreamOf<P> st;
  const u32 r = opcode & 7;
  const u32 imm = st.template imm<S>();
  if constexpr (Op::writes) {
    modify<M, S, X>(r, st, [imm](u32 d) { return Op::template apply<S>(imm, d); });
  } else {
    const u32 d = read_source<M, S, X>(r, st);
    if (st.failed()) return cycles;
    Op::template apply<S>(imm, d);
    st.finish();
  }
  return cycles;
}

// ORI, ANDI, EORI to CCR (Sr false) and to SR (Sr true, privileged).
enum SrOp : u32 { SrOr, SrAnd, SrEor };

template <SrOp Op, bool Sr, class P = NoPrefetch>
u32 sr_imm(u32) {
  m68k_regs& r = m68k_regfile;
  if constexpr (Sr) {
    if (!r.s) {
      m68k_raise_exception(8, 0);
      return 20;
    }
  }
  StreamOf<P> st;
  const u32 w = st.word();
  m68k_sr_compose();
  u32 sr = r.sr;
  if constexpr (Op == SrOr) sr |= Sr ? w : (w & 0xff);
  else if constexpr (Op == SrAnd) sr &= Sr ? w : (w | 0xff00);
  else sr ^= Sr ? w : (w & 0xff);
  r.sr = u16(sr);
  m68k_sr_apply();
  st.finish();
  return 20;
}

// Single-bit operations. apply(byte or register, bit mask) gives the new value.
struct BitTst {
  static constexpr bool writes = false;
  static constexpr u32 reg_cycles = 6;
  M68K_INLINE static u32 apply(u32 v, u32) { return v; }
};
struct BitChg {
  static constexpr bool writes = true;
  static constexpr u32 reg_cycles = 8;
  M68K_INLINE static u32 apply(u32 v, u32 m) { return v ^ m; }
};
struct BitClr {
  static constexpr bool writes = true;
  static constexpr u32 reg_cycles = 10;
  M68K_INLINE static u32 apply(u32 v, u32 m) { return v & ~m; }
};
struct BitSet {
  static constexpr bool writes = true;
  static constexpr u32 reg_cycles = 8;
  M68K_INLINE static u32 apply(u32 v, u32 m) { return v | m; }
};

// BTST, BCHG, BCLR, BSET with the bit number in a data register (Static
// false) or in an extension word (Static true). A data register operand
// takes the bit number modulo 32, a byte in memory (or BTST's immediate
// byte) modulo 8. Byte accesses: no alignment check even with Prefetch.
template <class Op, bool Static, Mode M, Index X, class P = NoPrefetch>
u32 bit_op(u32 opcode) {
  constexpr u32 extra = Static ? 4 : 0;
  constexpr u32 cycles = M == Dreg ? Op::reg_cycles + extra : (Op::writes ? 8 : 4) + extra + ea_cycles<M, B>();
  StreamOf<P> st;
  m68k_regs& regs = m68k_regfile;
  const u32 r = opcode & 7;
  const u32 bit = Static ? st.word() : regs.d[(opcode >> 9) & 7];
  if constexpr (M == Dreg) {
    const u32 mask = 1u << (bit & 31);
    const u32 old = regs.d[r];
    put_flag(m68k_ccflags.z, !(old & mask));
    if constexpr (Op::writes) regs.d[r] = Op::apply(old, mask);
  } else if constexpr (M == Immd) {
    const u32 v = st.word() & 0xff;
    put_flag(m68k_ccflags.z, !(v & (1u << (bit & 7))));
  } else {
    const u32 mask = 1u << (bit & 7);
    const Ea<M, B, X> ea(r, st);
    const u32 v = ea.read();
    ea.update();
    put_flag(m68k_ccflags.z, !(v & mask));
    if constexpr (Op::writes) {
      write_and_finish<B>(st, ea.addr, Op::apply(v, mask));
      return cycles;
    }
  }
  st.finish();
  return cycles;
}

// MOVEP: a word or long between Dx and every second byte from d16(Ay) up.
// Byte accesses only; with Prefetch the PC moves after the last of them.
template <bool ToMemory, u32 S, class P = NoPrefetch>
u32 movep(u32 opcode) {
  StreamOf<P> st;
  m68k_regs& regs = m68k_regfile;
  const u32 x = (opcode >> 9) & 7;
  const u32 e = regs.a[opcode & 7] + sext16(st.word());
  if constexpr (ToMemory) {
    const u32 v = regs.d[x];
    for (u32 i = 0; i < S; ++i) mem_write<B>(e + 2 * i, v >> (8 * (S - 1 - i)));
  } else {
    u32 v = 0;
    for (u32 i = 0; i < S; ++i) v = (v << 8) | MMU_ReadB(e + 2 * i);
    set_dreg<S>(x, v);
  }
  st.finish();
  return S == W ? 16 : 24;
}

}  // namespace m68k_ops
