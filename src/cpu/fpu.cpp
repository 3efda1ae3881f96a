#include "cpu/fpu.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>

#include "common/endian.h"
#include "cpu/bus.h"
#include "cpu/decode.h"
#include "cpu/effective_address.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"

namespace {

// Memory formats, by the format field of the command word.
enum Format : u32 { FmtL, FmtS, FmtX, FmtP, FmtW, FmtD, FmtB };

constexpr u32 format_size[7] = {4, 4, 12, 12, 2, 8, 1};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The line-F exception for a form the unit does not support, with the PC
// back on the opcode at `at`.
void unsupported(u32 opcode, u32 at) {
  m68k_jump_to_fpu(at);
  m68k_illegal_opcode(opcode);
}

// Where an instruction's effective address lies, by its mode field.
enum class Where { Dreg, Areg, Memory, Immediate, Invalid };

Where where(u32 opcode) {
  switch ((opcode >> 3) & 7) {
    case 0: return Where::Dreg;
    case 1: return Where::Areg;
    case 7: {
      const u32 reg = opcode & 7;
      return reg <= 3 ? Where::Memory : reg == 4 ? Where::Immediate : Where::Invalid;
    }
    default: return Where::Memory;
  }
}

// Memory a result may be written to: not PC-relative.
bool alterable(u32 opcode) {
  return where(opcode) == Where::Memory && (opcode & 0x3e) != 0x3a;
}

}  // namespace

u32 m68k_fpu_operand_address(u32 opcode, u32 size) {
  m68k_regs& r = m68k_regfile;
  const u32 n = opcode & 7;
  const u32 step = size == 1 ? m68k_an_byte_step[n] : size;
  switch ((opcode >> 3) & 7) {
    case 2: return r.a[n];
    case 3: {
      const u32 a = r.a[n];
      r.a[n] += step;
      return a;
    }
    case 4: return r.a[n] -= step;
    case 5: {
      const u32 a = r.a[n] + sext16(be_read16(r.pcHost));
      r.pcHost += 2;
      return a;
    }
    case 6: {
      const u32 ext = be_read16(r.pcHost);
      r.pcHost += 2;
      return m68k_ea_indexed020(r.a[n], ext);
    }
    default: break;
  }
  const u32 here = m68k_get_pc();
  switch (n) {
    case 0: {
      const u32 a = sext16(be_read16(r.pcHost));
      r.pcHost += 2;
      return a;
    }
    case 1: {
      const u32 a = be_read32(r.pcHost);
      r.pcHost += 4;
      return a;
    }
    case 2: {
      const u32 a = here + sext16(be_read16(r.pcHost));
      r.pcHost += 2;
      return a;
    }
    case 3: {
      const u32 ext = be_read16(r.pcHost);
      r.pcHost += 2;
      return m68k_ea_indexed020(here, ext);
    }
    default: {
      // A byte immediate is the low half of its word.
      r.pcHost += size < 2 ? 2 : size;
      return size == 1 ? here + 1 : here;
    }
  }
}

