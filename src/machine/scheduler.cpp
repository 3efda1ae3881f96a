#include "machine/scheduler.h"

#include <algorithm>

#include "blitter/blitter.h"
#include "common/console.h"
#include "cpu/registers.h"
#include "host/app.h"
#include "host/events.h"
#include "host/options.h"
#include "host/screen.h"
#include "host/sound.h"
#include "machine/acia.h"
#include "machine/diskimg.h"
#include "machine/fdc.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/psg.h"
#include "machine/shifter.h"
#include "machine/state.h"

i32 SCHED_FrameCycle;
i32 SCHED_CycleBefore;
i32 SCHED_EventTimes[8] = {SCHED_Never, SCHED_Never, SCHED_Never, SCHED_Never,
                           512,         SCHED_Never, SCHED_Never, SCHED_Never};
i32 SCHED_TimerPeriods[4] = {-1, -1, -1, -1};
i32 FDC_IrqTime = SCHED_Never;
i32 SCHED_LineCounter = 1;
u32 SCHED_FrameCount;
u32 SCHED_PassReplaced;
u32 SCHED_HostDue;
u32 SCHED_InBorder;
u32 SCHED_SpareWord;
u32 SCHED_PollTick;
u32 SCHED_LastEventTick;
u32 SCHED_FramesThisSecond;
u64 SCHED_SecondMark;
u64 SCHED_PaceMark;
u32 SCHED_FrameHistory[10];
i32 SCHED_FrameAverage;
u32 SCHED_AutoSkip;
u32 m68k_last_mask;
u32 SCHED_StopAfterFrames;
u64 SCHED_FramesEnded;

u32 SCREEN_FrameDirty;
u32 SCREEN_UseShadow;
u32 SCREEN_FramesSinceDraw;
u32 SCREEN_FirstLine = 64;
u32 SCREEN_DisplayLines = 200;

