#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "common/endian.h"
#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "host/app.h"
#include "host/options.h"
#include "host/screen.h"
#include "machine/memory.h"
#include "support/machine_fixture.h"
#include "support/ordinary_user.h"

namespace {

class MemoryMap : public MachineMemoryTest {};

u32 load_quietly(const std::string& path) {
  testing::internal::CaptureStdout();
  const u32 ok = MMU_LoadTOS(path);
  testing::internal::GetCapturedStdout();
  return ok;
}

}  // namespace

TEST_F(MemoryMap, BankLayoutOfFourMegabytesAndTos104) {
  EXPECT_EQ(MMU_RamSize, 0x400000u);
  for (u32 b = 0; b < 0x40; ++b) EXPECT_EQ(MMU_bankTable[b], &MMU_RamBank) << b;
  for (u32 b = 0x40; b < 0xfa; ++b) EXPECT_EQ(MMU_bankTable[b], &MMU_IoBank) << b;
  EXPECT_EQ(MMU_bankTable[0xfa], &CART_Bank);
  EXPECT_EQ(MMU_bankTable[0xfb], &CART_Bank);
  for (u32 b = 0xfc; b <= 0xfe; ++b) EXPECT_EQ(MMU_bankTable[b], &MMU_RomBank);
  EXPECT_EQ(MMU_bankTable[0xff], &MMU_IoBank);
  EXPECT_EQ(MMU_TosVersion, 14u);
  // A 32-bit address reaches the record of its 24-bit image.
  EXPECT_EQ(MMU_BankOf(0x01fa0000), &CART_Bank);
  EXPECT_EQ(MMU_ReadW(0xfffc0002), 0x0104u);
}

TEST_F(MemoryMap, RamIsBigEndianAndMarksScreenWrites) {
  MMU_WriteL(0x1000, 0x12345678);
  EXPECT_EQ(MMU_RamBase[0x1000], 0x12);
  EXPECT_EQ(MMU_RamBase[0x1003], 0x78);
  EXPECT_EQ(MMU_ReadW(0x1002), 0x5678u);
  EXPECT_EQ(MMU_ReadB(0x1001), 0x34u);

  SCREEN_FrameBase = 0x78000;
  SCREEN_FrameBytes = 32000;
  SCREEN_VideoWritten = 0;
  MMU_WriteB(0x77fff, 1);
  EXPECT_EQ(SCREEN_VideoWritten, 0u);
  MMU_WriteW(0x78000 + 32000, 1);  // one past the screen still counts
  EXPECT_EQ(SCREEN_VideoWritten, 1u);
  SCREEN_VideoWritten = 0;
  MMU_WriteL(0x78000 + 32001, 1);
  EXPECT_EQ(SCREEN_VideoWritten, 0u);
}

TEST_F(MemoryMap, LongWritesToTheFirstBytesAreBusErrorsButStillStored) {
  machine_point_vectors();
  testing::internal::CaptureStdout();
  MMU_WriteL(4, 0xdeadbeef);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "long put bus error 4 \n");
  EXPECT_EQ(MMU_BusErrorCount, 1u);
  EXPECT_EQ(be_read32(MMU_RamBase + 4), 0xdeadbeefu);
  EXPECT_TRUE(machine_end_instruction());
  MMU_WriteL(5, 1);
  MMU_WriteW(0, 1);
  EXPECT_EQ(MMU_BusErrorCount, 1u);
  EXPECT_FALSE(machine_end_instruction());
  // The first bytes of other banks are plain RAM; a mirrored address of
  // bank 0 is bank 0. Screen writes are marked whichever way they go.
  SCREEN_FrameBase = 0x10000;
  SCREEN_VideoWritten = 0;
  MMU_WriteL(0x10002, 0x01020304);
  EXPECT_EQ(MMU_ReadL(0xff010002), 0x01020304u);
  EXPECT_EQ(SCREEN_VideoWritten, 1u);
  EXPECT_EQ(MMU_BusErrorCount, 1u);
  testing::internal::CaptureStdout();
  MMU_WriteL(0x01000002, 0x05060708);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "long put bus error 2 \n");
  EXPECT_EQ(MMU_BusErrorCount, 2u);
  EXPECT_TRUE(machine_end_instruction());
  EXPECT_EQ(MMU_ReadL(2), 0x05060708u);
}

