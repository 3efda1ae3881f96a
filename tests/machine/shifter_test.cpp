// The Shifter's registers through the I/O page: palette and host colours,
// the video counter, border detection, resolution changes; and the
// big-screen set-up.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "common/endian.h"
#include "cpu/registers.h"
#include "host/events.h"
#include "host/options.h"
#include "host/screen.h"
#include "machine/bigscreen.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/sections.h"
#include "machine/shifter.h"
#include "support/flat_memory.h"
#include "support/machine_fixture.h"
#include "support/state_section.h"

namespace {

class Shifter : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_reset_globals();
    std::memset(SHIFTER_Palette, 0, sizeof SHIFTER_Palette);
    std::memset(SHIFTER_PaletteRows, 0, sizeof SHIFTER_PaletteRows);
    std::memset(SCREEN_HostPalette, 0, sizeof SCREEN_HostPalette);
    PREFS_SimpleVideoCounter = 0;
    SHIFTER_MixedRes = 0;
  }
  void TearDown() override {
    SHIFTER_Mode = 0;
    SHIFTER_Reset(0);
    SCREEN_FirstLine = 64;
    SCREEN_DisplayLines = 200;
    SCHED_FrameCycle = 0;
    SCHED_LineCounter = 1;
  }
  // Puts the beam at cycle `pos` of line `line` (lines count from 1).
  static void at(i32 line, i32 pos) {
    SCHED_LineCounter = line;
    SCHED_FrameCycle = (line - 1) * 512 + pos;
  }
  static u32 rb(u32 a) { return MMU_IOGet(a, 2); }
  static void wb(u32 a, u32 v) { MMU_IOPut(a, 2, v); }
};

TEST_F(Shifter, PaletteLevelsAndHostColours) {
  const SHIFTER_Rgb16 white = SHIFTER_HostComponents(0x0777);
  EXPECT_EQ(white.red, 65534);
  EXPECT_EQ(white.green, 65534);
  EXPECT_EQ(white.blue, 65534);
  // Each of the eight levels of a gun, and the fourth bit ignored.
  const u16 levels[8] = {0, 9362, 18724, 28086, 37448, 46810, 56172, 65534};
  for (u32 l = 0; l < 8; ++l) {
    EXPECT_EQ(SHIFTER_HostComponents(l << 8).red, levels[l]) << l;
    EXPECT_EQ(SHIFTER_HostComponents(l << 4).green, levels[l]) << l;
    EXPECT_EQ(SHIFTER_HostComponents(l).blue, levels[l]) << l;
  }
  EXPECT_EQ(SHIFTER_HostComponents(0x0888).red, 0);
  MMU_IOPut(0xff8246, 1, 0x0777);
  EXPECT_EQ(SHIFTER_Palette[3], 0x777u);
  EXPECT_EQ(SCREEN_HostPalette[3], 0xffffffffu);
  MMU_IOPut(0xff8246, 1, 0x0700);
  EXPECT_EQ(SCREEN_HostPalette[3], 0xffff0000u);
  EXPECT_EQ(SHIFTER_ChangePending, 1u);
  // Rewriting the value it holds changes nothing, not even the marks.
  SHIFTER_ChangePending = 0;
  SCREEN_VideoWritten = 0;
  MMU_IOPut(0xff8246, 1, 0x0700);
  EXPECT_EQ(SHIFTER_ChangePending, 0u);
  EXPECT_EQ(SCREEN_VideoWritten, 0u);
  // Reads: word, either byte (the low one), long of two entries.
  SHIFTER_Palette[0] = 0x0123;
  SHIFTER_Palette[1] = 0x0456;
  EXPECT_EQ(MMU_IOGet(0xff8240, 0), 0x01230456u);
  EXPECT_EQ(MMU_IOGet(0xff8240, 1), 0x0123u);
  EXPECT_EQ(rb(0xff8240), 0x23u);
  EXPECT_EQ(rb(0xff8241), 0x23u);
  // The last entry's long read takes the resolution as its low word.
  SHIFTER_Palette[15] = 0x0777;
  SHIFTER_Resolution = 1;
  EXPECT_EQ(MMU_IOGet(0xff825e, 0), 0x07770100u);
  SHIFTER_Resolution = 0;
}

