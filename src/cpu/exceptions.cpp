#include "cpu/exceptions.h"

#include "cpu/registers.h"
#include "machine/memory.h"
#include "machine/scheduler.h"

void m68k_raise_exception(u32 vector, u32 /*addr*/) {
  m68k_regs& r = m68k_regfile;
  m68k_sr_compose();
  const u32 sr = r.sr;
  const u32 pc = m68k_get_pc();
  if (!r.s) {
    r.usp = r.a[7];
    r.a[7] = r.isp;
    r.s = 1;
  }
  r.a[7] -= 4;
  MMU_WriteL(r.a[7], pc);
  r.a[7] -= 2;
  MMU_WriteW(r.a[7], sr);
  r.t1 = r.t0 = r.m = 0;
  r.pending &= ~(m68k_pend_trace | m68k_pend_trace_now);
  m68k_jump_to(MMU_ReadL(r.vbr + 4 * vector));
}

void m68k_illegal_opcode(u32 opcode) {
  const u32 line = (opcode >> 12) & 15;
  m68k_raise_exception(line == 0xA ? 10 : line == 0xF ? 11 : 4, 0);
}

u32 m68k_exec_unassigned(u32 opcode) {
  m68k_illegal_opcode(opcode);
  return 4;
}

void m68k_jump_to(u32 address) {
  m68k_regs& r = m68k_regfile;
  r.pc = address & ~1u;
  u8* host = MMU_BankOf(r.pc)->hostPtr(r.pc & MMU_AddressMask);
  r.pcHost = r.pcBase = host;
}