TEST_F(MemoryMap, RomWritesAreBusErrorsAndStoreNothing) {
  machine_point_vectors();
  MMU_WriteB(0xfc0010, 0xaa);
  EXPECT_TRUE(machine_end_instruction());
  MMU_WriteW(0xfc0010, 0xaaaa);
  EXPECT_TRUE(machine_end_instruction());
  MMU_WriteL(0xfc0010, 0xaaaaaaaa);
  EXPECT_TRUE(machine_end_instruction());
  EXPECT_EQ(MMU_BusErrorCount, 3u);
  EXPECT_EQ(MMU_ReadL(0xfc0010), 0u);
}

// The bus error of a bank access goes through the processor's fault latch:
// the banks are silent for the rest of the instruction, and when it ends the
// 14-byte frame is built and the PC is at the handler.
TEST_F(MemoryMap, ExceptionEntryReachesTheBusErrorVector) {
  machine_point_vectors();
  MMU_WriteB(0xfc0000, 0);
  EXPECT_EQ(m68k_get_pc(), machine_idle_pc);
  EXPECT_EQ(MMU_ReadL(0x1000), 0xffffffffu);  // silent until the instruction ends
  MMU_WriteW(0xfc0000, 0);
  EXPECT_EQ(MMU_BusErrorCount, 1u);
  EXPECT_TRUE(machine_end_instruction());
  EXPECT_EQ(m68k_get_pc(), vector_target(2));
  const u32 sp = m68k_regfile.a[7];
  EXPECT_EQ(sp, 0x8000u - 14);
  EXPECT_EQ(MMU_ReadL(sp + 2), 0u);       // access address 0 for devices
  EXPECT_EQ(MMU_ReadW(sp + 6), 0x60feu);  // the word at the PC
  EXPECT_EQ(MMU_ReadL(sp + 10), machine_idle_pc);
  EXPECT_EQ(MMU_ReadL(0x1000), 0u);  // the banks are back
}

// With the supervisor stack in ROM the frame's own pushes fault: the
// processor's double fault, never a recursion through the bank.
TEST_F(MemoryMap, AFrameThatFaultsIsTheDoubleFault) {
  machine_point_vectors();
  MMU_WriteL(0x100, 0x12345678);
  m68k_regfile.a[7] = 0xfc0100;
  m68k_raise_exception(33, 0);  // TRAP #1
  EXPECT_TRUE(m68k_regfile.pending & m68k_pend_double_fault);
  EXPECT_GE(MMU_BusErrorCount, 1u);
  testing::internal::CaptureStdout();
  m68k_double_fault();  // what the run loop does with it
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Multi Bus Error...\n");
  EXPECT_EQ(MMU_ReadL(0x100), 0u);
  EXPECT_EQ(m68k_get_pc(), 0xfc0000u);
  EXPECT_EQ(m68k_regfile.a[7], 0xf000u);
  EXPECT_EQ(m68k_regfile.pending, 0u);
}

// A bus error from a bus master before any PC was set (no processor state
// yet) is latched without reading an instruction word.
TEST_F(MemoryMap, BusErrorBeforeAnyPcIsSet) {
  m68k_regfile.pcHost = m68k_regfile.pcBase = nullptr;
  m68k_regfile.pc = 0;
  MMU_WriteB(0xfc0000, 0);
  EXPECT_EQ(MMU_BusErrorCount, 1u);
  EXPECT_TRUE(m68k_regfile.pending & m68k_pend_fault_resume);
  m68k_exceptions_reset();
  m68k_regfile.pending = 0;
  EXPECT_EQ(MMU_ReadL(0x1000), 0u);
}

