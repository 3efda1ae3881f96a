// Operation templates of the conditional and branch handlers of lines 5
// and 6: Scc, DBcc, TRAPcc, Bcc/BRA in every displacement form and BSR.
#pragma once

#include "cpu/handlers/common/line5f_support.h"

namespace m68k_ops::l5f {

// Scc Dn and Scc to memory. The memory operand is written, never read; an
// (An)+ or -(An) register is stored before the write.
template <u32 Cond, Mode M, Index X = Ix000, class P = NoPrefetch>
M68K_INLINE u32 scc(u32 opcode) {
  StreamOf<P> st;
  write_dest<M, B, X>(opcode & 7, st, m68k_cond_true(Cond) ? 0xff : 0x00);
  if constexpr (M == Dreg) return 4;
  else return rmw_cycles<M, B>();
}

// The branches' own end steps, with the table's instruction-stream policy.
// Moves pcHost past a branch not taken, of `bytes` bytes.
template <class P>
M68K_INLINE void branch_not_taken(u32 bytes) {
  m68k_regfile.pcHost += bytes;
  if constexpr (P::prefetch) m68k_reload_prefetch();
}

// The 16-bit displacement word: with Prefetch, the prefetch register's.
template <class P>
M68K_INLINE u32 branch_displacement() {
  if constexpr (P::prefetch) return sext16(be_read16(m68k_regfile.prefetch + 2));
  else return sext16(be_read16(m68k_regfile.pcHost + 2));
}

// With Prefetch a branch to an odd target takes the address error, which
// records the target; the branch is not taken. Returns true when it did.
template <class P>
M68K_INLINE bool odd_branch_target(u32 opcode, u32 displacement) {
  if constexpr (P::prefetch) return odd_behind_opcode<P>(opcode_address() + 2 + displacement, opcode);
  else return false;
}

// Takes the branch; with Prefetch the prefetch register is loaded at the target.
template <class P>
M68K_INLINE void branch_taken(u32 displacement) {
  m68k_branch(displacement);
  if constexpr (P::prefetch) m68k_reload_prefetch();
}

// DBcc Dn,disp16. With Prefetch the displacement is tested only when the
// branch is taken; the counter stays decremented on an address error.
template <u32 Cond, class P = NoPrefetch>
M68K_INLINE u32 dbcc(u32 opcode) {
  m68k_regs& r = m68k_regfile;
  if (m68k_cond_true(Cond)) {
    branch_not_taken<P>(4);
    return 12;
  }
  // The counter is the register's low word (its first two bytes on the
  // little-endian host), decremented in place.
  u8* const counter = reinterpret_cast<u8*>(&r.d[opcode & 7]);
  u16 c;
  std::memcpy(&c, counter, 2);
  const u16 next = u16(c - 1);
  std::memcpy(counter, &next, 2);
  if (c == 0) {
    branch_not_taken<P>(4);
    return 14;
  }
  const u32 displacement = branch_displacement<P>();
  if (odd_branch_target<P>(opcode, displacement)) return 12;
  branch_taken<P>(displacement);
  return 10;
}

// TRAPcc with Words operand words (0, 1 or 2), never read.
template <u32 Cond, u32 Words>
M68K_INLINE u32 trapcc(u32) {
  m68k_regs& r = m68k_regfile;
  const u32 at = opcode_address();
  r.pcHost += 2 + 2 * Words;
  if (m68k_cond_true(Cond)) m68k_raise_exception(7, at);
  return 4 + 4 * Words;
}

// Bcc.B and BRA.B: displacement in the opcode's low byte. With Prefetch
// this also serves displacement byte 0xFF, a branch by -1 to an odd address
// like any other, as on the chip.
template <u32 Cond, class P = NoPrefetch>
M68K_INLINE u32 bcc_b(u32 opcode) {
  if (m68k_cond_true(Cond)) {
    if (odd_branch_target<P>(opcode, sext8(opcode))) return 8;
    branch_taken<P>(sext8(opcode));
    return 10;
  }
  branch_not_taken<P>(2);
  return 8;
}

// Bcc and BRA with Words extension words of displacement, counted from the
// first of them: 1 (Bcc.W) or 2 (Bcc.L of the 68020).
template <u32 Cond, u32 Words, class P = NoPrefetch>
M68K_INLINE u32 bcc_ext(u32 opcode) {
  static_assert(Words == 1 || !P::prefetch, "the 68000 has no Bcc.L");
  m68k_regs& r = m68k_regfile;
  if (m68k_cond_true(Cond)) {
    const u32 displacement = Words == 1 ? branch_displacement<P>() : be_read32(r.pcHost + 2);
    if (odd_branch_target<P>(opcode, displacement)) return 12;
    branch_taken<P>(displacement);
    return 10;
  }
  branch_not_taken<P>(2 + 2 * Words);
  return 12;
}

// Bcc and BRA with displacement byte 0xFF on the 68000 and 68010: a one-word
// branch to the odd address A + 1, which takes an address error when taken.
template <u32 Cond>
M68K_INLINE u32 bcc_odd(u32 opcode) {
  m68k_regfile.pcHost += 2;
  if (m68k_cond_true(Cond)) {
    const u32 p = m68k_get_pc();
    m68k_fault_pc = p + 2;
    m68k_fault_addr = p + 1;
    m68k_fault_opcode = u16(opcode);
    m68k_raise_exception(3, 0);
  }
  return 12;
}

// BSR with Words displacement words (0: the opcode's low byte, 1, 2). With
// Prefetch the first displacement word is the prefetch register's, and an
// odd target takes the address error before anything is pushed; the push
// is made at any A7, odd or not.
template <u32 Words, class P = NoPrefetch>
M68K_INLINE u32 bsr(u32 opcode) {
  m68k_regs& r = m68k_regfile;
  const u32 at = opcode_address();
  u32 d;
  if constexpr (Words == 0) d = sext8(opcode);
  else if constexpr (Words == 1) d = branch_displacement<P>();
  else if constexpr (P::prefetch) d = (be_read16(r.prefetch + 2) << 16) | be_read16(r.pcHost + 4);
  else d = be_read32(r.pcHost + 2);
  if (odd_branch_target<P>(opcode, d)) return 18;
  r.a[7] -= 4;
  mem_write<L>(r.a[7], at + 2 + 2 * Words);
  branch_taken<P>(d);
  return 18;
}

}  // namespace m68k_ops::l5f
