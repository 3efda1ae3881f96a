#include "cpu/exceptions.h"

#include <cstdio>
#include <cstring>

#include "common/console.h"
#include "common/endian.h"
#include "cpu/bus.h"
#include "cpu/registers.h"
#include "host/events.h"
#include "host/screen.h"

u16 m68k_fault_opcode;
u32 m68k_fault_pc;
u32 m68k_fault_addr;
u32 m68k_fault_resume_pc;
u32 m68k_last_int_level;
u8* m68k_region_base;
u32 m68k_jump_guard_off;

namespace {

// Everything a bus or address error frame needs, taken at the fault.
struct LatchedFault {
  u32 vector;
  u32 access;  // access address
  u32 pc;      // PC to stack
  u32 sr;      // SR at the fault
  u32 ir;      // instruction register word
};
LatchedFault latched;

// True while a frame is being pushed: a fault then is a double fault.
bool frame_in_progress = false;

// The real bank table while the faulted instruction runs on silent banks.
decltype(MMU_bankTable) saved_banks;
bool banks_silenced = false;

u32 silent_get(u32) { return 0xffffffff; }
void silent_put(u32, u32) {}
u8* silent_host(u32 a) { return saved_banks[(a & MMU_AddressMask) >> 16]->hostPtr(a); }
u32 silent_check(u32 a, u32 size) { return saved_banks[(a & MMU_AddressMask) >> 16]->check(a, size); }
constexpr MMU_Bank silent_bank = {silent_get, silent_get, silent_get, silent_put,
                                  silent_put, silent_put, silent_host, silent_check};

void silence_banks() {
  if (banks_silenced) return;
  std::memcpy(saved_banks, MMU_bankTable, sizeof saved_banks);
  for (auto& b : MMU_bankTable) b = &silent_bank;
  banks_silenced = true;
}

void restore_banks() {
  if (!banks_silenced) return;
  std::memcpy(MMU_bankTable, saved_banks, sizeof saved_banks);
  banks_silenced = false;
}

// ILLEGAL words for a PC that has no memory at all, so that pcHost is never
// null: executing them takes the illegal-instruction exception.
u8 no_memory[64];

u8* no_memory_words() {
  for (u32 i = 0; i < sizeof no_memory; i += 2) be_write16(no_memory + i, 0x4afc);
  return no_memory;
}

void push16(u32 v) {
  m68k_regfile.a[7] -= 2;
  MMU_WriteW(m68k_regfile.a[7], v);
}

void push32(u32 v) {
  m68k_regfile.a[7] -= 4;
  MMU_WriteL(m68k_regfile.a[7], v);
}

// Pushes the frame of `vector` (stacked PC pc, SR sr), takes the new PC from
// the vector table and adds the exception's cycles.
void enter_exception(u32 vector, u32 addr, u32 pc, u32 sr, u32 access, u32 ir) {
  m68k_regs& r = m68k_regfile;
  frame_in_progress = true;
  if (!r.s) {
    r.usp = r.a[7];
    r.a[7] = (m68k_model >= 2 && r.m) ? r.msp : r.isp;
    r.s = 1;
  }
  const bool group0 = vector == 2 || vector == 3;
  if (m68k_model >= 1) {
    if (group0) {
      for (int i = 0; i < 12; ++i) push16(0);
      push16(0xa000 + 4 * vector);
    } else if (vector == 5 || vector == 6 || vector == 7 || vector == 9) {
      push32(addr);
      push16(0x2000 + 4 * vector);
    } else if (vector >= 24 && vector <= 31 && r.m) {
      // Throwaway frame on the master stack, then the real one on the
      // interrupt stack.
      push16(4 * vector);
      push32(pc);
      push16(sr);
      sr |= 0x2000;
      r.msp = r.a[7];
      r.a[7] = r.isp;
      push16(0x1000 + 4 * vector);
    } else {
      push16(4 * vector);
    }
  }
  push32(pc);
  push16(sr);
  if (m68k_model == 0 && group0) {
    r.a[7] -= 8;
    MMU_WriteW(r.a[7], sr);
    MMU_WriteL(r.a[7] + 2, access);
    MMU_WriteW(r.a[7] + 6, ir);
  }
  u32 target = MMU_ReadL(r.vbr + 4 * vector);
  frame_in_progress = false;
  if (vector >= 24) target &= MMU_AddressMask;
  m68k_jump_to_core(target);
  m68k_reload_prefetch();
  r.t1 = r.t0 = r.m = 0;
  r.pending &= ~(m68k_pend_trace | m68k_pend_trace_now);
  SCHED_FrameCycle += i32(m68k_exception_cycles(vector));
}

// Whether the jump guard lets the PC go to the 24-bit address p.
bool jump_allowed(u32 p) {
  const bool tos2 = MMU_TosVersion > 14;
  const u32 low_limit = tos2 ? 0xdfffff : 0xf9ffff;
  const u32 high_limit = tos2 ? 0xfc0000 : 0xfeffff;
  if (p > MMU_RamSize && p <= low_limit) return false;
  if (p > high_limit) return false;
  return true;
}

// Sets pc, pcHost and pcBase; returns the host pointer (null when none).
u8* set_pc(u32 address) {
  m68k_regs& r = m68k_regfile;
  const u32 a = address & 0xfffffe;
  u8* host = MMU_BankOf(a)->hostPtr(a);
  r.pc = address & ~1u;
  r.pcHost = r.pcBase = host;
  m68k_region_base = host ? host - (a & 0xffff) : nullptr;
  return host;
}

void guarded_jump(u32 address) {
  // Once the instruction has faulted, the fault decides where it continues.
  if (m68k_regfile.pending & m68k_pend_fault_resume) return;
  if (!set_pc(address)) {
    MMU_ClearRAM();
    m68k_restart();
  }
  const u32 p = m68k_regfile.pc & MMU_AddressMask;
  if (!jump_allowed(p) && !m68k_jump_guard_off) {
    MMU_ClearRAM();
    m68k_restart();
  }
}

}  // namespace