// A word or long access that runs past the end of a 64 KB bank takes its
// other bytes from the next bank, never from behind a host buffer.
TEST_F(MemoryMap, AccessesAtTheLastBytesOfABankReachTheNextBank) {
  machine_point_vectors();
  const u32 end = MMU_RamSize;
  MMU_WriteL(end - 4, 0x11223344);
  EXPECT_EQ(MMU_ReadL(end - 2), 0x334455aau);  // the I/O page's fill word behind RAM
  EXPECT_EQ(MMU_ReadW(end - 1), 0x4455u);
  MMU_WriteL(end - 1, 0xa1b2c3d4);  // odd, across: one byte in RAM
  EXPECT_EQ(MMU_RamBase[end - 1], 0xa1);
  EXPECT_EQ(be_read16(MMU_RamBase + end), 0x4afcu);  // the guard pad is untouched
  EXPECT_EQ(MMU_ReadL(0xfbfffe), 0xffff0000u | MMU_ReadW(0xfc0000));  // cartridge, then ROM
  MMU_WriteL(0x1fffd, 0x01020304);  // across two RAM banks, byte by byte
  EXPECT_EQ(MMU_ReadL(0x1fffd), 0x01020304u);
  EXPECT_EQ(MMU_BusErrorCount, 0u);
  testing::internal::CaptureStdout();
  MMU_ReadL(0xfeffff);  // the ROM's last byte, then unassigned I/O: a bus error
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(MMU_BusErrorCount, 1u);
  EXPECT_TRUE(machine_end_instruction());
  MMU_WriteL(0xfbfffe, 0x11223344);  // the cartridge half is stored, the ROM half faults
  EXPECT_EQ(MMU_BusErrorCount, 2u);
  EXPECT_TRUE(machine_end_instruction());
  EXPECT_EQ(MMU_ReadW(0xfbfffe), 0x1122u);
  EXPECT_EQ(be_read16(CART_Buffer + CART_Size), 0x4afcu);
}

// An instruction in the last word of RAM takes its extension words from the
// guard pad, and the prefetch table's reload behind it stays inside the pad
// as well (the sanitizer build sees any read beyond). MOVE.L abs.L,abs.L
// is the longest: 8 bytes of operands, then the reload's 4.
TEST_F(MemoryMap, InstructionsAtTheEndOfRamStayInsideTheGuardPad) {
  static const bool decoded = (m68k_decode_init(), true);
  (void)decoded;
  machine_point_vectors();
  m68k_prefetch_mode = 1;
  m68k_build_dispatch();
  const u32 last = MMU_RamSize - 2;
  be_write16(MMU_RamBase + last, 0x23f9);
  m68k_jump_to(last);
  m68k_reload_prefetch();
  m68k_step();
  m68k_prefetch_mode = 0;
  m68k_build_dispatch();
  // The operands 0x4afc4afc name the ROM: the write is its bus error.
  EXPECT_EQ(MMU_BusErrorCount, 1u);
  EXPECT_EQ(m68k_get_pc(), vector_target(2));
  EXPECT_EQ(be_read16(m68k_regfile.prefetch), 0x60feu);
}

TEST_F(MemoryMap, RangeChecks) {
  EXPECT_EQ(MMU_RamBank.check(0x3ffff0, 4), 1u);
  EXPECT_EQ(MMU_RamBank.check(0x3ffffc, 4), 0u);
  EXPECT_EQ(MMU_RomBank.check(0xfc0000, 0x2ffff), 1u);
  EXPECT_EQ(MMU_RomBank.check(0xfc0000, 0x30000), 0u);
  EXPECT_EQ(CART_Bank.check(0xfa0000, 0x1ffff), 1u);
  EXPECT_EQ(CART_Bank.check(0xfa0001, 0x1ffff), 0u);
  EXPECT_EQ(MMU_IoBank.hostPtr(0xff8000), nullptr);
  EXPECT_EQ(MMU_RamBank.hostPtr(0x100), MMU_RamBase + 0x100);
}

