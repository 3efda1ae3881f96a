// Floppy images in the drives and the floppy controller behind the DMA chip,
// driven through their registers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "cpu/registers.h"
#include "host/dialogs.h"
#include "host/options.h"
#include "machine/diskimg.h"
#include "machine/fdc.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/psg.h"
#include "machine/scheduler.h"
#include "machine/sections.h"
#include "support/flat_memory.h"
#include "support/floppy_images.h"
#include "support/machine_fixture.h"
#include "support/ordinary_user.h"
#include "support/state_section.h"

namespace {

constexpr u32 side0A = 0x05, side1A = 0x04, side0B = 0x03;

class Floppy : public ::testing::Test {
 protected:
  TempFolder folder;
  void SetUp() override {
    floppy_machine_reset(folder.path());
    PREFS_FdcDelay = 1;
    DLG_FixedAnswers.confirmBootWrite = 1;
    SCHED_FrameCycle = 1000;
    SCHED_CycleBefore = 1000;
    PSG_PortA = side0A;
  }
  void TearDown() override {
    DISKIMG_Reset();
    DLG_FixedAnswers.confirmBootWrite = 0;
    SCHED_FrameCycle = 0;
    SCHED_CycleBefore = 0;
    FDC_IrqTime = SCHED_Never;
  }

