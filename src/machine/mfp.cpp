#include "machine/mfp.h"

#include "cpu/exceptions.h"
#include "host/options.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"

u8 MFP_Regs[24];
u32 MFP_ReloadA, MFP_ReloadB, MFP_ReloadC, MFP_ReloadD;
const u32 MFP_TickCyclesInit[16] = {320000, 16, 32,  56,  160, 208, 328, 512,
                                    512,    16, 32,  56,  160, 208, 328, 648};
u32 MFP_TickCycles[16];
u8 MFP_TimerBReadCount;
i32 MFP_InServiceChannel;
u32 MFP_SoftEOI;
u32 MFP_ClockWord;
u32 MFP_SpareWord;

namespace {

constexpr u32 first_reg = 0xfffa01;
constexpr u32 last_reg = 0xfffa2f;

// Register index of an address, or -1 for an even or out-of-range address.
inline int reg_index(u32 addr) {
  if (!(addr & 1) || addr < first_reg || addr > last_reg) return -1;
  return int((addr - first_reg) >> 1);
}

void recompute_in_service() {
  if (MFP_ISRA & 0x20) MFP_InServiceChannel = 13;
  else if (MFP_ISRA & 0x01) MFP_InServiceChannel = 8;
  else if (MFP_ISRB & 0x80) MFP_InServiceChannel = 7;
  else if (MFP_ISRB & 0x40) MFP_InServiceChannel = 6;
  else if (MFP_ISRB & 0x20) MFP_InServiceChannel = 5;
  else if (MFP_ISRB & 0x10) MFP_InServiceChannel = 4;
  else MFP_InServiceChannel = -1;
}

i32& period(u32 timer) { return SCHED_TimerPeriods[timer]; }  // 0 A, 1 B, 2 C, 3 D
constexpr u32 A = 0, B = 1, C = 2, D = 3;

void arm(u32 event, i32 p, bool running) {
  SCHED_EventTimes[event] = running ? SCHED_Rearm(p) : SCHED_Never;
}

// Timer B runs on the scheduler only in a delay mode with its channel enabled.
void arm_timer_b() {
  const bool running = (MFP_IERA & 0x01) && !(MFP_TBCR & 0x08) && MFP_TBCR != 0;
  arm(SCHED_TimerB, period(B), running);
  if (!running) MFP_IPERA &= u8(~0x01);
}

// Applies a control nibble of timer C or D (channel bit `bit` of the B
// registers): its period and scheduling, and when stopped, its pending and
// in-service bits cleared.
void apply_cd_control(u32 timer, u32 event, u32 ctl, u32 reload, u8 bit) {
  period(timer) = i32(MFP_TimerPeriod(ctl, reload));
  arm(event, period(timer), (MFP_IERB & bit) && (ctl & 0x07));
  if (ctl == 0) {
    MFP_IPERB &= u8(~bit);
    MFP_ISRB &= u8(~bit);
    recompute_in_service();
    SCHED_EventTimes[event] = SCHED_Never;
  }
}

void write_tcdcr(u32 value) {
  const u32 old = MFP_TCDCR;
  const bool d_changed = (old & 0x0f) != (value & 0x0f);
  const bool c_changed = (old & 0xf0) != (value & 0xf0);
  MFP_TCDCR = u8(value);
  if (d_changed) apply_cd_control(D, SCHED_TimerD, value & 0x0f, MFP_ReloadD, 0x10);
  // Timer C's nibble is applied whenever it changed, also together with D's.
  if (c_changed || !d_changed)
    apply_cd_control(C, SCHED_TimerC, (value >> 4) & 0x0f, MFP_ReloadC, 0x20);
}

}  // namespace

u32 MFP_TimerPeriod(u32 control, u32 data) {
  data &= 0xff;
  return MFP_TickCycles[control & 0x0f] * (data == 0 ? 256 : data);
}

i32 MFP_Init() {
  MFP_ReloadA = MFP_ReloadB = MFP_ReloadC = MFP_ReloadD = 0;
  MFP_VR = 0x48;
  MFP_VideoIntPending = 0;
  MFP_IPERA = MFP_IPERB = MFP_ISRA = MFP_ISRB = MFP_IERA = MFP_IERB = 0;
  MFP_AER = MFP_TACR = MFP_TBCR = MFP_TCDCR = 0;
  MFP_TADR = MFP_TBDR = MFP_TCDR = MFP_TDDR = 1;
  MFP_GPI = 0xff;
  for (u32 i = 0; i < 16; ++i) MFP_TickCycles[i] = MFP_TickCyclesInit[i];
  SCHED_EventTimes[SCHED_LineEnd] = 512;
  MFP_ClockWord = PREFS_ClockFactor << 10;
  MFP_TimerBReadCount = 0;
  MFP_InServiceChannel = 0;
  MFP_SoftEOI = 1;
  for (i32& p : SCHED_TimerPeriods) p = -1;
  SCHED_EventTimes[SCHED_TimerA] = SCHED_EventTimes[SCHED_TimerB] = SCHED_Never;
  SCHED_EventTimes[SCHED_TimerC] = SCHED_EventTimes[SCHED_TimerD] = SCHED_Never;
  SCHED_EventTimes[SCHED_Keyboard] = SCHED_Never;
  FDC_IrqTime = SCHED_Never;
  return 0;
}

void MFP_Reset() { MFP_Init(); }

