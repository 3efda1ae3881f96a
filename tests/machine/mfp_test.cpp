#include <gtest/gtest.h>

#include "cpu/registers.h"
#include "host/options.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"
#include "support/machine_fixture.h"

namespace {

class Mfp : public MachineMemoryTest {
 protected:
  void SetUp() override {
    MachineMemoryTest::SetUp();
    machine_point_vectors();
    MMU_BusErrorCount = 0;
    SCHED_FrameCycle = 1000;
  }
  static void put(u32 reg, u32 v) { MMU_WriteB(0xfffa01 + 2 * reg, v); }
  static u32 get(u32 reg) { return MMU_ReadB(0xfffa01 + 2 * reg); }
};

enum { GPI, AER, DDR, IERA, IERB, IPRA, IPRB, ISRA, ISRB, IMRA, IMRB, VR, TACR, TBCR, TCDCR,
       TADR, TBDR, TCDR, TDDR };

}  // namespace

TEST_F(Mfp, ResetValues) {
  EXPECT_EQ(MFP_VR, 0x48);
  EXPECT_EQ(MFP_TADR, 1);
  EXPECT_EQ(MFP_GPI, 0xff);
  EXPECT_EQ(MFP_SoftEOI, 1u);
  EXPECT_EQ(SCHED_TimerPeriods[0], -1);
  EXPECT_EQ(MFP_TickCycles[0], 320000u);
  EXPECT_EQ(MFP_TickCycles[7], 512u);
  EXPECT_EQ(MFP_TickCycles[15], 648u);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerC], SCHED_Never);
  EXPECT_EQ(FDC_IrqTime, SCHED_Never);
}

TEST_F(Mfp, EvenAndOutOfRangeAddressesAreBusErrors) {
  // Each access stands for an instruction of its own.
  EXPECT_EQ(MMU_ReadB(0xfffa00), 0u);
  EXPECT_TRUE(machine_end_instruction());
  EXPECT_EQ(MMU_ReadB(0xfffa31), 0u);
  EXPECT_TRUE(machine_end_instruction());
  MMU_WriteB(0xfffa06, 0xff);
  EXPECT_TRUE(machine_end_instruction());
  EXPECT_EQ(MMU_BusErrorCount, 3u);
  EXPECT_EQ(MFP_IERA, 0);
  // Word and long accesses address the odd registers behind them.
  MFP_IERA = 0x12;
  MFP_IERB = 0x34;
  EXPECT_EQ(MMU_ReadW(0xfffa06), 0x12u);
  EXPECT_EQ(MMU_ReadL(0xfffa06), 0x00120034u);
  MMU_WriteL(0xfffa12, 0x00aa00bb);
  EXPECT_EQ(MFP_IMRA, 0xaa);
  EXPECT_EQ(MFP_IMRB, 0xbb);
  EXPECT_EQ(MMU_BusErrorCount, 3u);
}

TEST_F(Mfp, GeneralPurposeInputs) {
  MFP_GPI = 0x00;
  PREFS_PrinterOn = 0;
  EXPECT_EQ(get(GPI), 0xcfu);  // colour monitor: bit 7 set; 0-3 and 6 always
  SHIFTER_Mode = 2;
  EXPECT_EQ(get(GPI) & 0x80, 0u);
  PREFS_PrinterOn = 1;
  EXPECT_EQ(get(GPI) & 0x01, 0u);
  put(GPI, 0x30);  // writes only set bits
  EXPECT_EQ(MFP_GPI & 0x30, 0x30);
}

TEST_F(Mfp, TimerDataReadsCountDown) {
  put(TCDR, 50);
  EXPECT_EQ(get(TCDR), 50u);
  EXPECT_EQ(get(TCDR), 49u);
  put(TADR, 0);
  EXPECT_EQ(get(TADR), 0u);
  EXPECT_EQ(get(TADR), 255u);
  // Timer B in delay mode reads its own counter.
  MFP_TimerBReadCount = 7;
  put(TBCR, 1);
  EXPECT_EQ(get(TBDR), 7u);
  EXPECT_EQ(get(TBDR), 6u);
}

TEST_F(Mfp, DataRegisterIsStoredOnlyWhileStoppedButAlwaysReloads) {
  put(TADR, 10);
  put(IERA, 0x20);
  put(TACR, 1);
  EXPECT_EQ(SCHED_TimerPeriods[0], 160);
  const i32 armed = SCHED_EventTimes[SCHED_TimerA];
  EXPECT_EQ(armed, 1000 + 160);
  put(TADR, 20);
  EXPECT_EQ(MFP_TADR, 10);
  EXPECT_EQ(MFP_ReloadA, 20u);
  EXPECT_EQ(SCHED_TimerPeriods[0], 320);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerA], armed);  // the pending expiry stays
}

TEST_F(Mfp, TimerCAtPrescaler64AndData192RunsAt200Hz) {
  put(TCDR, 192);
  put(IERB, 0x20);
  put(TCDCR, 0x50);
  EXPECT_EQ(SCHED_TimerPeriods[2], 208 * 192);
  // 8,021,248 cycles a second over 39,936 cycles a period: 200.85 Hz.
  EXPECT_EQ(50 * SCHED_CyclesPerFrame / SCHED_TimerPeriods[2], 200);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerC], 1000 + 39936);
}

