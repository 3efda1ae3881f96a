// The real operating system as the machine's acceptance test: the two EmuTOS
// images boot from cold to their desktop, on the 68000 table with prefetch
// too, run a program of ours from the AUTO folder of a floppy and of the
// hard disk, find the Blitter when it is on, take keys and mouse motion, a
// state saved at the desktop goes on in a fresh machine as it would have in
// the first, a floppy swapped by a drop is seen as a new disk (also by a
// program polling its drive, whatever the disks' write protection), and a
// file created on a write-protected floppy is refused as write-protected.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "host/events.h"
#include "host/options.h"
#include "cpu/decode.h"
#include "cpu/handlers/handler_declarations.h"
#include "cpu/registers.h"
#include "host/shared/input.h"
#include "host/shared/screen_convert.h"
#include "machine/ikbd.h"
#include "machine/diskimg.h"
#include "machine/hdd.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/shifter.h"
#include "machine/state.h"
#include "support/desktop_check.h"
#include "support/floppy_images.h"
#include "support/machine_fixture.h"
#include "support/shell.h"
#include "support/testdata.h"

namespace {

constexpr u32 boot_frames = 2000;  // 40 emulated seconds

std::string emutos_image(const char* name) {
  return std::string(TESTDATA_DIR) + "/emutos/" + name;
}

class EmuTos : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_reset_globals();
    CART_PortConfig = 0;
  }
  void TearDown() override {
    HDD_CloseImages();
    DISKIMG_Reset();
    CART_PortConfig = 0;
    EVENTS_ScriptHook = nullptr;
  }

  // Starts the machine from the folder with `image` as its TOS, quietly.
  void start(const char* image, bool monochrome) {
    std::filesystem::copy_file(emutos_image(image), folder.file("tos.img"),
                               std::filesystem::copy_options::overwrite_existing);
    SHIFTER_Mode = monochrome ? 2 : 0;
    testing::internal::CaptureStderr();
    machine_start(folder.path());
    testing::internal::GetCapturedStderr();
  }
  // Runs from the processor's restart, or goes on.
  static void run(u32 frames, bool goOn = false) { machine_run_quietly(frames, goOn); }
  static SCREEN_Image screen() {
    return SCREEN_ConvertST(MMU_RamBase, MMU_RamSize, SCREEN_CurrentView());
  }

  TempFolder folder;
};

// ---- Cold boots ----

struct Boot {
  const char* image;
  bool monochrome;
};

void PrintTo(const Boot& b, std::ostream* os) {
  *os << b.image << (b.monochrome ? " monochrome" : " colour");
}

class EmuTosBoot : public EmuTos, public ::testing::WithParamInterface<Boot> {};

TEST_P(EmuTosBoot, ReachesItsDesktopFromCold) {
  REQUIRE_EMUTOS();
  start(GetParam().image, GetParam().monochrome);
  run(50);  // the start-up screen: no desktop yet
  EXPECT_NE(check_desktop(screen()).problem, "");
  run(boot_frames - 50, true);
  const SCREEN_Image picture = screen();
  EXPECT_EQ(picture.height, GetParam().monochrome ? 400u : 200u);
  const DesktopReport desk = check_desktop(picture);
  EXPECT_EQ(desk.problem, "");
  EXPECT_GE(desk.titles, 4u);    // Desk, File, View, Options
  EXPECT_EQ(desk.iconsTop, 2u);  // the floppy drives

  // The same picture black, blank, half drawn or without its menu bar is no
  // desktop.
  const u32 h = picture.height;
  for (auto [y0, y1, grey] : {std::tuple{0u, h, 0}, {0u, h, 255}, {h / 2, h, 255},
                              {0u, desk.barLine + 1, 255}}) {
    SCREEN_Image broken = picture;
    for (size_t i = size_t(y0) * picture.width * 4; i < size_t(y1) * picture.width * 4; ++i)
      broken.rgba[i] = (i & 3) == 3 ? 255 : u8(grey);
    EXPECT_NE(check_desktop(broken).problem, "") << "rows " << y0 << "-" << y1;
  }
}