namespace {

// Memory formats to and from a double.

double load(u32 format, u32 addr) {
  switch (format) {
    case FmtL: return i32(MMU_ReadL(addr));
    case FmtS: return m68k_fpu_from_single(MMU_ReadL(addr));
    case FmtW: return i16(u16(MMU_ReadW(addr)));
    case FmtB: return i8(u8(MMU_ReadB(addr)));
    case FmtD: return m68k_fpu_from_double((u64(MMU_ReadL(addr)) << 32) | MMU_ReadL(addr + 4));
    default: {
      const u32 w[3] = {MMU_ReadL(addr), MMU_ReadL(addr + 4), MMU_ReadL(addr + 8)};
      return format == FmtX ? m68k_fpu_from_extended(w) : m68k_fpu_from_packed(w);
    }
  }
}

void store(u32 format, u32 addr, double v) {
  switch (format) {
    case FmtL: MMU_WriteL(addr, m68k_fpu_to_integer(v, FmtL)); break;
    case FmtS: MMU_WriteL(addr, m68k_fpu_to_single(v)); break;
    case FmtW: MMU_WriteW(addr, m68k_fpu_to_integer(v, FmtW) & 0xffff); break;
    case FmtB: MMU_WriteB(addr, m68k_fpu_to_integer(v, FmtB) & 0xff); break;
    case FmtD: {
      const u64 bits = m68k_fpu_to_double_words(v);
      MMU_WriteL(addr, u32(bits >> 32));
      MMU_WriteL(addr + 4, u32(bits));
      break;
    }
    default: {
      u32 w[3];
      if (format == FmtX) m68k_fpu_to_extended(v, w);
      else m68k_fpu_to_packed(v, w);
      for (u32 i = 0; i < 3; ++i) MMU_WriteL(addr + 4 * i, w[i]);
    }
  }
}

// The formats a data register holds.
bool fits_register(u32 format) {
  return format == FmtL || format == FmtS || format == FmtW || format == FmtB;
}

double from_register(u32 format, u32 v) {
  switch (format) {
    case FmtL: return i32(v);
    case FmtS: return m68k_fpu_from_single(v);
    case FmtW: return i16(u16(v));
    default: return i8(u8(v));
  }
}

void to_register(u32 format, u32& d, double v) {
  switch (format) {
    case FmtL: d = m68k_fpu_to_integer(v, FmtL); break;
    case FmtS: d = m68k_fpu_to_single(v); break;
    case FmtW: d = (d & 0xffff0000u) | (m68k_fpu_to_integer(v, FmtW) & 0xffff); break;
    default: d = (d & 0xffffff00u) | (m68k_fpu_to_integer(v, FmtB) & 0xff); break;
  }
}

}  // namespace

bool m68k_fpu_read_operand(u32 opcode, u32 format, double& v) {
  switch (where(opcode)) {
    case Where::Dreg:
      if (!fits_register(format)) return false;
      v = from_register(format, m68k_regfile.d[opcode & 7]);
      return true;
    case Where::Memory:
    case Where::Immediate:
      v = load(format, m68k_fpu_operand_address(opcode, format_size[format]));
      return true;
    default: return false;
  }
}

bool m68k_fpu_write_operand(u32 opcode, u32 format, double v) {
  if (where(opcode) == Where::Dreg && fits_register(format)) {
    to_register(format, m68k_regfile.d[opcode & 7], v);
  } else if (alterable(opcode)) {
    store(format, m68k_fpu_operand_address(opcode, format_size[format]), v);
  } else {
    return false;
  }
  return true;
}

void m68k_jump_to_fpu(u32 pc) { m68k_jump_to(pc); }

