// The machine services the CPU core calls, in their smallest working form:
// interrupt registers and arbitration, raise functions, the event runner with
// the vertical blank and the frame end, the stopped-CPU step, RAM clearing,
// hardware reset and the saved-state reader.
#include <cstdio>
#include <cstring>
#include <string>

#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "cpu/saved_state.h"
#include "machine/bigscreen.h"
#include "machine/interrupts.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/scheduler.h"
#include "machine/state.h"

// Interrupt registers and arbitration --------------------------------------

u32 MFP_IERA, MFP_IERB, MFP_IPRA, MFP_IPRB, MFP_IMRA, MFP_IMRB, MFP_ISRA, MFP_ISRB;
u32 MFP_VR;
u32 MFP_InServiceChannel;
u32 MFP_VideoIntPending;
u32 MFP_VectorLatch;
u32 MFP_IntTaken;

namespace {

// Channel number -> register pair (A when true) and bit.
struct Channel {
  u32 number;
  bool regA;
  u32 bit;
};
constexpr Channel channels[] = {{13, true, 0x20}, {8, true, 0x01}, {7, false, 0x80},
                                {6, false, 0x40}, {5, false, 0x20}, {4, false, 0x10}};

u32 take_channel(const Channel& ch) {
  MFP_IntTaken = 0;
  m68k_sr_compose();
  u32& imr = ch.regA ? MFP_IMRA : MFP_IMRB;
  u32& ipr = ch.regA ? MFP_IPRA : MFP_IPRB;
  u32& isr = ch.regA ? MFP_ISRA : MFP_ISRB;
  if (!(imr & ch.bit)) return 0;
  if (MFP_VR & 8) {
    if (MFP_InServiceChannel >= ch.number || m68k_regfile.imask > 5) return 0;
    isr |= ch.bit;
    MFP_InServiceChannel = ch.number;
  } else if (m68k_regfile.imask > 5) {
    return 0;
  }
  MFP_VectorLatch = (MFP_VR & 0xf0) + ch.number;
  m68k_accept_interrupt(6);
  ipr &= ~ch.bit;
  MFP_IntTaken = 1;
  return 1;
}

u32 take_video(u32 value, u32 limit, u32 level) {
  MFP_IntTaken = 0;
  m68k_sr_compose();
  if (m68k_regfile.imask > limit) return 0;
  MFP_VectorLatch = 0;
  m68k_accept_interrupt(level);
  MFP_VideoIntPending &= ~value;
  MFP_IntTaken = 1;
  return 1;
}

void raise(u32& ipr, u32 bit) {
  ipr |= bit;
  m68k_regfile.pending |= m68k_pend_interrupt;
}

}  // namespace

void MFP_CheckInterrupts() {
  for (const Channel& ch : channels) {
    const u32 ier = ch.regA ? MFP_IERA : MFP_IERB;
    const u32 imr = ch.regA ? MFP_IMRA : MFP_IMRB;
    const u32 ipr = ch.regA ? MFP_IPRA : MFP_IPRB;
    if ((ier & imr & ipr & ch.bit) && take_channel(ch)) return;
  }
  if ((MFP_VideoIntPending & 2) && take_video(2, 3, 4)) return;
  if (MFP_VideoIntPending & 4) take_video(4, 1, 2);
}

u32 MFP_AnyPending() {
  return ((MFP_IPRA & 0x21) | (MFP_IPRB & 0xf0) | (MFP_VideoIntPending & 6)) != 0;
}

void MFP_Reset() {
  MFP_IERA = MFP_IERB = MFP_IPRA = MFP_IPRB = MFP_IMRA = MFP_IMRB = MFP_ISRA = MFP_ISRB = 0;
  MFP_VR = 0;
  MFP_InServiceChannel = 0;
  MFP_VideoIntPending = 0;
  MFP_VectorLatch = 0;
  MFP_IntTaken = 0;
}