// On the 68000 table with prefetch and address errors it reaches the same
// desktop, pixel for pixel.
TEST_P(EmuTosBoot, ReachesTheSameDesktopWithThePrefetchTable) {
  REQUIRE_EMUTOS();
  SCREEN_Image pictures[2];
  for (u32 prefetch : {0u, 1u}) {
    TearDown();
    SetUp();
    m68k_prefetch_mode = prefetch;
    start(GetParam().image, GetParam().monochrome);
    ASSERT_EQ(m68k_dispatch[0x4e75] == &m68k_exec_4e75_t5, prefetch == 1);  // RTS
    run(boot_frames);
    pictures[prefetch] = screen();
  }
  m68k_prefetch_mode = 0;
  m68k_build_dispatch();
  EXPECT_EQ(check_desktop(pictures[1]).problem, "");
  EXPECT_TRUE(pictures[1].rgba == pictures[0].rgba);
}

INSTANTIATE_TEST_SUITE_P(Images, EmuTosBoot,
                         ::testing::Values(Boot{"etos192uk.img", false},
                                           Boot{"etos192uk.img", true},
                                           Boot{"etos256de.img", false},
                                           Boot{"etos256de.img", true}),
                         [](const auto& info) {
                           return std::string(info.param.image[4] == '1' ? "Uk192" : "De256") +
                                  (info.param.monochrome ? "Monochrome" : "Colour");
                         });

// ---- Programs of ours in the AUTO folder ----

#if defined(FAT_TOOLS) && defined(AUTOTEST_FLOPPY)

// What tests/programs/autotest.s reads: `keys` (its first byte) says how many
// keys to wait for; the rest is a test pattern of `bytes` bytes in all.
std::string autotest_input(char keys, u32 bytes) {
  std::string data(1, keys);
  u32 x = 12345;
  while (data.size() < bytes) {
    x = x * 1103515245 + 12345;
    data += char(x >> 16);
  }
  return data;
}

// The result file the program writes for `input`, given the keys it read
// and whether the operating system found a Blitter.
std::string autotest_result(const std::string& input, const std::string& keys,
                            const std::string& scans, bool blitter = false) {
  const u32 crc = u32(crc32(0, reinterpret_cast<const Bytef*>(input.data()), uInt(input.size())));
  char first[64];
  std::snprintf(first, sizeof first, "CRC %08x LEN %u", crc, u32(input.size()));
  // The console's cursor stands behind the first line, printed from column 0.
  return std::string(first) + " COL " + std::to_string(std::strlen(first)) +
         (blitter ? " BLT 0002" : " BLT 0000") + "\r\nKEYS " + keys + "\r\nSCAN " + scans + "\r\n";
}

// Puts the program's input on a FAT image.
void put_input(const TempFolder& folder, const std::string& image, const std::string& input) {
  const std::string path = folder.file("input.dat");
  std::ofstream(path, std::ios::binary) << input;
  ASSERT_EQ(fat_copy_in(image, path, "INPUT.DAT"), "");
}

// The build's floppy with the program in its AUTO folder, as drive A of the
// folder, holding `input`.
std::string autotest_floppy(const TempFolder& folder, const std::string& input) {
  const std::string disk = folder.file("disk1.st");
  std::filesystem::copy_file(AUTOTEST_FLOPPY, disk);
  put_input(folder, disk, input);
  return disk;
}

// The same motion in the first frame of a run, whatever came before it.
void move_at_first_poll(u32) {
  IKBD_SendRelativeMouse(-70, 25);
  EVENTS_ScriptHook = nullptr;
}