namespace {

// The condition byte a result gives.
u32 condition_of(double v) {
  if (std::isnan(v)) return m68k_fpsr_nan;
  u32 cc = 0;
  if (v < 0) cc |= m68k_fpsr_n;
  if (v == 0) cc |= m68k_fpsr_z;
  if (std::isinf(v)) cc |= m68k_fpsr_inf;
  return cc;
}

void set_condition(double v) {
  u32& fpsr = m68k_regfile.fpsr;
  fpsr = (fpsr & 0x00ffffffu) | condition_of(v);
}

// FCMP and FTST: the condition byte alone, the quotient and accrued
// exception bytes kept.
void set_comparison(u32 cc) {
  u32& fpsr = m68k_regfile.fpsr;
  fpsr = (fpsr & (m68k_fpsr_quotient | m68k_fpsr_accrued)) | cc;
}

// y compared with x as FCMP does: unordered, equal, less or greater.
u32 compare(double y, double x) {
  if (std::isnan(x) || std::isnan(y)) return m68k_fpsr_nan;
  if (y == x) return m68k_fpsr_z;
  return y < x ? u32(m68k_fpsr_n) : 0u;
}

// v rounded to an integer in rounding mode `mode` (FPCR bits 5-4: to
// nearest even, toward zero, toward minus infinity, toward plus infinity),
// without the host's rounding mode. The range stays the floating-point one;
// a zero keeps the sign of v, infinities and NaNs pass.
double round_integer(double v, u32 mode) {
  double n;
  switch (mode & 3) {
    case 0: {
      n = std::floor(v);
      const double fraction = v - n;  // exact
      if (fraction > 0.5 || (fraction == 0.5 && std::fmod(n, 2.0) != 0)) n += 1;
      break;
    }
    case 1: n = std::trunc(v); break;
    case 2: n = std::floor(v); break;
    default: n = std::ceil(v); break;
  }
  return std::copysign(n, v);
}

// FMOD (quotient truncated) and FREM (quotient to nearest even), both exact.
// The quotient byte takes the quotient's sign and its seven low bits, found
// from the remainder of |y| by 128 |x| so that quotients beyond 2^53 keep
// them.
double remainder_of(double y, double x, bool nearest) {
  const double res = nearest ? std::remainder(y, x) : std::fmod(y, x);
  u32 byte = 0;
  if (!std::isnan(res)) {
    const double ay = std::fabs(y), ax = std::fabs(x);
    const double rest = std::fmod(ay, ax);
    const double wide = ax * 128;
    const double part = std::isinf(wide) ? ay : std::fmod(ay, wide);
    // part - rest is a multiple of |x| below 128 |x|: its rounding cannot
    // move the quotient by a whole unit.
    u32 q = u32(std::round((part - rest) / ax));
    if (nearest && std::remainder(ay, ax) != rest) ++q;
    byte = (std::signbit(y) != std::signbit(x) ? 0x80 : 0) | (q & 0x7f);
  }
  u32& fpsr = m68k_regfile.fpsr;
  fpsr = (fpsr & ~m68k_fpsr_quotient) | (byte << 16);
  return res;
}

// FSCALE: y times two to the integer part of x, exact but for overflow and
// underflow. An infinite x has no integer part.
double scale(double y, double x) {
  if (std::isnan(x) || std::isnan(y)) return x + y;
  if (std::isinf(x)) return kNaN;
  return std::ldexp(y, int(std::clamp(std::trunc(x), -65536.0, 65536.0)));
}

// The constant ROM of FMOVECR.
bool rom_constant(u32 offset, double& v) {
  switch (offset) {
    case 0x00: v = std::numbers::pi; return true;
    case 0x0b: v = std::log10(2.0); return true;
    case 0x0c: v = std::numbers::e; return true;
    case 0x0d: v = std::numbers::log2e; return true;
    case 0x0e: v = std::numbers::log10e; return true;
    case 0x0f: v = 0.0; return true;
    case 0x30: v = std::numbers::ln2; return true;
    case 0x31: v = std::numbers::ln10; return true;
    case 0x32: v = 1.0; return true;
    case 0x33: v = 10.0; return true;
    case 0x34: v = 100.0; return true;
    case 0x35: v = 1e4; return true;
    case 0x36: v = 1e8; return true;
    case 0x37: v = 1e16; return true;
    case 0x38: v = 1e32; return true;
    case 0x39: v = 1e64; return true;
    case 0x3a: v = 1e128; return true;
    case 0x3b: v = 1e256; return true;
    default: return false;
  }
}

// Whether operation `op` (command word bits 6-0) exists.
bool known_operation(u32 op) {
  if (op >= 0x20 && op <= 0x28) return true;
  if (op >= 0x30 && op <= 0x38) return true;
  switch (op) {
    case 0x05: case 0x07: case 0x0b: case 0x13: case 0x17: case 0x1b: return false;
    default: return op < 0x20 || op == 0x3a;
  }
}

// Performs operation op on source x and destination register dst.
void operate(u32 op, double x, u32 dst, u32 ext) {
  m68k_regs& r = m68k_regfile;
  const double y = r.fp[dst];
  double res;
  switch (op) {
    case 0x00: res = x; break;
    case 0x01: res = round_integer(x, r.fpcr >> 4); break;
    case 0x02: res = std::sinh(x); break;
    case 0x03: res = round_integer(x, 1); break;
    case 0x04: res = std::sqrt(x); break;
    case 0x06: res = std::log1p(x); break;
    case 0x08: res = std::expm1(x); break;
    case 0x09: res = std::tanh(x); break;
    case 0x0a: res = std::atan(x); break;
    case 0x0c: res = std::asin(x); break;
    case 0x0d: res = std::atanh(x); break;
    case 0x0e: res = std::sin(x); break;
    case 0x0f: res = std::tan(x); break;
    case 0x10: res = std::exp(x); break;
    case 0x11: res = std::pow(2.0, x); break;
    case 0x12: res = std::pow(10.0, x); break;
    case 0x14: res = std::log(x); break;
    case 0x15: res = std::log10(x); break;
    case 0x16: res = std::log2(x); break;
    case 0x18: res = std::fabs(x); break;
    case 0x19: res = std::cosh(x); break;
    case 0x1a: res = -x; break;
    case 0x1c: res = std::acos(x); break;
    case 0x1d: res = std::cos(x); break;
    // FGETEXP and FGETMAN: a zero gives itself, an infinity a NaN.
    case 0x1e: res = x == 0 || std::isnan(x) ? x : std::isinf(x) ? kNaN : std::logb(x); break;
    case 0x1f: res = x == 0 || std::isnan(x) ? x : std::isinf(x) ? kNaN : std::scalbn(x, -std::ilogb(x)); break;
    case 0x20: case 0x24: res = y / x; break;
    case 0x21: res = remainder_of(y, x, false); break;
    case 0x22: res = y + x; break;
    case 0x23: case 0x27: res = y * x; break;
    case 0x25: res = remainder_of(y, x, true); break;
    case 0x26: res = scale(y, x); break;
    case 0x28: res = y - x; break;
    case 0x38: set_comparison(compare(y, x)); return;
    case 0x3a: set_comparison(condition_of(x)); return;
    default: {
      // FSINCOS: the sine to the destination, the cosine to FP[ext & 7].
      const double s = std::sin(x), c = std::cos(x);
      r.fp[dst] = s;
      r.fp[ext & 7] = c;
      set_condition(c);
      return;
    }
  }
  r.fp[dst] = res;
  set_condition(res);
}

// Command classes 0 and 2: an operation with a register or memory source,
// or FMOVECR.
void general(u32 opcode, u32 ext, u32 at) {
  m68k_regs& r = m68k_regfile;
  const u32 dst = (ext >> 7) & 7;
  if ((ext & 0xfc00) == 0x5c00) {
    double c;
    if (!rom_constant(ext & 0x7f, c)) return unsupported(opcode, at);
    r.fpsr &= ~m68k_fpsr_exceptions;
    r.fp[dst] = c;
    set_condition(c);
    return;
  }
  const u32 op = ext & 0x7f;
  if (!known_operation(op)) return unsupported(opcode, at);
  double x = r.fp[(ext >> 10) & 7];
  if ((ext & 0x4000) && !m68k_fpu_read_operand(opcode, (ext >> 10) & 7, x)) return unsupported(opcode, at);
  // The exception status byte tells of the last operation or move out.
  r.fpsr &= ~m68k_fpsr_exceptions;
  operate(op, x, dst, ext);
}

// Command class 3: FMOVE FPn,<ea>. Format 7 is packed decimal with a
// dynamic k-factor, which is not used, like the static one.
void store_register(u32 opcode, u32 ext, u32 at) {
  m68k_regs& r = m68k_regfile;
  const u32 format = ((ext >> 10) & 7) == 7 ? u32(FmtP) : (ext >> 10) & 7;
  const u32 fpsr = r.fpsr;
  r.fpsr &= ~m68k_fpsr_exceptions;
  if (!m68k_fpu_write_operand(opcode, format, r.fp[(ext >> 7) & 7])) {
    r.fpsr = fpsr;
    unsupported(opcode, at);
  }
}

// Command classes 4 and 5: FMOVE(M) of FPCR, FPSR and FPIAR (command bits
// 12, 11, 10), in that order as consecutive longs in memory.
void move_control(u32 opcode, u32 ext, u32 at) {
  m68k_regs& r = m68k_regfile;
  const bool to_control = (ext >> 13) == 4;
  u32* const regs[3] = {&r.fpcr, &r.fpsr, &r.fpiar};
  const u32 select = (ext >> 10) & 7;
  const u32 count = u32(std::popcount(select));
  const Where w = where(opcode);
  if (w == Where::Dreg || w == Where::Areg) {
    u32& reg = w == Where::Dreg ? r.d[opcode & 7] : r.a[opcode & 7];
    for (u32 i = 0; i < 3; ++i)
      if (select & (4 >> i)) {
        if (to_control) *regs[i] = reg;
        else reg = *regs[i];
      }
    return;
  }
  if (to_control ? w == Where::Invalid : !alterable(opcode)) return unsupported(opcode, at);
  u32 addr = m68k_fpu_operand_address(opcode, 4 * count);
  for (u32 i = 0; i < 3; ++i)
    if (select & (4 >> i)) {
      if (to_control) *regs[i] = MMU_ReadL(addr);
      else MMU_WriteL(addr, *regs[i]);
      addr += 4;
    }
}

// Command classes 6 and 7: FMOVEM of data registers, 12 bytes each in the
// extended format. A predecrement list (bit 7 = FP7) goes with -(An) and
// stores from FP7 down; a postincrement or control list (bit 7 = FP0) goes
// upward from the address.
void move_multiple(u32 opcode, u32 ext, u32 at) {
  m68k_regs& r = m68k_regfile;
  const bool to_memory = (ext >> 13) == 7;
  const u32 mode = (ext >> 11) & 3;
  const u32 list = (mode & 1 ? r.d[(ext >> 4) & 7] : ext) & 0xff;
  const bool predecrement = mode < 2;
  const u32 ea_mode = (opcode >> 3) & 7;
  const bool valid = to_memory ? (predecrement ? ea_mode == 4 : alterable(opcode) && ea_mode != 3 && ea_mode != 4)
                               : !predecrement && where(opcode) == Where::Memory && ea_mode != 4;
  if (!valid) return unsupported(opcode, at);
  if (predecrement) {
    u32& an = r.a[opcode & 7];
    u32 addr = an;
    for (u32 b = list; b; b = m68k_movem_prev[b]) {
      addr -= 12;
      store(FmtX, addr, r.fp[m68k_movem_last[b]]);
    }
    an = addr;
    return;
  }
  u32 addr = m68k_fpu_operand_address(opcode, 12 * u32(std::popcount(list)));
  for (u32 b = list; b; b = m68k_movem_prev[b]) {
    double& fp = r.fp[m68k_movem_last_rev[b]];
    if (to_memory) store(FmtX, addr, fp);
    else fp = load(FmtX, addr);
    addr += 12;
  }
}

// Length of the state frame whose first long is `first`.
u32 frame_size(u32 first) {
  const u32 version = first >> 24, size = (first >> 16) & 0xff;
  if (!version) return 4;
  if (m68k_model == 4) return size == 0x30 ? 48 : size == 0x60 ? 96 : 4;
  return size == 0x18 ? 28 : size == 0x38 ? 60 : size == 0xb4 ? 184 : 4;
}

}  // namespace