namespace {

inline bool due(i32 t) { return SCHED_CycleBefore < t && t <= SCHED_FrameCycle; }

inline void take_earlier(i32& next, i32 t) {
  if (t < next && t > SCHED_FrameCycle) next = t;
}

// The disk controller's delayed completion.
void disk_completion(bool stopped) {
  if (PREFS_FdcDelay && (!stopped || !(FDC_Regs[FDC_Status] & 0x01))) {
    if (MFP_IERB & 0x80) {
      MFP_IPERB |= 0x80;
      // The pending bit alone would wait for another source to start an
      // arbitration: request one.
      m68k_pend_set(m68k_pend_interrupt);
    }
    if (!stopped) FDC_Regs[FDC_Status] &= ~0x80u;
    MFP_GPI &= u8(~0x20);
  }
  FDC_IrqTime = SCHED_Never;
}

// The event-count mode of Timer B counts display lines.
void count_line_for_timer_b(bool stopped) {
  if (MFP_TBCR != 8) return;
  MFP_TBDR = u8(MFP_TBDR - 1);
  if (MFP_TBDR != 0) return;
  MFP_TBDR = u8(MFP_ReloadB);
  if ((MFP_IERA & 0x01) && (stopped || (MFP_IMRA & 0x01))) MFP_RaiseTimerB();
}

void fire_due_events(bool stopped) {
  i32* t = SCHED_EventTimes;
  if (due(t[SCHED_TimerC])) {
    MFP_RaiseTimerC();
    t[SCHED_TimerC] = SCHED_Rearm(SCHED_TimerPeriods[2]);
  }
  if (MFP_TBCR != 8 && due(t[SCHED_TimerB])) {
    MFP_RaiseTimerB();
    t[SCHED_TimerB] = SCHED_Rearm(SCHED_TimerPeriods[1]);
  }
  if (due(t[SCHED_Hbl])) MFP_RaiseHBL();
  if (due(t[SCHED_LineEnd])) {
    const u32 line = u32(SCHED_LineCounter);
    const u32 lines = stopped ? 200 : SCREEN_DisplayLines;
    if (SCREEN_FirstLine <= line && line < SCREEN_FirstLine + lines) {
      SCHED_InBorder = 0;
      count_line_for_timer_b(stopped);
    } else {
      SCHED_InBorder = 1;
    }
    if (SHIFTER_Mode <= 1 && SCREEN_BigScreen == 0) SCREEN_ConvertLine(line);
    t[SCHED_LineEnd] += SCHED_CyclesPerLine;
    SCHED_LineCounter += 1;
  }
  if (due(t[SCHED_TimerA])) {
    MFP_RaiseTimerA();
    t[SCHED_TimerA] = SCHED_Rearm(SCHED_TimerPeriods[0]);
  }
  if (due(t[SCHED_TimerD])) {
    MFP_RaiseTimerD();
    t[SCHED_TimerD] = SCHED_Rearm(SCHED_TimerPeriods[3]);
  }
  if (due(FDC_IrqTime)) disk_completion(stopped);
  if (due(t[SCHED_Keyboard])) ACIA_RaiseKeyboardIRQ();
  if (SCHED_CycleBefore <= SCHED_PollMark - 1 && SCHED_FrameCycle >= SCHED_PollMark) {
    if (SCHED_PollTick - SCHED_LastEventTick > 1) {
      // The drive's motor is seen off once a host tick has passed. (Only
      // here: the host acting inside a Blitter operation changes nothing
      // the ST sees.)
      FDC_Regs[FDC_Status] &= ~0x80u;
      SCHED_HostDue |= SCHED_HostEvents;
      SCHED_LastEventTick = SCHED_PollTick;
    }
    SCHED_PollTick = HOST_TickCount();
    SCHED_FramesThisSecond += 1;
    SCHED_HostDue |= SCHED_HostPointer;
  }
  if (SCHED_CycleBefore <= SCHED_CyclesPerFrame - 1 && SCHED_FrameCycle >= SCHED_CyclesPerFrame) {
    if (!stopped) SCREEN_FrameBase = SHIFTER_LoadBase;
    MFP_RaiseVBL();
  }
}

// Steps of the frame end shared by the running and the stopped CPU.
void frame_end_host_work() {
  SCREEN_UseShadow =
      (PREFS_BufferedDrawing || EVENTS_Suspended || SCREEN_RedrawRequest || EVENTS_WindowObscured)
          ? 1
          : 0;
  if (SCREEN_VideoWritten) {
    SCREEN_FrameDirty = 1;
    SCREEN_VideoWritten = 0;
  }
  if (SCREEN_RedrawRequest || SHIFTER_ChangePending) {
    SCREEN_RedrawRequest = 0;
    SCREEN_ForceRedraw = 1;
    SCREEN_FrameDirty = 1;
  }
  const u64 now = HOST_Microseconds();
  if (u32(now) - u32(SCHED_SecondMark) > 1000000) {
    SCHED_SecondMark = now;
    CONSOLE_Report();
    STATE_SpareWord = 0;
    if (PREFS_SpeedCounters) SCREEN_DrawSpeedCounters();
    SCHED_FramesThisSecond = 0;
  }
  PRINTER_Flush();
  if (EVENTS_Paused == 1) SCHED_HostDue |= SCHED_HostPause;
}

void count_frame() {
  DISKIMG_FrameEnded();
  SCHED_FrameCount += 1;
  SCHED_FramesEnded += 1;
  if (SCHED_StopAfterFrames && --SCHED_StopAfterFrames == 0) APP_StopFlag = 1;
}

void pace_or_not() {
  if (!PREFS_Unthrottled)
    SCHED_PaceFrame();
  else
    SCHED_AutoSkip = 0;
}

void frame_end() {
  SCHED_FrameCycle = -1;
  SCHED_CycleBefore = -1;
  SOUND_EndFrame();
  frame_end_host_work();
  if (SCHED_FrameCount != SHIFTER_SyncSwitchLog[2]) {
    if (SHIFTER_BottomBorderOpen || SHIFTER_TopBorderOpen) SCREEN_InvalidateLines();
    SHIFTER_TopBorderOpen = 0;
    SCREEN_FirstLine = 64;
    SCREEN_DisplayLines = 200;
    SHIFTER_BottomBorderOpen = 0;
  }
  if (SHIFTER_ResFrames[0] != SHIFTER_ResFrames[1]) SHIFTER_MixedRes = 0;
  SCREEN_FramesSinceDraw += 1;
  if (SHIFTER_Mode == 2 || SCREEN_BigScreen) {
    SCREEN_UpdatePalette();
    if (SCREEN_FramesSinceDraw >= PREFS_FrameSkip + SCHED_AutoSkip) {
      SCREEN_Present();
      SCREEN_FramesSinceDraw = 0;
    }
  }
  count_frame();
  pace_or_not();
  SCHED_EventTimes[SCHED_LineEnd] = SCHED_CyclesPerLine;
  SCHED_LineCounter = 1;
}

}  // namespace