TEST_F(Shifter, LongPaletteWritesFillTwoRowsOfTheLine) {
  SCREEN_FirstLine = 64;
  at(100, 200);  // column 201, row 50
  MMU_IOPut(0xff8244, 0, 0x07000070);
  EXPECT_EQ(SHIFTER_Palette[2], 0x700u);
  EXPECT_EQ(SHIFTER_Palette[3], 0x070u);
  EXPECT_EQ(SHIFTER_PaletteRows[50].written, 1u);
  EXPECT_EQ(SHIFTER_PaletteRows[50].colours[2], 0xffff0000u);
  EXPECT_EQ(SHIFTER_PaletteRows[50].colours[3], 0u);  // not yet written there
  EXPECT_EQ(SHIFTER_PaletteRows[51].written, 1u);
  EXPECT_EQ(SHIFTER_PaletteRows[51].colours[3], 0xff00ff00u);
  // A long write at the last entry writes nothing.
  MMU_IOPut(0xff825e, 0, 0x01110222);
  EXPECT_EQ(SHIFTER_Palette[15], 0u);
}

TEST_F(Shifter, VideoCounterFollowsTheBeam) {
  SCREEN_FrameBase = 0x78000;
  at(10, 100);  // before the first picture line
  EXPECT_EQ(rb(0xff8205), 0x07u);
  EXPECT_EQ(rb(0xff8207), 0x80u);
  EXPECT_EQ(rb(0xff8209), 0x00u);
  EXPECT_EQ(SHIFTER_LinePos, 101u / 4);
  // Line 66 (the second picture line), cycle 199: column 200, byte 52.
  at(66, 199);
  rb(0xff8209);
  EXPECT_EQ(SHIFTER_VideoAddress, 0x78000u + 160 + 52);
  EXPECT_EQ(SHIFTER_LinePos, 50u);
  // Left of the picture the column clamps to 0, right of it to 160.
  at(66, 10);
  rb(0xff8209);
  EXPECT_EQ(SHIFTER_VideoAddress, 0x78000u + 160);
  at(66, 500);
  rb(0xff8209);
  EXPECT_EQ(SHIFTER_VideoAddress, 0x78000u + 320);
  // The counter goes on counting through the lower border.
  at(300, 300);
  rb(0xff8209);
  EXPECT_EQ(SHIFTER_VideoAddress, 0x78000u + 235 * 160 + 102);
  // The simple counter: the start of the current line.
  PREFS_SimpleVideoCounter = 1;
  at(49, 300);
  EXPECT_EQ(rb(0xff8207), 0x80u);
  at(50, 300);
  rb(0xff8209);
  EXPECT_EQ(SHIFTER_VideoAddress, 0x78000u + 160);
  EXPECT_EQ(SHIFTER_LinePos, 0u);
}

TEST_F(Shifter, SyncSwitchesOpenTheTopAndBottomBorders) {
  SCHED_FrameCount = 10;
  at(263, 100);
  wb(0xff820a, 0x00);
  at(264, 100);
  wb(0xff820a, 0x02);
  EXPECT_EQ(SHIFTER_BottomBorderOpen, 1u);
  EXPECT_EQ(SCREEN_DisplayLines, 238u);
  EXPECT_EQ(SCREEN_FirstLine, 64u);
  EXPECT_EQ(rb(0xff820a), 0x02u);
  SHIFTER_BottomBorderOpen = 0;
  SCHED_FrameCount = 11;
  at(40, 100);
  wb(0xff820a, 0x00);
  at(41, 100);
  wb(0xff820a, 0x02);
  EXPECT_EQ(SHIFTER_TopBorderOpen, 1u);
  EXPECT_EQ(SCREEN_FirstLine, 35u);
  EXPECT_EQ(SCREEN_DisplayLines, 229u);
  // Two lines apart, or in another frame, opens nothing.
  SHIFTER_TopBorderOpen = 0;
  SCHED_FrameCount = 12;
  at(40, 100);
  wb(0xff820a, 0x00);
  at(42, 100);
  wb(0xff820a, 0x02);
  EXPECT_EQ(SHIFTER_TopBorderOpen, 0u);
  EXPECT_EQ(SCREEN_DisplayLines, 200u);
  at(40, 100);
  wb(0xff820a, 0x00);
  SCHED_FrameCount = 13;
  at(41, 100);
  wb(0xff820a, 0x02);
  EXPECT_EQ(SHIFTER_TopBorderOpen, 0u);
}

