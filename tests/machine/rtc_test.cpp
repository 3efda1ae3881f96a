#include <gtest/gtest.h>

#include "machine/memory.h"
#include "machine/rtc.h"
#include "support/machine_fixture.h"

namespace {

class ClockChip : public MachineMemoryTest {};

}  // namespace

TEST_F(ClockChip, RegistersHoldTheHostTimeInBcdDigits) {
  // The fake clock says 2004-03-07 14:05:09.
  const u32 expected[] = {9, 0, 5, 0, 4, 1, 1, 7, 0, 3, 0, 4, 2, 0, 0, 0};
  for (u32 i = 0; i < 16; ++i)
    EXPECT_EQ(MMU_ReadB(0xfffc21 + 2 * i), expected[i]) << std::hex << 0xfffc21 + 2 * i;
  FakeClock::date[0] = 2026;
  EXPECT_EQ(MMU_ReadB(0xfffc39), 4u);
  EXPECT_EQ(MMU_ReadB(0xfffc37), 6u);
  EXPECT_EQ(MMU_ReadW(0xfffc24), 5u);  // the register in the low byte
  EXPECT_EQ(MMU_ReadL(0xfffc28), (4u << 16) | 1u);
}

TEST_F(ClockChip, PresenceTestThroughTheModeRegister) {
  MMU_WriteB(0xfffc3b, 9);
  EXPECT_EQ(MMU_ReadB(0xfffc25), 10u);
  EXPECT_EQ(MMU_ReadB(0xfffc25), 10u);
  EXPECT_EQ(MMU_ReadB(0xfffc27), 5u);
  EXPECT_EQ(MMU_ReadB(0xfffc27), 0u);  // the minute tens again
  EXPECT_EQ(MMU_ReadB(0xfffc25), 5u);
  EXPECT_EQ(RTC_ModeReg, 0u);
}

TEST_F(ClockChip, WordAndLongWritesAreIgnored) {
  MMU_WriteW(0xfffc3a, 9);
  MMU_WriteL(0xfffc38, 9);
  EXPECT_EQ(RTC_ModeReg, 0u);
}
