#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/endian.h"
#include "cpu/exceptions.h"
#include "cpu/handler_tables.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "host/app.h"
#include "host/dialogs.h"
#include "host/options.h"
#include "host/screen.h"
#include "host/sound.h"
#include "machine/diskimg.h"
#include "machine/hdd.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/psg.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"
#include "support/machine_fixture.h"
#include "support/testdata.h"

namespace {

class StartUp : public ::testing::Test {
 protected:
  void SetUp() override { machine_reset_globals(); }
  void TearDown() override { APP_FolderOverride.clear(); }
  TempFolder folder;
};

const char* const transcript_head =
    "---Vantorell Atari ST Emulator---\n"
    "Written by the Vantorell developers.\n"
    "Vesion 1.42 (601) 1/6/2004\n"
    "Booting the ST...\n"
    "Shifter initied...\n"
    "MFP initied...\n"
    "ACIAs initied...\n"
    "Sound disabled\n"
    "Building the 68000...\n"
    "Building the MMU and loading TOS...\n"
    "4Mb ST RAM\n";

const char* const transcript_tail =
    "Events manager initied...\n"
    "Quicktime & Midi initialisation...\n"
    "Midi State restored...\n";

bool handlers_present() { return m68k_handler_table_complete[4]; }

// A hard-disk image the start-up accepts: the new empty image.
std::vector<u8> usable_hdd_image() {
  std::vector<u8> img(HDD_EmptyImageBytes, 0);
  HDD_BuildBootSector(img.data());
  return img;
}

}  // namespace

TEST_F(StartUp, GoldenTranscriptOfATestRomFolder) {
  folder.write("tos.img", load_test_rom("interrupt_counts"));
  const std::string out = machine_start(folder.path());
  EXPECT_EQ(out, std::string(transcript_head) + "TOS 1.4\n" + transcript_tail);
  EXPECT_EQ(MMU_TosVersion, 14u);
  EXPECT_EQ(SCHED_FrameCycle, 0);
  EXPECT_EQ(SCHED_LineCounter, 1);
  EXPECT_EQ(SOUND_Stopped, 1u);  // unthrottled: sound output stays stopped
}

TEST_F(StartUp, DisksCartridgeAndHardDiskLines) {
  folder.write("tos.img", make_tos_image(2, 6, 0x40000));
  folder.write("disk1.st", std::vector<u8>(737280, 0));
  folder.write("disk2.st", std::vector<u8>(16, 0));
  folder.write("cart.img", std::vector<u8>(64, 1));
  folder.write("HDD-C.dmg", usable_hdd_image());
  testing::internal::CaptureStderr();
  const std::string out = machine_start(folder.path());
  const std::string alerts = testing::internal::GetCapturedStderr();
  // The refused disk2.st gets no "inserted" line; its alert names the file
  // and the reason.
  EXPECT_EQ(out, std::string(transcript_head) +
                     "Cartridge found and loaded at 0xfa0000\n"
                     "TOS 2.06\n"
                     "non-boot FDC A: 2/80/9 512 bytes/sector\n"
                     "Disk1.st inserted in drive A\n"
                     "loaded HDD-C.dmg\n"
                     "Hard disk Enabled...\n" +
                     transcript_tail);
  EXPECT_NE(alerts.find("message 7: Cant insert a disk in drive B, " + folder.file("disk2.st") +
                        " is too small for a floppy image (16 bytes)"),
            std::string::npos)
      << alerts;
}

TEST_F(StartUp, OlderTosCantUseTheHardDisk) {
  folder.write("tos.img", make_tos_image(1, 4));
  folder.write("HDD-C.dmg", usable_hdd_image());
  const std::string out = machine_start(folder.path());
  EXPECT_NE(out.find("TOS 1.4\nloaded HDD-C.dmg\nThis TOS is invalide for HDD...\nEvents"), std::string::npos);
  EXPECT_EQ(out.find("Hard disk Enabled..."), std::string::npos);
}

TEST_F(StartUp, EmuTosLines) {
  folder.write("tos.img", make_tos_image(1, 2, 0x30000, true));
  folder.write("HDD-C.dmg", usable_hdd_image());
  const std::string out = machine_start(folder.path());
  EXPECT_NE(out.find("EmuTOS (1.2)\nloaded HDD-C.dmg\nHard disk Enabled...\n"), std::string::npos);
  EXPECT_EQ(out.find("TOS 1.2\n"), std::string::npos);
  EXPECT_EQ(out.find("invalide"), std::string::npos);
}