TEST_F(MemoryMap, ClearRamKeepsTheFirstNineBytes) {
  for (u32 a = 0; a < 16; ++a) MMU_RamBase[a] = u8(0xa0 + a);
  MMU_RamBase[MMU_RamSize - 1] = 0x77;
  MMU_ClearRAM();
  for (u32 a = 0; a < 9; ++a) EXPECT_EQ(MMU_RamBase[a], 0xa0 + a) << a;
  for (u32 a = 9; a < 16; ++a) EXPECT_EQ(MMU_RamBase[a], 0) << a;
  EXPECT_EQ(MMU_RamBase[MMU_RamSize - 1], 0);
}

TEST_F(MemoryMap, MapBanksSetsARunAndNothingForCountZero) {
  MMU_MapBanks(&CART_Bank, 0x50, 0);
  EXPECT_EQ(MMU_bankTable[0x50], &MMU_IoBank);
  MMU_MapBanks(&CART_Bank, 0x150, 2);  // indices above 255 mirror onto 0x50
  EXPECT_EQ(MMU_bankTable[0x50], &CART_Bank);
  EXPECT_EQ(MMU_bankTable[0x51], &CART_Bank);
  EXPECT_EQ(MMU_bankTable[0x52], &MMU_IoBank);
}

// ---- TOS images ----

struct TosCase {
  u8 v0, v1;
  bool emu;
  u32 accepted, base, version;
};

class TosAcceptance : public MemoryMap, public ::testing::WithParamInterface<TosCase> {};

TEST_P(TosAcceptance, HeaderDecidesLayoutAndRomWordTheVersion) {
  const TosCase c = GetParam();
  const u32 size = c.base == 0xe00000 ? 0x40000 : 0x30000;
  folder.write("other.img", make_tos_image(c.v0, c.v1, size, c.emu));
  MMU_TosVersion = 99;
  ASSERT_EQ(load_quietly(folder.file("other.img")), c.accepted);
  if (!c.accepted) {
    EXPECT_EQ(MMU_TosVersion, 99u);  // a refused image changes nothing
    return;
  }
  EXPECT_EQ(MMU_RomBase, c.base);
  EXPECT_EQ(MMU_RomSize, size);
  EXPECT_EQ(MMU_TosVersion, c.version);
  EXPECT_EQ(MMU_IsEmuTOS, c.emu ? 1u : 0u);
  EXPECT_EQ(MMU_BankOf(c.base), &MMU_RomBank);
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, TosAcceptance,
    ::testing::Values(TosCase{1, 0, false, 1, 0xfc0000, 10}, TosCase{1, 2, false, 1, 0xfc0000, 12},
                      TosCase{1, 2, true, 1, 0xfc0000, 12}, TosCase{1, 4, false, 1, 0xfc0000, 14},
                      TosCase{1, 0x62, false, 1, 0xe00000, 16},
                      TosCase{2, 5, false, 1, 0xe00000, 25}, TosCase{2, 6, false, 1, 0xe00000, 26},
                      TosCase{1, 6, false, 0, 0, 0}, TosCase{3, 0, false, 0, 0, 0},
                      TosCase{0, 0, false, 0, 0, 0}),
    [](const ::testing::TestParamInfo<TosCase>& info) {
      char name[32];
      std::snprintf(name, sizeof name, "Header%02x%02x%s", info.param.v0, info.param.v1,
                    info.param.emu ? "EmuTOS" : "");
      return std::string(name);
    });

