// One-off handlers of line 4 (traps, stack frames, USP moves, RESET, NOP,
// STOP, the returns) and the jumps JSR and JMP, each with the instruction-
// stream policy of its table (NoPrefetch or Prefetch, see operands.h).
//
// Every return reads what it pops into locals first and changes A7, the
// status register and the program counter only when those reads did not
// fault, with the jump last: a jump that restarts the machine must not be
// followed by a stack or status update, and a faulted pop must leave A7
// where the bus-error frame was pushed.
#pragma once

#include "cpu/handlers/common/line04_support.h"

namespace m68k_ops {

template <class P = NoPrefetch>
u32 nop(u32) {
  StreamOf<P>().finish();
  return 4;
}

// The privilege test of the supervisor instructions: in user mode raises
// the privilege violation with the PC still on the opcode.
M68K_INLINE bool privilege_violation() {
  if (m68k_regfile.s) return false;
  m68k_raise_exception(8, 0);
  return true;
}

// A jump to target; with Prefetch the prefetch register is loaded from it.
template <class P>
M68K_INLINE void jump(u32 target) {
  m68k_jump_to(target);
  if constexpr (P::prefetch) m68k_reload_prefetch();
}

template <class P = NoPrefetch>
u32 trap(u32 opcode) {
  StreamOf<P>().finish();
  m68k_raise_exception(32 + (opcode & 15), 0);
  return 4;
}

template <class P = NoPrefetch>
u32 trapv(u32) {
  StreamOf<P>().finish();
  if (m68k_ccflags.v) m68k_raise_exception(7, m68k_get_pc());
  return 4;
}

// LINK's frame: A7 is lowered by 4 and An pushed there (LINK A7 pushes the
// lowered A7), An takes A7, and A7 moves on by the displacement.
M68K_INLINE void link_frame(u32 n, u32 disp) {
  m68k_regs& regs = m68k_regfile;
  regs.a[7] -= 4;
  mem_write<L>(regs.a[7], regs.a[n]);
  regs.a[n] = regs.a[7];
  regs.a[7] += disp;
}

// LINK An,#d16. With Prefetch an odd A7 - 4 takes the address error before
// anything changes, and the reload past the opcode comes before the push:
// the displacement is then the prefetch register's first word.
template <class P = NoPrefetch>
u32 link(u32 opcode) {
  m68k_regs& regs = m68k_regfile;
  const u32 n = opcode & 7;
  if constexpr (P::prefetch) {
    if (odd_behind_opcode<P>(regs.a[7] - 4, opcode)) return 18;
    regs.pcHost += 2;
    m68k_reload_prefetch();
    link_frame(n, sext16(be_read16(regs.prefetch)));
    regs.pcHost += 2;
    m68k_reload_prefetch();
  } else {
    Stream st;
    link_frame(n, sext16(st.word()));
    st.finish();
  }
  return 18;
}

// UNLK An: A7 = An, then An is popped (UNLK A7 leaves the loaded long).
// With Prefetch an odd An takes the address error with A7 already An.
template <class P = NoPrefetch>
u32 unlk(u32 opcode) {
  m68k_regs& regs = m68k_regfile;
  const u32 n = opcode & 7;
  const u32 sp = regs.a[n];
  if (odd_behind_opcode<P>(sp, opcode)) {
    regs.a[7] = sp;
    return 12;
  }
  const u32 v = mem_read<L>(sp);
  if (!m68k_faulted()) {
    regs.a[7] = sp + 4;
    regs.a[n] = v;
  }
  StreamOf<P>().finish();
  return 12;
}

template <class P = NoPrefetch>
u32 move_to_usp(u32 opcode) {
  if (privilege_violation()) return 4;
  m68k_regfile.usp = m68k_regfile.a[opcode & 7];
  StreamOf<P>().finish();
  return 4;
}

template <class P = NoPrefetch>
u32 move_from_usp(u32 opcode) {
  if (privilege_violation()) return 4;
  m68k_regfile.a[opcode & 7] = m68k_regfile.usp;
  StreamOf<P>().finish();
  return 4;
}

template <class P = NoPrefetch>
u32 reset(u32) {
  if (privilege_violation()) return 132;
  APP_HardwareReset();
  StreamOf<P>().finish();
  return 132;
}

template <class P = NoPrefetch>
u32 stop(u32) {
  if (privilege_violation()) return 4;
  m68k_regs& regs = m68k_regfile;
  StreamOf<P> st;
  regs.sr = u16(st.word());
  m68k_sr_apply();
  m68k_pend_set(m68k_pend_stop);
  regs.inStop = 1;
  st.finish();
  return 4;
}

// Pops the return address and then `release` bytes more (RTS, RTD).
template <class P>
M68K_INLINE u32 return_releasing(u32 release) {
  m68k_regs& regs = m68k_regfile;
  const u32 sp = regs.a[7];
  const u32 target = mem_read<L>(sp);
  if (m68k_faulted()) return 16;
  regs.a[7] = sp + 4 + release;
  jump<P>(target);
  return 16;
}

// RTS reads its return address at any A7, odd or not.
template <class P = NoPrefetch>
u32 rts(u32) {
  return return_releasing<P>(0);
}

template <class P = NoPrefetch>
u32 rtd(u32 opcode) {
  if (odd_behind_opcode<P>(m68k_regfile.a[7], opcode)) return 16;
  StreamOf<P> st;
  return return_releasing<P>(sext16(st.word()));
}

// Pops a six-byte frame, SR word then PC long: the whole SR (RTE of the
// 68000) or only its condition codes, the system byte staying (RTR).
template <bool WholeSr, class P>
M68K_INLINE u32 return_with_sr(u32 opcode) {
  m68k_regs& regs = m68k_regfile;
  const u32 sp = regs.a[7];
  if (odd_behind_opcode<P>(sp, opcode)) return 20;
  const u32 sr = mem_read<W>(sp);
  const u32 target = mem_read<L>(sp + 2);
  if (m68k_faulted()) return 20;
  regs.a[7] = sp + 6;
  if constexpr (WholeSr) {
    regs.sr = u16(sr);
  } else {
    m68k_sr_compose();
    regs.sr = u16((regs.sr & 0xff00u) | (sr & 0xffu));
  }
  m68k_sr_apply();
  jump<P>(target);
  return 20;
}

template <class P = NoPrefetch>
u32 rtr(u32 opcode) {
  return return_with_sr<false, P>(opcode);
}

template <class P = NoPrefetch>
u32 rte_68000(u32 opcode) {
  if (privilege_violation()) return 20;
  return return_with_sr<true, P>(opcode);
}

// RTE of the 68010 and later: the frame's format word says how much to pop;
// a throwaway frame (format 1) continues with the frame on the stack that
// its SR selects; an unknown format raises the format error.
inline u32 rte_68010(u32) {
  if (privilege_violation()) return 20;
  m68k_regs& regs = m68k_regfile;
  for (;;) {
    const u32 sp = regs.a[7];
    const u32 sr = mem_read<W>(sp);
    const u32 target = mem_read<L>(sp + 2);
    const u32 format = mem_read<W>(sp + 6) & 0xf000;
    if (m68k_faulted()) return 20;
    u32 size;
    switch (format) {
      case 0x0000: size = 8; break;
      case 0x1000:
        regs.a[7] = sp + 8;
        regs.sr = u16(sr);
        m68k_sr_apply();
        continue;
      case 0x2000: size = 12; break;
      case 0x8000: size = 58; break;
      case 0x9000: size = 20; break;
      case 0xa000: size = 32; break;
      case 0xb000: size = 92; break;
      default:
        regs.a[7] = sp + 8;
        m68k_raise_exception(14, 0);
        return 20;
    }
    regs.a[7] = sp + size;
    regs.sr = u16(sr);
    m68k_sr_apply();
    m68k_jump_to(target);
    return 20;
  }
}

template <Mode M>
constexpr u32 jmp_cycles() {
  switch (M) {
    case Aind: return 8;
    case Ad8r: case PC8r: return 14;
    case absl: return 12;
    default: return 10;
  }
}

// JMP and JSR take any target: an odd one continues at the even address
// below it, without an address error even with Prefetch.
template <Mode M, Index X, class P = NoPrefetch>
u32 jmp(u32 opcode) {
  StreamOf<P> st;
  const u32 target = control_address<M, X>(opcode & 7, st);
  jump<P>(target);
  return jmp_cycles<M>();
}

// JSR: the target is formed before A7 is lowered (JSR (A7) goes to the old
// A7); the return address is the end of the instruction. The push is made
// at any A7, odd or not; a faulted memory-indirect read pushes nothing.
template <Mode M, Index X, class P = NoPrefetch>
u32 jsr(u32 opcode) {
  StreamOf<P> st;
  const u32 target = control_address<M, X>(opcode & 7, st);
  if (address_read_faulted<M, X>()) return jmp_cycles<M>() + 8;
  const u32 ret = st.here();
  u32& sp = m68k_regfile.a[7];
  sp -= 4;
  mem_write<L>(sp, ret);
  jump<P>(target);
  return jmp_cycles<M>() + 8;
}

}  // namespace m68k_ops
