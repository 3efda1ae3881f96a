// One-off handlers of line 4 (traps, stack frames, USP moves, RESET, NOP,
// STOP, the returns) and the jumps JSR and JMP.
//
// Every return reads what it pops into locals first and changes A7, the
// status register and the program counter only when those reads did not
// fault, with the jump last: a jump that restarts the machine must not be
// followed by a stack or status update, and a faulted pop must leave A7
// where the bus-error frame was pushed.
#pragma once

#include "cpu/handlers/common/line04_support.h"

namespace m68k_ops {

M68K_INLINE u32 nop(u32) {
  m68k_regfile.pcHost += 2;
  return 4;
}

// The privilege test of the supervisor instructions: in user mode raises
// the privilege violation with the PC still on the opcode.
M68K_INLINE bool privilege_violation() {
  if (m68k_regfile.s) return false;
  m68k_raise_exception(8, 0);
  return true;
}

inline u32 trap(u32 opcode) {
  m68k_regfile.pcHost += 2;
  m68k_raise_exception(32 + (opcode & 15), 0);
  return 4;
}

inline u32 trapv(u32) {
  m68k_regfile.pcHost += 2;
  if (m68k_ccflags.v) m68k_raise_exception(7, m68k_get_pc());
  return 4;
}

// LINK An,#d16: An is read after A7 is lowered, so LINK A7 pushes the
// lowered A7.
inline u32 link(u32 opcode) {
  m68k_regs& regs = m68k_regfile;
  const u32 n = opcode & 7;
  Stream st;
  const u32 disp = sext16(st.word());
  regs.a[7] -= 4;
  mem_write<L>(regs.a[7], regs.a[n]);
  regs.a[n] = regs.a[7];
  regs.a[7] += disp;
  st.finish();
  return 18;
}

// UNLK An: A7 = An, then An is popped (UNLK A7 leaves the loaded long).
inline u32 unlk(u32 opcode) {
  m68k_regs& regs = m68k_regfile;
  const u32 n = opcode & 7;
  const u32 sp = regs.a[n];
  const u32 v = mem_read<L>(sp);
  if (!m68k_faulted()) {
    regs.a[7] = sp + 4;
    regs.a[n] = v;
  }
  regs.pcHost += 2;
  return 12;
}

inline u32 move_to_usp(u32 opcode) {
  if (privilege_violation()) return 4;
  m68k_regfile.usp = m68k_regfile.a[opcode & 7];
  m68k_regfile.pcHost += 2;
  return 4;
}

inline u32 move_from_usp(u32 opcode) {
  if (privilege_violation()) return 4;
  m68k_regfile.a[opcode & 7] = m68k_regfile.usp;
  m68k_regfile.pcHost += 2;
  return 4;
}

inline u32 reset(u32) {
  if (privilege_violation()) return 132;
  APP_HardwareReset();
  m68k_regfile.pcHost += 2;
  return 132;
}

inline u32 stop(u32) {
  if (privilege_violation()) return 4;
  m68k_regs& regs = m68k_regfile;
  Stream st;
  regs.sr = u16(st.word());
  m68k_sr_apply();
  regs.pending |= m68k_pend_stop;
  regs.inStop = 1;
  st.finish();
  return 4;
}

// Pops the return address and then `release` bytes more (RTS, RTD).
M68K_INLINE u32 return_releasing(u32 release) {
  m68k_regs& regs = m68k_regfile;
  const u32 sp = regs.a[7];
  const u32 target = mem_read<L>(sp);
  if (m68k_faulted()) return 16;
  regs.a[7] = sp + 4 + release;
  m68k_jump_to(target);
  return 16;
}

inline u32 rts(u32) { return return_releasing(0); }

inline u32 rtd(u32) {
  Stream st;
  return return_releasing(sext16(st.word()));
}

// Pops a six-byte frame, SR word then PC long: the whole SR (RTE of the
// 68000) or only its condition codes, the system byte staying (RTR).
template <bool WholeSr>
M68K_INLINE u32 return_with_sr() {
  m68k_regs& regs = m68k_regfile;
  const u32 sp = regs.a[7];
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
  m68k_jump_to(target);
  return 20;
}

inline u32 rtr(u32) { return return_with_sr<false>(); }

inline u32 rte_68000(u32) {
  if (privilege_violation()) return 20;
  return return_with_sr<true>();
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

template <Mode M, Index X>
u32 jmp(u32 opcode) {
  Stream st;
  const u32 target = control_address<M, X>(opcode & 7, st);
  m68k_jump_to(target);
  return jmp_cycles<M>();
}

// JSR: the target is formed before A7 is lowered (JSR (A7) goes to the old
// A7); the return address is the end of the instruction.
template <Mode M, Index X>
u32 jsr(u32 opcode) {
  Stream st;
  const u32 target = control_address<M, X>(opcode & 7, st);
  const u32 ret = st.here();
  u32& sp = m68k_regfile.a[7];
  sp -= 4;
  mem_write<L>(sp, ret);
  m68k_jump_to(target);
  return jmp_cycles<M>() + 8;
}

}  // namespace m68k_ops