TEST_F(Shifter, ResolutionSwitchesAtTheLineEdgesOpenTheSideBorders) {
  at(100, 20);
  wb(0xff8260, 2);
  at(100, 60);
  wb(0xff8260, 0);
  EXPECT_EQ(SHIFTER_LeftBorderOpen, 1u);
  EXPECT_EQ(SHIFTER_RightBorderOpen, 1u);
  EXPECT_EQ(rb(0xff8260), 0u);  // a colour monitor stays in low resolution
  EXPECT_EQ(SHIFTER_Mode, 0u);
  SHIFTER_LeftBorderOpen = SHIFTER_RightBorderOpen = 0;
  at(101, 440);
  wb(0xff8260, 2);
  at(102, 450);  // another line: nothing
  wb(0xff8260, 0);
  EXPECT_EQ(SHIFTER_LeftBorderOpen, 0u);
  at(102, 460);
  wb(0xff8260, 2);
  EXPECT_EQ(SHIFTER_LeftBorderOpen, 1u);
  // Word writes do no detection.
  SHIFTER_LeftBorderOpen = 0;
  at(103, 20);
  MMU_IOPut(0xff8260, 1, 2);
  MMU_IOPut(0xff8260, 1, 0);
  EXPECT_EQ(SHIFTER_LeftBorderOpen, 0u);
}

TEST_F(Shifter, ResolutionChanges) {
  SCHED_FrameCount = 20;
  SHIFTER_TopBorderOpen = 1;
  SCREEN_DisplayLines = 229;
  wb(0xff8260, 1);
  EXPECT_EQ(SHIFTER_Resolution, 1u);
  EXPECT_EQ(SHIFTER_Mode, 1u);
  EXPECT_EQ(SHIFTER_TopBorderOpen, 0u);
  EXPECT_EQ(SCREEN_DisplayLines, 200u);
  EXPECT_EQ(SHIFTER_MixedRes, 0u);
  wb(0xff8260, 0);  // low and medium in one frame
  EXPECT_EQ(SHIFTER_MixedRes, 1u);
  EXPECT_EQ(SHIFTER_Mode, 0u);
  // Long writes take only 0 or 1.
  MMU_IOPut(0xff8260, 0, 0x00010000);
  EXPECT_EQ(SHIFTER_Resolution, 0u);
  MMU_IOPut(0xff8260, 0, 1);
  EXPECT_EQ(SHIFTER_Resolution, 1u);
  // A monochrome monitor pins high resolution.
  SHIFTER_Reset(2);
  EXPECT_EQ(rb(0xff8260), 2u);
  wb(0xff8260, 0);
  EXPECT_EQ(SHIFTER_Resolution, 2u);
  EXPECT_EQ(SHIFTER_Mode, 2u);
}

TEST_F(Shifter, BaseRegistersAndOtherAddresses) {
  wb(0xff8201, 0x3e);
  wb(0xff8203, 0x0c);
  EXPECT_EQ(SHIFTER_LoadBase, 0x3e0c00u);
  EXPECT_EQ(MMU_IOGet(0xff8200, 1), 0x3eu);
  EXPECT_EQ(MMU_IOGet(0xff8202, 1), 0x0cu);
  EXPECT_EQ(MMU_IOGet(0xff8200, 0), 0x3e000cu);
  MMU_IOPut(0xff8200, 0, 0x00070080);
  EXPECT_EQ(SHIFTER_LoadBase, 0x078000u);
  MMU_IOPut(0xff8202, 1, 0x1234);
  EXPECT_EQ(SHIFTER_BaseMid, 0x34);
  EXPECT_EQ(rb(0xff820b), 0u);
  EXPECT_EQ(rb(0xff820d), 4u);
  testing::internal::CaptureStdout();
  EXPECT_EQ(rb(0xff8262), 4u);
  MMU_IOPut(0xff820a, 1, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "TT test video SHIFTER_PutW ff820a\n");
}