void SCHED_ComputeNextEvent() {
  m68k_sr_compose();
  const i32* t = SCHED_EventTimes;
  i32 next = SCHED_CyclesPerFrame + 1;
  take_earlier(next, t[SCHED_LineEnd]);
  if (m68k_regfile.imask <= 1) {
    SCHED_EventTimes[SCHED_Hbl] = SCHED_LineCounter * SCHED_CyclesPerLine - 416;
    take_earlier(next, t[SCHED_Hbl]);
  } else {
    SCHED_EventTimes[SCHED_Hbl] = SCHED_Never;
  }
  if (next > SCHED_CyclesPerFrame && SCHED_FrameCycle <= SCHED_CyclesPerFrame - 1)
    next = SCHED_CyclesPerFrame;
  take_earlier(next, t[SCHED_TimerA]);
  take_earlier(next, t[SCHED_TimerB]);
  take_earlier(next, t[SCHED_TimerC]);
  take_earlier(next, t[SCHED_TimerD]);
  take_earlier(next, t[SCHED_Keyboard]);
  if (next > SCHED_PollMark && SCHED_FrameCycle <= SCHED_PollMark - 1) next = SCHED_PollMark;
  take_earlier(next, FDC_IrqTime);
  SCHED_NextEvent = next;
  m68k_check_at = m68k_regfile.pending ? m68k_check_now : next;
}

void SCHED_EventsRestored() {
  m68k_sr_compose();
  // While the pass of the last instruction is still to come (a quit inside a
  // Blitter operation it started), the events it crossed have not fired:
  // they are looked for from the instruction's start.
  const i32 now = (m68k_regfile.pending & m68k_pend_blitter) ? SCHED_CycleBefore : SCHED_FrameCycle;
  i32 next = SCHED_CyclesPerFrame + 1;
  for (const i32 mark : {SCHED_CyclesPerFrame, SCHED_PollMark})
    if (now < mark) next = std::min(next, mark);
  for (u32 i = 0; i < 8; ++i)
    if (i != SCHED_Next && SCHED_EventTimes[i] > now) next = std::min(next, SCHED_EventTimes[i]);
  if (FDC_IrqTime > now) next = std::min(next, FDC_IrqTime);
  SCHED_NextEvent = next;
  m68k_check_at = m68k_regfile.pending ? m68k_check_now : next;
}

void SCHED_RunEvents() {
  if (m68k_sr_changed == 1) {
    m68k_sr_changed = 0;
    m68k_sr_compose();
    if (m68k_regfile.imask <= m68k_last_mask && MFP_AnyPending())
      m68k_pend_set(m68k_pend_interrupt);
    m68k_last_mask = m68k_regfile.imask;
  }
  if (due(SCHED_NextEvent)) {
    fire_due_events(false);
    if (SCHED_FrameCycle > SCHED_CyclesPerFrame) frame_end();
    SCHED_ComputeNextEvent();
  }
}

void SCHED_HostWork() {
  const u32 due = SCHED_HostDue;
  SCHED_HostDue = 0;
  // A state the host loads replaces the machine: the rest of this work was
  // the old machine's (it may be owed a pass the restored one has not had).
  if (due & SCHED_HostEvents) EVENTS_DoEvent(0);
  if (SCHED_PassReplaced) return;
  if (due & SCHED_HostPointer) EVENTS_PollMouse();
  if (SCHED_PassReplaced) return;
  if ((due & SCHED_HostPause) && EVENTS_Paused == 1) EVENTS_PauseLoop();
}

bool SCHED_FinishBlitter() {
  while ((BLITTER_Stopped | BLITTER_BreakAsked) && APP_StopFlag == 0) {
    BLITTER_BreakAsked = 0;
    EVENTS_DoEvent(0);
    if (APP_StopFlag == 0) BLITTER_Resume();
  }
  return BLITTER_Stopped == 0;
}