u32 MFP_GetB(u32 addr) {
  const int i = reg_index(addr);
  if (i < 0) {
    MMU_BusError();
    return 0;
  }
  u8& reg = MFP_Regs[i];
  switch (i) {
    case 0: {
      u32 v = SHIFTER_Mode == 2 ? (reg & 0x7f) : (reg | 0x80);
      v |= 0x4f;
      if (PREFS_PrinterOn) v &= ~1u;
      reg = u8(v);
      return v;
    }
    case 5: return MMU_TosVersion > 20 ? u32(reg | 0x20) : reg;
    case 15:
    case 17:
    case 18: {
      const u32 v = reg;
      reg = u8(v - 1);
      return v;
    }
    case 16:
      if ((MFP_TBCR & 0x08) || MFP_TBCR == 0) return reg;
      return MFP_TimerBReadCount--;
    default: return reg;
  }
}

u32 MFP_GetW(u32 addr) { return MFP_GetB(addr + 1); }
u32 MFP_GetL(u32 addr) { return (MFP_GetB(addr + 1) << 16) | MFP_GetB(addr + 3); }

void MFP_PutB(u32 addr, u32 value) {
  value &= 0xff;
  const int i = reg_index(addr);
  if (i < 0) {
    MMU_BusError();
    SCHED_ComputeNextEvent();
    return;
  }
  switch (i) {
    case 0: MFP_GPI |= u8(value & 0x7f); break;
    case 3:  // IERA
      MFP_IERA = u8(value);
      MFP_IPERA &= u8(value);
      arm_timer_b();
      arm(SCHED_TimerA, period(A), (MFP_IERA & 0x20) && (MFP_TACR & 0x0f));
      break;
    case 4:  // IERB
      MFP_IERB = u8(value);
      MFP_IPERB &= u8(value);
      if ((MFP_IERB & 0x20) && (MFP_TCDCR & 0x70)) {
        arm(SCHED_TimerC, period(C), true);
      } else {
        SCHED_EventTimes[SCHED_TimerC] = SCHED_Never;
        MFP_IPERB &= u8(~0x20);
      }
      if ((MFP_IERB & 0x10) && (MFP_TCDCR & 0x07)) {
        arm(SCHED_TimerD, period(D), true);
      } else {
        SCHED_EventTimes[SCHED_TimerD] = SCHED_Never;
        MFP_IPERB &= u8(~0x10);
      }
      break;
    case 5: MFP_IPERA &= u8(value); break;
    case 6: MFP_IPERB &= u8(value); break;
    case 7:
    case 8:
      MFP_Regs[i] &= u8(value);
      recompute_in_service();
      break;
    case 11:  // VR
      MFP_VR = u8(value);
      MFP_SoftEOI = (value & 0x08) ? 1 : 0;
      MFP_ISRA = MFP_ISRB = MFP_IPERA = MFP_IPERB = 0;
      break;
    case 12:  // TACR: the byte is kept whole, the mode is its low nibble
      MFP_TACR = u8(value);
      period(A) = i32(MFP_TimerPeriod(value, MFP_ReloadA));
      arm(SCHED_TimerA, period(A), (MFP_IERA & 0x20) && (value & 0x0f));
      if ((value & 0x0f) == 0) {
        MFP_ISRA &= u8(~0x20);
        MFP_IPERA &= u8(~0x20);
        recompute_in_service();
      }
      break;
    case 13:  // TBCR
      MFP_TBCR = u8(value & 0x0f);
      if (value == 0x10) MFP_TBDR = 0;
      period(B) = i32(MFP_TimerPeriod(MFP_TBCR, MFP_ReloadB));
      arm(SCHED_TimerB, period(B),
          (MFP_IERA & 0x01) && !(MFP_TBCR & 0x08) && MFP_TBCR != 0);
      if (value & 0x08) SCHED_EventTimes[SCHED_TimerB] = SCHED_Never;
      if ((value & 0x0f) == 0) {
        MFP_ISRA &= u8(~0x01);
        MFP_IPERA &= u8(~0x01);
        recompute_in_service();
        SCHED_EventTimes[SCHED_TimerB] = SCHED_Never;
      }
      break;
    case 14: write_tcdcr(value); break;
    case 15:  // TADR
      if ((MFP_TACR & 0x0f) == 0) MFP_TADR = u8(value);
      MFP_ReloadA = value;
      period(A) = i32(MFP_TimerPeriod(MFP_TACR, value));
      break;
    case 16:
      if (MFP_TBCR == 0) MFP_TBDR = u8(value);
      MFP_ReloadB = value;
      period(B) = i32(MFP_TimerPeriod(MFP_TBCR, value));
      break;
    case 17:
      if ((MFP_TCDCR & 0xf0) == 0) MFP_TCDR = u8(value);
      MFP_ReloadC = value;
      period(C) = i32(MFP_TimerPeriod(MFP_TCDCR >> 4, value));
      break;
    case 18:
      if ((MFP_TCDCR & 0x0f) == 0) MFP_TDDR = u8(value);
      MFP_ReloadD = value;
      period(D) = i32(MFP_TimerPeriod(MFP_TCDCR & 0x0f, value));
      break;
    default: MFP_Regs[i] = u8(value); break;  // AER, DDR, IMRA, IMRB, USART
  }
  SCHED_ComputeNextEvent();
}

void MFP_PutW(u32 addr, u32 value) { MFP_PutB(addr + 1, value & 0xff); }
void MFP_PutL(u32 addr, u32 value) {
  MFP_PutB(addr + 1, (value >> 16) & 0xff);
  MFP_PutB(addr + 3, value & 0xff);
}
