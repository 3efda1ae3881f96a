#include <gtest/gtest.h>

#include <vector>

#include "cpu/registers.h"
#include "host/events.h"
#include "host/options.h"
#include "host/screen.h"
#include "host/sound.h"
#include "machine/fdc.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/psg.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"
#include "support/machine_fixture.h"

namespace {

class Scheduler : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_reset_globals();
    SCHED_ResetFrame();
    m68k_regfile.pending = 0;
  }
  // One instruction of `cycles` through the scheduler, as the run loop does
  // it, the host's work after it.
  static void step(i32 cycles) {
    SCHED_CycleBefore = SCHED_FrameCycle;
    SCHED_FrameCycle += cycles;
    SCHED_RunEvents();
    if (SCHED_HostDue) SCHED_HostWork();
  }
  // Runs instructions of `cycles` until the frame position reaches `target`.
  static void run_to(i32 target, i32 cycles = 4) {
    while (SCHED_FrameCycle + cycles <= target) step(cycles);
  }
  static void jump_to(i32 position) {
    SCHED_FrameCycle = position;
    SCHED_ComputeNextEvent();
  }
};

}  // namespace

TEST_F(Scheduler, VblAtTheFrameMarkAndFrameEndAfterIt) {
  jump_to(160250);
  step(6);  // ends exactly at 160,256
  EXPECT_EQ(MFP_VideoIntPending, MFP_VideoVBL);
  EXPECT_EQ(SCHED_FrameCycle, 160256);
  EXPECT_EQ(SCHED_FrameCount, 0u);
  step(4);
  EXPECT_EQ(SCHED_FrameCycle, -1);
  EXPECT_EQ(SCHED_FrameCount, 1u);
  EXPECT_EQ(SCHED_LineCounter, 1);
  EXPECT_EQ(SCHED_EventTimes[SCHED_LineEnd], 512);
}

TEST_F(Scheduler, OneInstructionAcrossPollVblAndFrameEnd) {
  jump_to(155990);
  const u32 polls = EVENTS_PollCount;
  step(160300 - 155990);
  EXPECT_EQ(EVENTS_PollCount, polls + 1);
  EXPECT_EQ(MFP_VideoIntPending, MFP_VideoVBL);
  EXPECT_EQ(SCHED_FrameCount, 1u);
  EXPECT_EQ(SCHED_FrameCycle, -1);
  EXPECT_EQ(SCHED_NextEvent, 512);
}

TEST_F(Scheduler, NextEventIsTheEarliestMark) {
  m68k_regfile.imask = 7;
  jump_to(0);
  EXPECT_EQ(SCHED_NextEvent, 512);
  jump_to(155000);
  SCHED_EventTimes[SCHED_LineEnd] = 155136;
  SCHED_ComputeNextEvent();
  EXPECT_EQ(SCHED_NextEvent, 155136);
  SCHED_EventTimes[SCHED_LineEnd] = 160256 + 512;
  SCHED_ComputeNextEvent();
  EXPECT_EQ(SCHED_NextEvent, 156000);
  jump_to(156500);
  EXPECT_EQ(SCHED_NextEvent, 160256);
  jump_to(160256);
  EXPECT_EQ(SCHED_NextEvent, 160257);
}

TEST_F(Scheduler, LineEndsCountLinesAndTheScreenBaseLatchesAtVbl) {
  run_to(512 * 10);
  EXPECT_EQ(SCHED_LineCounter, 11);
  EXPECT_EQ(SCHED_InBorder, 1u);
  run_to(512 * 100);
  EXPECT_EQ(SCHED_InBorder, 0u);
  SHIFTER_LoadBase = 0x78000;
  while (SCHED_FrameCount == 0) step(4);
  EXPECT_EQ(SCREEN_FrameBase, 0x78000u);
  EXPECT_EQ(SCHED_LineCounter, 1);
}

// A side border opens for one line only: each converted line closes it and
// restarts the resolution-switch log, so switches on different lines never
// pair up.
TEST_F(Scheduler, EachLineEndClosesTheSideBordersAndRestartsTheSwitchLog) {
  run_to(512 * 70 + 10);
  MMU_IOPut(0xff8260, 2, 2);
  MMU_IOPut(0xff8260, 2, 0);
  EXPECT_EQ(SHIFTER_LeftBorderOpen, 1u);
  run_to(512 * 71 + 10);
  EXPECT_EQ(SHIFTER_LeftBorderOpen, 0u);
  EXPECT_EQ(SHIFTER_RightBorderOpen, 0u);
  const u32 restarted[4] = {601, 603, 788, 418};
  for (u32 i = 0; i < 4; ++i) EXPECT_EQ(SHIFTER_ResSwitchLog[i], restarted[i]) << i;
  // High at the start of this line and low at the start of a later one: no
  // border opens.
  MMU_IOPut(0xff8260, 2, 2);
  run_to(512 * 72 + 10);
  MMU_IOPut(0xff8260, 2, 0);
  EXPECT_EQ(SHIFTER_LeftBorderOpen, 0u);
}

