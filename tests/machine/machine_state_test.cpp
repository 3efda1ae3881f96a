#include <gtest/gtest.h>

#include <vector>

#include "host/events.h"
#include "machine/machine_state.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/scheduler.h"
#include "support/machine_fixture.h"
#include "support/state_section.h"

namespace {

class SavedState : public ::testing::Test {
 protected:
  void SetUp() override { machine_reset_globals(); }
};

}  // namespace

TEST_F(SavedState, MfpSectionIsItsFieldsBigEndianInOrder) {
  SCHED_TimerPeriods[0] = 0x01020304;
  FDC_IrqTime = SCHED_Never;
  MFP_IERA = 0x21;
  MFP_ReloadC = 192;
  MFP_InServiceChannel = -1;
  MFP_TimerBReadCount = 0x5a;
  const std::vector<u8> b = saved(MFP_SaveState);
  ASSERT_EQ(b.size(), 209u);
  EXPECT_EQ(b[0], 0x01);
  EXPECT_EQ(b[3], 0x04);
  EXPECT_EQ(b[16 + 1], 0x0a);  // 696969 = 0x000aa289
  EXPECT_EQ(b[28 + 3], 0x21);  // MFP_IERA in the register block
  EXPECT_EQ(b[52 + 3], 192);   // Timer C's reload first
  EXPECT_EQ(b[76], 0xff);      // in-service channel -1
  EXPECT_EQ(b[80 + 1], 0x04);  // the tick block starts with 320000 = 0x0004e200
  EXPECT_EQ(b[208], 0x5a);

  machine_reset_globals();
  ASSERT_EQ(restored(b, MFP_RestoreState), 1u);
  EXPECT_EQ(SCHED_TimerPeriods[0], 0x01020304);
  EXPECT_EQ(MFP_IERA, 0x21);
  EXPECT_EQ(MFP_ReloadC, 192u);
  EXPECT_EQ(MFP_InServiceChannel, -1);
  EXPECT_EQ(MFP_TimerBReadCount, 0x5a);
}

TEST_F(SavedState, ShortSectionsAreRefusedAndChangeNothing) {
  MFP_IERA = 0x21;
  std::vector<u8> b = saved(MFP_SaveState);
  b.resize(100);
  MFP_IERA = 0;
  EXPECT_EQ(restored(b, MFP_RestoreState), 0u);
  EXPECT_EQ(MFP_IERA, 0);
  EXPECT_EQ(restored({1, 2, 3}, SCHED_RestoreCycle), 0u);
  EXPECT_EQ(restored({1, 2, 3, 4, 5}, MFP_RestoreIntState), 0u);
  EXPECT_EQ(restored({1, 2}, MMU_RestoreIORegs), 0u);
}

TEST_F(SavedState, SmallSections) {
  MMU_MemConfig = 0x0a;
  MMU_MicrowireMask = 0x07ff;
  EXPECT_EQ(saved(MMU_SaveIORegs), (std::vector<u8>{0x0a, 0x07, 0xff, 0, 0, 0, 0}));
  MMU_MemConfig = 0;
  EXPECT_EQ(restored({5, 1, 2, 3, 4, 0, 0}, MMU_RestoreIORegs), 1u);
  EXPECT_EQ(MMU_MemConfig, 5);
  EXPECT_EQ(MMU_MicrowireData, 0x0304);

  MFP_VideoIntPending = MFP_VideoVBL;
  MFP_IntTaken = 1;
  EXPECT_EQ(saved(MFP_SaveIntState), (std::vector<u8>{0, 0, 0, 2, 0, 0, 0, 1}));
}

TEST_F(SavedState, FramePositionAndHostPointer) {
  SCHED_FrameCycle = 123456;
  const std::vector<u8> b = saved(SCHED_SaveCycle);
  EXPECT_EQ(b, (std::vector<u8>{0x00, 0x01, 0xe2, 0x40}));
  SCHED_FrameCycle = 0;
  EVENTS_InBackground = 1;
  ASSERT_EQ(restored(b, SCHED_RestoreCycle), 1u);
  EXPECT_EQ(SCHED_FrameCycle, 123456);
  EXPECT_EQ(EVENTS_InBackground, 0u);
  EXPECT_EQ(EVENTS_LastMouseH, 192);
  EXPECT_EQ(EVENTS_LastMouseV, 129);
  // A position outside the frame is refused.
  EXPECT_EQ(restored({0x7f, 0, 0, 0}, SCHED_RestoreCycle), 0u);
  EXPECT_EQ(restored({0xff, 0xff, 0xff, 0xfe}, SCHED_RestoreCycle), 0u);
  EXPECT_EQ(SCHED_FrameCycle, 123456);
}