void m68k_fpu_op(u32 opcode, u32 ext) {
  const u32 at = m68k_get_pc() - 4;
  switch (ext >> 13) {
    case 0: case 2: general(opcode, ext, at); break;
    case 3: store_register(opcode, ext, at); break;
    case 4: case 5: move_control(opcode, ext, at); break;
    case 6: case 7: move_multiple(opcode, ext, at); break;
    default: unsupported(opcode, at); break;
  }
}

i32 m68k_fpu_cond_true(u32 condition) {
  if (condition > 31) return -1;
  const u32 s = m68k_regfile.fpsr;
  const bool nan = s & m68k_fpsr_nan, z = s & m68k_fpsr_z, n = s & m68k_fpsr_n;
  switch (condition & 15) {
    case 0: return 0;
    case 1: return z;
    case 2: return !(nan || z || n);
    case 3: return z || !(nan || n);
    case 4: return n && !nan && !z;
    case 5: return z || (n && !nan);
    case 6: return !(nan || z);
    case 7: return !nan;
    case 8: return nan;
    case 9: return nan || z;
    case 10: return nan || !(n || z);
    case 11: return nan || z || !n;
    case 12: return nan || (n && !z);
    case 13: return nan || z || n;
    case 14: return !z;
    default: return 1;
  }
}

