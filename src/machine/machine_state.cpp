// Saved-state sections of the memory map's I/O registers, the scheduler's
// frame position, the MFP and the interrupt state.
#include "machine/machine_state.h"

#include "host/events.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/rtc.h"
#include "machine/scheduler.h"
#include "machine/sections.h"

namespace {
constexpr u32 tick_block_size = 16;

// A timer period is -1 (stopped) or a positive count that can still be added
// to a frame position without overflowing.
constexpr i32 max_period = 0x7fffffff - 2 * SCHED_CyclesPerFrame;
bool valid_period(i32 p) { return p == -1 || (p > 0 && p <= max_period); }
// A period is a tick times a data value of 1 to 256.
constexpr u32 max_tick = u32(max_period) / 256;
}  // namespace

void MMU_SaveIORegs(StateWriter& w) {
  w.u8v(MMU_MemConfig);
  w.u16v(MMU_MicrowireMask);
  w.u16v(MMU_MicrowireData);
  w.u16v(MMU_IOSpare);
}

bool MMU_RestoreIORegs(StateReader& r) {
  const u32 config = r.u8v(), mask = r.u16v(), data = r.u16v();
  r.u16v();  // the spare word is not restored
  if (!r.ok()) return false;
  if (r.applying()) {
    MMU_MemConfig = u8(config);
    MMU_MicrowireMask = u16(mask);
    MMU_MicrowireData = u16(data);
    MMU_IOSpare = 0;
  }
  return true;
}

void SCHED_SaveCycle(StateWriter& w) { w.i32v(SCHED_FrameCycle); }

bool SCHED_RestoreCycle(StateReader& r) {
  const i32 cycle = r.i32v();
  // A position outside the frame would never meet its events again. One
  // past its end is an instruction's that started a Blitter operation and
  // was left by a quit before its events (the processor's section says
  // whether that is so).
  if (!r.ok() || cycle < -1 || cycle > SCHED_CyclesPerFrame + SCHED_MaxInstructionCycles) return false;
  if (r.applying()) {
    SCHED_FrameCycle = cycle;
    EVENTS_InBackground = 0;
    EVENTS_LastMouseH = 192;
    EVENTS_LastMouseV = 129;
  }
  return true;
}

void MFP_SaveState(StateWriter& w) {
  for (i32 p : SCHED_TimerPeriods) w.i32v(p);
  w.i32v(FDC_IrqTime);
  w.u32v(MFP_ClockWord);
  w.u32v(MFP_SpareWord);
  w.bytes(MFP_Regs, sizeof MFP_Regs);
  for (u32 reload : {MFP_ReloadC, MFP_ReloadB, MFP_ReloadA, MFP_ReloadD}) w.u32v(reload);
  w.u32v(MFP_VectorLatch);
  w.u32v(MFP_SoftEOI);
  w.i32v(MFP_InServiceChannel);
  for (u32 i = 0; i < tick_block_size; ++i) w.u32v(MFP_TickCyclesInit[i]);
  for (u32 t : MFP_TickCycles) w.u32v(t);
  w.u8v(MFP_TimerBReadCount);
}

bool MFP_RestoreState(StateReader& r) {
  i32 periods[4];
  u32 reloads[4], ticks[16];
  u8 regs[24];
  for (i32& p : periods) p = r.i32v();
  const i32 irq = r.i32v();
  const u32 clock = r.u32v(), spare = r.u32v();
  r.bytes(regs, sizeof regs);
  for (u32& reload : reloads) reload = r.u32v();
  const u32 latch = r.u32v(), soft = r.u32v();
  const i32 service = r.i32v();
  r.skip(4 * tick_block_size);  // the start values are constants of the chip
  for (u32& t : ticks) t = r.u32v();
  const u32 readCount = r.u8v();
  if (!r.ok()) return false;
  for (i32 p : periods)
    if (!valid_period(p)) return false;
  // Timer A's control register keeps the whole byte written to it and Timer
  // B's its low nibble; every reader takes the mode from the low nibble. The
  // in-service channel is one of the sixteen or none.
  if (regs[13] > 0x0f || service < -1 || service > 15) return false;
  // The tick table is the chip's constant: a tick of no cycles, or one whose
  // longest period would not fit a frame position, never comes from it.
  for (u32 t : ticks)
    if (t == 0 || t > max_tick) return false;
  if (!r.applying()) return true;
  for (u32 i = 0; i < 4; ++i) SCHED_TimerPeriods[i] = periods[i];
  FDC_IrqTime = irq;
  MFP_ClockWord = clock;
  MFP_SpareWord = spare;
  for (u32 i = 0; i < 24; ++i) MFP_Regs[i] = regs[i];
  MFP_ReloadC = reloads[0];
  MFP_ReloadB = reloads[1];
  MFP_ReloadA = reloads[2];
  MFP_ReloadD = reloads[3];
  MFP_VectorLatch = latch;
  MFP_SoftEOI = soft;
  MFP_InServiceChannel = service;
  for (u32 i = 0; i < 16; ++i) MFP_TickCycles[i] = ticks[i];
  MFP_TimerBReadCount = u8(readCount);
  return true;
}

void MFP_SaveIntState(StateWriter& w) {
  w.u32v(MFP_VideoIntPending);
  w.u32v(MFP_IntTaken);
}

bool MFP_RestoreIntState(StateReader& r) {
  const u32 pending = r.u32v(), taken = r.u32v();
  if (!r.ok()) return false;
  if (r.applying()) {
    MFP_VideoIntPending = pending & (MFP_VideoVBL | MFP_VideoHBL);
    MFP_IntTaken = taken;
  }
  return true;
}

// The frame count, to which the Shifter's and the keyboard's logs of frame
// numbers refer.
void SCHED_SaveExtension(StateWriter& w) { w.u32v(SCHED_FrameCount); }

bool SCHED_RestoreExtension(StateReader& r) {
  const u32 frames = r.u32v();
  if (r.ok() && r.applying()) SCHED_FrameCount = frames;
  return r.ok();
}

void RTC_SaveExtension(StateWriter& w) { w.u32v(RTC_ModeReg); }

bool RTC_RestoreExtension(StateReader& r) {
  const u32 mode = r.u32v();
  if (!r.ok() || mode > 0xff) return false;
  if (r.applying()) RTC_ModeReg = mode;
  return true;
}