TEST_F(StartUp, TosLines) {
  EXPECT_STREQ(APP_TosLine(10, 0), "TOS 1.0");
  EXPECT_STREQ(APP_TosLine(12, 0), "TOS 1.2");
  EXPECT_STREQ(APP_TosLine(12, 1), "EmuTOS (1.2)");
  EXPECT_STREQ(APP_TosLine(16, 0), "TOS 1.62");
  EXPECT_STREQ(APP_TosLine(25, 0), "TOS 2.05");
  EXPECT_EQ(APP_TosLine(0, 0), nullptr);
}

TEST_F(StartUp, SoundChipIsReadyEvenWithSoundOff) {
  PSG_Initialised = 0;
  folder.write("tos.img", make_tos_image(1, 4));
  machine_start(folder.path());
  EXPECT_EQ(SOUND_Active, 0u);
  EXPECT_EQ(PSG_Initialised, 1u);
  m68k_regfile.s = 1;
  SCHED_FrameCycle = 80000;
  MMU_WriteB(0xff8800, 8);  // a sound-chip write with sound never started
  MMU_WriteB(0xff8802, 15);
  EXPECT_EQ(PSG_CopyOf(8), 15u);
}

TEST_F(StartUp, SoundOnStartsTheOutput) {
  folder.write("tos.img", make_tos_image(1, 4));
  APP_FolderOverride = folder.path();
  testing::internal::CaptureStdout();
  APP_StartUp();
  PREFS_Unthrottled = 0;
  PREFS_SoundOn = SOUND_Active = 1;  // as a preferences file would have it
  APP_InitMachine();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("ACIAs initied...\nSound Enabled at 44100 Hz.\n"), std::string::npos);
  EXPECT_EQ(SOUND_Stopped, 0u);
}

TEST_F(StartUp, OptionsStartWithTheValuesOfANewPreferencesRecord) {
  APP_FolderOverride = folder.path();
  for (u32* option : {&PREFS_WriteProtect, &PREFS_SoundOn, &PREFS_PrinterOn, &PREFS_Unthrottled})
    *option = 0x55;
  testing::internal::CaptureStdout();
  APP_StartUp();
  testing::internal::GetCapturedStdout();
  const struct {
    const char* name;
    u32 value, expected;
  } options[] = {
      {"frame skip", PREFS_FrameSkip, 1},         {"simple video counter", PREFS_SimpleVideoCounter, 0},
      {"speed counters", PREFS_SpeedCounters, 1}, {"monitor", SHIFTER_Mode, 0},
      {"Blitter", PREFS_BlitterEnabled, 0},       {"write protection", PREFS_WriteProtect, 0},
      {"sound", PREFS_SoundOn, 0},                {"sound active", SOUND_Active, 0},
      {"unthrottled", PREFS_Unthrottled, 0},      {"buffered drawing", PREFS_BufferedDrawing, 1},
      {"hard disk", PREFS_HardDiskOn, 1},         {"auto-save", PREFS_AutoSaveOnQuit, 1},
      {"printer", PREFS_PrinterOn, 1},            {"clock factor", PREFS_ClockFactor, 8},
      {"FDC delay", PREFS_FdcDelay, 1},           {"auto frame skip", PREFS_AutoFrameSkip, 1},
      {"14 MB", PREFS_Ram14MB, 0},                {"bus errors", MMU_BusErrorsEnabled, 1},
      {"big screen", PREFS_BigScreen, 0},
  };
  for (const auto& o : options) EXPECT_EQ(o.value, o.expected) << o.name;
}

// A tos.img the start can't take is refused (the windowless alert is
// cancelled, which ends the program), and the alert that asks for another
// image says why, in the words a dropped or chosen image gets.
TEST_F(StartUp, RefusedTosImageAndWhy) {
  REQUIRE_EMUTOS();
  std::ifstream in(TESTDATA_DIR "/emutos/etos192uk.img", std::ios::binary);
  const std::vector<u8> emutos{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_EQ(emutos.size(), 0x30000u);
  auto cut = [&](size_t n) { return std::vector<u8>(emutos.begin(), emutos.begin() + long(n)); };
  std::vector<u8> noise(0x30000);
  u32 x = 2463534242u;
  for (u8& b : noise) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    b = u8(x);
  }
  char noise_why[64];
  std::snprintf(noise_why, sizeof noise_why, "is no TOS image (version bytes %02X %02X)", noise[2], noise[3]);
  const std::string too_short = "is too short for its version (TOS 1.04 needs 196608 bytes, the file has ";
  const struct {
    const char* what;
    std::vector<u8> image;  // none: no tos.img at all
    std::string why;
  } cases[] = {
      {"48 bytes of EmuTOS", cut(48), too_short + "48)"},
      {"100,000 bytes of EmuTOS", cut(100000), too_short + "100000)"},
      {"a TOS 2.06 in 192 KB", make_tos_image(2, 6, 0x30000),
       "is too short for its version (TOS 2.06 needs 262144 bytes, the file has 196608)"},
      {"47 bytes", cut(47), "is too short for a TOS image"},
      {"a random 192 KB file", noise, noise_why},
      {"no file", {}, "does not exist"},
  };
  for (const auto& c : cases) {
    machine_reset_globals();
    std::remove(folder.file("tos.img").c_str());
    if (!c.image.empty()) folder.write("tos.img", c.image);
    const std::string err = stderr_of([&] { EXPECT_THROW(machine_start(folder.path()), ProcessExit); });
    EXPECT_NE(err.find("message 4: " + folder.file("tos.img") + " " + c.why + ";"), std::string::npos)
        << c.what << "\n" << err;
  }
  // A folder whose path is longer than the system takes.
  std::string deep = folder.path();
  while (deep.size() <= PATH_MAX) deep += "/" + std::string(200, 'd');
  machine_reset_globals();
  const std::string err = stderr_of([&] { EXPECT_THROW(machine_start(deep), ProcessExit); });
  EXPECT_NE(err.find("/tos.img can't be opened (File name too long);"), std::string::npos) << err;
}