TEST_F(Mfp, DataValueZeroCounts256Ticks) {
  put(TDDR, 0);
  put(IERB, 0x10);
  put(TCDCR, 0x01);
  EXPECT_EQ(SCHED_TimerPeriods[3], 16 * 256);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerD], 1000 + 4096);
}

TEST_F(Mfp, ControlValuesWithTheResetBitUseTheirLowNibble) {
  put(TADR, 100);
  put(IERA, 0x20);
  put(TACR, 0x17);
  EXPECT_EQ(MFP_TACR, 0x17);  // kept as written
  EXPECT_EQ(SCHED_TimerPeriods[0], 512 * 100);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerA], 1000 + 51200);
  put(TACR, 0x10);  // reset bit alone: stopped
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerA], SCHED_Never);
  MFP_IPERA = 0x20;
  MFP_ISRA = 0x20;
  put(TACR, 0xf0);
  EXPECT_EQ(MFP_IPERA & 0x20, 0);
  EXPECT_EQ(MFP_ISRA & 0x20, 0);
}

TEST_F(Mfp, OneControlWriteProgramsBothTimerCAndTimerD) {
  put(TCDR, 192);
  put(TDDR, 10);
  put(IERB, 0x30);
  put(TCDCR, 0x51);
  EXPECT_EQ(SCHED_TimerPeriods[2], 208 * 192);
  EXPECT_EQ(SCHED_TimerPeriods[3], 16 * 10);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerC], 1000 + 39936);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerD], 1000 + 160);
  // Stopping both in one write stops both.
  MFP_IPERB = 0x30;
  put(TCDCR, 0x00);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerC], SCHED_Never);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerD], SCHED_Never);
  EXPECT_EQ(MFP_IPERB & 0x30, 0);
}

TEST_F(Mfp, ChangingOnlyTimerDLeavesTimerCRunning) {
  put(TCDR, 192);
  put(IERB, 0x30);
  put(TCDCR, 0x50);
  const i32 c = SCHED_EventTimes[SCHED_TimerC];
  SCHED_FrameCycle = 2000;
  put(TCDCR, 0x51);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerC], c);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerD], 2000 + 4096);
}

TEST_F(Mfp, TimerBControl) {
  put(TBDR, 5);
  put(IERA, 0x01);
  put(TBCR, 0x03);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerB], 1000 + 56 * 5);
  put(TBCR, 0x18);  // event count: counted by the line ends, no time
  EXPECT_EQ(MFP_TBCR, 0x08);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerB], SCHED_Never);
  MFP_IPERA = 0x01;
  put(TBCR, 0x10);  // reset without a mode: stopped and cleared
  EXPECT_EQ(MFP_TBCR, 0);
  EXPECT_EQ(MFP_TBDR, 0);
  EXPECT_EQ(MFP_IPERA & 0x01, 0);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerB], SCHED_Never);
}

TEST_F(Mfp, EnableRegistersMaskPendingBitsAndArmTimers) {
  put(TADR, 10);
  put(TACR, 1);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerA], SCHED_Never);  // not enabled yet
  put(IERA, 0x20);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerA], 1000 + 160);
  MFP_IPERA = 0x21;
  put(IERA, 0x01);
  EXPECT_EQ(MFP_IPERA, 0x00);  // Timer A masked off; Timer B stopped
  MFP_IPERA = 0x21;
  put(TBCR, 0x01);
  put(IERA, 0x01);
  EXPECT_EQ(MFP_IPERA, 0x01);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerA], SCHED_Never);
  MFP_IPERB = 0xf0;
  put(IERB, 0x40);
  EXPECT_EQ(MFP_IPERB, 0x40);
}

TEST_F(Mfp, PendingAndInServiceCanOnlyBeCleared) {
  MFP_IPERA = 0x21;
  put(IPRA, 0xff);
  EXPECT_EQ(MFP_IPERA, 0x21);
  put(IPRA, 0xdf);
  EXPECT_EQ(MFP_IPERA, 0x01);
  MFP_ISRB = 0x30;
  MFP_InServiceChannel = 5;
  put(ISRB, 0xdf);
  EXPECT_EQ(MFP_ISRB, 0x10);
  EXPECT_EQ(MFP_InServiceChannel, 4);
  put(ISRB, 0);
  EXPECT_EQ(MFP_InServiceChannel, -1);
}

TEST_F(Mfp, VectorRegisterWriteClearsPendingAndInService) {
  MFP_IPERA = MFP_IPERB = MFP_ISRA = MFP_ISRB = 0xff;
  put(VR, 0x40);
  EXPECT_EQ(MFP_IPERA | MFP_IPERB | MFP_ISRA | MFP_ISRB, 0);
  EXPECT_EQ(MFP_SoftEOI, 0u);
  put(VR, 0x48);
  EXPECT_EQ(MFP_SoftEOI, 1u);
}

TEST_F(Mfp, LaterTosReadsTimerAPending) {
  EXPECT_EQ(get(IPRA), 0u);
  MMU_TosVersion = 26;
  EXPECT_EQ(get(IPRA), 0x20u);
  EXPECT_EQ(MFP_IPERA, 0);
}