// The monochrome frame end rebuilds the host palette from the registers.
TEST_F(Scheduler, MonochromeFrameEndRefreshesTheHostPalette) {
  SHIFTER_Mode = 2;
  SHIFTER_Palette[0] = 0x0777;
  SCREEN_HostPalette[0] = 0;
  jump_to(160250);
  step(10);
  EXPECT_EQ(SCREEN_HostPalette[0], SCREEN_Color2Index(65534, 65534, 65534));
  SHIFTER_Mode = 0;
  SHIFTER_Palette[0] = 0;
}

TEST_F(Scheduler, HblOnlyWhileTheMaskAllowsIt) {
  m68k_regfile.imask = 2;
  SCHED_ComputeNextEvent();
  EXPECT_EQ(SCHED_EventTimes[SCHED_Hbl], SCHED_Never);
  run_to(2048);
  EXPECT_EQ(MFP_VideoIntPending & MFP_VideoHBL, 0u);

  m68k_regfile.imask = 1;
  SCHED_ComputeNextEvent();
  EXPECT_EQ(SCHED_EventTimes[SCHED_Hbl], SCHED_LineCounter * 512 - 416);
  run_to(SCHED_LineCounter * 512 - 412);
  EXPECT_EQ(MFP_VideoIntPending & MFP_VideoHBL, MFP_VideoHBL);
}

TEST_F(Scheduler, PeriodicTimersReArmModuloTheFrame) {
  MFP_IERB = 0x20;
  SCHED_TimerPeriods[2] = 200000;
  SCHED_EventTimes[SCHED_TimerC] = SCHED_Rearm(200000);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerC], 39744);
  SCHED_ComputeNextEvent();
  run_to(39744);
  EXPECT_EQ(MFP_IPERB & 0x20, 0x20);
  // Re-armed from the current position, a frame's worth of cycles dropped.
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerC], (39744 + 200000) % SCHED_CyclesPerFrame);
}

TEST_F(Scheduler, TimerCCountsFourPerFrame) {
  MFP_IERB = MFP_IMRB = 0x20;
  MFP_ReloadC = 192;
  SCHED_TimerPeriods[2] = i32(MFP_TimerPeriod(5, 192));
  SCHED_EventTimes[SCHED_TimerC] = SCHED_Rearm(SCHED_TimerPeriods[2]);
  SCHED_ComputeNextEvent();
  u32 fired = 0;
  for (u32 frame = 0; frame < 50;) {
    step(8);
    if (MFP_IPERB & 0x20) {
      ++fired;
      MFP_IPERB = 0;
    }
    if (SCHED_FrameCycle == -1) ++frame;
  }
  EXPECT_GE(fired, 199u);
  EXPECT_LE(fired, 201u);
}

TEST_F(Scheduler, TimerBEventCountCountsDisplayLinesOnly) {
  MFP_TBCR = 8;
  MFP_TBDR = 1;
  MFP_ReloadB = 1;
  MFP_IERA = MFP_IMRA = 0x01;
  run_to(512 * 64 - 8);
  EXPECT_EQ(MFP_IPERA & 0x01, 0);
  run_to(512 * 64);  // end of line 64, the first display line
  EXPECT_EQ(MFP_IPERA & 0x01, 0x01);
  EXPECT_EQ(MFP_TBDR, 1);

  MFP_IPERA = 0;
  MFP_ReloadB = 0;  // reload 0 counts 256 lines
  MFP_TBDR = 1;
  run_to(512 * 65);
  EXPECT_EQ(MFP_IPERA & 0x01, 0x01);
  EXPECT_EQ(MFP_TBDR, 0);
  MFP_IPERA = 0;
  run_to(512 * 263);
  EXPECT_EQ(MFP_IPERA & 0x01, 0);
  EXPECT_EQ(MFP_TBDR, 256 - 198);  // lines 66-263 counted down from 0
}

