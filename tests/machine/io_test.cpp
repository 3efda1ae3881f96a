#include <gtest/gtest.h>

#include "blitter/blitter.h"
#include "cpu/registers.h"
#include "host/options.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/shifter.h"
#include "support/machine_fixture.h"

namespace {

class IoPage : public MachineMemoryTest {
 protected:
  void SetUp() override {
    MachineMemoryTest::SetUp();
    machine_point_vectors();
    MMU_BusErrorCount = 0;
  }
  void TearDown() override { BLITTER_Running = 0; }

  // Runs f with standard output captured; returns what was printed.
  template <class F>
  std::string printed(F f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
  }
  // Each access of these tests stands for an instruction of its own.
  static void next() { machine_end_instruction(); }
};

}  // namespace

TEST_F(IoPage, FillValuesDependOnAddressParityAndSize) {
  EXPECT_EQ(MMU_ReadL(0x500000), 0x55aa55aau);  // above the end of RAM: no bus error
  EXPECT_EQ(MMU_ReadW(0x500000), 0x55aau);
  EXPECT_EQ(MMU_ReadB(0x500000), 0x55u);
  EXPECT_EQ(MMU_ReadL(0x500001), 0xaa55aa55u);
  EXPECT_EQ(MMU_ReadW(0x500001), 0xaa55u);
  EXPECT_EQ(MMU_ReadB(0x500001), 0xaau);
  EXPECT_EQ(MMU_BusErrorCount, 0u);
}

TEST_F(IoPage, UnknownRegistersAboveTheRamWindowAreBusErrorsWhenEnabled) {
  std::string out = printed([] { EXPECT_EQ(MMU_ReadB(0xfffc07), 0xaau); });
  EXPECT_EQ(out, "Bus error @ GET (MMU.C) = fffc07\n");
  EXPECT_EQ(MMU_BusErrorCount, 1u);
  next();
  out = printed([] { MMU_WriteB(0xff9000, 1); });
  EXPECT_EQ(out, "Bus Error @ PUT (MMU.C) = ff9000 \n");
  EXPECT_EQ(MMU_BusErrorCount, 2u);
  next();

  MMU_BusErrorsEnabled = 0;
  out = printed([] {
    EXPECT_EQ(MMU_ReadW(0xfffc08), 0x55aau);
    MMU_WriteB(0xff9000, 1);
  });
  EXPECT_EQ(out, "");
  EXPECT_EQ(MMU_BusErrorCount, 2u);
}

TEST_F(IoPage, MfpAndMidiRangesReachTheirChips) {
  MFP_IERA = 0x21;
  EXPECT_EQ(MMU_ReadB(0xfffa07), 0x21u);
  MMU_WriteB(0xfffa13, 0x20);
  EXPECT_EQ(MFP_IMRA, 0x20);
  EXPECT_EQ(MMU_ReadB(0xfffc04), 0x02u);  // MIDI ACIA status after reset
  EXPECT_EQ(MMU_BusErrorCount, 0u);
}

TEST_F(IoPage, HardDiskPortAnswersWordReadsOnly) {
  EXPECT_EQ(MMU_ReadW(0xfff700), 0xf700u);  // an address without a register reads as itself
  EXPECT_EQ(MMU_BusErrorCount, 0u);
  printed([] { EXPECT_EQ(MMU_ReadB(0xfff701), 0xaau); });
  EXPECT_EQ(MMU_BusErrorCount, 1u);
  next();
  MMU_WriteW(0xfff706, 1);  // writes of every size reach the port
  EXPECT_EQ(MMU_BusErrorCount, 1u);
}

TEST_F(IoPage, MemoryConfigurationRegister) {
  printed([] { MMU_WriteW(0xff8000, 0x1234); });  // no register at the even byte
  EXPECT_EQ(MMU_BusErrorCount, 1u);
  next();
  MMU_WriteB(0xff8001, 0x0a);
  EXPECT_EQ(MMU_ReadB(0xff8001), 0x0au);
  EXPECT_EQ(MMU_MemConfig, 0x0a);
}

TEST_F(IoPage, MicrowireRegistersExistOnlyWithLaterTos) {
  printed([] { EXPECT_EQ(MMU_ReadW(0xff8924), 0x55aau); });
  EXPECT_EQ(MMU_BusErrorCount, 1u);
  next();

  MMU_TosVersion = 26;
  MMU_WriteW(0xff8924, 0x07ff);
  MMU_WriteW(0xff8922, 0x1234);
  EXPECT_EQ(MMU_ReadW(0xff8924), 0x07ffu);
  EXPECT_EQ(MMU_ReadW(0xff8922), 0u);
  EXPECT_EQ(MMU_MicrowireData, 0x1234);
  EXPECT_EQ(MMU_ReadL(0xf00000), 0u);
  EXPECT_EQ(MMU_BusErrorCount, 1u);
  MMU_TosVersion = 0;
  MMU_IsEmuTOS = 1;  // EmuTOS counts as a later TOS
  EXPECT_EQ(MMU_ReadW(0xff8924), 0x07ffu);
}

TEST_F(IoPage, UserModeWritesAboveFourMegabytesAreBusErrors) {
  m68k_regfile.isp = 0x7000;
  m68k_regfile.s = 0;
  SHIFTER_Palette[0] = 0;
  MMU_WriteW(0xff8240, 0x777);
  EXPECT_EQ(MMU_BusErrorCount, 1u);
  EXPECT_EQ(SHIFTER_Palette[0], 0u);
  next();  // the frame went on the supervisor stack: back to user mode
  EXPECT_EQ(m68k_regfile.a[7], 0x7000u - 14);
  m68k_regfile.s = 0;
  MMU_BusErrorsEnabled = 0;
  MMU_WriteW(0xff8240, 0x777);
  EXPECT_EQ(SHIFTER_Palette[0], 0x777u);
}

TEST_F(IoPage, BlitterRangeFollowsTheOptionAndTheTosVersion) {
  MMU_BusErrorsEnabled = 0;  // the Blitter's bus errors don't depend on it
  MMU_ReadW(0xff8a00);
  next();
  MMU_WriteW(0xff8a00, 1);
  next();
  EXPECT_EQ(MMU_BusErrorCount, 2u);

  PREFS_BlitterEnabled = 1;
  MMU_TosVersion = 26;
  MMU_WriteW(0xff7f30, 0xbeef);  // the second window reaches 0xff8a00
  EXPECT_EQ(MMU_ReadW(0xff8a00), 0xbeefu);
  EXPECT_EQ(MMU_BusErrorCount, 2u);
}

TEST_F(IoPage, NothingIsTouchedWhileTheBlitterRuns) {
  BLITTER_Running = 1;
  // A read returns its own address (cut to the access size).
  EXPECT_EQ(MMU_ReadW(0xfffa00), 0xfa00u);
  EXPECT_EQ(MMU_ReadL(0xff9000), 0xff9000u);
  MMU_WriteB(0xfffa07, 0xff);
  BLITTER_Running = 0;
  EXPECT_EQ(MFP_IERA, 0);
  EXPECT_EQ(MMU_BusErrorCount, 0u);
}

TEST_F(IoPage, ReadOnlyAnswersOfOtherModels) {
  EXPECT_EQ(MMU_ReadB(0xffef86), 0u);
  EXPECT_EQ(MMU_ReadB(0xff8e21), 0u);
  MMU_WriteB(0xff8e21, 0);
  EXPECT_EQ(MMU_BusErrorCount, 0u);
}
