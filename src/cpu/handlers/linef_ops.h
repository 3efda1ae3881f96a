// Operation templates of the line-F handlers: the entries of the
// floating-point instructions on the two tables with a unit, which take the
// instruction's first words and hand the rest to the unit (fpu.h), and the
// 68040's cache, MMU and MOVE16 instructions.
#pragma once

#include "cpu/fpu.h"
#include "cpu/handlers/common/line5f_support.h"
#include "cpu/handlers/misc_ops.h"
#include "cpu/helpers020.h"

namespace m68k_ops::l5f {

// The general instruction, FScc and FDBcc: the command or condition word
// after the opcode goes to the unit with pcHost past both words.
template <void (*Entry)(u32, u32)>
M68K_INLINE u32 fpu_entry(u32 opcode) {
  m68k_regs& r = m68k_regfile;
  const u32 word = be_read16(r.pcHost + 2);
  r.pcHost += 4;
  Entry(opcode, word);
  return 8;
}

// FBcc.W and FBcc.L: the displacement counts from its own first word.
template <bool Long>
M68K_INLINE u32 fbcc(u32 opcode) {
  m68k_regs& r = m68k_regfile;
  const u32 base = m68k_get_pc() + 2;
  const u32 displacement = Long ? be_read32(r.pcHost + 2) : sext16(be_read16(r.pcHost + 2));
  r.pcHost += Long ? 6 : 4;
  m68k_fbcc(opcode, base, displacement);
  return Long ? 12 : 8;
}

// FTRAPcc with Words operand words (1, 2 or none), which are not read: the
// instruction is stepped over first, so a taken trap stacks the next one.
template <u32 Words>
M68K_INLINE u32 ftrapcc(u32 opcode) {
  const u32 at = m68k_get_pc();
  m68k_regfile.pcHost += 4 + 2 * Words;
  m68k_ftrapcc(opcode, at + 2);
  return 4 + 4 * Words;
}

// FSAVE and FRESTORE, privileged.
template <void (*Entry)(u32)>
M68K_INLINE u32 fpu_state(u32 opcode) {
  if (privilege_violation()) return 4;
  m68k_regfile.pcHost += 2;
  Entry(opcode);
  return 4;
}

// CINV and CPUSH: there is no cache, so only the privilege test.
M68K_INLINE u32 cache_op(u32) {
  if (privilege_violation()) return 4;
  m68k_regfile.pcHost += 2;
  return 4;
}

// PFLUSH and PTEST; the other opcodes of their line take the line-F
// exception with the PC left on the opcode.
M68K_INLINE u32 mmu_op(u32 opcode) {
  if (m68k_mmu_instruction(opcode, u16(sext8(opcode >> 3)))) m68k_regfile.pcHost += 2;
  return 4;
}

// Copies the 16-byte line at src to the one at dst, both aligned down.
M68K_INLINE void move16_line(u32 src, u32 dst) {
  src &= ~15u;
  dst &= ~15u;
  for (u32 i = 0; i < 16; i += 4) MMU_WriteL(dst + i, MMU_ReadL(src + i));
}

// MOVE16 between (Ay) or (Ay)+ and an absolute long address.
template <bool ToAbsolute, bool Increment>
M68K_INLINE u32 move16_absolute(u32 opcode) {
  m68k_regs& r = m68k_regfile;
  u32& ay = r.a[opcode & 7];
  const u32 absolute = be_read32(r.pcHost + 2) & 0xffffff;
  if (ToAbsolute) move16_line(ay, absolute);
  else move16_line(absolute, ay);
  if (Increment) ay += 16;
  r.pcHost += 6;
  return 12;
}

// MOVE16 (Ax)+,(Ay)+: one register named twice advances once.
M68K_INLINE u32 move16_postincrement(u32 opcode) {
  m68k_regs& r = m68k_regfile;
  const u32 ax = opcode & 7, ay = (be_read16(r.pcHost + 2) >> 12) & 7;
  move16_line(r.a[ax], r.a[ay]);
  r.a[ax] += 16;
  if (ay != ax) r.a[ay] += 16;
  r.pcHost += 4;
  return 8;
}

}  // namespace m68k_ops::l5f