TEST_F(StartUp, FatalMessages) {
  EXPECT_STREQ(APP_FatalMessage(4), "Errors during init... Vantorell will exit...");
  EXPECT_STREQ(APP_FatalMessage(6), "ST Rom memory error... Vantorell will exit...");
  EXPECT_EQ(APP_FatalMessage(7), nullptr);
  testing::internal::CaptureStderr();
  EXPECT_THROW(APP_Fatal(2), ProcessExit);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Unable to allocate ST Ram memory"),
            std::string::npos);
  // A code without a text of its own shows the text set last, even one an
  // alert has already shown.
  for (i32 code : {0, 7, 9}) {
    testing::internal::CaptureStderr();
    DLG_SetAlertText("The disk is full");
    DLG_ShowAlert(130);
    EXPECT_THROW(APP_Fatal(code), ProcessExit);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("alert: The disk is full"), std::string::npos) << code;
  }
}

// Whether another open of `folder` gets its lock, as another process's
// would (flock's locks belong to an open of the file, not to the process);
// it is let go again at once.
bool another_open_locks(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool locked = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (fd >= 0) close(fd);
  return locked;
}

// One copy a folder: a start from a folder another copy holds, by whatever
// path, ends with the alert before it opens a disk; once it is free the
// start takes it, takes it again freely and lets it go for another folder.
TEST_F(StartUp, AFolderAnotherCopyRunsFromEndsTheStart) {
  folder.write("tos.img", load_test_rom("workload"));
  folder.write("disk1.st", std::vector<u8>(737280, 0));
  std::filesystem::create_directory(folder.file("sub"));
  TempFolder links;
  std::filesystem::create_directory_symlink(folder.path(), links.file("link"));
  const std::string paths[] = {folder.path(), links.file("link"), folder.file("sub/..")};
  const int other = open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  for (const std::string& path : paths) {
    machine_reset_globals();
    const std::string err = stderr_of([&] { EXPECT_THROW(machine_start(path), ProcessExit); });
    EXPECT_NE(err.find("alert: Another copy of Vantorell runs from " + path +
                       "... Vantorell will exit...\n"),
              std::string::npos)
        << path << "\n" << err;
    EXPECT_EQ(DISKIMG_InsertedMask, 0u) << path;
  }
  close(other);
  for (const std::string& path : paths) {
    machine_reset_globals();
    EXPECT_NE(machine_start(path).find("Disk1.st inserted in drive A"), std::string::npos) << path;
    EXPECT_FALSE(another_open_locks(folder.path())) << path;
    DISKIMG_Eject('A');
  }
  TempFolder next;
  next.write("tos.img", load_test_rom("workload"));
  machine_reset_globals();
  machine_start(next.path());
  EXPECT_TRUE(another_open_locks(folder.path()));
  EXPECT_FALSE(another_open_locks(next.path()));
}

TEST_F(StartUp, RequestStop) {
  APP_StopFlag = 1;
  APP_RequestStop();
  EXPECT_EQ(APP_StopFlag, -1);
  APP_RequestStop();
  EXPECT_EQ(APP_StopFlag, -1);
  APP_StopFlag = 0;
}

TEST_F(StartUp, HardwareResetLeavesBigScreenAndResetsTheChips) {
  SCREEN_BigScreen = 1;
  SCHED_FrameCount = 77;
  MFP_IERA = 0xff;
  SCHED_EventTimes[SCHED_TimerA] = 1234;
  SHIFTER_Mode = 2;
  APP_HardwareReset();
  EXPECT_EQ(SCREEN_BigScreen, 0u);
  EXPECT_EQ(SCREEN_ForceRedraw, 1u);
  EXPECT_EQ(SCHED_FrameCount, 0u);
  EXPECT_EQ(MFP_IERA, 0);
  EXPECT_EQ(SCHED_EventTimes[SCHED_TimerA], SCHED_Never);
  EXPECT_EQ(SHIFTER_Mode, 2u);
  SHIFTER_Mode = 0;
}