  // Inserts `bytes` as drive letter's image, writable.
  void insert(const std::string& name, const std::vector<u8>& bytes, char drive = 'A') {
    folder.write(name, bytes);
    testing::internal::CaptureStdout();
    const u32 ok = DISKIMG_Insert(folder.file(name).c_str(), drive);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(ok, 1u);
    DISKIMG_StRestarted();  // in since the start
    DISKIMG_WriteProtect[drive == 'B'] = 0;
  }
  static void reg(u32 mode, u32 value) {
    DMA_PutW(0xff8606, mode);
    DMA_PutW(0xff8604, value);
  }
  static void command(u32 c) { reg(0x80, c); }
  static u32 status() {
    DMA_PutW(0xff8606, 0x80);
    return DMA_GetW(0xff8604);
  }
  static void address(u32 a) {
    DMA_PutB(0xff8609, a >> 16);
    DMA_PutB(0xff860b, a >> 8);
    DMA_PutB(0xff860d, a);
  }
  static void transfer(u32 cmd, u32 track, u32 sector, u32 count, u32 addr) {
    DISKIMG_Drives[(PSG_PortA & 6) == 2].headTrack = i32(track);
    FDC_Regs[FDC_Track] = track;
    address(addr);
    reg(0x90, count);
    reg(0x84, sector);
    command(cmd);
  }
  static std::vector<u8> ram(u32 addr, u32 n) {
    std::vector<u8> v(n);
    for (u32 i = 0; i < n; ++i) v[i] = u8(MMU_ReadB(addr + i));
    return v;
  }
  static void fill_ram(u32 addr, u32 n, u8 value) {
    for (u32 i = 0; i < n; ++i) MMU_WriteB(addr + i, value);
  }
  static std::vector<u8> slice(const std::vector<u8>& v, u32 from, u32 n) {
    return std::vector<u8>(v.begin() + from, v.begin() + from + n);
  }
  // Runs the scheduler to frame position `to` in steps of 4 cycles.
  static void run_to(i32 to) {
    while (SCHED_FrameCycle + 4 <= to) {
      SCHED_CycleBefore = SCHED_FrameCycle;
      SCHED_FrameCycle += 4;
      SCHED_RunEvents();
    }
  }
};

// ---- Geometry ----

TEST_F(Floppy, GeometryGuessedFromTheSizeWhenTheBootSectorIsUnusable) {
  insert("a.st", make_floppy(737280, 2, 9, 0));
  const DISKIMG_Drive& d = DISKIMG_Drives[0];
  EXPECT_EQ(d.sides, 2);
  EXPECT_EQ(d.sectorsPerTrack, 9);
  EXPECT_EQ(d.tracks, 80);
  EXPECT_EQ(d.bytesPerSector, 512);
  insert("b.st", make_floppy(368640, 0, 0, 0), 'B');
  const DISKIMG_Drive& b = DISKIMG_Drives[1];
  EXPECT_EQ(b.sides, 1);
  EXPECT_EQ(b.sectorsPerTrack, 9);
  EXPECT_EQ(b.tracks, 80);
}

TEST_F(Floppy, BootSectorWithoutSidesOrSectorsFallsBackToTheSize) {
  std::vector<u8> img = make_floppy(819200, 2, 10);
  img[0x1a] = 0;  // no sides: the division has nothing to divide by
  insert("a.st", img);
  EXPECT_EQ(DISKIMG_Drives[0].sides, 2);
  EXPECT_EQ(DISKIMG_Drives[0].sectorsPerTrack, 10);
  EXPECT_EQ(DISKIMG_Drives[0].tracks, 80);
  img = make_floppy(450560, 1, 11);
  img[0x18] = 0;
  insert("b.st", img, 'B');
  EXPECT_EQ(DISKIMG_Drives[1].sides, 1);
  EXPECT_EQ(DISKIMG_Drives[1].sectorsPerTrack, 11);
  EXPECT_EQ(DISKIMG_Drives[1].tracks, 80);
}

TEST_F(Floppy, OneSidedBootSectorOfALargeImageMeansTwoSides) {
  std::vector<u8> img = make_floppy(737280, 1, 9);
  insert("a.st", img);
  EXPECT_EQ(DISKIMG_Drives[0].sides, 2);
  EXPECT_EQ(DISKIMG_Drives[0].tracks, 160);  // as the boot sector's division gave
}

TEST_F(Floppy, SizesAtTheLimitAndOccupiedDrives) {
  folder.write("small.st", std::vector<u8>(200000, 0));
  folder.write("ok.st", std::vector<u8>(200001, 0));
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(DISKIMG_Insert(folder.file("small.st").c_str(), 'A'), 0u);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("message 7"), std::string::npos);
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  EXPECT_EQ(DISKIMG_Files[0], -1);
  EXPECT_EQ(DISKIMG_Insert(folder.file("ok.st").c_str(), 'a'), 1u);
  testing::internal::CaptureStderr();
  EXPECT_EQ(DISKIMG_Insert(folder.file("small.st").c_str(), 'A'), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // silently
  EXPECT_EQ(DISKIMG_ImageSize[0], 200001u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "non-boot FDC A: 1/0/0 512 bytes/sector\n");
  // With no sectors per track every track would fall on the first: the image
  // goes in, but only to be read.
  DISKIMG_SetWriteProtect(0);
  EXPECT_EQ(DISKIMG_WriteProtect[0], 0x40u);
  // Neither a missing file nor a folder goes in.
  testing::internal::CaptureStderr();
  EXPECT_EQ(DISKIMG_Insert(folder.file("none.st").c_str(), 'B'), 0u);
  EXPECT_EQ(DISKIMG_Insert(folder.path().c_str(), 'B'), 0u);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(DISKIMG_InsertedMask, 1u);
  EXPECT_EQ(DISKIMG_Files[1], -1);
}

TEST_F(Floppy, MtoolsImagesGiveTheirGeometry) {
  for (u32 sides : {1u, 2u}) {
    for (u32 spt : {9u, 10u, 11u}) {
      const std::string path = folder.file("m.st");
      std::remove(path.c_str());
      if (!mtools_format(path, sides, spt, false)) GTEST_SKIP() << "mtools is not installed";
      testing::internal::CaptureStdout();
      ASSERT_EQ(DISKIMG_Insert(path.c_str(), 'A'), 1u);
      const std::string out = testing::internal::GetCapturedStdout();
      const DISKIMG_Drive& d = DISKIMG_Drives[0];
      EXPECT_EQ(d.sides, i32(sides)) << spt;
      EXPECT_EQ(d.sectorsPerTrack, i32(spt));
      EXPECT_EQ(d.tracks, 80);
      EXPECT_EQ(out.rfind("init FDC result (boot sector) FDC A: ", 0), 0u) << out;
      EXPECT_NE(out.find("nsect " + std::to_string(80 * sides * spt) + "\n"), std::string::npos);
      const u8* name = DISKIMG_NameA;
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(name + 1), name[0]).find("/m.st"),
                size_t(name[0]) - 5);
      EXPECT_EQ(DISKIMG_Eject('A'), 1u);
    }
  }
  EXPECT_EQ(DISKIMG_Eject('A'), 0u);
}

// ---- Sector transfers ----