namespace {

// One step of a stopped CPU from the position where the next-event time was
// last computed.
void stop_step_computed() {
  SCHED_CycleBefore = SCHED_FrameCycle;
  SCHED_SpareWord = 0;
  SCHED_FrameCycle += SCHED_StopStepCycles;
  if (due(SCHED_NextEvent)) {
    fire_due_events(true);
    if (SCHED_FrameCycle > SCHED_CyclesPerFrame - 1 &&
        SCHED_FrameCycle < SCHED_CyclesPerFrame + i32(PREFS_ClockFactor))
      SCREEN_FrameBase = SHIFTER_LoadBase;
    if (SCHED_FrameCycle > SCHED_CyclesPerFrame) {
      SCHED_EventTimes[SCHED_LineEnd] = SCHED_CyclesPerLine;
      SCHED_CycleBefore = -1;
      SCHED_LineCounter = 1;
      SCHED_FrameCycle = -1;
      // A frame that ends while the processor is stopped still has its sound.
      SOUND_EndFrame();
      frame_end_host_work();
      SCREEN_FramesSinceDraw += 1;
      SCREEN_FrameBase = SHIFTER_LoadBase;
      if (SHIFTER_Mode == 2 || SCREEN_BigScreen) {
        SCREEN_UpdatePalette();
        if (SCREEN_FramesSinceDraw >= PREFS_FrameSkip) {
          SCREEN_Present();
          SCREEN_FramesSinceDraw = 0;
        }
      }
      STATE_SpareWord = 0;
      count_frame();
      SCHED_ComputeNextEvent();
      pace_or_not();
    }
  }
  SCHED_ComputeNextEvent();
  // The step's time is accounted for. An interrupt accepted now adds its
  // entry cycles to the frame position, and the events those cycles cross
  // are fired by the next SCHED_RunEvents; without this mark that call would
  // look at the step again and fire its events a second time.
  SCHED_CycleBefore = SCHED_FrameCycle;
}

}  // namespace

void SCHED_StopStep() {
  SCHED_ComputeNextEvent();
  stop_step_computed();
}

void SCHED_StopIdle() {
  SCHED_ComputeNextEvent();
  // A step from F to F + 16 has work when F < SCHED_NextEvent <= F + 16.
  // Until then each step only moves the position: the next-event time it
  // computes stays the same, since no event time lies in between, so the
  // one computed here serves the step with the work too.
  const i32 idle = (SCHED_NextEvent - SCHED_FrameCycle - 1) / SCHED_StopStepCycles;
  if (idle > 0) SCHED_FrameCycle += idle * SCHED_StopStepCycles;
  stop_step_computed();
}

void SCHED_ResetFrame() {
  SCHED_FrameCycle = 0;
  SCHED_LineCounter = 1;
  SCHED_ComputeNextEvent();
}

void SCHED_PaceFrame() {
  const u64 now = HOST_Microseconds();
  const u32 elapsed = u32(now) - u32(SCHED_PaceMark);
  if (elapsed > 99999) {
    SCHED_PaceMark = now;
    return;
  }
  for (int i = 9; i > 0; --i) SCHED_FrameHistory[i] = SCHED_FrameHistory[i - 1];
  SCHED_FrameHistory[0] = elapsed;
  i64 sum = 0;
  for (u32 v : SCHED_FrameHistory) sum += i64(i32(v));
  SCHED_FrameAverage = i32(sum / 10);
  if (elapsed <= 19999) HOST_Sleep(20000 - elapsed);
  i32 skip = i32(SCHED_AutoSkip);
  if (SCHED_FrameAverage <= 19999)
    skip -= 1;
  else if (SCHED_FrameAverage > 30000)
    skip += 1;
  SCHED_AutoSkip = u32(skip < 0 ? 0 : skip > 9 ? 9 : skip);
  // The schedule advances by exactly one frame, so a late frame is followed
  // by shorter waits. Only the low word moves.
  SCHED_PaceMark = (SCHED_PaceMark & ~u64(0xffffffff)) | u32(u32(SCHED_PaceMark) + 20000);
  if (!PREFS_AutoFrameSkip) SCHED_AutoSkip = 0;
}

void SCHED_Reset() {
  SCHED_FrameCycle = 0;
  SCHED_CycleBefore = 0;
  SCHED_ComputeNextEvent();
}