TEST_F(MemoryMap, LoadingTheOtherLayoutUnmapsTheOldRomBanks) {
  folder.write("tos206.img", make_tos_image(2, 6, 0x40000));
  ASSERT_EQ(load_quietly(folder.file("tos206.img")), 1u);
  for (u32 b = 0xe0; b <= 0xe3; ++b) EXPECT_EQ(MMU_bankTable[b], &MMU_RomBank);
  // 0xfc-0xfe must not read the new 256 KB buffer at offsets of the old base.
  for (u32 b = 0xfc; b <= 0xfe; ++b) EXPECT_EQ(MMU_bankTable[b], &MMU_IoBank) << b;
  EXPECT_EQ(MMU_ReadW(0xfeff00), 0x55aau);

  folder.write("tos104.img", make_tos_image(1, 4));
  ASSERT_EQ(load_quietly(folder.file("tos104.img")), 1u);
  for (u32 b = 0xe0; b <= 0xe3; ++b) EXPECT_EQ(MMU_bankTable[b], &MMU_IoBank) << b;
  for (u32 b = 0xfc; b <= 0xfe; ++b) EXPECT_EQ(MMU_bankTable[b], &MMU_RomBank);
}

TEST_F(MemoryMap, ShortTosFilesAreRefused) {
  std::vector<u8> header_only = make_tos_image(1, 4, 0x40);
  header_only.resize(47);  // shorter than its header
  folder.write("short.img", header_only);
  EXPECT_EQ(load_quietly(folder.file("short.img")), 0u);

  // Shorter than its version's ROM: the TOS in place stays.
  folder.write("part.img", make_tos_image(1, 2, 0x2ffff));
  std::string why;
  EXPECT_EQ(MMU_LoadTOS(folder.file("part.img"), &why), 0u);
  EXPECT_EQ(why, "is too short for its version (TOS 1.02 needs 196608 bytes, the file has 196607)");
  EXPECT_EQ(MMU_TosVersion, 14u);
  EXPECT_EQ(MMU_ReadW(0xfc0002), 0x0104u);
}

TEST_F(MemoryMap, ReadOnlyTosFileIsAccepted) {
  folder.write("ro.img", make_tos_image(1, 2));
  chmod(folder.path().c_str(), 0755);
  chmod(folder.file("ro.img").c_str(), 0444);
  EXPECT_EQ(load_quietly(folder.file("ro.img")), 1u);
  EXPECT_EQ(MMU_TosVersion, 12u);
  // Again where the permissions bind.
  EXPECT_EQ(run_as_ordinary_user([&] {
              std::FILE* rw = std::fopen(folder.file("ro.img").c_str(), "r+b");
              if (rw) return 3;  // the file is writable after all: nothing to show
              MMU_TosVersion = 0;
              return MMU_LoadTOS(folder.file("ro.img")) == 1 && MMU_TosVersion == 12 ? 0 : 1;
            }),
            0);
}

TEST_F(MemoryMap, MissingFileIsRefused) {
  EXPECT_EQ(load_quietly(folder.file("none.img")), 0u);
}

// A TOS chosen in the file dialog that is no regular file is refused at
// once: a FIFO is not waited on.
TEST_F(MemoryMap, TosThatIsNoRegularFileIsRefusedAtOnce) {
  ASSERT_EQ(mkfifo(folder.file("fifo.img").c_str(), 0600), 0);
  EXPECT_EQ(load_quietly(folder.file("fifo.img")), 0u);
  EXPECT_EQ(load_quietly(folder.path()), 0u);
}

// ---- Start-up of the memory map ----