TEST_F(Shifter, ResetKeepsPaletteBaseAndSync) {
  SHIFTER_Palette[4] = 0x123;
  SHIFTER_BaseHigh = 0x07;
  SHIFTER_Sync = 0x02;
  SHIFTER_MixedRes = 1;
  SHIFTER_LeftBorderOpen = 1;
  SHIFTER_Reset(0);
  EXPECT_EQ(SHIFTER_Palette[4], 0x123u);
  EXPECT_EQ(SHIFTER_BaseHigh, 0x07);
  EXPECT_EQ(SHIFTER_Sync, 0x02);
  EXPECT_EQ(SHIFTER_MixedRes, 0u);
  EXPECT_EQ(SHIFTER_LeftBorderOpen, 0u);
  EXPECT_EQ(SHIFTER_Counter[1], 0x80);
  EXPECT_EQ(SHIFTER_Counter[2], 0x07);
  EXPECT_EQ(SHIFTER_ResSwitchLog[0], 2501u);
  EXPECT_EQ(SHIFTER_ResSwitchLog[3], 731u);
  EXPECT_EQ(SHIFTER_SyncSwitchLog[2], 5u);
  // The host colours follow the palette from the reset on, written or not.
  for (u32 i = 0; i < 16; ++i) {
    const SHIFTER_Rgb16 c = SHIFTER_HostComponents(SHIFTER_Palette[i]);
    EXPECT_EQ(SCREEN_HostPalette[i], SCREEN_Color2Index(c.red, c.green, c.blue)) << i;
  }
}

TEST_F(Shifter, SavedSectionRoundTrips) {
  SHIFTER_Palette[7] = 0x765;
  SHIFTER_Resolution = 1;
  SHIFTER_BaseMid = 0x80;
  SHIFTER_VideoAddress = 0x12345;
  SHIFTER_Sync60Line = 40;
  SHIFTER_Counter[2] = 0x5a;
  const std::vector<u8> b = saved(SHIFTER_SaveState);
  ASSERT_EQ(b.size(), size_t(SHIFTER_StateBytes));
  EXPECT_EQ(b[2], 0x23);   // the video address leads, big-endian
  EXPECT_EQ(b[19], 40);    // line of the last 60 Hz write
  EXPECT_EQ(b[36 + 4], 0x5a);  // the counter's low byte in the register block
  SHIFTER_Palette[7] = 0;
  SHIFTER_Resolution = 0;
  SHIFTER_BaseMid = 0;
  SHIFTER_LoadBase = 0;
  SHIFTER_VideoAddress = 0;
  SHIFTER_Sync60Line = 0;
  SHIFTER_Counter[2] = 0;
  ASSERT_EQ(restored(b, SHIFTER_RestoreState), 1u);
  EXPECT_EQ(SHIFTER_Palette[7], 0x765u);
  EXPECT_EQ(SHIFTER_Resolution, 1u);
  EXPECT_EQ(SHIFTER_BaseMid, 0x80);
  EXPECT_EQ(SHIFTER_LoadBase & 0xffff, 0x8000u);
  EXPECT_EQ(SHIFTER_VideoAddress, 0x12345u);
  EXPECT_EQ(SHIFTER_Sync60Line, 40u);
  EXPECT_EQ(SHIFTER_Counter[2], 0x5a);
}

TEST_F(Shifter, SavedSectionRefusesModesAndColoursOutOfRange) {
  const std::vector<u8> good = saved(SHIFTER_SaveState);
  SHIFTER_Palette[0] = 0x777;
  struct Damage {
    size_t at;
    u8 value;
  };
  // Mode 3, bottom border 2, resolution 3, a palette entry above 16 bits.
  for (const Damage d : {Damage{7, 3}, Damage{15, 2}, Damage{43, 3}, Damage{45, 1}}) {
    std::vector<u8> b = good;
    b[d.at] = d.value;
    EXPECT_EQ(restored(b, SHIFTER_RestoreState), 0u) << d.at;
    EXPECT_EQ(SHIFTER_Palette[0], 0x777u);
  }
}

