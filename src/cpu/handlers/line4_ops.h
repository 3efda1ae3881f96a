// Operations of opcode line 4 that take an effective address: NEGX, CLR,
// NEG, NOT, the status-register moves, CHK, LEA, PEA, NBCD, SWAP, EXT, TST,
// TAS and MOVEM. JSR, JMP and the one-off instructions are in misc_ops.h.
#pragma once

#include "cpu/handlers/common/line04_support.h"

namespace m68k_ops {

// Single-operand arithmetic. apply<S>(operand) stores the flags and returns
// the result; Clr reads nothing.
struct UnNegx {
  static constexpr bool reads = true;
  template <u32 S>
  M68K_INLINE static u32 apply(u32 d) {
    m68k_flags& f = m68k_ccflags;
    const u32 r = (0u - d - m68k_flag(f.x)) & mask_of<S>;
    const bool dm = d & msb_of<S>, rm = r & msb_of<S>;
    put_flag(f.v, dm & rm);
    put_flag(f.c, dm | rm);
    put_flag(f.x, dm | rm);
    put_flag(f.n, rm);
    if (r) put_flag(f.z, false);
    return r;
  }
};
struct UnNeg {
  static constexpr bool reads = true;
  template <u32 S>
  M68K_INLINE static u32 apply(u32 d) {
    return sub_with_flags<S>(d, 0);
  }
};
struct UnNot {
  static constexpr bool reads = true;
  template <u32 S>
  M68K_INLINE static u32 apply(u32 d) {
    const u32 r = ~d & mask_of<S>;
    set_logic_flags<S>(r);
    return r;
  }
};
struct UnClr {
  static constexpr bool reads = false;
};

template <class Op, u32 S, Mode M, Index X, class P = NoPrefetch>
u32 unary(u32 opcode) {
  StreamOf<P> st;
  const u32 r = opcode & 7;
  if constexpr (Op::reads) {
    modify<M, S, X>(r, st, [](u32 d) { return Op::template apply<S>(d); });
  } else {
    write_dest<M, S, X>(r, st, 0, [] {
      m68k_flags& f = m68k_ccflags;
      put_flag(f.n, false);
      put_flag(f.z, true);
      put_flag(f.v, false);
      put_flag(f.c, false);
    });
  }
  return rmw_cycles<M, S>(4, 6, 8, 12);
}

// MOVE from SR (Ccr false) and from CCR (Ccr true) to a word destination;
// Privileged tests the supervisor bit first. With Prefetch (the 68000's
// unprivileged MOVE from SR) a memory destination is checked before its
// register is stepped, and the SR is written after the reload.
template <bool Privileged, bool Ccr, Mode M, Index X, class P = NoPrefetch>
u32 move_from_sr(u32 opcode) {
  constexpr u32 cycles = M == Dreg ? 6 : 8 + ea_cycles<M, W>();
  if constexpr (Privileged) {
    if (!m68k_regfile.s) {
      m68k_raise_exception(8, 0);
      return cycles;
    }
  }
  if constexpr (P::prefetch) {
    static_assert(!Privileged && !Ccr, "the 68000's MOVE from SR");
    StreamOf<P> st;
    m68k_sr_compose();
    if constexpr (M == Dreg) {
      set_dreg<W>(opcode & 7, m68k_regfile.sr);
      st.finish();
    } else {
      const Ea<M, W, X> ea(opcode & 7, st);
      if (st.template odd<W>(ea.addr)) return cycles;
      ea.update();
      write_and_finish<W>(st, ea.addr, m68k_regfile.sr);
    }
  } else {
    Stream st;
    m68k_sr_compose();
    const u32 v = Ccr ? (m68k_regfile.sr & 0xffu) : m68k_regfile.sr;
    write_dest<M, W, X>(opcode & 7, st, v);
    st.finish();
  }
  return cycles;
}

// MOVE <ea>,SR (Ccr false, privileged) and MOVE <ea>,CCR (Ccr true). The
// privilege test comes before the source is touched.
template <bool Ccr, Mode M, Index X, class P = NoPrefetch>
u32 move_to_sr(u32 opcode) {
  constexpr u32 cycles = 12 + ea_cycles<M, W>();
  m68k_regs& regs = m68k_regfile;
  if constexpr (!Ccr) {
    if (!regs.s) {
      m68k_raise_exception(8, 0);
      return cycles;
    }
  }
  StreamOf<P> st;
  const u32 v = read_source<M, W, X>(opcode & 7, st);
  if (st.failed()) return cycles;
  if (!m68k_faulted()) {
    if constexpr (Ccr) {
      m68k_sr_compose();
      regs.sr = u16((regs.sr & 0xff00u) | (v & 0xffu));
    } else {
      regs.sr = u16(v);
    }
    m68k_sr_apply();
  }
  st.finish();
  return cycles;
}

// CHK <ea>,Dn: exception 6 (stacking the next instruction's address) when
// Dn is negative or above the bound, N telling which.
template <u32 S, Mode M, Index X, class P = NoPrefetch>
u32 chk(u32 opcode) {
  constexpr u32 cycles = 10 + ea_cycles<M, S>();
  const u32 at = opcode_address();
  StreamOf<P> st;
  const i32 bound = i32(sext<S>(read_source<M, S, X>(opcode & 7, st)));
  if (st.failed()) return cycles;
  const i32 value = i32(sext<S>(m68k_regfile.d[(opcode >> 9) & 7] & mask_of<S>));
  st.finish();
  // After a faulted bound the core ignores the exception and undoes N.
  if (value < 0) {
    m68k_ccflags.n = 1;
    m68k_raise_exception(6, at);
  } else if (value > bound) {
    m68k_ccflags.n = 0;
    m68k_raise_exception(6, at);
  }
  return cycles;
}

// Cycles of LEA by mode; PEA takes 8 more, JMP and JSR their own.
template <Mode M>
constexpr u32 lea_cycles() {
  switch (M) {
    case Aind: return 4;
    case Ad8r: case PC8r: case absl: return 12;
    default: return 8;
  }
}

template <Mode M, Index X, class P = NoPrefetch>
u32 lea(u32 opcode) {
  StreamOf<P> st;
  const u32 addr = control_address<M, X>(opcode & 7, st);
  if (!address_read_faulted<M, X>()) m68k_regfile.a[(opcode >> 9) & 7] = addr;
  st.finish();
  return lea_cycles<M>();
}

// PEA: the address itself is never accessed; with Prefetch the push's
// address A7 - 4 is checked. A faulted memory-indirect read pushes nothing.
template <Mode M, Index X, class P = NoPrefetch>
u32 pea(u32 opcode) {
  constexpr u32 cycles = lea_cycles<M>() + 8;
  StreamOf<P> st;
  const u32 addr = control_address<M, X>(opcode & 7, st);
  if (address_read_faulted<M, X>()) return cycles;
  u32& sp = m68k_regfile.a[7];
  if (st.template odd<L>(sp - 4)) return cycles;
  sp -= 4;
  write_and_finish<L>(st, sp, addr);
  return cycles;
}

// NBCD: 0 - operand - X in decimal; Z only cleared, V kept.
M68K_INLINE u32 nbcd_value(u32 src) {
  m68k_flags& f = m68k_ccflags;
  u32 lo = src & 0x0f;
  lo = f.x ? 0xffffu - lo : (0u - lo) & 0xffffu;
  if (lo > 9) lo = (lo - 6) & 0xffffu;
  const u32 hi = (0u - (src & 0xf0)) & 0xffffu;
  u32 res = (hi + lo) & 0xffffu;
  const u32 carry = (res & 0x1f0) > 0x90 ? 1 : 0;
  if (carry) res = (res - 0x60) & 0xffffu;
  f.c = f.x = carry;
  if (res & 0xff) f.z = 0;
  f.n = (res >> 7) & 1;
  return res & 0xff;
}

template <Mode M, Index X, class P = NoPrefetch>
u32 nbcd(u32 opcode) {
  StreamOf<P> st;
  modify<M, B, X>(opcode & 7, st, nbcd_value);
  return M == Dreg ? 6 : 8 + ea_cycles<M, B>();
}

template <class P = NoPrefetch>
u32 swap(u32 opcode) {
  u32& d = m68k_regfile.d[opcode & 7];
  d = (d >> 16) | (d << 16);
  set_logic_flags<L>(d);
  StreamOf<P>().finish();
  return 4;
}

// EXT.W (From B, To W), EXT.L (W to L) and EXTB.L (B to L).
template <u32 From, u32 To, class P = NoPrefetch>
u32 ext(u32 opcode) {
  const u32 r = opcode & 7;
  const u32 v = sext<From>(m68k_regfile.d[r]) & mask_of<To>;
  set_dreg<To>(r, v);
  set_logic_flags<To>(v);
  StreamOf<P>().finish();
  return 4;
}

template <u32 S, Mode M, Index X, class P = NoPrefetch>
u32 tst(u32 opcode) {
  constexpr u32 cycles = 4 + ea_cycles<M, S>();
  StreamOf<P> st;
  const u32 v = read_source<M, S, X>(opcode & 7, st);
  if (st.failed()) return cycles;
  set_logic_flags<S>(v);
  st.finish();
  return cycles;
}

template <Mode M, Index X, class P = NoPrefetch>
u32 tas(u32 opcode) {
  StreamOf<P> st;
  modify<M, B, X>(opcode & 7, st, [](u32 v) {
    set_logic_flags<B>(v);
    return v | 0x80;
  });
  return M == Dreg ? 4 : 10 + ea_cycles<M, B>();
}

// MOVEM registers to memory. In the -(An) mode the mask is reversed (bit 0
// A7 ... bit 15 D0), registers go to descending addresses and An is written
// once at the end, so An in the list is stored with its old value.
//
// With Prefetch the first address is checked before the mask is looked at
// (so an empty mask takes the address error too); the fault records the
// address of the first word written, An - 2 in the -(An) mode, where the
// chip writes the last register's low word first. The reload comes before
// the first write.
template <u32 S, Mode M, Index X, class P = NoPrefetch>
u32 movem_to_memory(u32 opcode) {
  constexpr u32 base = M == Apdi ? 8 : 4 + ea_cycles<M, W>();
  m68k_regs& regs = m68k_regfile;
  StreamOf<P> st;
  const u32 mask = st.word();
  const u32 r = opcode & 7;
  u32 count = 0;
  if constexpr (M == Apdi) {
    u32 addr = regs.a[r];
    if (st.template odd<S>(addr - 2)) return base;
    finish_before_writes(st);
    for (u32 b = mask & 0xff; b; b = m68k_movem_rest[b], ++count) {
      addr -= S;
      mem_write<S>(addr, regs.a[m68k_movem_first_rev[b]]);
    }
    for (u32 b = mask >> 8; b; b = m68k_movem_rest[b], ++count) {
      addr -= S;
      mem_write<S>(addr, regs.d[m68k_movem_first_rev[b]]);
    }
    regs.a[r] = addr;
  } else {
    u32 addr = control_address<M, X>(r, st);
    if (st.template odd<S>(addr)) return base;
    finish_before_writes(st);
    for (u32 b = mask & 0xff; b; b = m68k_movem_rest[b], ++count) {
      mem_write<S>(addr, regs.d[m68k_movem_first[b]]);
      addr += S;
    }
    for (u32 b = mask >> 8; b; b = m68k_movem_rest[b], ++count) {
      mem_write<S>(addr, regs.a[m68k_movem_first[b]]);
      addr += S;
    }
  }
  finish_after_writes(st);
  return base + count * (S == W ? 4 : 8);
}

// MOVEM memory to registers; words are sign-extended into data registers
// too. In the (An)+ mode An ends as the final address, whatever was loaded.
// With Prefetch the first address is checked before the mask is looked at.
template <u32 S, Mode M, Index X, class P = NoPrefetch>
u32 movem_to_registers(u32 opcode) {
  constexpr u32 base = 8 + ea_cycles<M, W>();
  m68k_regs& regs = m68k_regfile;
  StreamOf<P> st;
  const u32 mask = st.word();
  const u32 r = opcode & 7;
  u32 addr;
  if constexpr (M == Aipi) addr = regs.a[r];
  else addr = control_address<M, X>(r, st);
  if (st.template odd<S>(addr)) return base;
  u32 count = 0;
  // A faulted read ends the transfer: nothing read after it is loaded, so
  // the stack pointer the exception frame went to stays in place.
  for (u32 b = mask & 0xff; b; b = m68k_movem_rest[b], ++count) {
    const u32 v = S == W ? sext16(mem_read<W>(addr)) : mem_read<L>(addr);
    if (m68k_faulted()) break;
    regs.d[m68k_movem_first[b]] = v;
    addr += S;
  }
  for (u32 b = mask >> 8; b; b = m68k_movem_rest[b], ++count) {
    const u32 v = S == W ? sext16(mem_read<W>(addr)) : mem_read<L>(addr);
    if (m68k_faulted()) break;
    regs.a[m68k_movem_first[b]] = v;
    addr += S;
  }
  if constexpr (M == Aipi) {
    if (!m68k_faulted()) regs.a[r] = addr;
  }
  st.finish();
  return base + count * (S == W ? 4 : 8);
}

}  // namespace m68k_ops