TEST_F(EmuTos, AutoProgramOnAFloppyThenMouseAndASavedStateAtTheDesktop) {
  REQUIRE_EMUTOS();
  const std::string input = autotest_input('0', 5000);
  const std::string disk = autotest_floppy(folder, input);
  start("etos192uk.img", false);
  // With a Blitter, which the operating system finds and draws with.
  PREFS_BlitterEnabled = 1;
  run(boot_frames);
  const SCREEN_Image desk = screen();
  EXPECT_EQ(check_desktop(desk).problem, "");

  // A file of a TOS image's size that is none, dropped on the window, is
  // refused with a message and leaves the running ST as it was.
  std::vector<u8> junk(262144);
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = u8(i * 2654435761u >> 13);
  junk[2] = junk[3] = 0xff;
  folder.write("junk.img", junk);
  const std::vector<u8> ram_desk(MMU_RamBase, MMU_RamBase + MMU_RamSize);
  const u32 pc = m68k_get_pc();
  testing::internal::CaptureStderr();
  APP_OpenDocuments({folder.file("junk.img")}, false);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("junk.img is no TOS image"), std::string::npos);
  EXPECT_TRUE(std::equal(ram_desk.begin(), ram_desk.end(), MMU_RamBase));
  EXPECT_EQ(m68k_get_pc(), pc);
  EXPECT_EQ(MMU_IsEmuTOS, 1u);

  // The program ran at boot and wrote its file on the (writable) floppy.
  EXPECT_EQ(fat_read(disk, "RESULT.TXT").out, autotest_result(input, "", "", true));

  // Mouse packets move the pointer by as many pixels.
  IKBD_SendRelativeMouse(40, 30);
  run(5, true);
  const SCREEN_Image moved = screen();
  PixelBox was, is;
  find_moved(desk, moved, was, is);
  ASSERT_GT(was.pixels, 20u);
  ASSERT_GT(is.pixels, 20u);
  EXPECT_LE(was.x1 - was.x0, 16u);
  EXPECT_LE(was.y1 - was.y0, 16u);
  EXPECT_EQ(is.x0, was.x0 + 40);
  EXPECT_EQ(is.y0, was.y0 + 30);

  // A state saved here, and restored as the application restores one at
  // start-up, goes on in a fresh machine as it goes on here.
  const std::string saved = folder.file("desk.sav");
  ASSERT_TRUE(STATE_Write(saved.c_str()));
  EVENTS_ScriptHook = move_at_first_poll;
  run(100, true);
  const SCREEN_Image here = screen();
  const std::vector<u8> ram_here(MMU_RamBase, MMU_RamBase + MMU_RamSize);
  std::filesystem::copy_file(saved, folder.file("Auto Saved State"));
  machine_reset_globals();
  start("etos192uk.img", false);
  PREFS_BlitterEnabled = 1;
  EVENTS_ScriptHook = move_at_first_poll;
  run(100);
  ASSERT_EQ(APP_AutoStateLoaded, 1u);
  const SCREEN_Image there = screen();
  EXPECT_TRUE(here.rgba == there.rgba) << "the restored machine shows another screen";
  EXPECT_TRUE(std::equal(ram_here.begin(), ram_here.end(), MMU_RamBase)) << "nor is its RAM the same";
  find_moved(moved, there, was, is);
  EXPECT_EQ(is.x0 + 70, was.x0);  // the pointer moved in both
}

TEST_F(EmuTos, AutoProgramOnTheHardDiskThroughOurDriver) {
  REQUIRE_EMUTOS();
  const std::string hdd = folder.file("HDD-C.dmg");
  ASSERT_EQ(fat_new_volume(hdd, 16384), "");
  ASSERT_EQ(fat_make_dir(hdd, "AUTO"), "");
  ASSERT_EQ(fat_copy_in(hdd, M68K_PROGRAM_DIR "/autotest.bin", "AUTO/VANTEST.PRG"), "");
  const std::string input = autotest_input('0', 12000);
  put_input(folder, hdd, input);
  std::filesystem::copy_file(CART_IMAGE, folder.file("cart.img"));
  // No floppy: the driver makes C the boot drive.
  start("etos256de.img", true);
  run(boot_frames);
  const DesktopReport desk = check_desktop(screen());
  EXPECT_EQ(desk.problem, "");
  EXPECT_EQ(desk.iconsTop, 3u);  // A, B and C
  EXPECT_EQ(fat_read(hdd, "RESULT.TXT").out, autotest_result(input, "", ""));
}

TEST_F(EmuTos, KeysOfAHeadlessScriptReachAProgramWithShift) {
  REQUIRE_EMUTOS();
  const std::string input = autotest_input('5', 300);
  const std::string disk = autotest_floppy(folder, input);
  std::filesystem::copy_file(emutos_image("etos192uk.img"), folder.file("tos.img"));
  // Typed after the start-up screen, which swallows earlier keys (the
  // program waits for them from frame 270 or so).
  const std::string script = folder.file("keys.txt");
  std::ofstream(script) << "# the keys\n400 type aBz1!\n";
  const ShellResult r = shell(HEADLESS_PATH " --frames 1000 --folder " + shell_quote(folder.path()) +
                              " --input " + shell_quote(script));
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(fat_read(disk, "RESULT.TXT").out, autotest_result(input, "aBz1!", "1e302c0202"));
}