// ---- Big screen ----

class BigScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_reset_globals();
    FLAT_Install();
    SCREEN_LineABase = 0;
    SCREEN_BigScreen = 0;
    EVENTS_VdiTracking = 0;
  }
  void TearDown() override {
    SCREEN_LineABase = 0;
    SCREEN_BigScreen = 0;
    SCREEN_OpenWindow();
    EVENTS_VdiTracking = 0;
  }
  static u32 rw(u32 a) { return MMU_ReadW(a); }
};

TEST_F(BigScreen, LineABaseComesFromTheFirstCallOnly) {
  m68k_regfile.d[0] = 0x2000;
  SCREEN_NoteLineABase();
  EXPECT_EQ(SCREEN_LineABase, 0x2000u);
  EXPECT_EQ(EVENTS_VdiTracking, 1u);
  m68k_regfile.d[0] = 0x3000;
  SCREEN_NoteLineABase();
  EXPECT_EQ(SCREEN_LineABase, 0x2000u);
}

TEST_F(BigScreen, EnteringWritesGeometryMemoryAndBase) {
  MMU_RamSize = 0x400000;
  const u32 b = 0x2000;
  SCREEN_LineABase = b;
  MMU_WriteL(b + 16, 0x3000);  // the VDI workstation block
  SCREEN_EnterBigScreen();
  EXPECT_EQ(SCREEN_BigScreen, 1u);
  EXPECT_EQ(SCREEN_FrameBytes, 128000u);
  const struct {
    u32 addr, value;
  } expect[] = {{b, 4},          {b + 60, 640},  {b + 62, 400},   {b - 2, 320},
                {b + 2, 320},    {b - 4, 399},   {b - 12, 639},   {b - 46, 8},
                {b - 44, 79},    {b - 42, 49},   {b - 40, 2560},  {0x3000, 639},
                {0x3002, 399},   {0x3000 + 26, 16}, {0x3000 + 70, 1}, {0x3000 + 78, 512},
                {b - 690, 399},  {b - 692, 639}, {b - 664, 16}};
  for (const auto& e : expect) EXPECT_EQ(rw(e.addr), e.value) << std::hex << e.addr;
  for (u32 v : {0x436u, 0x42eu, 0x44eu}) EXPECT_EQ(MMU_ReadL(v), 0x3e0c00u) << std::hex << v;
  EXPECT_EQ(SHIFTER_LoadBase, 0x3e0c00u);
  EXPECT_EQ(SHIFTER_BaseHigh, 0x3e);
  EXPECT_EQ(SHIFTER_BaseMid, 0x0c);
  MMU_RamSize = 0x100000;
  SCREEN_ReserveBigScreenRam();
  EXPECT_EQ(MMU_ReadL(0x44e), 0xe0c00u);
  MMU_RamSize = 0x400000;
}

// The Line-A base comes from the ST's D0: the workstation pointer behind it
// can lie outside RAM, here in the cartridge window, and is read from there.
TEST(BigScreenMap, WorkstationPointerOutsideRamIsReadThroughItsBank) {
  machine_reset_globals();
  TempFolder folder;
  folder.write("tos.img", make_tos_image(0x01, 0x04));
  machine_build_memory(folder.path());
  ASSERT_EQ(MMU_BankOf(0xfa0000), &CART_Bank);
  const u32 b = 0xfa0100;
  be_write32(CART_Buffer + (b + 16 - 0xfa0000), 0x5000);
  SCREEN_LineABase = b;
  SCREEN_WriteLineAGeometry(640, 400, 4);
  EXPECT_EQ(MMU_ReadW(0x5000), 639u);
  EXPECT_EQ(MMU_ReadW(0x5002), 399u);
  EXPECT_EQ(MMU_ReadW(0x5000 + 78), 512u);
  // The words around the base went into the writable cartridge window.
  EXPECT_EQ(MMU_ReadW(b + 60), 640u);
  SCREEN_LineABase = 0;
}

}  // namespace
