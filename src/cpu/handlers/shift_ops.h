// Operation templates of the shift and rotate handlers of line E: the eight
// kinds on a data register (immediate or register count) and on a word in
// memory (count 1). Results and flags are computed in closed form for every
// count 0-63.
#pragma once

#include "cpu/handlers/common/line5f_support.h"

namespace m68k_ops::l5f {

// The four kinds, in the order of the opcode's kind field.
enum Kind : u32 { AS, LS, ROX, RO };

// Shifts or rotates the S-byte value v by n (0-63) and writes the flags.
template <Kind K, bool Left, u32 S>
M68K_INLINE u32 shift_apply(u32 v, u32 n) {
  constexpr u32 w = 8 * S;
  constexpr u32 mask = mask_of<S>;
  m68k_flags& f = m68k_ccflags;
  v &= mask;
  u32 r = v;
  bool c = false, ov = false, to_x = false;  // to_x: X takes C
  if constexpr (K == ROX) {
    // The count is reduced modulo w + 1 by conditional subtractions.
    u32 k = n;
    if constexpr (S == B) {
      if (k >= 36) k -= 36;
      if (k >= 18) k -= 18;
      if (k >= 9) k -= 9;
    } else if constexpr (S == W) {
      if (k >= 34) k -= 34;
      if (k >= 17) k -= 17;
    } else {
      if (k >= 33) k -= 33;
    }
    const u32 xin = m68k_flag(f.x);
    if (k == 0) {
      c = xin;
    } else {
      const u64 x = xin;
      const u64 wide = v;
      if constexpr (Left) {
        r = u32(((wide << k) | (x << (k - 1)) | (wide >> (w + 1 - k))) & mask);
        c = (v >> (w - k)) & 1;
      } else {
        r = u32(((wide >> k) | (x << (w - k)) | (wide << (w + 1 - k))) & mask);
        c = (v >> (k - 1)) & 1;
      }
      to_x = true;
    }
  } else if (n == 0) {
    c = false;
  } else if constexpr (K == RO) {
    const u32 k = n & (w - 1);
    if constexpr (Left) {
      if (k) r = ((v << k) | (v >> (w - k))) & mask;
      c = r & 1;
    } else {
      if (k) r = ((v >> k) | (v << (w - k))) & mask;
      c = r & msb_of<S>;
    }
  } else {
    if constexpr (Left) {
      if (n < w) {
        r = (v << n) & mask;
        c = (v >> (w - n)) & 1;
      } else {
        r = 0;
        c = n == w && (v & 1);
      }
      if constexpr (K == AS) {
        if (n < w) {
          const u32 top = (mask << (w - 1 - n)) & mask;
          ov = (v & top) != 0 && (v & top) != top;
        } else {
          ov = v != 0;
        }
      }
    } else {
      const u32 sign = (K == AS && (v & msb_of<S>)) ? mask : 0;
      if (n < w) {
        r = K == AS ? u32(i32(sext<S>(v)) >> n) & mask : v >> n;
        c = (v >> (n - 1)) & 1;
      } else {
        r = sign;
        c = (n == w || K == AS) && ((v >> (w - 1)) & 1);
      }
    }
    to_x = true;
  }
  put_flag(f.c, c);
  if (to_x) put_flag(f.x, c);
  put_flag(f.v, ov);
  set_nz<S>(r);
  return r;
}

// Register forms: count #1-8 (RegCount false) or Dm mod 64.
template <Kind K, bool Left, u32 S, bool RegCount, class P = NoPrefetch>
M68K_INLINE u32 shift_reg(u32 opcode) {
  m68k_regs& r = m68k_regfile;
  const u32 field = (opcode >> 9) & 7;
  const u32 n = RegCount ? r.d[field] & 63 : m68k_quick_data[field];
  const u32 dn = opcode & 7;
  set_dreg<S>(dn, shift_apply<K, Left, S>(r.d[dn], n));
  StreamOf<P>().finish();
  return (S == L ? 8 : 6) + 2 * n;
}

// Memory forms: one place, word size. With Prefetch an odd address takes
// the address error before the read; the write comes after the reload.
template <Kind K, bool Left, Mode M, Index X = Ix000, class P = NoPrefetch>
M68K_INLINE u32 shift_mem(u32 opcode) {
  StreamOf<P> st;
  const Ea<M, W, X> ea(opcode & 7, st);
  if (st.template odd<W>(ea.addr)) return rmw_cycles<M, W>();
  const u32 v = ea.read();
  ea.update();
  write_and_finish<W>(st, ea.addr, shift_apply<K, Left, W>(v, 1));
  return rmw_cycles<M, W>();
}

}  // namespace m68k_ops::l5f
