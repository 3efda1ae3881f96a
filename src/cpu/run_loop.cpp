#include "cpu/run_loop.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/endian.h"
#include "common/files.h"
#include "cpu/bus.h"
#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "host/app.h"
#include "host/debugger.h"
#include "host/options.h"
#include "host/screen.h"

u32 m68k_running;
u32 m68k_trace_pc;
u64 m68k_instruction_count;

namespace {

// The big-endian opcode at p, zero-extended to 64 bits for the table index.
// On x86-64 a load and a rotate of its low half, in the register of the
// handler's argument: the compiler would extend the rotated half again and
// copy it there.
[[gnu::always_inline]] inline u64 fetch_opcode(const u8* p) {
#if defined(__x86_64__)
  u64 opcode;
  asm("movzwl %1, %k0\n\trolw $8, %w0" : "=D"(opcode) : "m"(*reinterpret_cast<const u16*>(p)));
  return opcode;
#else
  return be_read16(p);
#endif
}

// Fetch, dispatch and count one instruction: the whole fast path.
[[gnu::always_inline]] inline void execute_one() {
  SCHED_CycleBefore = SCHED_FrameCycle;
  const u64 opcode = fetch_opcode(m68k_regfile.pcHost);
  SCHED_FrameCycle += i32(m68k_dispatch[opcode](u32(opcode)));
}

// Where the fast path stops next: at the next event, or at once while work
// is pending (a test or a tool may have set a bit directly meanwhile).
void update_check_at() {
  m68k_check_at = m68k_regfile.pending ? m68k_check_now : SCHED_NextEvent;
}

void resolve_double_fault() {
  if (m68k_regfile.pending & m68k_pend_double_fault) m68k_double_fault();
}

// Whether the instruction at the PC changes the flow (trace on change of
// flow of the 68020 and up).
bool changes_flow(u32 op) {
  switch (op) {
    case 0x4e72: case 0x4e74: case 0x4e75: case 0x4e76: case 0x4e77: return true;
    default: break;
  }
  if ((op & 0xffc0) == 0x4e80 || (op & 0xffc0) == 0x4ec0) return true;
  if ((op & 0xff00) == 0x6100) return true;
  if ((op & 0xf000) == 0x6000) return m68k_cond_true_core((op >> 8) & 15) != 0;
  if ((op & 0xf0f8) == 0x50c8)
    return !m68k_cond_true_core((op >> 8) & 15) && (m68k_regfile.d[op & 7] & 0xffff) != 0;
  return false;
}

void arm_trace() {
  m68k_regs& r = m68k_regfile;
  if (m68k_model >= 2 && r.t0) {
    const u32 pc = m68k_get_pc();
    m68k_jump_to_core(pc);
    m68k_reload_prefetch();
    if (!changes_flow(MMU_ReadW(pc))) return;
  } else if (!r.t1) {
    return;
  }
  r.pending = (r.pending & ~m68k_pend_trace) | m68k_pend_trace_now;
  m68k_trace_pc = m68k_get_pc();
}

void offer_interrupt() {
  m68k_regfile.pending &= ~m68k_pend_interrupt;
  MFP_CheckInterrupts();
  resolve_double_fault();
}

// Everything that hangs on a non-zero pending word after an instruction.
// With the scheduler, a stopped CPU idles here until an interrupt is
// accepted or the stop word is set. Returns true when the run loop must
// return.
bool service_pending(bool with_scheduler) {
  m68k_regs& r = m68k_regfile;
  if (r.pending & m68k_pend_blitter) {
    // On the chip the operation ended inside the instruction: nothing of
    // what follows it may come first. A quit that leaves it stopped leaves
    // at once, the rest of this pass still to come (the bit stays).
    if (!SCHED_FinishBlitter()) return true;
    if (SCHED_PassReplaced) [[unlikely]] return false;
    r.pending &= ~m68k_pend_blitter;
  }
  if (r.pending & m68k_pend_fault_resume) m68k_fault_resume();
  resolve_double_fault();
  if (r.pending & m68k_pend_sr_check) {
    r.pending &= ~m68k_pend_sr_check;
    if (with_scheduler) SCHED_RunEvents();  // never calls the host: nothing is replaced here
  }
  if (r.t1 | r.t0) r.pending |= m68k_pend_trace;
  if (r.pending & m68k_pend_trace_now) {
    m68k_raise_exception(9, m68k_trace_pc);
    resolve_double_fault();
  }
  if (with_scheduler) {
    // STOP wrote the SR, so the check above has fired the events of its own
    // cycles; the idling counts on from its end.
    while ((r.pending & m68k_pend_stop) && !APP_StopFlag && !SCHED_PassReplaced) {
      // An interrupt request waiting to be offered is offered after the
      // very next step; otherwise the steps without events pass at once.
      if (r.pending & m68k_pend_interrupt)
        SCHED_StopStep();
      else
        SCHED_StopIdle();
      if (r.pending & m68k_pend_interrupt) {
        r.pending &= ~(m68k_pend_unused8 | m68k_pend_unused1);
        offer_interrupt();
      }
      // Still stopped, the machine is between two steps: the host acts.
      if (SCHED_HostDue && (r.pending & m68k_pend_stop)) SCHED_HostWork();
    }
    // Left still stopped (a quit), the pass ends between two steps: an
    // interrupt the host raised is offered after the next one.
    if (r.pending & m68k_pend_stop) return false;
  }
  if (SCHED_PassReplaced) [[unlikely]] return false;
  if (r.pending & m68k_pend_trace) arm_trace();
  if (r.pending & m68k_pend_interrupt) {
    offer_interrupt();
    if (!(r.pending & m68k_pend_stop)) r.inStop = 0;
  }
  if (r.pending & (m68k_pend_leave | m68k_pend_leave_alt)) {
    r.pending &= ~(m68k_pend_leave_alt | m68k_pend_leave | m68k_pend_unused1);
    return true;
  }
  return false;
}

// The rest of an instruction's pass: its pending work, then the events it
// crossed, then what the host has to do. Returns true when the run loop must
// return.
bool end_pass() {
  m68k_regs& r = m68k_regfile;
  for (;;) {
    SCHED_PassReplaced = 0;
    const bool leave = r.pending && service_pending(true);
    // A quit that left a Blitter operation stopped leaves at once, the rest
    // of the pass still to come.
    if (leave && (r.pending & m68k_pend_blitter)) return true;
    if (!SCHED_PassReplaced) {
      // Also when leaving (the debugger steps this way, or time would stand
      // still) or quitting: the state saved then is one between two passes.
      if (SCHED_FrameCycle >= SCHED_NextEvent) SCHED_RunEvents();
      if (SCHED_HostDue) SCHED_HostWork();
    }
    if (leave || APP_StopFlag) return true;
    // A state the host restored meanwhile goes on with its next instruction,
    // or first with the rest of its own pass when it was saved inside one,
    // or idling when it was saved stopped.
    if (!SCHED_PassReplaced || !(r.pending & (m68k_pend_blitter | m68k_pend_stop))) return false;
  }
}

// The automatic state, restored or refused (which says why): decided once
// a start, before the first instruction and before the debugger's first
// prompt, also when the option is off or there is no such file. A quit from
// that prompt may not write over a file nobody looked at, nor may `U` be
// undone by it; and neither switching the option on later nor a file that
// appears later may put the machine back in time.
void take_up_auto_state() {
  if (APP_AutoStateLoaded) return;
  APP_AutoStateLoaded = 1;
  const std::string path = APP_AutoStatePath();
  if (!FILES_Exists(path.c_str())) return;
  // Held before it is read, so that what is held is what was refused, or
  // taken.
  APP_AutoStateRefusedEntry.Hold(path.c_str());
  APP_AutoStateTakenEntry.Hold(path.c_str());
  if (PREFS_AutoSaveOnQuit) {
    // The restore takes the event times as they were saved.
    APP_AutoStateTakenUp = STATE_Read(path.c_str()) ? 1 : 0;
    APP_AutoStateRefused = APP_AutoStateTakenUp ? 0 : STATE_Refusal;
  } else {
    // Left alone, but looked at: the option switched on, the quit then
    // sets aside what this machine could not have restored (a state of
    // another TOS the last quit with the option off kept, a disk image)
    // instead of writing over it unseen.
    APP_AutoStateRefused = STATE_Check(path.c_str()) ? 0 : STATE_Refusal;
  }
  (APP_AutoStateRefused ? APP_AutoStateTakenEntry : APP_AutoStateRefusedEntry).LetGo();
}

}  // namespace

