#include <gtest/gtest.h>

#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "machine/acia.h"
#include "machine/ikbd.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "support/machine_fixture.h"

namespace {

class Interrupts : public MachineMemoryTest {
 protected:
  void SetUp() override {
    MachineMemoryTest::SetUp();
    machine_point_vectors();
    MFP_VR = 0x40;  // vectors 0x40-0x4f, automatic end of interrupt
    MFP_IERA = MFP_IMRA = 0x21;
    MFP_IERB = MFP_IMRB = 0xf0;
    set_mask(3);
  }
  void TearDown() override { IKBD_QueueCount = 0; }
  static void set_mask(u32 m) {
    m68k_regfile.imask = m;
    m68k_regfile.a[7] = 0x8000;
    m68k_jump_to(0x2000);
  }
  // The vector the last arbitration took, or 0 when none.
  static u32 taken() {
    const u32 pc = m68k_get_pc();
    return pc == 0x2000 ? 0 : (pc - 0x10000) / 4;
  }
};

}  // namespace

TEST_F(Interrupts, RaiseSetsPendingAndTheCpuRequestOnly) {
  MFP_IERB = 0;
  m68k_regfile.pending = 0;
  MFP_RaiseTimerC();
  EXPECT_EQ(MFP_IPERB, 0x20);
  EXPECT_EQ(m68k_regfile.pending, u32(m68k_pend_interrupt));
  MFP_CheckInterrupts();  // not enabled: stays pending
  EXPECT_EQ(taken(), 0u);
  EXPECT_EQ(MFP_IPERB, 0x20);
  EXPECT_EQ(MFP_AnyPending(), 1u);
}

TEST_F(Interrupts, TimerAGoesBeforeTimerC) {
  MFP_RaiseTimerC();
  MFP_RaiseTimerA();
  MFP_CheckInterrupts();
  EXPECT_EQ(taken(), 0x4du);
  EXPECT_EQ(m68k_regfile.imask, 6u);
  EXPECT_EQ(MFP_IPERA, 0);
  EXPECT_EQ(MFP_IPERB, 0x20);
  EXPECT_EQ(MFP_IntTaken, 1u);
  EXPECT_EQ(MFP_VectorLatch, 0u);
  set_mask(3);
  MFP_CheckInterrupts();
  EXPECT_EQ(taken(), 0x45u);
}

TEST_F(Interrupts, PriorityOrderOfAllChannels) {
  const u32 expected[] = {0x4d, 0x48, 0x47, 0x46, 0x45, 0x44, 28, 26};
  MFP_RaiseHBL();
  MFP_RaiseVBL();
  MFP_RaiseTimerD();
  MFP_RaiseTimerC();
  MFP_RaiseACIA();
  MFP_RaiseDisk();
  MFP_RaiseTimerB();
  MFP_RaiseTimerA();
  for (u32 v : expected) {
    set_mask(0);
    MFP_CheckInterrupts();
    EXPECT_EQ(taken(), v);
  }
  EXPECT_EQ(MFP_AnyPending(), 0u);
}

TEST_F(Interrupts, MaskSixRefusesEveryMfpChannel) {
  set_mask(6);
  MFP_RaiseTimerA();
  MFP_RaiseTimerD();
  MFP_CheckInterrupts();
  EXPECT_EQ(taken(), 0u);
  EXPECT_EQ(MFP_IntTaken, 0u);
  EXPECT_EQ(MFP_IPERA, 0x20);
}

TEST_F(Interrupts, VideoLevels) {
  set_mask(4);
  MFP_RaiseVBL();
  MFP_CheckInterrupts();
  EXPECT_EQ(taken(), 0u);
  set_mask(3);
  MFP_CheckInterrupts();
  EXPECT_EQ(taken(), 28u);
  EXPECT_EQ(m68k_regfile.imask, 4u);

  set_mask(2);
  MFP_RaiseHBL();
  MFP_CheckInterrupts();
  EXPECT_EQ(taken(), 0u);
  set_mask(1);
  MFP_CheckInterrupts();
  EXPECT_EQ(taken(), 26u);
  EXPECT_EQ(MFP_VideoIntPending, 0u);
}

TEST_F(Interrupts, SoftwareEndOfInterrupt) {
  MFP_VR = 0x48;
  MFP_RaiseTimerC();
  MFP_CheckInterrupts();
  EXPECT_EQ(taken(), 0x45u);
  EXPECT_EQ(MFP_ISRB, 0x20);
  EXPECT_EQ(MFP_InServiceChannel, 5);

  set_mask(3);
  MFP_RaiseTimerD();  // lower than the channel in service: refused
  MFP_CheckInterrupts();
  EXPECT_EQ(taken(), 0u);
  MFP_RaiseTimerB();  // higher: delivered
  MFP_CheckInterrupts();
  EXPECT_EQ(taken(), 0x48u);
  EXPECT_EQ(MFP_InServiceChannel, 8);

  // The handlers clear their in-service bits; Timer D then gets through.
  MMU_WriteB(0xfffa0f, 0xfe);
  MMU_WriteB(0xfffa11, 0xdf);
  set_mask(3);
  MFP_CheckInterrupts();
  EXPECT_EQ(taken(), 0x44u);
}

TEST_F(Interrupts, AciaReassertsItsInputsBeforeDelivery) {
  IKBD_QueueCount = 1;
  ACIA_KbdRegs[1] = 0x02;
  MFP_GPI = 0xff;
  MFP_RaiseACIA();
  MFP_CheckInterrupts();
  EXPECT_EQ(taken(), 0x46u);
  EXPECT_EQ(ACIA_KbdRegs[1], 0x83);
  EXPECT_EQ(MFP_GPI & 0x10, 0);
}

TEST_F(Interrupts, AcceptanceUsesTheVectorRegisterBase) {
  MFP_VR = 0x50;
  MFP_RaiseDisk();
  MFP_CheckInterrupts();
  EXPECT_EQ(taken(), 0x57u);
}