// A floppy dropped on the window while the desktop shows another's folder:
// the drive stands empty long enough for the operating system to see the
// change, so the folder it then creates goes onto the new disk beside that
// disk's own file, not with the old disk's directory over it. A quit during
// the wait follows the insertion.
TEST_F(EmuTos, AFloppySwappedByADropKeepsItsFiles) {
  REQUIRE_EMUTOS();
  const std::string a = folder.file("disk1.st"), b = folder.file("b.st");
  std::ofstream(folder.file("text")) << "hello\n";
  for (auto [image, name] : {std::pair{a, "AAA"}, {b, "BBB"}}) {
    ASSERT_EQ(fat_new_floppy(image, name), "");
    ASSERT_EQ(fat_copy_in(image, folder.file("text"), std::string(name) + ".TXT"), "");
  }
  start("etos192uk.img", false);
  PREFS_AutoSaveOnQuit = 1;
  run(boot_frames);
  // ST scan codes, made and broken a few frames apart; `held` stays down.
  auto keys = [](std::initializer_list<u8> codes, u8 held = 0) {
    if (held) IKBD_QueueByte(held);
    for (u8 c : codes) {
      IKBD_QueueByte(c);
      run(3, true);
      IKBD_QueueByte(c | 0x80);
      run(3, true);
    }
    if (held) IKBD_QueueByte(held | 0x80);
    run(50, true);
  };
  keys({0x1e}, 0x38);  // Alternate-A: drive A's window
  APP_OpenDocuments({b}, false);
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  EXPECT_EQ(INPUT_PendingDisks(), 1u);
  APP_QuitNow();
  const std::string state = folder.file("Auto Saved State");
  run(DISKIMG_SwapFrames / 2, true);
  EXPECT_FALSE(std::filesystem::exists(state));
  run(DISKIMG_SwapFrames, true);
  EXPECT_TRUE(std::filesystem::exists(state));
  EXPECT_EQ(DISKIMG_InsertedMask, 1u);
  keys({0x31}, 0x1d);  // Control-N: File > New folder...
  keys({0x31, 0x12, 0x11, 0x1c});  // N, E, W, Return
  EXPECT_EQ(fat_list(b).out, "::/BBB.TXT\n::/NEW/\n");
  EXPECT_EQ(fat_list(a).out, "::/AAA.TXT\n");
}

// The record tests/programs/protected_create.s leaves in RAM once finished: Fcreate's result, the error
// its critical-error handler last saw, the handler's calls and Fclose's result.
std::vector<i32> protected_create_record() {
  for (u32 a = 0; a + 24 <= MMU_RamSize; a += 2)
    if (std::memcmp(MMU_RamBase + a, "VANTPROT", 8) == 0)
      return {i32(MMU_ReadL(a + 8)), i32(MMU_ReadL(a + 12)), i32(MMU_ReadL(a + 16)), i32(MMU_ReadL(a + 20))};
  return {};
}

// A program in the AUTO folder of a write-protected floppy (by the menu's toggle, or a gzip image, always
// protected) creates a file: GEMDOS hears write-protect (-13), not a missing sector (-8, "may be damaged",
// whose Retry a user answers with another disk), and the disk stays as it was.
TEST_F(EmuTos, CreatingAFileOnAProtectedFloppyIsRefusedAsWriteProtected) {
  REQUIRE_EMUTOS();
  for (const bool gz : {false, true}) {
    SCOPED_TRACE(gz ? "gzip image" : "protection on");
    TearDown();
    SetUp();
    const std::string disk = folder.file(gz ? "plain.st" : "disk1.st"), packed = folder.file("locked.st.gz");
    std::filesystem::remove(folder.file("disk1.st"));  // no disk in A at the start but this one
    ASSERT_EQ(fat_new_floppy(disk, "LOCKED"), "");
    ASSERT_EQ(fat_make_dir(disk, "AUTO"), "");
    ASSERT_EQ(fat_copy_in(disk, M68K_PROGRAM_DIR "/protected_create.bin", "AUTO/CREATE.PRG"), "");
    const std::vector<u8> before = read_file(disk);
    ASSERT_TRUE(!gz || shell("gzip -c " + shell_quote(disk) + " >" + shell_quote(packed)).status == 0);
    start("etos192uk.img", false);
    ASSERT_TRUE(!gz || DISKIMG_Insert(packed.c_str(), 'A') == 1);
    if (!gz) DISKIMG_SetWriteProtect(0x40);
    ASSERT_EQ(DISKIMG_WriteProtect[0], 0x40u);
    std::vector<i32> record;
    for (u32 frames = 0; record.empty() && frames < 1000; frames += 50) {
      run(50, frames > 0);
      record = protected_create_record();
    }
    EXPECT_EQ(record, (std::vector<i32>{-13, -13, 1, 0}))
        << "Fcreate, the handler's error, its calls, Fclose (none: the program did not finish)";
    // The drive's image, the unpacked copy of a gzip image included.
    EXPECT_TRUE(read_file("/proc/self/fd/" + std::to_string(DISKIMG_Files[0])) == before);
  }
}