TEST_F(Floppy, ReadTwoSectorsFromTheStart) {
  const std::vector<u8> img = make_floppy(737280, 2, 9);
  insert("a.st", img);
  transfer(0x90, 0, 1, 2, 0x10000);
  EXPECT_EQ(ram(0x10000, 1024), slice(img, 0, 1024));
  EXPECT_EQ(DMA_GetAddress(), 0x10400u);
  EXPECT_EQ(DMA_Regs[DMA_Count], 0u);
  EXPECT_EQ(DMA_Regs[DMA_Status], 1u);
  EXPECT_EQ(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(DMA_GetB(0xff8609), 0x01u);
  EXPECT_EQ(DMA_GetB(0xff860b), 0x04u);
  EXPECT_EQ(DMA_GetB(0xff860d), 0x00u);
}

TEST_F(Floppy, TrackOneSideOneSectorOneLiesAt13824) {
  const std::vector<u8> img = make_floppy(737280, 2, 9);
  insert("a.st", img);
  PSG_PortA = side1A;
  transfer(0x80, 1, 1, 1, 0x20000);
  EXPECT_EQ(ram(0x20000, 512), slice(img, 13824, 512));
}

TEST_F(Floppy, TenAndElevenSectorTracks) {
  for (u32 spt : {10u, 11u}) {
    const std::vector<u8> img = make_floppy(80 * 2 * spt * 512, 2, spt);
    DISKIMG_Reset();
    insert("a.st", img);
    PSG_PortA = side1A;
    transfer(0x80, 5, spt, 1, 0x20000);
    const u32 offset = 512 * ((5 * 2 + 1) * spt + spt - 1);
    EXPECT_EQ(ram(0x20000, 512), slice(img, offset, 512)) << spt;
    PSG_PortA = side0A;
  }
}

TEST_F(Floppy, BootSectorWithoutSectorsPerClusterIsReadAsOne) {
  insert("a.st", make_floppy(737280, 2, 9, 0));
  transfer(0x80, 0, 1, 1, 0x10000);
  EXPECT_EQ(MMU_ReadB(0x10000 + 0x0d), 1u);
  transfer(0x90, 0, 1, 1, 0x10000);  // read multiple passes it as it stands
  EXPECT_EQ(MMU_ReadB(0x10000 + 0x0d), 0u);
}

TEST_F(Floppy, WriteSectorsReachTheFile) {
  insert("a.st", make_floppy(737280, 2, 9));
  for (u32 i = 0; i < 1024; ++i) MMU_WriteB(0x30000 + i, u8(i ^ 0xa5));
  PSG_PortA = side1A;
  transfer(0xb0, 2, 4, 2, 0x30000);
  EXPECT_EQ(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(DMA_GetAddress(), 0x30400u);
  const std::vector<u8> file = read_file(folder.file("a.st"));
  ASSERT_EQ(file.size(), 737280u);
  EXPECT_EQ(slice(file, 512 * ((2 * 2 + 1) * 9 + 3), 1024), ram(0x30000, 1024));
}

TEST_F(Floppy, BootSectorWritesNeedTheUsersConsent) {
  const std::vector<u8> img = make_floppy(737280, 2, 9);
  insert("a.st", img);
  fill_ram(0x30000, 512, 0xee);
  DLG_FixedAnswers.confirmBootWrite = 0;
  testing::internal::CaptureStderr();
  transfer(0xa0, 0, 1, 1, 0x30000);
  testing::internal::GetCapturedStderr();
  EXPECT_NE(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(read_file(folder.file("a.st")), img);
}

// A one-sided image has no side 1: nothing moves, and the ST hears so.
TEST_F(Floppy, SideOneOfAOneSidedImageIsRecordNotFound) {
  const std::vector<u8> img = make_floppy(368640, 1, 9);
  insert("a.st", img);
  MFP_IERB = 0x80;
  fill_ram(0x10000, 512, 0xcc);
  PSG_PortA = side1A;
  transfer(0x80, 3, 1, 1, 0x10000);
  EXPECT_NE(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(DMA_Regs[DMA_Status], 1u);
  EXPECT_EQ(DMA_GetAddress(), 0x10000u);
  EXPECT_EQ(ram(0x10000, 512), std::vector<u8>(512, 0xcc));
  transfer(0xa0, 3, 1, 1, 0x10000);
  EXPECT_NE(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(read_file(folder.file("a.st")), img);
  run_to(SCHED_FrameCycle + 2000);
  EXPECT_EQ(MFP_IPERB & 0x80, 0x80);  // the interrupt still comes
}

// Reads that run past the image's end move nothing; writes never grow it.
TEST_F(Floppy, TransfersPastTheEndOfTheImage) {
  const std::vector<u8> img = make_floppy(368640, 1, 9);
  insert("a.st", img);
  fill_ram(0x10000, 4096, 0xcc);
  transfer(0x90, 79, 8, 3, 0x10000);  // two sectors inside, one beyond
  EXPECT_NE(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(ram(0x10000, 1536), std::vector<u8>(1536, 0xcc));
  EXPECT_EQ(DMA_GetAddress(), 0x10000u);
  // The head can step onto track 80, one past the last.
  DISKIMG_Drives[0].headTrack = 79;
  command(0x40);
  EXPECT_EQ(DISKIMG_Drives[0].headTrack, 80);
  FDC_Regs[FDC_Track] = 80;
  address(0x10000);
  reg(0x90, 1);
  reg(0x84, 1);
  command(0xa0);
  EXPECT_NE(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(read_file(folder.file("a.st")), img);
  transfer(0x90, 0, 0, 1, 0x10000);  // sector 0 lies before the image
  EXPECT_NE(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(ram(0x10000, 512), std::vector<u8>(512, 0xcc));
}

// A track side holds sectors 1 to 9 here: sector 0 or 10 is not another
// track's neighbour, and a write there changes nothing.
TEST_F(Floppy, SectorsOutsideTheTrackAreRecordNotFound) {
  const std::vector<u8> img = make_floppy(737280, 2, 9);
  insert("a.st", img);
  fill_ram(0x10000, 1024, 0xcc);
  transfer(0x80, 1, 0, 1, 0x10000);
  EXPECT_NE(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(ram(0x10000, 512), std::vector<u8>(512, 0xcc));
  transfer(0x80, 1, 10, 1, 0x10000);
  EXPECT_NE(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(ram(0x10000, 512), std::vector<u8>(512, 0xcc));
  transfer(0xa0, 1, 10, 1, 0x10000);
  EXPECT_NE(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(read_file(folder.file("a.st")), img);
  transfer(0xa0, 1, 9, 1, 0x10000);  // the last one is there
  EXPECT_EQ(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
}

// The ST can ask for up to 255 sectors; the buffer and RAM bound what moves.
TEST_F(Floppy, OversizedEmptyAndOutOfRamTransfersAreRefusedBeforeAnyFileAccess) {
  const std::vector<u8> img = make_floppy(737280, 2, 9);
  insert("a.st", img);
  fill_ram(0x10000, 0x30000, 0xcc);
  transfer(0x90, 0, 1, 255, 0x10000);
  EXPECT_NE(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(DMA_Regs[DMA_Status], 1u);
  EXPECT_EQ(DMA_GetAddress(), 0x10000u);
  EXPECT_EQ(MMU_ReadB(0x10000 + 512), 0xccu);
  EXPECT_EQ(MMU_ReadB(0x10000 + 0x20000), 0xccu);
  transfer(0xb0, 0, 2, 255, 0x10000);
  EXPECT_NE(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  transfer(0x90, 0, 1, 0, 0x10000);
  EXPECT_NE(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  transfer(0x90, 0, 1, 2, 0x400000 - 512);  // the second sector would leave RAM
  EXPECT_NE(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(MMU_ReadB(0x400000 - 512), 0u);
  transfer(0x90, 0, 1, 196, 0x10000);  // 100,352 bytes: over the limit
  EXPECT_NE(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(MMU_ReadB(0x10000), 0xccu);
  transfer(0x90, 0, 1, 195, 0x10000);  // 99,840 bytes fit
  EXPECT_EQ(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(ram(0x10000, 99840), slice(img, 0, 99840));
  EXPECT_EQ(read_file(folder.file("a.st")), img);
}

// ---- Head movement ----

TEST_F(Floppy, SeekBeyondTheLastTrackParksTheHeadAtZero) {
  insert("a.st", make_floppy(737280, 2, 9));
  reg(0x86, 90);
  command(0x10);
  EXPECT_EQ(DISKIMG_Drives[0].headTrack, 0);
  EXPECT_EQ(FDC_Regs[FDC_Track], 90u);
  EXPECT_EQ(FDC_Regs[FDC_Status] & 0x14, 0x04u);
  reg(0x82, 0);
  reg(0x86, 95);
  command(0x14);  // with verify
  EXPECT_EQ(FDC_Regs[FDC_Status] & 0x7f, 0x34u);
  reg(0x86, 40);
  command(0x10);
  EXPECT_EQ(DISKIMG_Drives[0].headTrack, 0 + 40 - 95 < 0 ? 0 : 40 - 95);
  // Registers a saved state brought back can hold any value: the seek still
  // parks the head, and stepping with update wraps the track register.
  FDC_Regs[FDC_Track] = 0x80000000u;
  FDC_Regs[FDC_Data] = 0x7fffffffu;
  command(0x10);
  EXPECT_EQ(DISKIMG_Drives[0].headTrack, 0);
  EXPECT_EQ(FDC_Regs[FDC_Track], 0x7fffffffu);
  command(0x50);
  EXPECT_EQ(FDC_Regs[FDC_Track], 0x80000000u);
}

// The chip finds a sector only where the track under the head is the one the
// track register names: a read or write under a head off that track finds
// none and moves nothing (the address and count stay). A head nothing told
// of (a state of an earlier build) is taken where the ST holds it at the
// drive's next command: on the register's track, or where a seek takes it.
TEST_F(Floppy, SectorsAreFoundOnlyUnderAHeadOnTheRegistersTrack) {
  const std::vector<u8> img = make_floppy(737280, 2, 9);
  insert("a.st", img);
  fill_ram(0x30000, 512, 0xee);
  struct Case {
    u32 command;
    i32 head;
    u32 track;  // the track register
    u32 notFound;
    i32 headAfter;
  };
  const Case cases[] = {
      {0x80, 5, 5, 0, 5},
      {0x80, 4, 5, FDC_RecordNotFound, 4},
      {0xa0, 6, 5, FDC_RecordNotFound, 6},
      {0xb0, 2, 5, FDC_RecordNotFound, 2},
      {0x90, DISKIMG_HeadUnknown, 5, 0, 5},
      {0xa0, DISKIMG_HeadUnknown, 7, 0, 7},
      {0x80, DISKIMG_HeadUnknown, 90, FDC_RecordNotFound, 0},  // no such track: at 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    SCOPED_TRACE(c.head);
    DISKIMG_Drives[0].headTrack = c.head;
    FDC_Regs[FDC_Track] = c.track;
    fill_ram(0x10000, 512, 0);
    address(c.command == 0xa0 ? 0x30000 : 0x10000);
    reg(c.command == 0xa0 ? 0x190 : 0x90, 1);
    reg(0x84, 2);
    command(c.command);
    EXPECT_EQ(FDC_Regs[FDC_Status] & FDC_RecordNotFound, c.notFound);
    EXPECT_EQ(DISKIMG_Drives[0].headTrack, c.headAfter);
    EXPECT_EQ(DMA_Regs[DMA_Count], c.notFound ? 1u : 0u);
    const u32 at = 512 * (c.track * 2 * 9 + 1);
    if (c.command != 0xa0) {
      EXPECT_EQ(ram(0x10000, 512), c.notFound ? std::vector<u8>(512, 0) : slice(img, at, 512));
    }
  }
  // Only the writes under a head on its track reached the file.
  std::vector<u8> expected = img;
  std::fill_n(expected.begin() + 512 * (7 * 2 * 9 + 1), 512, 0xee);
  EXPECT_EQ(read_file(folder.file("a.st")), expected);
  // A seek takes an unknown head where the ST sends it.
  DISKIMG_Drives[0].headTrack = DISKIMG_HeadUnknown;
  FDC_Regs[FDC_Track] = 3;
  reg(0x86, 20);
  command(0x14);
  EXPECT_EQ(DISKIMG_Drives[0].headTrack, 20);
  EXPECT_EQ(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
}

// A disk put into one drive or taken out of it changes nothing of the
// controller or the other drive, nor where the drive's own head stands: a
// transfer the other drive has under way goes on, and the ST finds the new
// disk's tracks from its record of the drive's track.
TEST_F(Floppy, InsertionAndEjectionLeaveTheControllerAndTheHeads) {
  for (const char drive : {'A', 'B'}) {
    SCOPED_TRACE(drive);
    DISKIMG_Reset();
    insert("other.st", make_floppy(737280, 2, 9), drive == 'A' ? 'B' : 'A');
    DISKIMG_Drives[0].headTrack = 12;
    DISKIMG_Drives[1].headTrack = 40;
    const u32 regs[6] = {0x84, 40, 5, 41, 0, 0x80};
    std::copy(regs, regs + 6, FDC_Regs);
    for (const bool eject : {false, true}) {
      if (eject)
        DISKIMG_Eject(drive);
      else
        insert("new.st", make_floppy(368640, 1, 9), drive);
      EXPECT_TRUE(std::equal(regs, regs + 6, FDC_Regs)) << (eject ? "ejected" : "inserted");
      EXPECT_EQ(DISKIMG_Drives[0].headTrack, 12);
      EXPECT_EQ(DISKIMG_Drives[1].headTrack, 40);
    }
  }
}

TEST_F(Floppy, SeekStepAndRestore) {
  insert("a.st", make_floppy(737280, 2, 9));
  reg(0x86, 10);
  command(0x1c);
  EXPECT_EQ(DISKIMG_Drives[0].headTrack, 10);
  EXPECT_EQ(FDC_Regs[FDC_Status] & 0x7f, 0x20u);
  command(0x50);  // step in with update
  EXPECT_EQ(DISKIMG_Drives[0].headTrack, 11);
  EXPECT_EQ(FDC_Regs[FDC_Track], 11u);
  command(0x30);  // step again, inwards
  EXPECT_EQ(DISKIMG_Drives[0].headTrack, 12);
  command(0x70);  // step out with update
  EXPECT_EQ(DISKIMG_Drives[0].headTrack, 11);
  EXPECT_EQ(FDC_Regs[FDC_Track], 11u);
  command(0x20);
  EXPECT_EQ(DISKIMG_Drives[0].headTrack, 10);
  EXPECT_EQ(FDC_Regs[FDC_Track], 11u);
  command(0x04);  // restore with verify
  EXPECT_EQ(DISKIMG_Drives[0].headTrack, 0);
  EXPECT_EQ(FDC_Regs[FDC_Track], 0u);
  EXPECT_EQ(FDC_Regs[FDC_Status] & 0x7f, 0x24u);
  command(0x60);  // no step out below track 0
  EXPECT_EQ(DISKIMG_Drives[0].headTrack, 0);
  // Plain steps stay on the disk as the seek does, however many there are.
  command(0x20);
  EXPECT_EQ(DISKIMG_Drives[0].headTrack, 0);
  DISKIMG_Drives[0].headTrack = 79;
  command(0x50);
  command(0x30);
  EXPECT_EQ(DISKIMG_Drives[0].headTrack, 0);
}

// ---- Status, protection and completion ----

TEST_F(Floppy, DelayedCompletionTwoThousandCyclesLater) {
  insert("a.st", make_floppy(737280, 2, 9));
  MFP_IERB = 0x80;
  MFP_GPI = 0xff;
  const i32 start = SCHED_FrameCycle;
  command(0x00);
  EXPECT_EQ(FDC_IrqTime, start + 2000);
  EXPECT_EQ(status() & 0x80, 0x80u);
  EXPECT_EQ(MFP_GPI & 0x20, 0x20);
  run_to(start + 1996);
  EXPECT_EQ(MFP_IPERB & 0x80, 0);
  EXPECT_EQ(MFP_GPI & 0x20, 0x20);
  run_to(start + 2000);
  EXPECT_EQ(MFP_IPERB & 0x80, 0x80);
  EXPECT_EQ(MFP_GPI & 0x20, 0);
  EXPECT_EQ(FDC_IrqTime, SCHED_Never);
  EXPECT_EQ(status() & 0x80, 0u);
  EXPECT_EQ(MFP_GPI & 0x20, 0x20);  // the status read released the line
}

TEST_F(Floppy, CompletionNearTheFrameEndWrapsIntoTheNextFrame) {
  insert("a.st", make_floppy(737280, 2, 9));
  SCHED_FrameCycle = 159000;
  command(0x00);
  EXPECT_EQ(FDC_IrqTime, (159000 + 2000) % 160256);
}

// A write to a protected disk ends at its protection as the chip's does at the write-protect line,
// whatever else would refuse it: that bit alone, latched in the status register (a status read adds it
// for a protected disk in place anyway), nothing written, nobody asked about the boot sector, DMA address
// and count kept, the interrupt.
TEST_F(Floppy, WriteProtectionShowsInTheStatus) {
  const std::vector<u8> img = make_floppy(737280, 2, 9);
  insert("a.st", img);
  DISKIMG_WriteProtect[0] = 0x40;
  fill_ram(0x10000, 0x1000, 0x77);
  // A sector; the boot sector, more than the buffer holds, no such sector, past the image's end, none; a
  // track (a format).
  const struct {
    u32 cmd, track, sector, count;
  } writes[] = {{0xa0, 1, 1, 1},  {0xa0, 0, 1, 1},  {0xb0, 0, 2, 255}, {0xa0, 1, 10, 1},
                {0xa0, 80, 1, 1}, {0xb0, 3, 1, 0}, {0xf0, 2, 1, 12}};
  for (const auto& w : writes) {
    SCOPED_TRACE(testing::Message() << w.track << "/" << w.sector);
    EXPECT_EQ(stderr_of([&] { transfer(w.cmd, w.track, w.sector, w.count, 0x10000); }), "");
    EXPECT_EQ(FDC_Regs[FDC_Status], 0xc0u);
    EXPECT_EQ(status(), 0xc0u);  // completion still pending
    EXPECT_EQ(DMA_GetAddress(), 0x10000u);
    EXPECT_EQ(DMA_Regs[DMA_Count], w.count);
    EXPECT_EQ(DMA_Regs[DMA_Status], 1u);
    run_to(SCHED_FrameCycle + 2000);
    EXPECT_EQ(FDC_Regs[FDC_Status], 0x40u);
    EXPECT_EQ(status(), 0x40u);
  }
  FDC_Regs[FDC_Track] = 5;  // the head stands elsewhere: no record-not-found either
  command(0xa0);
  EXPECT_EQ(FDC_Regs[FDC_Status], 0xc0u);
  EXPECT_EQ(read_file(folder.file("a.st")), img);
  PREFS_FdcDelay = 0;
  MFP_IERB = 0x80;
  transfer(0xa0, 1, 1, 1, 0x10000);
  EXPECT_EQ(status(), 0x41u);
  EXPECT_EQ(MFP_IPERB & 0x80, 0x80);
  EXPECT_EQ(m68k_regfile.pending & m68k_pend_interrupt, m68k_pend_interrupt);
  EXPECT_EQ(DMA_GetAddress(), 0x10000u);
}

TEST_F(Floppy, StatusWithoutOneUsableDrive) {
  insert("a.st", make_floppy(737280, 2, 9));
  PSG_PortA = 0x01;  // both selected
  EXPECT_EQ(status(), 0x4cu);
  PSG_PortA = 0x07;  // neither
  EXPECT_EQ(status(), 0x4cu);
  PSG_PortA = side0B;  // B, empty
  EXPECT_EQ(status(), 0x4cu);
  command(0x00);  // head movement works on the empty drive's record
  EXPECT_EQ(FDC_Regs[FDC_Status] & 0x7f, 0x24u);
  command(0x80);  // but there is nothing to read
  EXPECT_EQ(FDC_Regs[FDC_Status] & 0x7f, 0x10u);
  PSG_PortA = 0x07;
  command(0x00);
  EXPECT_EQ(FDC_Regs[FDC_Status] & 0x7f, 0x10u);
}

// Each drive keeps its own protection: ejecting B leaves A writable.
TEST_F(Floppy, WriteProtectionBelongsToEachDrive) {
  insert("a.st", make_floppy(737280, 2, 9));
  insert("b.st", make_floppy(737280, 2, 9), 'B');
  EXPECT_EQ(DISKIMG_Eject('B'), 1u);
  EXPECT_EQ(DISKIMG_WriteProtect[1], 0x40u);
  EXPECT_EQ(DISKIMG_WriteProtect[0], 0u);
  fill_ram(0x10000, 512, 0x77);
  transfer(0xa0, 1, 1, 1, 0x10000);
  EXPECT_EQ(FDC_Regs[FDC_Status] & FDC_RecordNotFound, 0u);
  EXPECT_EQ(read_file(folder.file("a.st"))[9 * 512 * 2], 0x77);
  DISKIMG_SetWriteProtect(1);
  EXPECT_EQ(DISKIMG_WriteProtect[0], 0x40u);
  EXPECT_EQ(DISKIMG_WriteProtect[1], 0x40u);
}

// A disk swapped for another passes the drive's write-protect sensor twice:
// out ("not protected"), the drive empty ("protected"), in ("not
// protected"), then in place (its own level), each phase long enough for
// the ST to see it, and the next disk goes in only after the first two. So
// the last change of level comes with the new disk in, whatever either
// disk's protection. Meanwhile the new disk is written by its own
// protection; a restarted ST knows no disk, and a disk waiting goes in at once.
TEST_F(Floppy, EveryChangeOfDiskShowsTheStAChangeOfLevelWithTheNewDiskIn) {
  struct Case {
    const char* what;
    bool oldProtected, newProtected, restart;
  };
  const Case cases[] = {
      {"writable for writable", false, false, false},   {"writable for protected", false, true, false},
      {"protected for writable", true, false, false},   {"protected for protected", true, true, false},
      {"a restart while the drive is empty", true, false, true},
  };
  const u32 n = DISKIMG_PhaseFrames;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PSG_PortA = side0B;
    folder.write("old.st", make_floppy(737280, 2, 9));
    folder.write("new.st", make_floppy(737280, 2, 9));
    testing::internal::CaptureStdout();
    ASSERT_EQ(DISKIMG_Insert(folder.file("old.st").c_str(), 'B', c.oldProtected), 1u);
    DISKIMG_StRestarted();
    std::vector<u32> line = {status() & 0x40};
    DISKIMG_Eject('B');
    while (!DISKIMG_MayInsert(1) && line.size() < 4 * n) {
      line.push_back(status() & 0x40);
      DISKIMG_FrameEnded();
      if (c.restart && line.size() == n + 5) DISKIMG_StRestarted();
    }
    const size_t insertedAt = line.size();
    ASSERT_EQ(DISKIMG_Insert(folder.file("new.st").c_str(), 'B', c.newProtected), 1u);
    testing::internal::GetCapturedStdout();
    // Sliding in, a writable disk takes a write; a protected one refuses it.
    fill_ram(0x10000, 512, 0x77);
    transfer(0xa0, 1, 1, 1, 0x10000);
    EXPECT_EQ(FDC_Regs[FDC_Status] & 0x7f, c.newProtected ? 0x40u : 0u);
    command(0x00);  // a restore: the status shows the line alone again
    for (u32 frame = 0; frame < n + 2; ++frame, DISKIMG_FrameEnded()) line.push_back(status() & 0x40);
    std::vector<u32> want = {c.oldProtected ? 0x40u : 0u};
    want.insert(want.end(), n, 0);
    want.insert(want.end(), c.restart ? 4 : n, 0x40);
    ASSERT_EQ(insertedAt, want.size());
    want.insert(want.end(), n, 0);
    want.insert(want.end(), 2, c.newProtected ? 0x40u : 0u);
    EXPECT_EQ(line, want);
    DISKIMG_Reset();
  }
}

TEST_F(Floppy, InsertionTakesTheProtectionOption) {
  PREFS_WriteProtect = 0;
  folder.write("a.st", make_floppy(737280, 2, 9));
  testing::internal::CaptureStdout();
  DISKIMG_Insert(folder.file("a.st").c_str(), 'A');
  PREFS_WriteProtect = 0x40;
  folder.write("b.st", make_floppy(737280, 2, 9));
  DISKIMG_Insert(folder.file("b.st").c_str(), 'B');
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(DISKIMG_WriteProtect[0], 0u);
  EXPECT_EQ(DISKIMG_WriteProtect[1], 0x40u);
}

TEST_F(Floppy, AFileWeMayOnlyReadGoesInProtected) {
  PREFS_WriteProtect = 0;
  folder.write("a.st", make_floppy(737280, 2, 9));
  chmod(folder.path().c_str(), 0755);
  chmod(folder.file("a.st").c_str(), 0444);
  testing::internal::CaptureStdout();
  const int status = run_as_ordinary_user([&] {
    if (access(folder.file("a.st").c_str(), W_OK) == 0) return 3;  // writable after all
    if (DISKIMG_Insert(folder.file("a.st").c_str(), 'A') != 1) return 1;
    return DISKIMG_WriteProtect[0] == 0x40 ? 0 : 2;
  });
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(status, 0);
}

TEST_F(Floppy, ForcedInterruptHoldsTheInterruptLine) {
  insert("a.st", make_floppy(737280, 2, 9));
  command(0xd8);
  EXPECT_EQ(FDC_Regs[FDC_ForceInt], 1u);
  MFP_GPI = 0x00;
  status();
  EXPECT_EQ(MFP_GPI & 0x20, 0);
  command(0xd0);
  EXPECT_EQ(FDC_Regs[FDC_ForceInt], 0u);
  MFP_GPI = 0x00;
  status();
  EXPECT_EQ(MFP_GPI & 0x20, 0x20);
}

TEST_F(Floppy, RegisterSelectionAndWidths) {
  reg(0x90, 0x109);
  EXPECT_EQ(DMA_Regs[DMA_Count], 0x09u);
  DMA_PutW(0xff8606, 0x90);
  EXPECT_EQ(DMA_GetW(0xff8604), 9u);
  reg(0x88, 0x42);
  EXPECT_EQ(DMA_Regs[DMA_Hdc], 0x42u);
  reg(0x82, 7);
  reg(0x84, 3);
  reg(0x86, 0x55);
  DMA_PutW(0xff8606, 0x82);
  EXPECT_EQ(DMA_GetW(0xff8604), 7u);
  DMA_PutB(0xff8607, 0x84);
  EXPECT_EQ(DMA_GetB(0xff8605), 3u);
  DMA_PutL(0xff8604, 0x00550086);  // mode 0x86, then the data register
  EXPECT_EQ(FDC_Regs[FDC_Data], 0x55u);
  EXPECT_EQ(DMA_GetL(0xff8604), 0x00550000u | (DMA_Regs[DMA_Status] & 0xff));
  EXPECT_EQ(DMA_GetL(0xff8610), 0xff8610u);
  testing::internal::CaptureStdout();
  EXPECT_EQ(DMA_GetW(0xff8600), 0u);
  DMA_PutB(0xff8601, 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "DMA_GetW ff8600\nDMA_PutB ff8601\n");
}

// ---- Saved state ----

TEST_F(Floppy, SavedSectionRestoresRegistersAndReinsertsTheImages) {
  insert("a.st", make_floppy(737280, 2, 9));
  FDC_Regs[FDC_Sector] = 5;
  DMA_SetAddress(0x123456);
  PSG_PortA = 0x05;
  const std::vector<u8> b = saved(DISKIMG_SaveState);
  EXPECT_EQ(b.size(), 563u);
  DISKIMG_Reset();
  FDC_Reset();
  PSG_PortA = 0;
  // Damaged drive mask, port A or sector count: refused, nothing inserted.
  for (const size_t at : {size_t(47 + 3), size_t(40 + 2), size_t(4 + 2)}) {
    std::vector<u8> bad = b;
    bad[at] = 4;
    EXPECT_EQ(restored(bad, DISKIMG_RestoreState), 0u) << at;
    EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(restored(b, DISKIMG_RestoreState), 1u);
  DISKIMG_FinishRestore();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Restored drive A"), std::string::npos);
  EXPECT_EQ(out.find("Restored drive B"), std::string::npos);
  EXPECT_EQ(DISKIMG_InsertedMask, 1u);
  EXPECT_EQ(FDC_Regs[FDC_Sector], 5u);
  EXPECT_EQ(DMA_GetAddress(), 0x123456u);
  EXPECT_EQ(PSG_PortA, 0x05u);
  EXPECT_EQ(DISKIMG_Drives[0].tracks, 80);
}

}  // namespace
