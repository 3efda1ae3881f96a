// The processor state: register record, condition flags, pending work and
// the status-register operations every other part of the CPU relies on.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "common/types.h"

struct m68k_regs {
  u32 d[8];      // D0-D7
  u32 a[8];      // A0-A7; a[7] is always the active stack pointer
  u32 usp;       // user stack pointer while in supervisor mode
  u32 isp;       // interrupt stack pointer while not active
  u32 msp;       // master stack pointer while not active (68020 and up)
  u16 sr;        // composed status register; valid right after m68k_sr_compose
  i8 t1, t0, s, m;
  i8 inStop;     // 1 while stopped by STOP
  u32 imask;     // interrupt priority mask 0-7
  u32 pc;        // emulated address at which pcHost was last set
  u8* pcHost;    // host address of the next instruction word
  u8* pcBase;    // host address corresponding to pc
  u32 vbr;
  u32 sfc, dfc;
  double fp[8];
  u32 fpcr, fpsr, fpiar;
  u32 pending;   // pending-work bits, m68k_pend_*
  u8 prefetch[4];
};

// Condition flags, each word 0 or 1. Order matters: C, Z, N, V, X.
struct m68k_flags {
  u32 c, z, n, v, x;
};

extern m68k_regs m68k_regfile;
extern m68k_regs m68k_regs_at_interrupt;
extern m68k_flags m68k_ccflags;
extern u32 m68k_sr_changed;
extern u32 m68k_model;          // 0 68000, 1 68010, 2 68020, 3 68020+FPU, 4 68040
extern u32 m68k_prefetch_mode;  // non-zero: 68000 table with prefetch and address checks

// Bits of m68k_regfile.pending.
enum : u32 {
  m68k_pend_unused1 = 0x1,
  m68k_pend_stop = 0x2,
  m68k_pend_fault_resume = 0x4,
  m68k_pend_unused8 = 0x8,
  m68k_pend_leave = 0x10,
  // The SR was written: the run loop lets the scheduler look at pending
  // interrupts against the new mask before the next instruction.
  m68k_pend_sr_check = 0x20,
  m68k_pend_trace = 0x40,
  m68k_pend_trace_now = 0x80,
  m68k_pend_interrupt = 0x100,
  m68k_pend_double_fault = 0x200,
  // A Blitter operation the instruction started asked the host to act (and
  // may have stopped for it): before anything else that follows the
  // instruction, the host acts and the operation ends. A quit meanwhile
  // leaves the bit set with the rest of the instruction's pass still to
  // come, which the run loop takes at its next entry, in a restored machine
  // too.
  m68k_pend_blitter = 0x400,
  m68k_pend_leave_alt = 0x2000,
};

// The frame position from which the run loop leaves its fast path to look
// at the pending work and the scheduler: SCHED_NextEvent while nothing is
// pending, below every position (m68k_check_now) as soon as something is.
// The fast path then makes one comparison per instruction. Whatever sets a
// pending bit does it through m68k_pend_set; SCHED_ComputeNextEvent and the
// run loop's slow path put the position back.
extern i32 m68k_check_at;
constexpr i32 m68k_check_now = INT32_MIN;
inline void m68k_pend_set(u32 bits) {
  m68k_regfile.pending |= bits;
  m68k_check_at = m68k_check_now;
}

// The current program counter: pc + (pcHost - pcBase).
inline u32 m68k_get_pc() {
  return m68k_regfile.pc + u32(m68k_regfile.pcHost - m68k_regfile.pcBase);
}

void m68k_sr_apply();
// Loads the five condition flags from the low byte of sr.
void m68k_flags_from_sr(u32 sr);
u32 m68k_cond_true_core(u32 cc);

// Puts the register record, flags and mode words back to zero (tests and
// machine construction start from here).
void m68k_registers_reset();

// A flag word is 0 or 1, so its upper three bytes are always 0: a flag is
// stored as the word's low byte (the host is little-endian), one host
// instruction straight from the host's own condition codes, and read back
// from that byte, which a read right behind the store gets forwarded.
inline void m68k_put_flag(u32& word, bool value) { *reinterpret_cast<u8*>(&word) = value; }
inline u32 m68k_flag(const u32& word) { return *reinterpret_cast<const u8*>(&word); }

// Writes sr from the mode fields, the interrupt mask and the five flags
// (inline: the scheduler composes it each time it looks for the next event).
inline void m68k_sr_compose() {
  m68k_regs& r = m68k_regfile;
  const m68k_flags& f = m68k_ccflags;
  r.sr = u16((u32(r.t1) << 15) | (u32(r.t0) << 14) | (u32(r.s) << 13) | (u32(r.m) << 12) |
             ((r.imask & 7) << 8) | (m68k_flag(f.x) << 4) | (m68k_flag(f.n) << 3) |
             (m68k_flag(f.z) << 2) | (m68k_flag(f.v) << 1) | m68k_flag(f.c));
}

// Whether 68000 condition cc (0-15) holds on the current flags.
inline u32 m68k_cond_true(u32 cc) {
  const m68k_flags& f = m68k_ccflags;
  const u32 c = m68k_flag(f.c), z = m68k_flag(f.z), n = m68k_flag(f.n), v = m68k_flag(f.v);
  switch (cc) {
    case 0: return 1;
    case 1: return 0;
    case 2: return (c | z) ^ 1;
    case 3: return c | z;
    case 4: return c ^ 1;
    case 5: return c;
    case 6: return z ^ 1;
    case 7: return z;
    case 8: return v ^ 1;
    case 9: return v;
    case 10: return n ^ 1;
    case 11: return n;
    case 12: return u32(n == v);
    case 13: return u32(n != v);
    case 14: return u32(z == 0 && n == v);
    case 15: return u32(z != 0 || n != v);
    default: std::abort();
  }
}
