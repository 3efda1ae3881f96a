#include "cpu/registers.h"

#include <cstring>

#include "cpu/bus.h"
#include "cpu/exceptions.h"
#include "cpu/helpers020.h"

m68k_regs m68k_regfile;
m68k_regs m68k_regs_at_interrupt;
m68k_flags m68k_ccflags;
u32 m68k_sr_changed;
i32 m68k_check_at = m68k_check_now;
u32 m68k_model;
u32 m68k_prefetch_mode;

void m68k_registers_reset() {
  std::memset(&m68k_regfile, 0, sizeof m68k_regfile);
  std::memset(&m68k_regs_at_interrupt, 0, sizeof m68k_regs_at_interrupt);
  std::memset(&m68k_ccflags, 0, sizeof m68k_ccflags);
  m68k_sr_changed = 0;
  m68k_model = 0;
  m68k_prefetch_mode = 0;
  m68k_exceptions_reset();
  m68k_control_reset();
}

void m68k_flags_from_sr(u32 sr) {
  m68k_ccflags.c = sr & 1;
  m68k_ccflags.v = (sr >> 1) & 1;
  m68k_ccflags.z = (sr >> 2) & 1;
  m68k_ccflags.n = (sr >> 3) & 1;
  m68k_ccflags.x = (sr >> 4) & 1;
}

void m68k_sr_apply() {
  m68k_regs& r = m68k_regfile;
  const i8 old_s = r.s;
  const i8 old_m = r.m;
  const u32 sr = r.sr;

  m68k_flags_from_sr(sr);
  r.imask = (sr >> 8) & 7;
  r.m = i8((sr >> 12) & 1);
  r.s = i8((sr >> 13) & 1);
  r.t0 = i8((sr >> 14) & 1);
  r.t1 = i8((sr >> 15) & 1);

  if (m68k_model < 2) {
    if (old_s && !r.s) {
      r.isp = r.a[7];
      r.a[7] = r.usp;
    } else if (!old_s && r.s) {
      r.usp = r.a[7];
      r.a[7] = r.isp;
    }
  } else {
    if (old_s && !r.s) {
      if (old_m)
        r.msp = r.a[7];
      else
        r.isp = r.a[7];
      r.a[7] = r.usp;
    } else if (!old_s && r.s) {
      r.usp = r.a[7];
      r.a[7] = r.m ? r.msp : r.isp;
    } else if (r.s && old_m != r.m) {
      if (old_m) {
        r.msp = r.a[7];
        r.a[7] = r.isp;
      } else {
        r.isp = r.a[7];
        r.a[7] = r.msp;
      }
    }
  }

  m68k_sr_changed = 1;
  m68k_pend_set(m68k_pend_sr_check);
  SCHED_ComputeNextEvent();

  if (r.t1 || r.t0)
    m68k_pend_set(m68k_pend_trace);
  else
    r.pending &= ~(m68k_pend_trace | m68k_pend_trace_now);
}

u32 m68k_cond_true_core(u32 cc) { return m68k_cond_true(cc); }