TEST_F(StartUp, TheMachineClocksFrameByFrame) {
  folder.write("tos.img", make_tos_image(1, 4));
  machine_start(folder.path());
  testing::internal::CaptureStdout();
  machine_run_frames(3);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(SCHED_FrameCount, 3u);
  EXPECT_EQ(APP_StopFlag, 1);
  EXPECT_EQ(SCHED_FrameCycle, -1);
}

// ---- Test ROMs booted through the start-up path ----

class InterruptCountRom : public StartUp, public ::testing::WithParamInterface<const char*> {};

TEST_P(InterruptCountRom, CountsMatchTheHardware) {
  if (!handlers_present()) GTEST_SKIP() << "needs the 68000 instruction handlers";
  folder.write("tos.img", load_test_rom(GetParam()));
  machine_start(folder.path());
  testing::internal::CaptureStdout();
  machine_run_frames(50);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(MMU_ReadL(0x818), 0x600du) << "the ROM did not finish its set-up";
  const u32 vbl = MMU_ReadL(0x800), hbl = MMU_ReadL(0x804), a = MMU_ReadL(0x808);
  const u32 b = MMU_ReadL(0x80c), c = MMU_ReadL(0x810), d = MMU_ReadL(0x814);
  // VBL on level 4 through vector 28, once a frame (the last frame's may still
  // be pending when the run stops at its end).
  EXPECT_GE(vbl, 49u);
  EXPECT_LE(vbl, 50u);
  // Timer C at prescaler 64 and data 192: 200 Hz, four a frame.
  EXPECT_GE(c, 199u);
  EXPECT_LE(c, 201u);
  // Timer B counting display lines with data 1: every one of 200 lines.
  EXPECT_EQ(b, 200u * 50);
  // Timer D: 16 x 256 cycles; Timer A with the reset bit: 512 x 100 cycles.
  // Each expiry re-arms from the end of the instruction that crossed it, so
  // the short period loses a little to the interrupt entries.
  const double d_full = 50.0 * 160256 / 4096;
  EXPECT_LE(double(d), d_full + 1);
  EXPECT_GE(double(d), d_full * 0.97);
  EXPECT_NEAR(double(a), 50.0 * 160256 / 51200, 2.0);
  // HBL on level 2, once a scan line: 313 lines a frame, never more. A line
  // whose HBL comes while a level-6 handler holds the mask up has none; each
  // handler is shorter than a line, so an MFP interrupt hides at most one HBL,
  // and the set-up keeps the mask at 7 for less than two lines.
  EXPECT_LE(hbl, 313u * 50);
  EXPECT_GE(hbl + a + b + c + d, 313u * 50 - 2);
}

INSTANTIATE_TEST_SUITE_P(Roms, InterruptCountRom,
                         ::testing::Values("interrupt_counts", "interrupt_counts_stop",
                                           "interrupt_counts_soft_eoi"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

TEST_F(StartUp, OneRuleSaysWhichTosIsLaterForTheHardDiskAndTheRegistersOfLaterModels) {
  folder.write("HDD-C.dmg", usable_hdd_image());
  const struct {
    u8 v0, v1;
    bool emuTos, later;
  } cases[] = {{1, 0, false, false},   {1, 2, false, false}, {1, 4, false, false},
               {1, 0x62, false, true}, {2, 6, false, true},  {1, 2, true, true},
               {1, 4, true, true},     {2, 6, true, true}};
  for (const auto& c : cases) {
    const std::string tos = std::to_string(c.v0) + "." + std::to_string(c.v1) +
                            (c.emuTos ? " EmuTOS" : "");
    machine_reset_globals();
    folder.write("tos.img", make_tos_image(c.v0, c.v1, c.v0 == 1 && c.v1 < 5 ? 0x30000 : 0x40000,
                                           c.emuTos));
    const std::string out = machine_start(folder.path());
    EXPECT_EQ(MMU_IsLaterTos(), c.later) << tos;
    EXPECT_EQ(out.find("Hard disk Enabled...") != std::string::npos, c.later) << tos;
    EXPECT_EQ(out.find("This TOS is invalide for HDD...") != std::string::npos, !c.later) << tos;
    m68k_regfile.s = 1;
    EXPECT_EQ(MMU_ReadW(0xfff704), c.later ? 1u : 0u) << tos;  // the driver's "drive C?"
    MMU_ReadW(0xff8924);  // a register of the later models
    EXPECT_EQ(MMU_BusErrorCount, c.later ? 0u : 1u) << tos;
    machine_end_instruction();
    HDD_CloseImages();
  }
}