void m68k_fscc(u32 opcode, u32 ext) {
  const u32 at = m68k_get_pc() - 4;
  const i32 holds = m68k_fpu_cond_true(ext & 0x3f);
  if (holds < 0) return unsupported(opcode, at);
  const u32 v = holds ? 0xff : 0;
  u32& dn = m68k_regfile.d[opcode & 7];
  if (where(opcode) == Where::Dreg) dn = (dn & 0xffffff00u) | v;
  else MMU_WriteB(m68k_fpu_operand_address(opcode, 1), v);
}

void m68k_fdbcc(u32 opcode, u32 ext) {
  m68k_regs& r = m68k_regfile;
  const u32 at = m68k_get_pc() - 4;
  const i32 holds = m68k_fpu_cond_true(ext & 0x3f);
  if (holds < 0) return unsupported(opcode, at);
  const u32 origin = m68k_get_pc();
  const u32 displacement = sext16(be_read16(r.pcHost));
  r.pcHost += 2;
  if (holds) return;
  u32& d = r.d[opcode & 7];
  const u32 count = (d - 1) & 0xffff;
  d = (d & 0xffff0000u) | count;
  if (count != 0xffff) m68k_jump_to_fpu(origin + displacement);
}

void m68k_fbcc(u32 opcode, u32 base, u32 displacement) {
  const i32 holds = m68k_fpu_cond_true(opcode & 0x3f);
  if (holds < 0) return unsupported(opcode, base - 2);
  if (holds) m68k_jump_to_fpu(base + displacement);
}