TEST_F(Scheduler, LoweringTheMaskRequestsArbitrationForWaitingSources) {
  m68k_last_mask = 7;
  MFP_RaiseTimerC();
  m68k_regfile.pending = 0;
  m68k_regfile.imask = 3;
  m68k_sr_changed = 1;
  step(4);
  EXPECT_EQ(m68k_regfile.pending & m68k_pend_interrupt, u32(m68k_pend_interrupt));
  EXPECT_EQ(m68k_last_mask, 3u);
  // Raising it starts nothing.
  m68k_regfile.pending = 0;
  m68k_regfile.imask = 7;
  m68k_sr_changed = 1;
  step(4);
  EXPECT_EQ(m68k_regfile.pending, 0u);
  EXPECT_EQ(m68k_last_mask, 7u);
}

TEST_F(Scheduler, DelayedDiskCompletionRequestsItsInterrupt) {
  MFP_IERB = 0x80;
  FDC_Regs[FDC_Status] = 0x81;
  FDC_IrqTime = 3000;
  SCHED_ComputeNextEvent();
  run_to(3000);
  EXPECT_EQ(MFP_IPERB & 0x80, 0x80);
  EXPECT_EQ(m68k_regfile.pending & m68k_pend_interrupt, u32(m68k_pend_interrupt));
  EXPECT_EQ(FDC_Regs[FDC_Status] & 0x80, 0u);
  EXPECT_EQ(MFP_GPI & 0x20, 0);
  EXPECT_EQ(FDC_IrqTime, SCHED_Never);
}

TEST_F(Scheduler, StoppedCpuAdvancesInSixteenCycleStepsAndEndsFrames) {
  jump_to(160200);
  SCHED_CycleBefore = 160200;
  SCHED_StopStep();
  EXPECT_EQ(SCHED_FrameCycle, 160216);
  while (SCHED_FrameCycle != -1) SCHED_StopStep();
  EXPECT_EQ(MFP_VideoIntPending, MFP_VideoVBL);
  EXPECT_EQ(SCHED_FrameCount, 1u);
}

// Idling over the steps without events leaves, at every step with work,
// what single steps leave there: positions, next-event time, lines, frames
// and the interrupts raised (HBL, VBL, Timer C), over two whole frames.
TEST_F(Scheduler, IdleStepsPassAtOnceAsSingleStepsWould) {
  struct Mark {
    i32 cycle, before, next, line;
    u32 frames, hbls, vbls, timers;
    bool operator==(const Mark&) const = default;
  };
  auto run = [](bool idle) {
    machine_reset_globals();
    SCHED_ResetFrame();
    m68k_regfile.pending = 0;
    m68k_regfile.imask = 1;
    MFP_IERB = 0x20;
    SCHED_TimerPeriods[2] = 9000;
    SCHED_EventTimes[SCHED_TimerC] = 7001;
    SCHED_ComputeNextEvent();
    std::vector<Mark> marks;
    Mark m{};
    while (m.frames < 2) {
      const i32 from = SCHED_FrameCycle, next = SCHED_NextEvent;
      idle ? SCHED_StopIdle() : SCHED_StopStep();
      m.hbls += (MFP_VideoIntPending & MFP_VideoHBL) ? 1 : 0;
      m.vbls += (MFP_VideoIntPending & MFP_VideoVBL) ? 1 : 0;
      m.timers += (MFP_IPERB & 0x20) ? 1 : 0;
      MFP_VideoIntPending = 0;
      MFP_IPERB = 0;
      m = {SCHED_FrameCycle, SCHED_CycleBefore, SCHED_NextEvent, SCHED_LineCounter,
           SCHED_FrameCount, m.hbls, m.vbls, m.timers};
      if (idle || next <= from + SCHED_StopStepCycles) marks.push_back(m);
    }
    return marks;
  };
  const std::vector<Mark> single = run(false), idle = run(true);
  EXPECT_EQ(single.back().hbls, 2 * 313u);
  EXPECT_EQ(single.back().vbls, 2u);
  EXPECT_EQ(idle.size(), single.size());
  EXPECT_TRUE(idle == single);
}