void m68k_go(i32 mode) {
  if (m68k_running || mode == 0) {
    std::printf("Bug! m68k_go is not reentrant.\n");
    std::abort();
  }
  SCHED_FrameCycle = 0;
  SCHED_CycleBefore = 0;
  m68k_running = 1;
  SCHED_SpareWord = 0;
  m68k_restart();
  take_up_auto_state();
  while (!APP_StopFlag) {
    if (DEBUG_Requested) DEBUG_CommandLoop();
    m68k_run_loop();
  }
  m68k_running = 0;
}

void m68k_run_loop() {
  take_up_auto_state();
  SCHED_PaceMark = HOST_Microseconds();
  SCREEN_CheckWindowVisible();
  SCREEN_RedrawRequest = 1;
  m68k_regs& r = m68k_regfile;
  // A quit inside a Blitter operation left the pass of the instruction that
  // started it to come (so does a state saved then): the operation ends,
  // then whatever else follows that instruction, before the next one.
  // Entered while stopped, the CPU idles first, as in the pass it left.
  if ((r.pending & (m68k_pend_blitter | m68k_pend_stop)) && end_pass()) return;
  if (APP_StopFlag) return;

  // Instructions are counted in a register and added to the global count
  // before anything outside the loop can look at it: every scheduler call
  // (so the count is exact at each frame end) and every return.
  u64 executed = 0;
  for (;;) {
    update_check_at();
    do {
      execute_one();
      ++executed;
    } while (SCHED_FrameCycle < m68k_check_at);
    m68k_instruction_count += executed;
    executed = 0;
    if (end_pass()) return;
  }
}

u32 m68k_step(u32& handler_cycles) {
  m68k_regs& r = m68k_regfile;
  const i32 start = SCHED_FrameCycle;
  handler_cycles = 0;
  // A step is a pass of its own: a restore before it replaced nothing.
  SCHED_PassReplaced = 0;
  // A quit left the pass of the last instruction to come: it ends first
  // (unless a quit comes again).
  if (r.pending & m68k_pend_blitter) {
    service_pending(false);
    if (r.pending & m68k_pend_blitter) return 0;
  }
  SCHED_CycleBefore = SCHED_FrameCycle;
  if (r.pending & m68k_pend_stop) {
    SCHED_FrameCycle += 16;
    if (r.pending & m68k_pend_interrupt) offer_interrupt();
    return u32(SCHED_FrameCycle - start);
  }
  const u32 opcode = be_read16(r.pcHost);
  handler_cycles = m68k_dispatch[opcode](opcode);
  SCHED_FrameCycle += i32(handler_cycles);
  ++m68k_instruction_count;
  if (r.pending) service_pending(false);
  return u32(SCHED_FrameCycle - start);
}

u32 m68k_step() {
  u32 handler_cycles;
  return m68k_step(handler_cycles);
}