void m68k_ftrapcc(u32 opcode, u32 address) {
  const i32 holds = m68k_fpu_cond_true(MMU_ReadW(address) & 0x3f);
  if (holds < 0) return unsupported(opcode, address - 2);
  if (holds) m68k_raise_exception(7, address - 2);
}

void m68k_fsave(u32 opcode) {
  static constexpr u32 idle_68040[1] = {0x41000000};
  static constexpr u32 idle_68881[7] = {0x1f180000, 0, 0, 0, 0, 0, 0x70000000};
  const u32* frame = m68k_model == 4 ? idle_68040 : idle_68881;
  const u32 longs = m68k_model == 4 ? 1 : 7;
  const u32 addr = m68k_fpu_operand_address(opcode, 4 * longs);
  for (u32 i = 0; i < longs; ++i) MMU_WriteL(addr + 4 * i, frame[i]);
}

void m68k_frestore(u32 opcode) {
  u32& an = m68k_regfile.a[opcode & 7];
  if (((opcode >> 3) & 7) == 3) {
    an += frame_size(MMU_ReadL(an));
  } else {
    // Read for its bus behaviour only: no state is loaded.
    (void)MMU_ReadL(m68k_fpu_operand_address(opcode, 4));
  }
}

// Formats --------------------------------------------------------------

u32 m68k_fpu_to_single(double v) { return std::bit_cast<u32>(float(v)); }
double m68k_fpu_from_single(u32 bits) { return std::bit_cast<float>(bits); }
u64 m68k_fpu_to_double_words(double v) { return std::bit_cast<u64>(v); }
double m68k_fpu_from_double(u64 bits) { return std::bit_cast<double>(bits); }

