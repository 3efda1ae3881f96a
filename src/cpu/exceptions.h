// Exception entry, interrupt acceptance, illegal opcodes, restart and jumps.
//
// Bus and address errors (vectors 2 and 3) are latched where they happen and
// their frame is built when the instruction ends: the run loop calls
// m68k_fault_resume, which pushes the frame on the final A7 and continues at
// the handler. From the fault to the end of that instruction every bank
// access does nothing (reads give all ones, writes are dropped), further
// exceptions are ignored and jumps don't move the PC, so one instruction
// takes at most one bus or address error. A fault while an exception frame is
// being pushed is a double fault: the run loop clears RAM and restarts.
#pragma once

#include <cstdint>

#include "common/types.h"
#include "cpu/registers.h"

// Fault record a handler fills before it raises an address error.
extern u16 m68k_fault_opcode;
extern u32 m68k_fault_pc;    // PC to stack in the address-error frame
extern u32 m68k_fault_addr;  // the access address as formed
// The handler address a bus or address error resumed at (0 when none); the
// armed state is the pending bit m68k_pend_fault_resume, not this value.
extern u32 m68k_fault_resume_pc;
extern u32 m68k_last_int_level;

// True from a bus or address error to the end of the instruction that took
// it. Memory is silent by then; a handler asks this only before it changes
// a register from what a faulted read returned.
inline bool m68k_faulted() { return (m68k_regfile.pending & m68k_pend_fault_resume) != 0; }

// Takes exception `vector`. addr is the access address for vector 2 and the
// instruction address of the later models' frames for vectors 5, 6, 7 and 9.
// The stacked PC is the current PC, pc + (pcHost - pcBase).
void m68k_raise_exception(u32 vector, u32 addr);

// The address error of the prefetch table's handlers: fills the fault record
// (the access address as formed, all 32 bits; the opcode; the PC to stack)
// and raises vector 3.
[[gnu::cold]] void m68k_address_error(u32 access, u32 opcode, u32 stackedPc);

// Takes an interrupt of level 1-7 (level 6 through MFP_VectorLatch).
void m68k_accept_interrupt(u32 level);

// Takes the illegal-instruction, line-A or line-F exception for opcode.
void m68k_illegal_opcode(u32 opcode);

// The handler of every opcode that no handler table serves; returns 4.
u32 m68k_exec_unassigned(u32 opcode);

// Power-on state of the CPU and hardware reset of the machine.
void m68k_restart();

// Sets the PC to address through the bank's host pointer. A target without
// host memory, or outside RAM and the ROM/cartridge windows the TOS version
// allows, clears RAM and restarts the machine.
void m68k_jump_to(u32 address);
// Whether m68k_jump_to(address) would land without the guard's restart.
bool m68k_jump_target_ok(u32 address);
void m68k_jump_to_core(u32 address);

// Host address of the start of the 64 KB bank the PC was last set in by a
// jump (null when it has no memory). Within one bank the host memory is
// contiguous, so a branch that stays inside it can move pcHost directly.
extern u8* m68k_region_base;

// A branch by displacement from the extension word (pcHost + 2), as Bcc, BSR
// and DBcc take it: inside the current region pcHost moves, any other target
// goes through m68k_jump_to and its guard.
inline void m68k_branch(u32 displacement) {
  m68k_regs& r = m68k_regfile;
  u8* const from = r.pcHost + 2;
  const std::uintptr_t target = std::uintptr_t(from) + std::uintptr_t(std::intptr_t(i32(displacement)));
  if (target - std::uintptr_t(m68k_region_base) < 0x10000) r.pcHost = reinterpret_cast<u8*>(target);
  else m68k_jump_to(r.pc + u32(from - r.pcBase) + displacement);
}

// Builds the frame of the bus or address error the instruction took and sets
// the PC to its handler. Run-loop work, called when the instruction ends.
void m68k_fault_resume();

// Resolves a double fault: "Multi Bus Error...", RAM cleared, restart.
void m68k_double_fault();

// The exception cost in cycles for a vector.
u32 m68k_exception_cycles(u32 vector);

// Drops a latched fault and its silent banks (part of the register reset).
void m68k_exceptions_reset();

// Loads prefetch from the four bytes at pcHost.
void m68k_reload_prefetch();