// A stop step's events are done when it returns: the interrupt accepted after
// it adds its entry cycles, and the next check fires only what those cross.
// (Without the mark, the HBL of the step came a second time, so a frame had
// more HBLs than its 313 lines.)
TEST_F(Scheduler, EventsOfAStopStepFireOnceWhenAnInterruptFollows) {
  m68k_regfile.imask = 1;
  const i32 hbl = 2 * 512 - 416;  // on line 2
  SCHED_LineCounter = 2;
  SCHED_EventTimes[SCHED_LineEnd] = 1024;
  jump_to(hbl - 8);
  SCHED_StopStep();
  EXPECT_EQ(SCHED_CycleBefore, SCHED_FrameCycle);
  EXPECT_EQ(MFP_VideoIntPending, MFP_VideoHBL);
  MFP_VideoIntPending = 0;  // taken: the entry adds its cycles
  SCHED_FrameCycle += 44;
  SCHED_NextEvent = hbl + 40;  // a timer due within the entry
  SCHED_RunEvents();
  EXPECT_EQ(MFP_VideoIntPending, 0u);

  // Stopped for a whole frame: one HBL a line, never more.
  u32 hbls = 0;
  SCHED_EventTimes[SCHED_LineEnd] = 512;
  SCHED_ResetFrame();
  SCHED_CycleBefore = 0;
  while (SCHED_FrameCycle != -1) {
    SCHED_StopStep();
    if (MFP_VideoIntPending & MFP_VideoHBL) {
      ++hbls;
      MFP_VideoIntPending = 0;
      SCHED_FrameCycle += 44;
      SCHED_RunEvents();
      if (MFP_VideoIntPending & MFP_VideoHBL) ++hbls;
      MFP_VideoIntPending = 0;
    }
  }
  EXPECT_EQ(hbls, 313u);
}

TEST_F(Scheduler, FrameEndingWhileStoppedStillFinishesItsSound) {
  SOUND_Active = 1;
  PSG_Init(2000000, 44100, 50, 160256, SOUND_PutSample);
  jump_to(160000);
  while (SCHED_FrameCycle != -1) SCHED_StopStep();
  EXPECT_EQ(SOUND_FramesEnded, 1u);
  EXPECT_EQ(SOUND_RingCount(), 882u);
  // And the same for a running CPU.
  jump_to(160250);
  step(20);
  EXPECT_EQ(SOUND_FramesEnded, 2u);
  EXPECT_EQ(SOUND_RingCount(), 1764u);
}

TEST_F(Scheduler, PacingWaitsForTheRestOfTheFrame) {
  PREFS_Unthrottled = 0;
  SCHED_PaceMark = FakeClock::now;
  FakeClock::now += 5000;
  SCHED_PaceFrame();
  EXPECT_EQ(FakeClock::slept, 15000u);
  EXPECT_EQ(SCHED_FrameHistory[0], 5000u);
  // The schedule moves on by exactly one frame.
  EXPECT_EQ(SCHED_PaceMark, FakeClock::now);
  // A frame that took long is followed by a shorter wait.
  FakeClock::now += 30000;
  SCHED_PaceFrame();
  EXPECT_EQ(FakeClock::slept, 15000u);
  FakeClock::now += 1000;
  SCHED_PaceFrame();
  EXPECT_EQ(FakeClock::slept, 15000u + 9000u);
}

TEST_F(Scheduler, PacingResynchronisesAfterAPause) {
  SCHED_PaceMark = FakeClock::now;
  FakeClock::now += 150000;
  SCHED_PaceFrame();
  EXPECT_EQ(SCHED_PaceMark, FakeClock::now);
  EXPECT_EQ(FakeClock::sleeps, 0u);
  EXPECT_EQ(SCHED_FrameHistory[0], 0u);
}

TEST_F(Scheduler, AutomaticFrameSkipFollowsTheAverage) {
  SCHED_AutoSkip = 0;
  for (int i = 0; i < 10; ++i) {
    SCHED_PaceMark = FakeClock::now;
    FakeClock::now += 40000;
    SCHED_PaceFrame();
  }
  EXPECT_GT(SCHED_AutoSkip, 0u);
  EXPECT_LE(SCHED_AutoSkip, 9u);
  PREFS_AutoFrameSkip = 0;
  SCHED_PaceMark = FakeClock::now;
  SCHED_PaceFrame();
  EXPECT_EQ(SCHED_AutoSkip, 0u);
}

TEST_F(Scheduler, UnthrottledFramesNeverWait) {
  PREFS_Unthrottled = 1;
  SCHED_AutoSkip = 4;
  jump_to(160250);
  step(20);
  EXPECT_EQ(FakeClock::sleeps, 0u);
  EXPECT_EQ(SCHED_AutoSkip, 0u);
}

TEST_F(Scheduler, FrameLimitSetsTheStopWord) {
  SCHED_StopAfterFrames = 2;
  jump_to(160250);
  step(20);
  EXPECT_EQ(APP_StopFlag, 0);
  jump_to(160250);
  step(20);
  EXPECT_EQ(APP_StopFlag, 1);
  APP_StopFlag = 0;
  SCHED_StopAfterFrames = 0;
}
