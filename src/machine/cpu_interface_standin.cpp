// Stand-in definitions of the processor core's entry points that the machine
// calls (cpu_interface.h), good enough to boot and clock the machine until
// the processor core provides its own.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/endian.h"
#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "host/host.h"
#include "machine/cpu_interface.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/scheduler.h"

namespace {
u32 running;
}

void m68k_accept_interrupt(u32 level) {
  std::memcpy(&m68k_regs_at_interrupt, &m68k_regfile, sizeof m68k_regfile);
  m68k_raise_exception(level == 6 ? MFP_VectorLatch : 24 + level, 0);
  MFP_VectorLatch = 0;
  m68k_regfile.imask = level;
  m68k_regfile.pending &= ~m68k_pend_stop;
  m68k_regfile.inStop = 0;
}

void m68k_restart() {
  m68k_regs& r = m68k_regfile;
  r.a[7] = 0xf000;
  m68k_jump_to(MMU_TosVersion > 14 ? 0xe00000 : 0xfc0000);
  if (r.pcHost) std::memcpy(r.prefetch, r.pcHost, 4);
  r.s = 1;
  m68k_ccflags = {};
  r.fpcr = r.pending = r.vbr = r.sfc = r.dfc = r.fpiar = r.fpsr = 0;
  r.t0 = r.t1 = r.m = r.inStop = 0;
  r.imask = 7;
  APP_HardwareReset();
  EVENTS_VdiTracking = 0;
}

void m68k_run_loop() {
  m68k_regs& r = m68k_regfile;
  SCHED_PaceMark = HOST_Microseconds();
  SCREEN_RedrawRequest = 1;
  while (APP_StopFlag == 0) {
    SCHED_CycleBefore = SCHED_FrameCycle;
    const u32 opcode = be_read16(r.pcHost);
    SCHED_FrameCycle += i32(m68k_dispatch[opcode](opcode));
    ++m68k_instruction_count;
    if (!r.pcHost) {  // a jump to where no memory is
      MMU_ClearRAM();
      m68k_restart();
    }
    if (r.pending) {
      if (r.pending & m68k_pend_fault_resume) r.pending &= ~m68k_pend_fault_resume;
      while ((r.pending & m68k_pend_stop) && APP_StopFlag == 0) {
        SCHED_StopStep();
        if (r.pending & m68k_pend_interrupt) {
          r.pending &= ~(m68k_pend_interrupt | m68k_pend_unused8 | m68k_pend_unused1);
          MFP_CheckInterrupts();
        }
      }
      if (r.pending & m68k_pend_interrupt) {
        r.pending &= ~m68k_pend_interrupt;
        MFP_CheckInterrupts();
        r.inStop = 0;
      }
      if (r.pending & (m68k_pend_leave | m68k_pend_leave_alt)) {
        r.pending &= ~(m68k_pend_leave | m68k_pend_leave_alt | m68k_pend_unused1);
        return;
      }
    }
    SCHED_RunEvents();
  }
}

void m68k_go(i32 mode) {
  if (running || mode == 0) {
    std::puts("Bug! m68k_go is not reentrant.");
    std::abort();
  }
  SCHED_FrameCycle = 0;
  SCHED_CycleBefore = 0;
  running = 1;
  SCHED_SpareWord = 0;
  m68k_restart();
  while (APP_StopFlag == 0) {
    if (DEBUG_Requested) DEBUG_CommandLoop();
    m68k_run_loop();
  }
  running = 0;
}