// A floppy dropped on drive B while a program polls it (tests/programs/floppy_poll_b.s, in the AUTO
// folder of A), at moments apart in its polls and in the ST's samples of the write-protect line, is
// seen as a new disk whatever the protection of the old disk and the new (a gzip image the protected
// one): the program finds the new disk's file, and a writable one takes its own beside it, not
// through the old disk's FAT and directory. (EmuTOS goes by the protected level of the empty drive;
// Floppy.EveryChangeOfDiskShowsTheStAChangeOfLevelWithTheNewDiskIn holds the sliding levels.)
TEST_F(EmuTos, AFloppyDroppedWhileAProgramPollsTheDriveIsSeenAsNew) {
  REQUIRE_EMUTOS();
  std::string keep;  // more than a cluster
  for (u32 i = 0; i < 5000; ++i) keep += char(i * 13 + (i >> 8));
  for (const u32 protection : {0, 1, 2, 3})  // bit 0 the old disk's, bit 1 the new one's
    for (const u32 dropAt : {400u, 405u, 411u, 418u}) {
      SCOPED_TRACE(testing::Message() << "protection " << protection << ", dropped at " << dropAt);
      TearDown();
      SetUp();
      for (const auto& e : std::filesystem::directory_iterator(folder.path())) std::filesystem::remove(e.path());
      const std::string boot = folder.file("disk1.st");
      ASSERT_EQ(fat_new_floppy(boot, "BOOT"), "");
      ASSERT_EQ(fat_make_dir(boot, "AUTO"), "");
      ASSERT_EQ(fat_copy_in(boot, M68K_PROGRAM_DIR "/floppy_poll_b.bin", "AUTO/POLL.PRG"), "");
      std::ofstream(folder.file("KEEP.BIN"), std::ios::binary) << keep;
      std::ofstream(folder.file("OLD.TXT")) << std::string(3000, 'o');
      std::string disks[2] = {folder.file("old.st"), folder.file("new.st")};
      for (u32 i = 0; i < 2; ++i) {
        ASSERT_EQ(fat_new_floppy(disks[i], i ? "NEW" : "OLD"), "");
        ASSERT_EQ(fat_copy_in(disks[i], folder.file(i ? "KEEP.BIN" : "OLD.TXT"), i ? "KEEP.BIN" : "OLD.TXT"), "");
        // Serial numbers of their own, as disks formatted apart have: the ST's, MS-DOS's.
        std::fstream f(disks[i], std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(8) << std::string(3, char('o' - i));
        f.seekp(0x27) << std::string(4, char('o' - i));
        f.close();
        if ((protection >> i) & 1) {
          ASSERT_EQ(shell("gzip " + shell_quote(disks[i])).status, 0);
          disks[i] += ".gz";
        }
      }
      const bool newProtected = protection & 2;
      start("etos192uk.img", false);
      ASSERT_EQ(DISKIMG_Insert(disks[0].c_str(), 'B'), 1u);
      run(dropAt);                          // the program polls drive B from frame 280 on
      APP_OpenDocuments({disks[1]}, true);  // with Command held: drive B
      run(1200, true);                      // it ends by frame 1300 also when it gives up
      ASSERT_TRUE(DISKIMG_Holds(1, disks[1].c_str()));
      ASSERT_EQ(DISKIMG_WriteProtect[1], newProtected ? 0x40u : 0u);
      // What drive B holds: the new disk's file, or its unpacked copy.
      folder.write("drive-b.st", read_file("/proc/self/fd/" + std::to_string(DISKIMG_Files[1])));
      const std::string held = folder.file("drive-b.st");
      EXPECT_EQ(fat_check(held), "");
      EXPECT_TRUE(fat_read(held, "KEEP.BIN").out == keep) << "KEEP.BIN lost";
      EXPECT_EQ(fat_read(boot, "FOUND.TXT").out, "more") << "the program did not find KEEP.BIN";
      if (!newProtected) {
        EXPECT_EQ(fat_read(held, "MORE.TXT").out, "more");
      }
    }
}

#endif

}  // namespace