u32 m68k_exception_cycles(u32 vector) {
  if (vector <= 1) return 4;
  if (vector <= 3) return 50;
  if (vector == 4) return 34;
  if (vector == 5) return 38;
  if (vector == 6) return 40;
  if (vector <= 11) return 34;
  if (vector <= 23) return 4;
  if (vector <= 31) return 48;
  if (vector <= 47) return 34;
  if (vector <= 63) return 4;
  return 24;
}

void m68k_reload_prefetch() { std::memcpy(m68k_regfile.prefetch, m68k_regfile.pcHost, 4); }

void m68k_raise_exception(u32 vector, u32 addr) {
  m68k_regs& r = m68k_regfile;
  if (frame_in_progress) {
    m68k_pend_set(m68k_pend_double_fault);
    return;
  }
  // The instruction already faulted: nothing more happens in it.
  if (r.pending & m68k_pend_fault_resume) return;

  const u32 pc = m68k_get_pc();
  m68k_sr_compose();
  const u32 sr = r.sr;
  if (vector == 2 || vector == 3) {
    // The 68000 frame carries the fault record; the later models' frames
    // stack the current PC.
    const bool record = vector == 3 && m68k_model == 0;
    latched.vector = vector;
    latched.pc = record ? m68k_fault_pc : pc;
    latched.sr = sr;
    latched.access = vector == 3 ? m68k_fault_addr : addr;
    // A bus master other than the processor can fault before any PC is set.
    latched.ir = vector == 3 ? m68k_fault_opcode : r.pcHost ? be_read16(r.pcHost) : 0;
    m68k_pend_set(m68k_pend_fault_resume);
    silence_banks();
    return;
  }
  enter_exception(vector, addr, pc, sr, 0, 0);
}

