// Operations of opcode lines 0 and 4 that only the later processors' tables
// list: CHK2/CMP2, CAS, CAS2, MOVES, the long multiply and divide, LINK.L
// and MOVEC, and the module and breakpoint instructions, which take the
// illegal-instruction exception. The arithmetic and the control registers
// are the 68020 helpers' (helpers020.h).
#pragma once

#include "cpu/handlers/common/line04_support.h"
#include "cpu/handlers/misc_ops.h"
#include "cpu/helpers020.h"

namespace m68k_ops {

// One of the sixteen registers D0-D7, A0-A7 named by extension bits 15-12.
M68K_INLINE u32& ext_register(u32 ext) {
  const u32 n = (ext >> 12) & 15;
  return n < 8 ? m68k_regfile.d[n] : m68k_regfile.a[n - 8];
}

// CALLM, RTM and BKPT: no module support and no breakpoint cycle, so the
// illegal-instruction exception, with the PC left on the opcode.
inline u32 illegal_form(u32 opcode) {
  m68k_illegal_opcode(opcode);
  return 4;
}

// Cycles of CHK2/CMP2, the same for every size.
template <Mode M>
constexpr u32 chk2_cycles() {
  switch (M) {
    case Aind: return 8;
    case Ad8r: case PC8r: return 14;
    case absl: return 16;
    default: return 12;
  }
}

// Cycles of CAS and MOVES by mode: (An) and (An)+, -(An), d16(An) and
// abs.W, d8(An,Xn), abs.L; a long takes 8 more.
template <Mode M, u32 S>
constexpr u32 mode_cycles(u32 plain, u32 predecrement, u32 displaced, u32 indexed, u32 absolute) {
  const u32 extra = S == L ? 8 : 0;
  switch (M) {
    case Apdi: return predecrement + extra;
    case Ad16: case absw: return displaced + extra;
    case Ad8r: return indexed + extra;
    case absl: return absolute + extra;
    default: return plain + extra;
  }
}
template <Mode M, u32 S>
constexpr u32 cas_cycles() {
  return mode_cycles<M, S>(16, 18, 20, 22, 24);
}
template <Mode M, u32 S>
constexpr u32 moves_cycles() {
  return mode_cycles<M, S>(16, 20, 24, 28, 32);
}

// CHK2 and CMP2 (extension bit 11 tells them apart): the register against
// the bound pair at the operand, both sign-extended and compared signed; a
// data register in the operand size, an address register whole. CHK2 out
// of bounds takes vector 6 with the next instruction's address stacked.
template <u32 S, Mode M, Index X>
u32 chk2(u32 opcode) {
  const u32 at = opcode_address();
  Stream st;
  const u32 ext = st.word();
  const Ea<M, S, X> ea(opcode & 7, st);
  const i32 lower = i32(sext<S>(mem_read<S>(ea.addr)));
  const i32 upper = i32(sext<S>(mem_read<S>(ea.addr + S)));
  const u32 reg = ext_register(ext);
  const i32 v = ext & 0x8000 ? i32(reg) : i32(sext<S>(reg));
  m68k_flags& f = m68k_ccflags;
  f.z = v == lower || v == upper;
  f.c = v < lower || v > upper;
  st.finish();
  if (f.c && (ext & 0x800)) m68k_raise_exception(6, at);
  return chk2_cycles<M>();
}

// CAS Dc,Du,<ea>: compares the operand with Dc; equal, Du is written to it,
// else the operand is loaded into Dc. X is kept.
template <u32 S, Mode M, Index X>
u32 cas(u32 opcode) {
  Stream st;
  const u32 ext = st.word();
  const Ea<M, S, X> ea(opcode & 7, st);
  const u32 v = ea.read();
  ea.update();
  const u32 dc = ext & 7;
  compare_flags<S>(m68k_regfile.d[dc], v);
  if (m68k_ccflags.z) ea.write(m68k_regfile.d[(ext >> 6) & 7]);
  else if (!m68k_faulted()) set_dreg<S>(dc, v);
  st.finish();
  return cas_cycles<M, S>();
}

// CAS2 Dc1:Dc2,Du1:Du2,(Rn1):(Rn2): both operands are read first; the second
// comparison is made only when the first is equal, and only when both are
// equal is memory written.
template <u32 S>
u32 cas2(u32) {
  Stream st;
  const u32 e1 = st.word(), e2 = st.word();
  const u32 addr1 = ext_register(e1), addr2 = ext_register(e2);
  const u32 v1 = mem_read<S>(addr1);
  const u32 v2 = mem_read<S>(addr2);
  const u32 dc1 = e1 & 7, dc2 = e2 & 7;
  m68k_regs& r = m68k_regfile;
  compare_flags<S>(r.d[dc1], v1);
  if (m68k_ccflags.z) compare_flags<S>(r.d[dc2], v2);
  if (m68k_ccflags.z) {
    mem_write<S>(addr1, r.d[(e1 >> 6) & 7]);
    mem_write<S>(addr2, r.d[(e2 >> 6) & 7]);
  } else if (!m68k_faulted()) {
    set_dreg<S>(dc1, v1);
    set_dreg<S>(dc2, v2);
  }
  st.finish();
  return 12;
}

// MOVES Rn,<ea> (extension bit 11 set) and MOVES <ea>,Rn. The function codes
// choose nothing: the same memory is reached. Rn is taken before an (An)+ or
// -(An) register moves; an address register is loaded sign-extended.
template <u32 S, Mode M, Index X>
u32 moves(u32 opcode) {
  if (privilege_violation()) return moves_cycles<M, S>();
  Stream st;
  const u32 ext = st.word();
  u32& reg = ext_register(ext);
  if (ext & 0x800) {
    const u32 v = reg;
    const Ea<M, S, X> ea(opcode & 7, st);
    ea.update();
    ea.write(v);
  } else {
    const Ea<M, S, X> ea(opcode & 7, st);
    const u32 v = ea.read();
    ea.update();
    if (!m68k_faulted()) {
      if (ext & 0x8000) reg = sext<S>(v);
      else set_dreg<S>((ext >> 12) & 7, v);
    }
  }
  st.finish();
  return moves_cycles<M, S>();
}

// MULU.L/MULS.L (Divide false) and DIVU.L/DIVS.L (Divide true) <ea>: the
// long source, then the helper with the instruction already stepped over,
// so a divide by zero stacks the next instruction's address.
template <bool Divide, Mode M, Index X>
u32 long_mul_div(u32 opcode) {
  const u32 at = opcode_address();
  Stream st;
  const u32 ext = st.word();
  const u32 src = read_source<M, L, X>(opcode & 7, st);
  st.finish();
  if (!m68k_faulted()) {
    if constexpr (Divide) m68k_div_long(opcode, src, ext, at);
    else m68k_mul_long(opcode, src, ext);
  }
  return 8 + ea_cycles<M, L>();
}

// LINK.L An,#d32; like LINK.W, An is read after A7 is lowered.
inline u32 link_long(u32 opcode) {
  Stream st;
  link_frame(opcode & 7, st.lng());
  st.finish();
  return 22;
}

// MOVEC Rc,Rn (ToControl false) and MOVEC Rn,Rc. A control register the
// model lacks takes the illegal-instruction exception in the helper, with
// the PC left on the opcode.
template <bool ToControl>
u32 movec(u32) {
  if (privilege_violation()) return 8;
  Stream st;
  const u32 ext = st.word();
  u32& reg = ext_register(ext);
  const u32 done = ToControl ? m68k_movec_to_ctl(ext & 0xfff, &reg)
                             : m68k_movec_from_ctl(ext & 0xfff, &reg);
  if (done) st.finish();
  return 8;
}

}  // namespace m68k_ops
