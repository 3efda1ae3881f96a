// Support shared by the handlers of opcode lines 5-F: the value operations
// that ADD, SUB, OR, AND and EOR forms are parameterised by, the cycle
// counts that follow from the addressing mode, and the one place where a
// relative branch decides whether it may move pcHost directly.
#pragma once

#include <cstdint>

#include "cpu/exceptions.h"
#include "cpu/handlers/common/operands.h"

// The fault record of the next 68000 address-error frame, filled by a
// handler just before it raises vector 3.
extern u32 m68k_fault_pc;
extern u32 m68k_fault_addr;
extern u16 m68k_fault_opcode;

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

// Moves execution to the emulated address target, reached by a relative
// branch from the instruction whose opcode pcHost still points at.
//
// pcHost may be moved by the displacement only while the target stays in
// the host block that pcBase belongs to. A target in the same 64 KB bank as
// the opcode (with the same upper address bits) always is: every bank with
// host memory maps its 64 KB onto one contiguous slice. Any other target
// is looked up in its bank; when its host address is not the one a plain
// pointer move would give (another region, or no memory there at all) the
// branch goes through m68k_jump_to and its guard (which, unlike a pointer
// move, makes an odd target even).
M68K_INLINE void branch_to(u32 target) {
  m68k_regs& r = m68k_regfile;
  const u32 here = m68k_get_pc();
  if (((target ^ here) & 0xffff0000u) == 0) [[likely]] {
    r.pcHost += i32(target - here);
    return;
  }
  const uintptr_t expected = uintptr_t(r.pcHost) + uintptr_t(intptr_t(i32(target - here)));
  u8* const host = MMU_BankOf(target)->hostPtr(target & MMU_AddressMask);
  if (host && uintptr_t(host) == expected && (target & 0xff000000u) == (here & 0xff000000u)) {
    r.pcHost = host;
    return;
  }
  m68k_jump_to(target);
}

}  // namespace m68k_ops::l5f