void m68k_address_error(u32 access, u32 opcode, u32 stackedPc) {
  m68k_fault_addr = access;
  m68k_fault_opcode = u16(opcode);
  m68k_fault_pc = stackedPc;
  m68k_raise_exception(3, 0);
}

void m68k_fault_resume() {
  m68k_regs& r = m68k_regfile;
  restore_banks();
  r.pending &= ~m68k_pend_fault_resume;
  // Whatever the instruction did to the SR after the fault is undone, so the
  // frame goes on the stack of the mode the fault happened in.
  m68k_sr_compose();
  if (r.sr != latched.sr) {
    r.sr = u16(latched.sr);
    m68k_sr_apply();
  }
  enter_exception(latched.vector, 0, latched.pc, latched.sr, latched.access, latched.ir);
  m68k_fault_resume_pc = m68k_get_pc();
  m68k_reload_prefetch();
}

void m68k_double_fault() {
  CONSOLE_Line("Multi Bus Error...");
  MMU_ClearRAM();
  m68k_restart();
  m68k_fault_resume_pc = 0;
  m68k_regfile.pending &= ~(m68k_pend_fault_resume | m68k_pend_double_fault);
}

void m68k_accept_interrupt(u32 level) {
  // The copy holds what a saved state holds of the live record: the SR
  // composed and the current PC, not the last jump's (which a restore
  // moves).
  m68k_sr_compose();
  m68k_regs_at_interrupt = m68k_regfile;
  m68k_regs_at_interrupt.pc = m68k_get_pc();
  m68k_last_int_level = level;
  m68k_raise_exception(level == 6 ? MFP_VectorLatch : 24 + level, 0);
  MFP_VectorLatch = 0;
  m68k_regfile.imask = level;
  m68k_regfile.pending &= ~m68k_pend_stop;
  m68k_regfile.inStop = 0;
}

void m68k_illegal_opcode(u32 opcode) {
  // A program that configures a later processor's control registers finds
  // out here; it is told, and the exception is taken like any other.
  if (opcode == 0x4e7b && MMU_ReadL(0x10) == 0) std::printf("This program requires a 68020 CPU!\n");
  const u32 line = (opcode >> 12) & 15;
  m68k_raise_exception(line == 0xA ? 10 : line == 0xF ? 11 : 4, 0);
}

u32 m68k_exec_unassigned(u32 opcode) {
  m68k_illegal_opcode(opcode);
  return 4;
}

void m68k_exceptions_reset() {
  restore_banks();
  frame_in_progress = false;
  m68k_fault_resume_pc = 0;
}

void m68k_restart() {
  m68k_regs& r = m68k_regfile;
  restore_banks();
  frame_in_progress = false;
  r.a[7] = 0xf000;
  // No guard here: a restart that finds no memory at the TOS entry would
  // only restart again.
  if (!set_pc(MMU_TosVersion > 14 ? 0xe00000 : 0xfc0000)) {
    r.pcHost = r.pcBase = no_memory_words();
    m68k_region_base = nullptr;
  }
  m68k_reload_prefetch();
  r.s = 1;
  m68k_ccflags = {};
  r.fpcr = r.fpsr = r.fpiar = 0;
  r.pending = 0;
  r.vbr = r.sfc = r.dfc = 0;
  r.t0 = r.t1 = 0;
  r.imask = 7;
  r.m = 0;
  r.inStop = 0;
  APP_HardwareReset();
  EVENTS_VdiTracking = 0;
  SCREEN_LineABase = 0;
}

void m68k_jump_to(u32 address) { guarded_jump(address); }
bool m68k_jump_target_ok(u32 address) {
  const u32 a = address & 0xfffffe;
  if (!MMU_BankOf(a)->hostPtr(a)) return false;
  return m68k_jump_guard_off || jump_allowed(a);
}
void m68k_jump_to_core(u32 address) { guarded_jump(address); }