void m68k_fpu_to_extended(double v, u32 out[3]) {
  const u64 bits = std::bit_cast<u64>(v);
  const u32 sign = u32(bits >> 63) << 31;
  const u32 e = u32(bits >> 52) & 0x7ff;
  const u64 f = bits & 0xfffffffffffffull;
  u32 exp;
  u64 mant;
  if (e == 0x7ff) {
    exp = 0x7fff;
    mant = f ? ~0ull : 0;  // a NaN is the unit's own, all ones
  } else if (e == 0 && f == 0) {
    exp = 0;
    mant = 0;
  } else if (e == 0) {
    // A denormal double is a normal extended value.
    const u32 top = 63 - u32(std::countl_zero(f));
    exp = top - 1074 + 16383;
    mant = f << (63 - top);
  } else {
    exp = e - 1023 + 16383;
    mant = (1ull << 63) | (f << 11);
  }
  out[0] = sign | (exp << 16);
  out[1] = u32(mant >> 32);
  out[2] = u32(mant);
}

double m68k_fpu_from_extended(const u32 in[3]) {
  const bool negative = in[0] >> 31;
  const i32 exp = i32((in[0] >> 16) & 0x7fff);
  const u64 mant = (u64(in[1]) << 32) | in[2];
  double v;
  if (exp == 0x7fff) v = (mant << 1) ? kNaN : kInf;
  else v = std::ldexp(double(mant), exp - 16383 - 63);
  return negative ? -v : v;
}

void m68k_fpu_to_packed(double v, u32 out[3]) {
  const u32 sign = std::signbit(v) ? 0x80000000u : 0;
  if (!std::isfinite(v)) {
    const u32 rest = std::isnan(v) ? 0xffffffffu : 0;
    out[0] = sign | 0x7fff0000u;
    out[1] = out[2] = rest;
    return;
  }
  // "d.dddddddddddddddde+xx": one integer digit, sixteen fraction digits,
  // an exponent of two or three digits.
  char text[32];
  const auto res = std::to_chars(text, text + sizeof text, std::fabs(v), std::chars_format::scientific, 16);
  const char* exp = text + 19;
  u32 e = 0;
  for (const char* p = exp + 1; p < res.ptr; ++p) e = (e << 4) | u32(*p - '0');
  out[0] = sign | (*exp == '-' ? 0x40000000u : 0) | ((e & 0xfff) << 16) | u32(text[0] - '0');
  out[1] = out[2] = 0;
  for (u32 i = 0; i < 16; ++i) {
    u32& w = out[1 + i / 8];
    w = (w << 4) | u32(text[2 + i] - '0');
  }
}

double m68k_fpu_from_packed(const u32 in[3]) {
  const bool negative = in[0] >> 31;
  if ((in[0] & 0x7fff0000u) == 0x7fff0000u) {
    const bool nan = (in[0] & 15) || in[1] || in[2];
    return nan ? kNaN : negative ? -kInf : kInf;
  }
  // A digit above 9 ends the number where it stands.
  char text[32];
  char* p = text;
  *p++ = char('0' + (in[0] & 15));
  *p++ = '.';
  for (u32 i = 0; i < 16; ++i) *p++ = char('0' + ((in[1 + i / 8] >> (28 - 4 * (i % 8))) & 15));
  *p++ = 'e';
  const bool tiny = in[0] & 0x40000000u;
  if (tiny) *p++ = '-';
  for (u32 i = 0; i < 3; ++i) *p++ = char('0' + ((in[0] >> (24 - 4 * i)) & 15));
  double v = 0;
  const auto res = std::from_chars(text, p, v);
  if (res.ec == std::errc::result_out_of_range) v = tiny ? 0.0 : kInf;
  return negative ? -v : v;
}

u32 m68k_fpu_to_integer(double v, u32 format) {
  const u32 bits = format == FmtL ? 32 : format == FmtW ? 16 : 8;
  const double top = std::ldexp(1.0, i32(bits) - 1);
  const double n = round_integer(v, m68k_regfile.fpcr >> 4);
  if (!std::isnan(n) && n < top && n >= -top) return u32(i32(n));
  m68k_regfile.fpsr |= m68k_fpsr_operr | m68k_fpsr_iop;
  if (std::isnan(n)) return 0xffffffffu;
  return n > 0 ? u32(i32(top - 1)) : u32(-i32(top - 1) - 1);
}