TEST(MemoryInit, RamSizeFallsBackAndPrintsItsLine) {
  machine_reset_globals();
  TempFolder folder;
  folder.write("tos.img", make_tos_image(1, 4));
  APP_FolderOverride = folder.path();
  APP_GetAppFolder();
  struct Case {
    u32 ram14, limit, size;
    const char* line;
  };
  const Case cases[] = {{1, 0xffffffff, 0xe00000, "14Mb ST RAM\n"},
                        {0, 0xffffffff, 0x400000, "4Mb ST RAM\n"},
                        {1, 0x300000, 0x200000, "2Mb ST RAM\n"},
                        {0, 0x100000, 0x100000, "1Mb ST RAM\n"},
                        {0, 0x80000, 0x80000, "512Ko ST RAM\n"}};
  for (const Case& c : cases) {
    PREFS_Ram14MB = c.ram14;
    MMU_HostRamLimit = c.limit;
    EXPECT_EQ(MMU_StartRamSize(), c.size);  // known before the start
    testing::internal::CaptureStdout();
    MMU_Init();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(MMU_RamSize, c.size);
    EXPECT_EQ(out, c.line);
    EXPECT_EQ(MMU_bankTable[(c.size >> 16) - 1], &MMU_RamBank);
    EXPECT_EQ(MMU_bankTable[(c.size >> 16) & 0xff], &MMU_IoBank);
  }
  MMU_HostRamLimit = 0xffffffff;
  PREFS_Ram14MB = 0;
  MMU_HostRamLimit = 0x40000;  // nothing fits: fatal
  EXPECT_THROW(machine_build_memory(folder.path()), ProcessExit);
  MMU_HostRamLimit = 0xffffffff;
  machine_build_memory(folder.path());
}

TEST(MemoryInit, NoTosImageEndsTheProgram) {
  machine_reset_globals();
  TempFolder folder;
  testing::internal::CaptureStderr();
  EXPECT_THROW(machine_build_memory(folder.path()), ProcessExit);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("tos.img does not exist"), std::string::npos) << err;
  // An unrecognised image is no better.
  folder.write("tos.img", make_tos_image(9, 9));
  testing::internal::CaptureStderr();
  EXPECT_THROW(machine_build_memory(folder.path()), ProcessExit);
  testing::internal::GetCapturedStderr();
}

TEST(MemoryInit, CartridgeImages) {
  machine_reset_globals();
  TempFolder folder;
  folder.write("tos.img", make_tos_image(1, 4));
  CART_PortConfig = 0;

  machine_build_memory(folder.path());  // no cartridge
  EXPECT_EQ(CART_PortConfig, 0u);
  EXPECT_EQ(MMU_ReadL(0xfa0000), 0xffffffffu);

  folder.write("cart.img", {});  // empty: the window stays all ones
  machine_build_memory(folder.path());
  EXPECT_EQ(CART_PortConfig, 2u);
  EXPECT_EQ(MMU_ReadL(0xfa0000), 0xffffffffu);

  std::vector<u8> cart(0x30000, 0x11);  // longer than the window: cut to 128 KB
  cart[0] = 0xab;
  cart[0x1ffff] = 0xcd;
  folder.write("cart.img", cart);
  testing::internal::CaptureStdout();
  EXPECT_EQ(CART_Load("cart.img"), 1u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cartridge found and loaded at 0xfa0000\n");
  EXPECT_EQ(MMU_ReadB(0xfa0000), 0xabu);
  EXPECT_EQ(MMU_ReadB(0xfbffff), 0xcdu);

  std::vector<u8> driver(0x400, 0);
  be_write16(&driver[0], 0x601a);
  for (u32 i = 0; i < 40; ++i) driver[0x1c + i] = u8(i + 1);
  folder.write("cart.img", driver);
  testing::internal::CaptureStdout();
  EXPECT_EQ(CART_Load("cart.img"), 1u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "HDD.SYS driver found and loaded at 0xfa0000\n");
  EXPECT_EQ(CART_PortConfig, 1u);
  EXPECT_EQ(MMU_ReadB(0xfa0000), 1u);
  EXPECT_EQ(MMU_ReadB(0xfa0027), 40u);

  // One that is no regular file is skipped, and the message says why.
  std::remove(folder.file("cart.img").c_str());
  ASSERT_EQ(mkfifo(folder.file("cart.img").c_str(), 0600), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(CART_Load("cart.img"), 0u);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("cart.img is a FIFO"), std::string::npos);
}
