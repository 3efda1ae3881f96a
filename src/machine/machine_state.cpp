// Saved-state sections of the memory map's I/O registers, the scheduler's
// frame position, the MFP and the interrupt state.
#include "machine/machine_state.h"

#include "host/host.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/scheduler.h"
#include "machine/state_io.h"

namespace {
constexpr u32 tick_block_size = 16;
}

u32 MMU_SaveIORegs(std::FILE* f) {
  bool ok = state_put_bytes(f, &MMU_MemConfig, 1);
  ok = state_put16(f, MMU_MicrowireMask) && ok;
  ok = state_put16(f, MMU_MicrowireData) && ok;
  ok = state_put16(f, MMU_IOSpare) && ok;
  return ok;
}

u32 MMU_RestoreIORegs(std::FILE* f) {
  u8 config;
  u32 mask, data, spare;
  if (!state_get_bytes(f, &config, 1) || !state_get16(f, mask) || !state_get16(f, data) ||
      !state_get16(f, spare))
    return 0;
  MMU_MemConfig = config;
  MMU_MicrowireMask = u16(mask);
  MMU_MicrowireData = u16(data);
  MMU_IOSpare = 0;
  return 1;
}

u32 SCHED_SaveCycle(std::FILE* f) { return state_put32(f, u32(SCHED_FrameCycle)); }

u32 SCHED_RestoreCycle(std::FILE* f) {
  u32 v;
  if (!state_get32(f, v)) return 0;
  // A position outside the frame would never meet its events again.
  const i32 cycle = i32(v);
  SCHED_FrameCycle = cycle < -1 ? -1 : cycle > SCHED_CyclesPerFrame ? SCHED_CyclesPerFrame : cycle;
  EVENTS_InBackground = 0;
  EVENTS_LastMouseH = 192;
  EVENTS_LastMouseV = 129;
  return 1;
}

u32 MFP_SaveState(std::FILE* f) {
  bool ok = true;
  for (i32 p : SCHED_TimerPeriods) ok = state_put32(f, u32(p)) && ok;
  ok = state_put32(f, u32(FDC_IrqTime)) && ok;
  ok = state_put32(f, MFP_ClockWord) && ok;
  ok = state_put32(f, MFP_SpareWord) && ok;
  ok = state_put_bytes(f, MFP_Regs, sizeof MFP_Regs) && ok;
  for (u32 r : {MFP_ReloadC, MFP_ReloadB, MFP_ReloadA, MFP_ReloadD}) ok = state_put32(f, r) && ok;
  ok = state_put32(f, MFP_VectorLatch) && ok;
  ok = state_put32(f, MFP_SoftEOI) && ok;
  ok = state_put32(f, u32(MFP_InServiceChannel)) && ok;
  for (u32 i = 0; i < tick_block_size; ++i) ok = state_put32(f, MFP_TickCyclesInit[i]) && ok;
  for (u32 t : MFP_TickCycles) ok = state_put32(f, t) && ok;
  ok = state_put_bytes(f, &MFP_TimerBReadCount, 1) && ok;
  return ok;
}

u32 MFP_RestoreState(std::FILE* f) {
  u32 periods[4], irq, clock, spare, reloads[4], latch, soft, service, init[16], ticks[16];
  u8 regs[24], readCount;
  bool ok = true;
  for (u32& p : periods) ok = ok && state_get32(f, p);
  ok = ok && state_get32(f, irq) && state_get32(f, clock) && state_get32(f, spare);
  ok = ok && state_get_bytes(f, regs, sizeof regs);
  for (u32& r : reloads) ok = ok && state_get32(f, r);
  ok = ok && state_get32(f, latch) && state_get32(f, soft) && state_get32(f, service);
  for (u32& t : init) ok = ok && state_get32(f, t);
  for (u32& t : ticks) ok = ok && state_get32(f, t);
  ok = ok && state_get_bytes(f, &readCount, 1);
  if (!ok) return 0;
  for (u32 i = 0; i < 4; ++i) SCHED_TimerPeriods[i] = i32(periods[i]);
  FDC_IrqTime = i32(irq);
  MFP_ClockWord = clock;
  MFP_SpareWord = spare;
  for (u32 i = 0; i < 24; ++i) MFP_Regs[i] = regs[i];
  MFP_ReloadC = reloads[0];
  MFP_ReloadB = reloads[1];
  MFP_ReloadA = reloads[2];
  MFP_ReloadD = reloads[3];
  MFP_VectorLatch = latch;
  MFP_SoftEOI = soft;
  MFP_InServiceChannel = i32(service);
  // The start values of the tick table are constants of the chip; only the
  // live table comes from the file.
  for (u32 i = 0; i < 16; ++i) MFP_TickCycles[i] = ticks[i];
  MFP_TimerBReadCount = readCount;
  return 1;
}

u32 MFP_SaveIntState(std::FILE* f) {
  const bool ok = state_put32(f, MFP_VideoIntPending);
  return state_put32(f, MFP_IntTaken) && ok;
}

u32 MFP_RestoreIntState(std::FILE* f) {
  u32 pending, taken;
  if (!state_get32(f, pending) || !state_get32(f, taken)) return 0;
  MFP_VideoIntPending = pending & (MFP_VideoVBL | MFP_VideoHBL);
  MFP_IntTaken = taken;
  return 1;
}
