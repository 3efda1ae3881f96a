// A test ROM reads and writes a formatted floppy image through the DMA chip
// and the floppy controller, booted through the real start-up, and prints a
// line on the printer port.
#include <gtest/gtest.h>

#include "cpu/handler_tables.h"
#include "host/app.h"
#include "host/options.h"
#include "machine/diskimg.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/psg.h"
#include "support/floppy_images.h"
#include "support/machine_fixture.h"

namespace {

class FloppyRom : public ::testing::TestWithParam<bool> {
 protected:
  TempFolder folder;
  void SetUp() override { machine_reset_globals(); }
  void TearDown() override {
    DISKIMG_Reset();
    PRINTER_Close();
    APP_FolderOverride.clear();
  }
};

TEST_P(FloppyRom, ReadsAndWritesSectorsThroughTheRegisters) {
  if (!m68k_handler_table_complete[4]) GTEST_SKIP() << "needs the 68000 instruction handlers";
  const std::string disk = folder.file("disk1.st");
  if (!mtools_format(disk, 2, 9, true)) GTEST_SKIP() << "mtools is not installed";
  const std::vector<u8> before = read_file(disk);
  folder.write("tos.img", load_test_rom("floppy_dma"));
  const std::string out = machine_start(folder.path());
  EXPECT_NE(out.find("Disk1.st inserted in drive A"), std::string::npos);
  ASSERT_EQ(DISKIMG_InsertedMask, 1u);
  DISKIMG_SetWriteProtect(0);
  PREFS_FdcDelay = GetParam() ? 1 : 0;

  testing::internal::CaptureStdout();
  machine_run_frames(3);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(MMU_ReadL(0x818), 0x600du) << "the ROM did not finish";

  EXPECT_EQ(MMU_ReadL(0x800), 4u);  // four disk interrupts
  // Seek with verify to track 1: spin-up, no error (the status read comes
  // after the completion cleared the motor bit).
  EXPECT_EQ(MMU_ReadB(0x804), GetParam() ? 0x20u : 0x21u);
  EXPECT_EQ(MMU_ReadB(0x805), GetParam() ? 0x00u : 0x01u);
  EXPECT_EQ(MMU_ReadB(0x806), GetParam() ? 0x00u : 0x01u);
  EXPECT_EQ(MMU_ReadB(0x807), GetParam() ? 0x00u : 0x01u);
  // Track 1 side 1 sectors 1-2: file offset 13,824.
  for (u32 i = 0; i < 1024; ++i)
    ASSERT_EQ(MMU_ReadB(0x10000 + i), before[13824 + i]) << "byte " << i;
  EXPECT_EQ(MMU_ReadB(0x808), 0x01u);
  EXPECT_EQ(MMU_ReadB(0x809), 0x04u);
  EXPECT_EQ(MMU_ReadB(0x80a), 0x00u);
  // Sector 3 written from RAM and read back.
  const std::vector<u8> after = read_file(disk);
  ASSERT_EQ(after.size(), before.size());
  for (u32 i = 0; i < 512; ++i) {
    ASSERT_EQ(after[13824 + 1024 + i], u8(i ^ 0x5a)) << "file byte " << i;
    ASSERT_EQ(MMU_ReadB(0x30000 + i), u32(u8(i ^ 0x5a))) << "read-back byte " << i;
  }
  const std::vector<u8> printed = read_file(folder.file("Printer Output"));
  EXPECT_EQ(std::string(printed.begin(), printed.end()), "disk ok\n");
  // Nothing else in the image changed.
  for (u32 i = 0; i < after.size(); ++i) {
    if (i < 13824 + 1024 || i >= 13824 + 1536) {
      ASSERT_EQ(after[i], before[i]) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Completion, FloppyRom, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("Delayed") : std::string("Immediate");
                         });

}  // namespace
