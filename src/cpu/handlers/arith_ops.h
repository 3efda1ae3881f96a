// Operation templates of the arithmetic and logic handlers of lines 5 and
// 8-D: ADDQ/SUBQ, MOVEQ, ADD/SUB/OR/AND/EOR/CMP in their forms, ADDA/SUBA/
// CMPA, ADDX/SUBX, CMPM, word multiply and divide, ABCD/SBCD, PACK/UNPK
// and EXG. Each template is instantiated once per size and addressing mode;
// register numbers come from the opcode.
#pragma once

#include "cpu/handlers/common/line5f_support.h"

namespace m68k_ops::l5f {

M68K_INLINE u32 reg_x(u32 opcode) { return (opcode >> 9) & 7; }
M68K_INLINE u32 reg_y(u32 opcode) { return opcode & 7; }

// ADDQ and SUBQ: #1-8 to Dn, An or a memory operand.
template <class Op, Mode M, u32 S, Index X = Ix000, class P = NoPrefetch>
M68K_INLINE u32 quick(u32 opcode) {
  const u32 q = m68k_quick_data[reg_x(opcode)];
  const u32 r = reg_y(opcode);
  StreamOf<P> st;
  if constexpr (M == Areg) {
    m68k_regfile.a[r] = Op::address(m68k_regfile.a[r], q);
    st.finish();
    return 8;
  } else {
    modify<M, S, X>(r, st, [q](u32 d) { return Op::template apply<S>(q, d); });
    if constexpr (M == Dreg) return S == L ? 8 : 4;
    else return rmw_cycles<M, S>();
  }
}

// MOVEQ #d8,Dn.
template <class P = NoPrefetch>
M68K_INLINE u32 moveq(u32 opcode) {
  const u32 v = sext8(opcode);
  m68k_regfile.d[reg_x(opcode)] = v;
  set_logic_flags<L>(v);
  StreamOf<P>().finish();
  return 4;
}

// ADD, SUB, OR, AND <ea>,Dn.
template <class Op, Mode M, u32 S, Index X = Ix000, class P = NoPrefetch>
M68K_INLINE u32 ea_to_dn(u32 opcode) {
  StreamOf<P> st;
  const u32 s = read_source<M, S, X>(reg_y(opcode), st);
  if (st.failed()) return ea_to_dn_cycles<M, S>();
  const u32 n = reg_x(opcode);
  set_dreg<S>(n, Op::template apply<S>(s, m68k_regfile.d[n] & mask_of<S>));
  st.finish();
  return ea_to_dn_cycles<M, S>();
}

// ADD, SUB, OR, AND, EOR Dn,<ea> (EOR also to a data register).
template <class Op, Mode M, u32 S, Index X = Ix000, class P = NoPrefetch>
M68K_INLINE u32 dn_to_ea(u32 opcode) {
  const u32 s = m68k_regfile.d[reg_x(opcode)] & mask_of<S>;
  StreamOf<P> st;
  modify<M, S, X>(reg_y(opcode), st, [s](u32 d) { return Op::template apply<S>(s, d); });
  if constexpr (M == Dreg) return S == L ? 8 : 4;
  else return rmw_cycles<M, S>();
}

// CMP <ea>,Dn.
template <Mode M, u32 S, Index X = Ix000, class P = NoPrefetch>
M68K_INLINE u32 cmp(u32 opcode) {
  constexpr u32 cycles = (S == L ? 6 : 4) + ea_cycles<M, S>();
  StreamOf<P> st;
  const u32 s = read_source<M, S, X>(reg_y(opcode), st);
  if (st.failed()) return cycles;
  compare_flags<S>(s, m68k_regfile.d[reg_x(opcode)] & mask_of<S>);
  st.finish();
  return cycles;
}

// CMPA <ea>,An: a word source is sign-extended, the compare is 32 bits.
template <Mode M, u32 S, Index X = Ix000, class P = NoPrefetch>
M68K_INLINE u32 cmpa(u32 opcode) {
  constexpr u32 cycles = 6 + ea_cycles<M, S>();
  StreamOf<P> st;
  const u32 s = sext<S>(read_source<M, S, X>(reg_y(opcode), st));
  if (st.failed()) return cycles;
  compare_flags<L>(s, m68k_regfile.a[reg_x(opcode)]);
  st.finish();
  return cycles;
}

// ADDA and SUBA <ea>,An: no flags. After a bus error on the source An is
// kept (it may be the stack pointer the exception frame goes on).
template <class Op, Mode M, u32 S, Index X = Ix000, class P = NoPrefetch>
M68K_INLINE u32 adda(u32 opcode) {
  constexpr u32 cycles = S == W ? 8 + ea_cycles<M, W>()
                                : (M == Dreg || M == Areg || M == Immd ? 8 : 6) + ea_cycles<M, L>();
  StreamOf<P> st;
  const u32 s = sext<S>(read_source<M, S, X>(reg_y(opcode), st));
  if (st.failed()) return cycles;
  u32& a = m68k_regfile.a[reg_x(opcode)];
  if (!m68k_faulted()) a = Op::address(a, s);
  st.finish();
  return cycles;
}

// CMPM (Ay)+,(Ax)+. Ax is taken after Ay has been stepped. With Prefetch
// each address is checked right before its read, so a fault on Ax comes
// with the source read and Ay's step done.
template <u32 S, class P = NoPrefetch>
M68K_INLINE u32 cmpm(u32 opcode) {
  constexpr u32 cycles = S == L ? 20 : 12;
  m68k_regs& r = m68k_regfile;
  const u32 y = reg_y(opcode), x = reg_x(opcode);
  StreamOf<P> st;
  if (st.template odd<S>(r.a[y])) return cycles;
  const u32 s = mem_read<S>(r.a[y]);
  r.a[y] += an_step<S>(y);
  if (st.template odd<S>(r.a[x])) return cycles;
  const u32 d = mem_read<S>(r.a[x]);
  r.a[x] += an_step<S>(x);
  compare_flags<S>(s, d);
  st.finish();
  return cycles;
}

// dst + src + X (Sub: dst - src - X) with the flags of ADDX and SUBX: Z is
// only ever cleared, so a chain over a multi-precision zero keeps it.
template <bool Sub, u32 S>
M68K_INLINE u32 extended(u32 src, u32 dst) {
  m68k_flags& f = m68k_ccflags;
  using U = uint_of<S>;
  using I = sint_of<S>;
  const U xin = U(m68k_flag(f.x));
  // Two steps, each with the host's carry and overflow: the carry is the
  // one that happened (both can't), the overflow stays if only one did. The
  // second step reads the first's result, so they are separate statements.
  U part, res;
  I signed_part, signed_res;
  bool c1, c2, v1, v2;
  if constexpr (Sub) {
    c1 = __builtin_sub_overflow(U(dst), U(src), &part);
    c2 = __builtin_sub_overflow(part, xin, &res);
    v1 = __builtin_sub_overflow(I(dst), I(src), &signed_part);
    v2 = __builtin_sub_overflow(signed_part, I(xin), &signed_res);
  } else {
    c1 = __builtin_add_overflow(U(dst), U(src), &part);
    c2 = __builtin_add_overflow(part, xin, &res);
    v1 = __builtin_add_overflow(I(dst), I(src), &signed_part);
    v2 = __builtin_add_overflow(signed_part, I(xin), &signed_res);
  }
  const bool c = c1 || c2, v = v1 != v2;
  put_flag(f.c, c);
  put_flag(f.x, c);
  put_flag(f.v, v);
  put_flag(f.n, I(res) < 0);
  if (res) put_flag(f.z, false);
  return res;
}

// ADDX and SUBX, Dy,Dx or -(Ay),-(Ax). The destination address is formed
// from Ax after Ay has been stepped. With Prefetch each address is checked
// right before its read, so a fault on the destination comes with the
// source read and Ay's step done.
template <bool Sub, u32 S, bool Mem, class P = NoPrefetch>
M68K_INLINE u32 addx(u32 opcode) {
  m68k_regs& r = m68k_regfile;
  const u32 y = reg_y(opcode), x = reg_x(opcode);
  StreamOf<P> st;
  if constexpr (!Mem) {
    set_dreg<S>(x, extended<Sub, S>(r.d[y] & mask_of<S>, r.d[x] & mask_of<S>));
    st.finish();
    return S == L ? 8 : 4;
  } else {
    constexpr u32 cycles = S == L ? 30 : 18;
    const u32 sa = r.a[y] - an_step<S>(y);
    if (st.template odd<S>(sa)) return cycles;
    const u32 s = mem_read<S>(sa);
    r.a[y] = sa;
    const u32 da = r.a[x] - an_step<S>(x);
    if (st.template odd<S>(da)) return cycles;
    const u32 d = mem_read<S>(da);
    r.a[x] = da;
    write_and_finish<S>(st, da, extended<Sub, S>(s, d));
    return cycles;
  }
}

// MULU.W and MULS.W <ea>,Dn.
template <bool Signed, Mode M, Index X = Ix000, class P = NoPrefetch>
M68K_INLINE u32 mul(u32 opcode) {
  StreamOf<P> st;
  const u32 s = read_source<M, W, X>(reg_y(opcode), st);
  if (st.failed()) return 70 + ea_cycles<M, W>();
  u32& d = m68k_regfile.d[reg_x(opcode)];
  const u32 r = Signed ? u32(i32(i16(u16(s))) * i32(i16(u16(d))))
                       : s * (d & 0xffff);
  d = r;
  set_logic_flags<L>(r);
  st.finish();
  return 70 + ea_cycles<M, W>();
}

// DIVU.W and DIVS.W <ea>,Dn. Division by zero clears V and C, keeps the
// other flags and takes vector 5 with the next instruction's address stacked. An
// overflowing quotient sets N and V, clears C and keeps Z and the register.
template <bool Signed, Mode M, Index X = Ix000, class P = NoPrefetch>
M68K_INLINE u32 div(u32 opcode) {
  constexpr u32 cycles = (Signed ? 158 : 140) + ea_cycles<M, W>();
  const u32 at = opcode_address();
  StreamOf<P> st;
  const u32 s = read_source<M, W, X>(reg_y(opcode), st);
  if (st.failed()) return cycles;
  u32& d = m68k_regfile.d[reg_x(opcode)];
  const u32 dividend = d;
  st.finish();
  m68k_flags& f = m68k_ccflags;
  if (s == 0) {
    f.v = 0;
    f.c = 0;
    m68k_raise_exception(5, at);
    return cycles;
  }
  f.c = 0;
  u32 q, rem;
  if constexpr (Signed) {
    const i64 a = i32(dividend), b = i16(u16(s));
    const i64 qq = a / b;
    if (qq < -32768 || qq > 32767) {
      f.n = 1;
      f.v = 1;
      return cycles;
    }
    q = u32(qq) & 0xffff;
    rem = u32(a - qq * b) & 0xffff;
  } else {
    const u32 qq = dividend / s;
    if (qq > 0xffff) {
      f.n = 1;
      f.v = 1;
      return cycles;
    }
    q = qq;
    rem = dividend - qq * s;
  }
  d = (rem << 16) | q;
  f.n = (q & 0x8000) ? 1 : 0;
  f.z = q == 0 ? 1 : 0;
  f.v = 0;
  return cycles;
}

// Packed-decimal sum d + s + X with the flags of ABCD.
M68K_INLINE u32 bcd_add(u32 s, u32 d) {
  m68k_flags& f = m68k_ccflags;
  const u32 x = f.x ? 1 : 0;
  const u32 lo = (s & 0x0f) + (d & 0x0f) + x;
  const u32 t = (s & 0xf0) + (d & 0xf0) + lo;
  u32 u = lo > 9 ? t + 6 : t;
  const u32 carry = (u & 0x3f0) > 0x90 ? 1 : 0;
  if (carry) u += 0x60;
  const u32 res = u & 0xff;
  f.c = f.x = carry;
  f.n = (res >> 7) & 1;
  if (res) f.z = 0;
  f.v = (!(t & 0x80) && (res & 0x80)) ? 1 : 0;
  return res;
}

// Packed-decimal difference d - s - X with the flags of SBCD.
M68K_INLINE u32 bcd_sub(u32 s, u32 d) {
  m68k_flags& f = m68k_ccflags;
  const i32 x = f.x ? 1 : 0;
  const i32 lo = i32(d & 0x0f) - i32(s & 0x0f) - x;
  const i32 diff = i32(d) - i32(s) - x;
  const u32 t = u32(diff) & 0xffff;
  u32 u = t;
  i32 a = 0;
  if (lo < 0) {
    u = (t - 6) & 0xffff;
    a = 6;
  }
  if (diff < 0) u = (u - 0x60) & 0xffff;
  const u32 res = u & 0xff;
  const u32 borrow = diff - a < 0 ? 1 : 0;
  f.c = f.x = borrow;
  f.n = (res >> 7) & 1;
  if (res) f.z = 0;
  f.v = ((t & 0x80) && !(res & 0x80)) ? 1 : 0;
  return res;
}

// ABCD and SBCD, Dy,Dx or -(Ay),-(Ax). Byte accesses: no alignment check.
template <bool Sub, bool Mem, class P = NoPrefetch>
M68K_INLINE u32 bcd(u32 opcode) {
  m68k_regs& r = m68k_regfile;
  const u32 y = reg_y(opcode), x = reg_x(opcode);
  if constexpr (!Mem) {
    const u32 s = r.d[y] & 0xff, d = r.d[x] & 0xff;
    set_dreg<B>(x, Sub ? bcd_sub(s, d) : bcd_add(s, d));
    StreamOf<P>().finish();
    return 6;
  } else {
    const u32 sa = r.a[y] - m68k_an_byte_step[y];
    const u32 s = mem_read<B>(sa);
    r.a[y] = sa;
    const u32 da = r.a[x] - m68k_an_byte_step[x];
    const u32 d = mem_read<B>(da);
    r.a[x] = da;
    const u32 v = Sub ? bcd_sub(s, d) : bcd_add(s, d);
    if constexpr (P::prefetch) StreamOf<P>().finish();
    mem_write<B>(da, v);
    if constexpr (!P::prefetch) r.pcHost += 2;
    return 18;
  }
}

// PACK Dy,Dx,#adj and PACK -(Ay),-(Ax),#adj (68020).
template <bool Mem>
M68K_INLINE u32 pack(u32 opcode) {
  m68k_regs& r = m68k_regfile;
  const u32 y = reg_y(opcode), x = reg_x(opcode);
  if constexpr (!Mem) {
    const u32 adj = be_read16(r.pcHost + 2);
    const u32 v = (r.d[y] + adj) & 0xffff;
    set_dreg<B>(x, ((v >> 4) & 0xf0) | (v & 0x0f));
  } else {
    r.a[y] -= m68k_an_byte_step[y];
    const u32 b1 = mem_read<B>(r.a[y]);
    r.a[y] -= m68k_an_byte_step[y];
    const u32 b2 = mem_read<B>(r.a[y]);
    const u32 adj = be_read16(r.pcHost + 2);
    const u32 v = ((b2 << 8 | b1) + adj) & 0xffff;
    r.a[x] -= m68k_an_byte_step[x];
    mem_write<B>(r.a[x], ((v >> 4) & 0xf0) | (v & 0x0f));
  }
  r.pcHost += 4;
  return 8;
}

// UNPK Dy,Dx,#adj and UNPK -(Ay),-(Ax),#adj (68020).
template <bool Mem>
M68K_INLINE u32 unpk(u32 opcode) {
  m68k_regs& r = m68k_regfile;
  const u32 y = reg_y(opcode), x = reg_x(opcode);
  if constexpr (!Mem) {
    const u32 b = r.d[y] & 0xff;
    const u32 adj = be_read16(r.pcHost + 2);
    set_dreg<W>(x, ((((b & 0xf0) << 4) | (b & 0x0f)) + adj) & 0xffff);
  } else {
    r.a[y] -= m68k_an_byte_step[y];
    const u32 b = mem_read<B>(r.a[y]);
    const u32 adj = be_read16(r.pcHost + 2);
    const u32 v = ((((b & 0xf0) << 4) | (b & 0x0f)) + adj) & 0xffff;
    r.a[x] -= m68k_an_byte_step[x];
    mem_write<B>(r.a[x], v & 0xff);
    r.a[x] -= m68k_an_byte_step[x];
    mem_write<B>(r.a[x], v >> 8);
  }
  r.pcHost += 4;
  return 8;
}

// EXG: Kind 0 Dx,Dy; 1 Ax,Ay; 2 Dx,Ay.
template <u32 Kind, class P = NoPrefetch>
M68K_INLINE u32 exg(u32 opcode) {
  m68k_regs& r = m68k_regfile;
  u32& a = Kind == 1 ? r.a[reg_x(opcode)] : r.d[reg_x(opcode)];
  u32& b = Kind == 0 ? r.d[reg_y(opcode)] : r.a[reg_y(opcode)];
  const u32 t = a;
  a = b;
  b = t;
  StreamOf<P>().finish();
  return 6;
}

}  // namespace m68k_ops::l5f
