#include "cpu/helpers020.h"

#include <cstdio>

#include "cpu/exceptions.h"
#include "cpu/registers.h"

u32 m68k_cacr, m68k_tc, m68k_itt0, m68k_itt1, m68k_dtt0, m68k_dtt1, m68k_caar, m68k_mmusr;

void m68k_control_reset() {
  m68k_cacr = m68k_tc = m68k_itt0 = m68k_itt1 = m68k_dtt0 = m68k_dtt1 = m68k_caar = m68k_mmusr = 0;
}

namespace {

// Whether this model has control register `number`: the 68010 SFC, DFC,
// USP and VBR; the 68020 and 68030 also CACR, CAAR, MSP and ISP; the 68040
// all but CAAR.
bool movec_legal(u32 number) {
  const u32 low = number & 0x7ff;
  if (m68k_model <= 1) return low <= 1;
  if (m68k_model < 4) return low <= 2 || (number >= 0x803 && number <= 0x804);
  return number != 0x802;
}

u32 movec_illegal(u32 opcode) {
  m68k_illegal_opcode(opcode);
  return 0;
}

}  // namespace

u32 m68k_movec_to_ctl(u32 number, u32* value) {
  m68k_regs& r = m68k_regfile;
  if (!movec_legal(number)) return movec_illegal(0x4e7b);
  const u32 v = *value;
  switch (number) {
    case 0x000: r.sfc = v & 7; break;
    case 0x001: r.dfc = v & 7; break;
    case 0x002: m68k_cacr = m68k_model == 4 ? v & 0x80008000u : v & 3; break;
    case 0x003: m68k_tc = v & 0xc000; break;
    case 0x004: m68k_itt0 = v & 0xffffe364u; break;
    case 0x005: m68k_itt1 = v & 0xffffe364u; break;
    case 0x006: m68k_dtt0 = v & 0xffffe364u; break;
    case 0x007: m68k_dtt1 = v & 0xffffe364u; break;
    case 0x800: r.usp = v; break;
    case 0x801: r.vbr = v; break;
    case 0x802: m68k_caar = v & 0xfc; break;
    case 0x803:
      r.msp = v;
      if (r.m) r.a[7] = v;
      break;
    case 0x804:
      r.isp = v;
      if (!r.m) r.a[7] = v;
      break;
    default: return movec_illegal(0x4e7b);
  }
  return 1;
}

u32 m68k_movec_from_ctl(u32 number, u32* out) {
  const m68k_regs& r = m68k_regfile;
  if (!movec_legal(number)) return movec_illegal(0x4e7a);
  switch (number) {
    case 0x000: *out = r.sfc; break;
    case 0x001: *out = r.dfc; break;
    case 0x002: *out = m68k_cacr; break;
    case 0x003: *out = m68k_tc; break;
    case 0x004: *out = m68k_itt0; break;
    case 0x005: *out = m68k_itt1; break;
    case 0x006: *out = m68k_dtt0; break;
    case 0x007: *out = m68k_dtt1; break;
    case 0x800: *out = r.usp; break;
    case 0x801: *out = r.vbr; break;
    case 0x802: *out = m68k_caar; break;
    case 0x803: *out = r.m ? r.a[7] : r.msp; break;
    case 0x804: *out = r.m ? r.isp : r.a[7]; break;
    case 0x805: *out = m68k_mmusr; break;
    default: return movec_illegal(0x4e7a);
  }
  return 1;
}

void m68k_mul_long(u32, u32 source, u32 ext) {
  m68k_regs& r = m68k_regfile;
  m68k_flags& f = m68k_ccflags;
  const u32 dl = (ext >> 12) & 7, dh = ext & 7;
  const bool is_signed = ext & 0x800;
  u64 product;
  if (is_signed) product = u64(i64(i32(r.d[dl])) * i64(i32(source)));
  else product = u64(r.d[dl]) * u64(source);
  const u32 lo = u32(product), hi = u32(product >> 32);
  f.c = 0;
  f.v = 0;
  if (ext & 0x400) {
    f.z = product == 0;
    f.n = u32(hi >> 31);
    r.d[dh] = hi;
  } else {
    // A 32-bit result is judged by its own 32 bits.
    f.z = lo == 0;
    f.n = lo >> 31;
    f.v = is_signed ? hi != (lo & 0x80000000u ? 0xffffffffu : 0) : hi != 0;
  }
  r.d[dl] = lo;
}

u32 m68k_div64(u32 high, u32 low, u32 divisor, u32* quotient, u32* remainder) {
  if (divisor <= high) return 1;
  u32 q = 0;
  for (int i = 0; i < 32; ++i) {
    const u32 carry = high >> 31;
    high = (high << 1) | (low >> 31);
    low <<= 1;
    q <<= 1;
    if (carry || high >= divisor) {
      high -= divisor;
      q |= 1;
    }
  }
  *quotient = q;
  *remainder = high;
  return 0;
}

void m68k_div_long(u32, u32 divisor, u32 ext, u32 pc) {
  m68k_regs& r = m68k_regfile;
  m68k_flags& f = m68k_ccflags;
  if (divisor == 0) {
    m68k_raise_exception(5, pc);
    return;
  }
  const u32 dq = (ext >> 12) & 7, dr = ext & 7;
  const bool is_signed = ext & 0x800;
  u64 dividend;
  if (ext & 0x400) dividend = (u64(r.d[dr]) << 32) | r.d[dq];
  else dividend = is_signed ? u64(i64(i32(r.d[dq]))) : u64(r.d[dq]);

  u32 q = 0, rem = 0;
  bool overflow;
  if (is_signed) {
    const bool dividend_neg = dividend >> 63;
    const bool divisor_neg = divisor >> 31;
    const u64 mag = dividend_neg ? 0 - dividend : dividend;
    const u32 dmag = divisor_neg ? 0 - divisor : divisor;
    const bool negative = dividend_neg != divisor_neg;
    overflow = m68k_div64(u32(mag >> 32), u32(mag), dmag, &q, &rem) != 0;
    if (!overflow) overflow = negative ? q > 0x80000000u : q >= 0x80000000u;
    if (!overflow) {
      if (negative) q = 0 - q;
      if (dividend_neg) rem = 0 - rem;
    }
  } else {
    overflow = m68k_div64(u32(dividend >> 32), u32(dividend), divisor, &q, &rem) != 0;
  }
  if (overflow) {
    f.c = 0;
    f.n = 1;
    f.v = 1;
    return;
  }
  r.d[dr] = rem;
  r.d[dq] = q;
  f.n = q >> 31;
  f.z = q == 0;
  f.v = 0;
  f.c = 0;
}

u32 m68k_mmu_instruction(u32 opcode, u32) {
  if ((opcode & 0xfe0) == 0x500) {
    std::printf("PFLUSH\n");
    m68k_mmusr = 0;
  } else if ((opcode & 0xfd8) == 0x548) {
    std::printf("PTEST\n");
  } else {
    m68k_illegal_opcode(opcode);
    return 0;
  }
  return 1;
}