void MFP_RaiseTimerA() { raise(MFP_IPRA, 0x20); }
void MFP_RaiseTimerB() { raise(MFP_IPRA, 0x01); }
void MFP_RaiseDisk() { raise(MFP_IPRB, 0x80); }
void MFP_RaiseACIA() { raise(MFP_IPRB, 0x40); }
void MFP_RaiseTimerC() { raise(MFP_IPRB, 0x20); }
void MFP_RaiseTimerD() { raise(MFP_IPRB, 0x10); }
void MFP_RaiseVBL() { raise(MFP_VideoIntPending, 2); }
void MFP_RaiseHBL() { raise(MFP_VideoIntPending, 4); }

// Scheduler ----------------------------------------------------------------

i32 SCHED_EventTimes[8] = {SCHED_Never, SCHED_Never, SCHED_Never, SCHED_Never,
                           SCHED_Never, SCHED_Never, SCHED_Never, SCHED_Never};
u32 SCHED_InBorder;
u32 SCHED_SpareWord;
u32 SCHED_FrameCount;
u64 SCHED_PaceMark;
u32 SCREEN_FirstLine = 64;
u32 SCREEN_DisplayLines = 200;
u32 m68k_last_mask;

namespace {

bool due(i32 t) { return SCHED_CycleBefore < t && t <= SCHED_FrameCycle; }

// The vertical blank and the frame end, the only events of this scheduler.
void fire_frame_events() {
  if (SCHED_CycleBefore <= SCHED_CyclesPerFrame - 1 && SCHED_FrameCycle >= SCHED_CyclesPerFrame)
    MFP_RaiseVBL();
  // An instruction that ends exactly on the frame length ends the frame too:
  // otherwise the position would stay at or past the next event for good.
  if (SCHED_FrameCycle >= SCHED_CyclesPerFrame) {
    SCHED_FrameCycle = -1;
    SCHED_CycleBefore = -1;
    ++SCHED_FrameCount;
  }
}

}  // namespace

void SCHED_RunEvents() {
  if (m68k_sr_changed) {
    m68k_sr_changed = 0;
    m68k_sr_compose();
    if (m68k_regfile.imask <= m68k_last_mask && MFP_AnyPending())
      m68k_regfile.pending |= m68k_pend_interrupt;
    m68k_last_mask = m68k_regfile.imask;
  }
  if (!due(SCHED_NextEvent)) return;
  fire_frame_events();
  SCHED_ComputeNextEvent();
}

void SCHED_StopStep() {
  SCHED_ComputeNextEvent();
  SCHED_CycleBefore = SCHED_FrameCycle;
  SCHED_SpareWord = 0;
  SCHED_FrameCycle += 16;
  if (due(SCHED_NextEvent)) fire_frame_events();
  SCHED_ComputeNextEvent();
}

// Memory -------------------------------------------------------------------

u32 MMU_RamSize = 0x100000;
u32 MMU_TosVersion = 0;

void MMU_ClearRAM() {
  // Bank by bank through the host pointers, so that any RAM buffer behind
  // the bank table is reached without knowing where it lives.
  for (u32 addr = 9; addr < MMU_RamSize;) {
    const u32 bank_end = (addr | 0xffff) + 1;
    const u32 end = bank_end < MMU_RamSize ? bank_end : MMU_RamSize;
    if (u8* host = MMU_BankOf(addr)->hostPtr(addr)) std::memset(host, 0, end - addr);
    addr = end;
  }
}

// Machine ------------------------------------------------------------------

i32 APP_StopFlag;
u32 APP_AutoStateLoaded;
std::string APP_Folder = ".";
u32 SCREEN_LineABase;

void APP_HardwareReset() {
  SCREEN_LineABase = 0;
  MFP_Reset();
  SCHED_ComputeNextEvent();
}

bool STATE_Read(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  m68k_restore_state(file);
  std::fclose(file);
  return true;
}
