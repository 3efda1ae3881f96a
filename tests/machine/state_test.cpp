#include "machine/state.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "common/endian.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "cpu/saved_state.h"
#include "host/app.h"
#include "host/events.h"
#include "host/options.h"
#include "host/screen.h"
#include "machine/diskimg.h"
#include "machine/fdc.h"
#include "machine/machine.h"
#include "machine/machine_state.h"
#include "machine/memory.h"
#include "machine/psg.h"
#include "machine/scheduler.h"
#include "machine/sections.h"
#include "machine/shifter.h"
#include "support/file_size_limit.h"
#include "support/floppy_images.h"
#include "support/machine_fixture.h"
#include "support/ordinary_user.h"

namespace {

// Where each section starts in the file of a machine with `ram` bytes of RAM
// (the extension is section 16).
struct Layout {
  explicit Layout(u32 ram) {
    const u32 sizes[] = {16, 108, 16561, 116, 4,   209, 563, 4, 16395, 8,
                         6,  7,   480,   16 + ram + 131072, 84, 111, 32, 56, 24};
    u32 at = 0;
    for (u32 i = 0; i < std::size(sizes); ++i) {
      start[i] = at;
      at += sizes[i];
    }
    total = at;
  }
  // Section numbers as in the file, 1 to 15, then the extension's blocks.
  u32 operator[](u32 section) const { return start[section - 1]; }
  u32 start[19];
  u32 total;
};

// The extension's blocks from the access block on: what a file of a build
// before that block lacks.
constexpr u32 access_on = STATE_AccessBlockBytes + STATE_SensorBlockBytes;

template <class F>
size_t section_size(F save) {
  std::vector<u8> bytes;
  StateWriter w(bytes);
  save(w);
  return bytes.size();
}

std::vector<u8> read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<u8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class StateFile : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_reset_globals();
    CART_PortConfig = 0;  // a missing cart.img keeps the last one's configuration
    DISKIMG_InsertedMask = 0;
    DISKIMG_NameA[0] = DISKIMG_NameB[0] = 0;
  }
  void TearDown() override { DISKIMG_InsertedMask = 0; }

  // A machine running the workload ROM for a few frames.
  void boot(u32 frames = 4) {
    folder.write("tos.img", load_test_rom("workload"));
    machine_start(folder.path());
    run(frames);
  }
  void run(u32 frames) {
    testing::internal::CaptureStdout();
    machine_run_frames(frames);
    testing::internal::GetCapturedStdout();
  }
  // Decodes quietly; the alert text lands in `alert`.
  STATE_Result decode(const std::vector<u8>& bytes) {
    testing::internal::CaptureStderr();
    const STATE_Result r = STATE_Decode(bytes.data(), bytes.size());
    alert = testing::internal::GetCapturedStderr();
    return r;
  }

  // The running machine's state, naming other images for the drives (as an
  // earlier build writes it: no extension, whose digests would not be those
  // of the images named).
  std::vector<u8> with_names(const std::string& a, const std::string& b, u32 mask) {
    std::vector<u8> bytes = STATE_Encode();
    bytes.erase(bytes.end() - STATE_ExtensionBytes, bytes.end());
    const Layout at(MMU_RamSize);
    be_write32(&bytes[at[7] + 47], mask);
    u8* name = &bytes[at[7] + 51];
    for (const std::string* path : {&a, &b}) {
      name[0] = u8(path->size());
      std::copy(path->begin(), path->end(), name + 1);
      name += 256;
    }
    return bytes;
  }

  TempFolder folder;
  std::string alert;
};

}  // namespace

TEST_F(StateFile, SectionSizes) {
  EXPECT_EQ(section_size(SHIFTER_SaveState), 108u);
  EXPECT_EQ(section_size(IKBD_SaveState), 16561u);
  EXPECT_EQ(section_size(BLITTER_Save), 116u);
  EXPECT_EQ(section_size(SCHED_SaveCycle), 4u);
  EXPECT_EQ(section_size(MFP_SaveState), 209u);
  EXPECT_EQ(section_size(DISKIMG_SaveState), 563u);
  EXPECT_EQ(section_size(MIDI_SaveState), 16395u);
  EXPECT_EQ(section_size(MFP_SaveIntState), 8u);
  EXPECT_EQ(section_size(PSG_SaveState), 6u);
  EXPECT_EQ(section_size(MMU_SaveIORegs), 7u);
  EXPECT_EQ(m68k_state_section_size, 480u);
  EXPECT_EQ(section_size(SCREEN_SaveState), 84u);
  // The extension's blocks: tag, length and the chips' parts.
  EXPECT_EQ(8 + section_size(SCHED_SaveExtension) + section_size(DISKIMG_SaveExtension) +
                section_size(PSG_SaveExtension) + section_size(SHIFTER_SaveExtension) +
                section_size(IKBD_SaveExtension) + section_size(RTC_SaveExtension) +
                section_size(SCREEN_SaveExtension) + m68k_state_extension_size,
            STATE_FirstBlockBytes);
  EXPECT_EQ(8 + section_size(DISKIMG_SaveGeometry), STATE_GeometryBlockBytes);
  EXPECT_EQ(8 + section_size(DISKIMG_SaveAccess) + section_size(HDD_SaveRecord), STATE_AccessBlockBytes);
  EXPECT_EQ(8 + section_size(DISKIMG_SaveSensor), STATE_SensorBlockBytes);
  EXPECT_EQ(STATE_FileSize(0x400000), 4359953u + 111 + 32 + 56 + 24);
  EXPECT_EQ(Layout(0x400000).total, 4359953u + 111 + 32 + 56 + 24);
}

TEST_F(StateFile, HeaderAndMemorySectionOfARunningMachine) {
  boot();
  const std::vector<u8> b = STATE_Encode();
  ASSERT_EQ(b.size(), 4359953u + 111 + 32 + 56 + 24);
  EXPECT_EQ(be_read32(&b[0]), 142u);
  EXPECT_EQ(be_read32(&b[4]), 0x400000u);
  EXPECT_EQ(be_read32(&b[8]), 14u);
  EXPECT_EQ(be_read32(&b[12]), 0u);
  const Layout at(0x400000);
  EXPECT_EQ(be_read32(&b[at[14] + 4]), 14u);
  EXPECT_EQ(be_read32(&b[at[14] + 8]), 0x30000u);
  EXPECT_EQ(be_read32(&b[at[14] + 12]), 0xfc0000u);
  // RAM from address 0, big-endian: the copy counter the ROM keeps at 0x80c.
  EXPECT_EQ(be_read32(&b[at[14] + 16 + 0x80c]), MMU_ReadL(0x80c));
  EXPECT_EQ(b[at[14] + 16 + 0x400000], 0xff);  // the empty cartridge window
}

TEST_F(StateFile, SaveLoadSaveIsByteIdentical) {
  boot();
  // Stopped in the middle of a frame, in the ROM's loop: the PC has moved on
  // from the address the processor last jumped to.
  EVENTS_ScriptHook = [](u32) { APP_StopFlag = 1; };
  APP_StopFlag = 0;
  m68k_run_loop();
  EVENTS_ScriptHook = nullptr;
  ASSERT_NE(m68k_regfile.pcHost, m68k_regfile.pcBase);
  const std::vector<u8> first = STATE_Encode();
  run(3);  // move the machine on
  ASSERT_NE(STATE_Encode(), first);
  ASSERT_EQ(decode(first), STATE_Result::Restored) << alert;
  EXPECT_EQ(STATE_Encode(), first);
}

TEST_F(StateFile, HeaderRefusals) {
  boot();
  const std::vector<u8> good = STATE_Encode();
  run(1);
  const std::vector<u8> before = STATE_Encode();
  struct Case {
    u32 offset, value;
    const char* message;
    u32 refusal;
  };
  const Case cases[] = {
      {0, 143, "Cant restore Saved State, Invalid file", STATE_RefusedFile},
      {8, 10, "Saved State needs TOS 1.0", STATE_RefusedTos},
      {8, 12, "Cant restore Saved State, Saved State needs TOS 1.2", STATE_RefusedTos},
      {8, 16, "Cant restore Saved State, Saved State needs TOS 1.6", STATE_RefusedTos},
      {8, 25, "Cant restore Saved State, Saved State needs TOS 2.5", STATE_RefusedTos},
      {8, 26, "Cant restore Saved State, Saved State and current TOS are different", STATE_RefusedTos},
      {4, 0x100000, "Cant restore Saved State, Memory configuration is different...", STATE_RefusedRam},
      {12, 1, "Cant restore Saved State, the Hard disk Driver is not loaded", STATE_RefusedHddDriver},
      {12, 2, "Cant restore Saved State, Cartridge Port configuration is different", STATE_RefusedCartridge},
  };
  for (const Case& c : cases) {
    std::vector<u8> b = good;
    be_write32(&b[c.offset], c.value);
    STATE_Refusal = 0;
    EXPECT_EQ(decode(b), STATE_Result::BadHeader) << c.message;
    EXPECT_NE(alert.find(c.message), std::string::npos) << alert;
    EXPECT_EQ(STATE_Refusal, c.refusal) << c.message;
    EXPECT_EQ(STATE_Encode(), before) << c.message;
  }
  // A state of TOS 1.04 under TOS 2.06.
  MMU_TosVersion = 26;
  EXPECT_EQ(decode(good), STATE_Result::BadHeader);
  EXPECT_NE(alert.find("Cant restore Saved State, Saved State needs TOS 1.4"), std::string::npos);
  MMU_TosVersion = 14;
  // Too short for its header: refused without a crash, as an invalid file
  // (not as the mismatch of a word the cut left out).
  CART_PortConfig = 1;
  for (u32 cut : {6u, 10u, 14u}) {
    EXPECT_EQ(decode(std::vector<u8>(good.begin(), good.begin() + cut)), STATE_Result::BadHeader);
    EXPECT_NE(alert.find("Invalid file"), std::string::npos) << cut << ": " << alert;
  }
  CART_PortConfig = 0;
}

TEST_F(StateFile, WrongLengthsAreRefusedWhole) {
  boot();
  const std::vector<u8> good = STATE_Encode();
  run(1);
  const std::vector<u8> before = STATE_Encode();
  std::vector<u8> b = good;
  b.pop_back();
  EXPECT_EQ(decode(b), STATE_Result::WrongLength);
  b = std::vector<u8>(good.begin(), good.begin() + 20000);  // cut inside section 3
  EXPECT_EQ(decode(b), STATE_Result::WrongLength);
  b = good;
  b.push_back(0);
  STATE_Refusal = 0;
  EXPECT_EQ(decode(b), STATE_Result::WrongLength);
  EXPECT_EQ(STATE_Refusal, STATE_RefusedFile);
  EXPECT_EQ(STATE_Encode(), before);

  // The same through files.
  const std::string path = folder.file("short");
  folder.write("short", std::vector<u8>(good.begin(), good.end() - 1));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(STATE_Read(path.c_str()));
  EXPECT_FALSE(STATE_Read(folder.file("missing").c_str()));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(STATE_Encode(), before);
}

TEST_F(StateFile, EveryMalformedFieldIsRefusedWithTheMachineUntouched) {
  boot();
  const std::vector<u8> good = STATE_Encode();
  run(1);
  const std::vector<u8> before = STATE_Encode();
  const Layout at(MMU_RamSize);
  struct Case {
    const char* field;
    u32 offset, size, value;
  };
  const Case cases[] = {
      {"Shifter mode", at[2] + 4, 4, 3},
      {"Shifter resolution", at[2] + 42, 2, 3},
      {"Shifter palette entry", at[2] + 44, 4, 0x10000},
      {"keyboard parameters outstanding", at[3] + 32, 4, 9},
      {"keyboard parameter index", at[3] + 36, 4, 9},
      {"keyboard bytes to skip", at[3] + 40, 4, 0x100},
      {"keyboard parameter byte", at[3] + 64, 4, 0x100},
      {"keyboard queue count", at[3] + 16479, 4, 16385},
      {"keyboard queue head", at[3] + 16483, 4, 16384},
      {"Blitter running", at[4], 4, 1},
      {"Blitter halftone line", at[4] + 92, 4, 16},
      {"frame position past the frame", at[5], 4, 160257},
      {"frame position below it", at[5], 4, 0xfffffffe},
      {"Timer A period", at[6], 4, 0},
      {"Timer D period", at[6] + 12, 4, 0xfffffffe},
      {"MFP TBCR", at[6] + 28 + 13, 1, 0x10},
      {"MFP channel in service", at[6] + 76, 4, 16},
      {"MFP tick table", at[6] + 144, 4, 0x1000000},
      {"MFP tick of no cycles", at[6] + 148, 4, 0},
      {"DMA sector count", at[7] + 4, 4, 0x100},
      {"DMA register", at[7], 4, 0x10000},
      {"sound-chip port A", at[7] + 40, 4, 0x100},
      {"drive mask", at[7] + 47, 4, 4},
      {"MIDI count", at[9] + 16387, 4, 16385},
      {"MIDI index", at[9] + 16391, 4, 16384},
      {"sound-chip register", at[11] + 2, 4, 16},
      {"first picture line", at[13] + 16, 4, 314},
      {"picture lines", at[13] + 4, 4, 0x80000000},
      {"supervisor bit", at[13] + 60 + 80, 1, 2},
      {"trace bit", at[13] + 60 + 78, 1, 0x80},
      {"stop flag", at[13] + 60 + 83, 1, 0xff},
      {"interrupt mask", at[13] + 60 + 84, 4, 8},
      {"SR-changed word", at[13] + 460, 4, 2},
      {"big-screen word", at[13] + 468, 4, 0x100},
      {"TOS version", at[14] + 4, 4, 12},
      {"ROM size", at[14] + 8, 4, 0x40000},
      {"ROM base", at[14] + 12, 4, 0xe00000},
      {"big-screen flag", at[15], 4, 2},
      {"frame base low byte", at[15] + 68, 4, MMU_RamSize - 100},
      {"frame base past RAM", at[15] + 68, 4, 0xfffff000},
      {"load base", at[15] + 72, 4, 0x1000000},
      {"load base low byte", at[15] + 72, 4, 0x78001},
      {"line counter", at[15] + 76, 4, 0},
      {"line counter past the frame", at[15] + 76, 4, 400},
      {"screen bytes", at[15] + 80, 4, 128000},
      {"extension tag", at[16], 4, 0x56545800},
      {"extension length", at[16] + 4, 4, 86},
      {"head of drive A below track 0", at[16] + 12, 4, 0xfffffffe},
      {"head of drive B past any track", at[16] + 16, 4, 0x10001},
      {"step direction", at[16] + 20, 4, 0},
      {"sound-chip R1", at[16] + 41, 1, 0x10},
      {"sound-chip R13", at[16] + 53, 1, 0x10},
      {"top border flag", at[16] + 54, 4, 2},
      {"clock chip mode", at[16] + 59, 4, 0x100},
      {"drive light", at[16] + 67, 4, 2},
      {"drive light's count", at[16] + 71, 4, 6},
      {"CACR", at[16] + 79, 4, 4},
      {"CAAR", at[16] + 103, 4, 0x100},
      {"geometry tag", at[17], 4, 0x56545831},
      {"geometry length", at[17] + 4, 4, 16},
      {"three sides", at[17] + 8, 4, 3},
      {"tracks past a boot sector's count", at[17] + 24, 4, 0x10000},
      {"sectors a track past a byte", at[17] + 28, 4, 0x100},
      {"access tag", at[18], 4, 0x56545832},
      {"access length", at[18] + 4, 4, 40},
      {"access of an unknown kind", at[18] + 8, 4, 4},
      {"a third own disk", at[18] + 12, 4, 0x300},
      {"the ST writing an image opened only for reading", at[18] + 8, 4, 2},
      {"hard disk open flag", at[18] + 16, 4, 2},
      {"hash of a hard disk not open", at[18] + 36 + 16, 4, 1},
      {"sensor tag", at[19], 4, 0x56545833},
      {"sensor length", at[19] + 4, 4, 8},
      {"sensor phase past the last", at[19] + 8, 4, 4},
      {"a sliding phase without frames left", at[19] + 16, 4, 1},
      {"settled sensor with frames left", at[19] + 12, 4, 1},
  };
  for (const Case& c : cases) {
    std::vector<u8> b = good;
    switch (c.size) {
      case 1: b[c.offset] = u8(c.value); break;
      case 2: be_write16(&b[c.offset], c.value); break;
      default: be_write32(&b[c.offset], c.value); break;
    }
    EXPECT_EQ(decode(b), STATE_Result::BadField) << c.field;
    EXPECT_NE(alert.find("Invalid file"), std::string::npos) << c.field;
    EXPECT_EQ(STATE_Encode(), before) << c.field;
  }
  std::vector<u8> slide = good;  // a slide longer than a phase
  be_write32(&slide[at[19] + 8], u32(DISKIMG_Sensor::SlidingOut));
  be_write32(&slide[at[19] + 12], DISKIMG_PhaseFrames + 1);
  EXPECT_EQ(decode(slide), STATE_Result::BadField);
  // A position past the frame's end is an instruction's whose pass a quit inside a Blitter
  // operation left to come: taken with that pass owed, its start inside the frame and no STOP,
  // and the frame then ends. An owed pass starts at or before the position.
  const auto owing = [&](u32 cycle, u32 before, u32 pending) {
    std::vector<u8> b = good;
    be_write32(&b[at[5]], cycle);
    be_write32(&b[at[13] + 56], before);
    be_write32(&b[at[13] + 60 + 188], pending);
    return decode(b);
  };
  const u32 owed = m68k_pend_blitter;
  for (const auto& [cycle, before, pending] : {std::tuple{160300u, 160250u, 0u}, {160300u, 160250u, owed | m68k_pend_stop},
                                                {160300u, 160257u, owed}, {161281u, 160250u, owed}, {1000u, 1001u, owed}})
    EXPECT_EQ(owing(cycle, before, pending), STATE_Result::BadField) << cycle << " " << before << " " << pending;
  ASSERT_EQ(owing(160300, 160250, owed), STATE_Result::Restored);
  const u64 frames = SCHED_FramesEnded;
  machine_run_quietly(1, true);
  EXPECT_EQ(SCHED_FramesEnded, frames + 1);
  EXPECT_LT(SCHED_FrameCycle, 1000);
  // The unpatched file is still accepted.
  EXPECT_EQ(decode(good), STATE_Result::Restored);
}

TEST_F(StateFile, HostPixelValuesComeFromThePaletteNotTheFile) {
  boot();
  std::vector<u8> b = STATE_Encode();
  const Layout at(MMU_RamSize);
  for (u32 i = 0; i < 16; ++i) be_write32(&b[at[15] + 4 + 4 * i], 0xdead0000 + i);
  ASSERT_EQ(decode(b), STATE_Result::Restored);
  for (u32 i = 0; i < 16; ++i) {
    const SHIFTER_Rgb16 c = SHIFTER_HostComponents(SHIFTER_Palette[i]);
    EXPECT_EQ(SCREEN_HostPalette[i], SCREEN_Color2Index(c.red, c.green, c.blue));
    EXPECT_NE(SCREEN_HostPalette[i] >> 16, 0xdeadu);
  }
}

TEST_F(StateFile, WriteReplacesTheFileWholeAndReportsFailure) {
  boot();
  const std::string path = folder.file("state");
  folder.write("state", std::vector<u8>(5000000, 0xee));  // longer than a state
  ASSERT_TRUE(STATE_Write(path.c_str()));
  const std::vector<u8> written = read_all(path);
  EXPECT_EQ(written, STATE_Encode());
  EXPECT_FALSE(std::ifstream(path + ".part").good());
  run(1);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(STATE_Read(path.c_str()));
  EXPECT_EQ(STATE_Encode(), written);
  // Nowhere to write: reported, and nothing is left behind.
  EXPECT_FALSE(STATE_Write(folder.file("no/such/folder/state").c_str()));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Can't save the state"), std::string::npos);
}

// The writer never clobbers what the user keeps around the file: a file of
// the name it might use for its temporary one, the file's permissions, a
// symbolic link to it; and on a full disk the older state stays whole.
TEST_F(StateFile, WriteLeavesTheUsersFilesAsTheyWere) {
  boot();
  const std::vector<u8> state = STATE_Encode();
  folder.write("state.part", {'m', 'i', 'n', 'e'});
  folder.write("state", {1});
  chmod(folder.file("state").c_str(), 0600);
  ASSERT_TRUE(STATE_Write(folder.file("state").c_str()));
  EXPECT_EQ(read_all(folder.file("state.part")), (std::vector<u8>{'m', 'i', 'n', 'e'}));
  struct stat st;
  ASSERT_EQ(stat(folder.file("state").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  folder.write("real", {1});
  std::filesystem::create_symlink("real", folder.file("link"));
  ASSERT_TRUE(STATE_Write(folder.file("link").c_str()));
  EXPECT_TRUE(std::filesystem::is_symlink(folder.file("link")));
  EXPECT_EQ(read_all(folder.file("real")), state);

  testing::internal::CaptureStderr();
  {
    FileSizeLimit full_disk(100000);
    EXPECT_FALSE(STATE_Write(folder.file("real").c_str()));
  }
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Can't save the state"), std::string::npos);
  EXPECT_EQ(read_all(folder.file("real")), state);
  u32 files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 5u);  // tos.img, state, state.part, real and link: nothing left behind
}

TEST_F(StateFile, FloppiesAreInsertedAgainOnlyFromRegularFiles) {
  boot();
  folder.write("game.st", std::vector<u8>(737280, 0));
  const std::string disk = folder.file("game.st");
  const Layout at(MMU_RamSize);
  // A directory and a device are left alone; a regular file goes back in.
  DISKIMG_InsertedMask = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(decode(with_names(folder.path(), "/dev/null", 3)), STATE_Result::Restored);
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  EXPECT_EQ(decode(with_names(disk, "", 1)), STATE_Result::Restored);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(DISKIMG_InsertedMask, 1u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(DISKIMG_NameA + 1), DISKIMG_NameA[0]), disk);
  EXPECT_NE(out.find("Restored drive A"), std::string::npos);

  // A name stops at its length byte and at a NUL: the file after the NUL or
  // past the length is never what gets opened.
  testing::internal::CaptureStdout();
  DISKIMG_InsertedMask = 0;
  std::string cut = disk + std::string(1, '\0') + "junk";
  EXPECT_EQ(decode(with_names(cut, "", 1)), STATE_Result::Restored);
  EXPECT_EQ(DISKIMG_InsertedMask, 1u);
  DISKIMG_InsertedMask = 0;
  std::vector<u8> b = with_names(disk, "", 1);
  b[at[7] + 51] = u8(disk.size() - 1);  // one character short: no such file
  EXPECT_EQ(decode(b), STATE_Result::Restored);
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  // 255 characters without a terminator.
  EXPECT_EQ(decode(with_names(std::string(255, 'x'), std::string(255, '/'), 3)),
            STATE_Result::Restored);
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  testing::internal::GetCapturedStdout();
}

// A state may name any file of the host: only the folder's own disks go in
// as the user protects them; any other image is opened read-only and stays
// protected, and an image that is gone leaves the drive empty, with an alert.
TEST_F(StateFile, FloppiesFromAStateAreOnlyReadUnlessTheyAreTheFolders) {
  boot();
  PREFS_WriteProtect = 0;
  folder.write("disk1.st", std::vector<u8>(737280, 0));
  folder.write("game.st", std::vector<u8>(737280, 0));
  struct Case {
    std::string path;
    bool protect;
  };
  const Case cases[] = {{folder.file("disk1.st"), false},
                        {folder.path() + "/./disk1.st", false},
                        {folder.file("game.st"), true}};
  testing::internal::CaptureStdout();
  for (const Case& c : cases) {
    DISKIMG_Reset();
    ASSERT_EQ(decode(with_names(c.path, "", 1)), STATE_Result::Restored) << alert;
    ASSERT_EQ(DISKIMG_InsertedMask, 1u) << c.path;
    EXPECT_EQ(DISKIMG_WriteProtect[0], c.protect ? 0x40u : 0u) << c.path;
    EXPECT_EQ(fcntl(DISKIMG_Files[0], F_GETFL) & O_ACCMODE, c.protect ? O_RDONLY : O_RDWR);
  }
  DISKIMG_Reset();
  EXPECT_EQ(decode(with_names(folder.file("temp1.st"), "", 1)), STATE_Result::Restored);
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  EXPECT_NE(alert.find(folder.file("temp1.st") + " does not exist"), std::string::npos) << alert;
  // A path longer than the field is kept as cut, and never opened as the
  // other file its first 255 bytes name.
  const std::string name(254 - folder.path().size(), 'x'), other = folder.path() + "/" + name;
  folder.write(name, std::vector<u8>(737280, 0));
  folder.write(name + ".st", std::vector<u8>(737280, 0));
  DISKIMG_Reset();
  ASSERT_EQ(DISKIMG_Insert((other + ".st").c_str(), 'A'), 1u);
  const std::vector<u8> state = STATE_Encode();
  DISKIMG_Reset();
  EXPECT_EQ(decode(state), STATE_Result::Restored);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  EXPECT_NE(alert.find("holds only the start of its path: " + other.substr(0, 254) + "..."), std::string::npos)
      << alert;
  // Held under that cut name, it stays in as it is, unless the drive writes
  // what the state's ST had write-protected.
  for (const auto& [stateReads, driveReads] : {std::pair{false, false}, {true, false}, {true, true}}) {
    testing::internal::CaptureStdout();
    DISKIMG_Reset();
    DISKIMG_Insert((other + ".st").c_str(), 'A', stateReads);
    const std::vector<u8> held = STATE_Encode();
    DISKIMG_Reset();
    DISKIMG_Insert((other + ".st").c_str(), 'A', driveReads);
    EXPECT_EQ(decode(held), STATE_Result::Restored);
    testing::internal::GetCapturedStdout();
    const bool emptied = stateReads && !driveReads;
    EXPECT_EQ(DISKIMG_InsertedMask, emptied ? 0u : 1u) << alert;
    EXPECT_EQ(alert.find("the drive writes the image the state's ST had write-protected") != std::string::npos,
              emptied);
  }
}

// A state may name any file of the host. An image of another folder goes
// back in for writing only when the state shows its ST could write it and
// the file is that very floppy image: its digest, a floppy's boot sector,
// the size the state's geometry gives, a file the user may write and no
// other drive or program writes. Otherwise the drive only reads it, and an
// alert says why (unless the ST could not write it when saved either, or it
// is a packed image, which goes in write-protected in any case); the
// menu's toggle can't lift that, and the file stays byte for byte.
TEST_F(StateFile, AnImageOfAnotherFolderIsWrittenOnlyWhenTheStateProvesIt) {
  boot();
  PREFS_WriteProtect = 0;
  TempFolder elsewhere;
  const std::string work = elsewhere.file("work.st"), notes = elsewhere.file("notes.txt");
  elsewhere.write("work.st", make_floppy(737280, 2, 9));
  elsewhere.write("notes.txt", std::vector<u8>(368640, 'x'));
  std::filesystem::create_symlink(notes, elsewhere.file("link.st"));
  // The machine's state with `a` in drive A, as an insertion puts it there.
  const auto state_with = [&](const std::string& a, bool readOnly = false) {
    testing::internal::CaptureStdout();
    DISKIMG_Reset();
    DISKIMG_Insert(a.c_str(), 'A', readOnly);
    std::vector<u8> s = STATE_Encode();
    DISKIMG_Reset();
    testing::internal::GetCapturedStdout();
    return s;
  };
  const Layout at(MMU_RamSize);
  const std::vector<u8> plain = state_with(work);
  std::vector<u8> linked = state_with(notes), longer = plain, twice = plain;
  const std::string link = elsewhere.file("link.st");
  linked[at[7] + 51] = u8(link.size());
  std::copy(link.begin(), link.end(), &linked[at[7] + 52]);
  be_write32(&longer[at[17] + 12], 81);  // drive A's tracks
  // Both drives name the image, each as writable.
  be_write32(&twice[at[7] + 47], 3);
  std::copy_n(&twice[at[7] + 51], 256, &twice[at[7] + 51 + 256]);
  std::copy_n(&twice[at[16] + 24], 8, &twice[at[16] + 32]);
  std::copy_n(&twice[at[17] + 8], 12, &twice[at[17] + 20]);
  std::copy_n(&twice[at[18] + 8], 4, &twice[at[18] + 12]);
  // Drive A writes the image, drive B only reads it.
  testing::internal::CaptureStdout();
  DISKIMG_Reset();
  DISKIMG_Insert(work.c_str(), 'A');
  DISKIMG_Insert(work.c_str(), 'B');
  const std::vector<u8> readerB = STATE_Encode();
  testing::internal::GetCapturedStdout();
  // A plain image in drive A, whose first bytes the ST wrote as an MSA image's.
  const auto odd_in_a = [&] {
    DISKIMG_Reset();
    elsewhere.write("odd.st", make_floppy(737280, 2, 9));
    DISKIMG_Insert(elsewhere.file("odd.st").c_str(), 'A');
    ASSERT_EQ(pwrite(DISKIMG_Files[0], "\x0e\x0f", 2, 0), 2);
  };
  odd_in_a();
  const std::vector<u8> oddState = STATE_Encode();
  // This folder's own disk, of a size that gives no geometry, in a state
  // that gives it one and wrote it.
  folder.write("disk1.st", make_floppy(700000));
  const std::string flat = folder.file("disk1.st");
  std::vector<u8> shaped = state_with(flat);
  be_write32(&shaped[at[18] + 8], be_read32(&shaped[at[18] + 8]) | 3);
  for (u32 i = 0; i < 3; ++i) be_write32(&shaped[at[17] + 8 + 4 * i], (const u32[]){2, 80, 9}[i]);
  int locker = -1;
  // Drive A given the image write-protected by another writer, which lets
  // it go before the load: the other drive, or another program.
  const auto taken_from = [&](bool otherDrive) {
    testing::internal::CaptureStderr();
    if (otherDrive) {
      DISKIMG_Insert(work.c_str(), 'B');
    } else {
      locker = open(work.c_str(), O_RDWR);
      flock(locker, LOCK_EX);
    }
    DISKIMG_Insert(work.c_str(), 'A');
    if (otherDrive) DISKIMG_Eject('B');
    else close(locker), locker = -1;
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(DISKIMG_WhyProtected[0], DISKIMG_Protection::InUse);
  };
  struct Case {
    const char* what;
    std::vector<u8> state;
    bool writable;  // drive A
    const char* said;  // in the alert, null for no alert
    std::function<void()> before = {};
  };
  const Case cases[] = {
      {"the image as saved", plain, true, nullptr},
      {"an image saved write-protected", state_with(work, true), false, nullptr},
      {"an earlier version's state", std::vector<u8>(plain.begin(), plain.end() - access_on), false,
       "earlier version, which does not show that the ST could write it. To let the ST write on it, eject the disk "
       "and insert it again."},
      {"a text file with its digest", state_with(notes), false, "no floppy disk's boot sector"},
      {"a link to a text file", linked, false, "no floppy disk's boot sector"},
      {"a geometry of another size", longer, false, "not a floppy image of the size"},
      {"one image in two drives", twice, true, "Drive B: " },
      {"an image another program writes", plain, false, "another program"},
      {"held since the other drive wrote it, which let it go", plain, true, nullptr, [&] { taken_from(true); }},
      {"held since another program wrote it, which let it go", plain, true, nullptr, [&] { taken_from(false); }},
      {"held read-only by an earlier restore, another program writing it now", plain, false, "another program",
       [&] {
         DISKIMG_Insert(work.c_str(), 'A', true);
         locker = open(work.c_str(), O_RDWR);
         flock(locker, LOCK_EX);
       }},
      {"drive B reading it, another program writing it", readerB, false, "another program",
       [&] {
         locker = open(work.c_str(), O_RDWR);
         flock(locker, LOCK_EX);
       }},
      {"held, its first bytes an MSA image's", oddState, true, nullptr, odd_in_a},
      {"held without a geometry, which the state gives", shaped, true, nullptr,
       [&] { DISKIMG_Insert(flat.c_str(), 'A'); }},
  };
  const std::vector<u8> bytes = read_all(work), text = read_all(notes);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DISKIMG_Reset();
    if (std::string(c.what) == "an image another program writes") {
      locker = open(work.c_str(), O_RDWR);
      ASSERT_EQ(flock(locker, LOCK_EX), 0);
    }
    testing::internal::CaptureStdout();
    if (c.before) c.before();
    const STATE_Result r = decode(c.state);
    testing::internal::GetCapturedStdout();
    if (locker >= 0) close(locker), locker = -1;
    ASSERT_EQ(r, STATE_Result::Restored) << alert;
    ASSERT_EQ(DISKIMG_InsertedMask & 1, 1u);
    DISKIMG_SetWriteProtect(0);  // the menu's toggle
    EXPECT_EQ(DISKIMG_WriteProtect[0], c.writable ? 0u : 0x40u);
    EXPECT_EQ(fcntl(DISKIMG_Files[0], F_GETFL) & O_ACCMODE, c.writable ? O_RDWR : O_RDONLY);
    EXPECT_EQ(alert.find("message 20") != std::string::npos, c.said != nullptr) << alert;
    if (c.said) {
      EXPECT_NE(alert.find(c.said), std::string::npos) << alert;
    }
    if (c.state == twice) {
      EXPECT_EQ(DISKIMG_WriteProtect[1], 0x40u);
      EXPECT_NE(alert.find("drive A writes it"), std::string::npos) << alert;
    }
    EXPECT_TRUE(read_all(work) == bytes && read_all(notes) == text);
  }
  // Held since the start while another program writes it: the restore
  // keeps the drive as it is (in again it would only be read all the
  // same), without a second alert.
  DISKIMG_Reset();
  locker = open(work.c_str(), O_RDWR);
  ASSERT_EQ(flock(locker, LOCK_EX), 0);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  DISKIMG_Reset();
  DISKIMG_Insert(work.c_str(), 'A');
  testing::internal::GetCapturedStderr();
  const int held = DISKIMG_Files[0];
  EXPECT_EQ(decode(plain), STATE_Result::Restored);
  testing::internal::GetCapturedStdout();
  close(locker);
  EXPECT_EQ(DISKIMG_Files[0], held);
  EXPECT_EQ(alert.find("message 20"), std::string::npos) << alert;
  // A packed image goes back in as the copy every insertion of it makes,
  // write-protected: an earlier version's state gives no advice to insert
  // it again, which would only make another copy.
  elsewhere.write("work.msa", msa_of(make_floppy(737280, 2, 9)));
  const gzFile gz = gzopen(elsewhere.file("work.st.gz").c_str(), "wb");
  gzwrite(gz, bytes.data(), unsigned(bytes.size()));
  gzclose(gz);
  for (const char* name : {"work.msa", "work.st.gz"}) {
    SCOPED_TRACE(name);
    const std::vector<u8> packedState = state_with(elsewhere.file(name));
    testing::internal::CaptureStdout();
    const STATE_Result restored = decode(std::vector<u8>(packedState.begin(), packedState.end() - access_on));
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(restored, STATE_Result::Restored) << alert;
    EXPECT_EQ(DISKIMG_WhyProtected[0], DISKIMG_Protection::Copy);
    EXPECT_EQ(alert.find("message 20"), std::string::npos) << alert;
  }
  // Images the drives hold the other way round: each goes to the drive the
  // state gives it, and both are written.
  elsewhere.write("other.st", make_floppy(737280, 2, 9));
  testing::internal::CaptureStdout();
  DISKIMG_Reset();
  DISKIMG_Insert(work.c_str(), 'A');
  DISKIMG_Insert(elsewhere.file("other.st").c_str(), 'B');
  const std::vector<u8> both = STATE_Encode();
  DISKIMG_Reset();
  DISKIMG_Insert(elsewhere.file("other.st").c_str(), 'A');
  DISKIMG_Insert(work.c_str(), 'B');
  const STATE_Result swapped = decode(both);
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(swapped, STATE_Result::Restored);
  EXPECT_EQ(DISKIMG_InsertedMask, 3u);
  EXPECT_EQ(DISKIMG_WriteProtect[0] | DISKIMG_WriteProtect[1], 0u) << alert;
  EXPECT_EQ(std::string(reinterpret_cast<char*>(DISKIMG_NameA + 1), DISKIMG_NameA[0]), work);
  // An image changed since the save, plain or an MSA image now, is not the
  // disk the restored ST knows: the drive stays empty, and that is all that
  // is said. To that ST the drive had the state's disk: it is ejected there.
  std::vector<u8> changed = bytes;
  changed[5000] ^= 1;
  std::vector<u8> msa = msa_of(changed);
  // An MSA image that can't be expanded may be the state's disk: it says so.
  // A gzip image the state's drive took, replaced by another disk's, alike.
  std::vector<u8> damaged = {0x0e, 0x0f, 0, 9, 0, 1, 0, 0, 0, 79, 0x20, 0};
  const std::string packed = elsewhere.file("work.st.gz");
  const auto gzip = [&](const std::vector<u8>& b) {
    const gzFile gz = gzopen(packed.c_str(), "wb");
    gzwrite(gz, b.data(), unsigned(b.size()));
    gzclose(gz);
  };
  gzip(bytes);
  const std::vector<u8> packedState = state_with(packed);
  gzip(changed);
  std::vector<u8> packedChanged = read_all(packed);
  const char* other = " is not the disk the state was saved with";
  for (const auto& [state, file, now, said] :
       {std::tuple{&plain, work, &changed, other}, {&plain, work, &msa, other},
        {&plain, work, &damaged, " is a damaged MSA image"}, {&packedState, packed, &packedChanged, other}}) {
    DISKIMG_Reset();
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(now->data()), now->size());
    testing::internal::CaptureStdout();
    EXPECT_EQ(decode(*state), STATE_Result::Restored);
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("Restored drive A"), std::string::npos);
    EXPECT_EQ(DISKIMG_InsertedMask, 0u);
    EXPECT_NE(alert.find(file + said), std::string::npos) << alert;
    EXPECT_EQ(alert.find("message 20"), std::string::npos) << alert;
    EXPECT_TRUE(read_all(file) == *now);
    EXPECT_EQ(DISKIMG_SensorPhase[0], DISKIMG_Sensor::SlidingOut);
    EXPECT_EQ(DISKIMG_SensorFrames[0], DISKIMG_PhaseFrames);
  }
  // A file the user may not write.
  elsewhere.write("work.st", bytes);
  chmod(elsewhere.path().c_str(), 0755);
  chmod(work.c_str(), 0444);
  testing::internal::CaptureStdout();
  const int status = run_as_ordinary_user([&] {
    if (access(work.c_str(), W_OK) == 0) return 3;
    DISKIMG_Reset();
    testing::internal::CaptureStderr();
    const STATE_Result r = STATE_Decode(plain.data(), plain.size());
    const std::string said = testing::internal::GetCapturedStderr();
    if (r != STATE_Result::Restored || DISKIMG_InsertedMask != 1) return 1;
    return DISKIMG_WriteProtect[0] == 0x40 && said.find("may only be read. To let the ST write on it, make the "
                                                        "file writable") != std::string::npos
               ? 0
               : 2;
  });
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(status, 0);
  DISKIMG_Reset();
}

// Each drive writes as the saved one did, whatever it holds at the restore:
// the folder's own disk in both drives comes back written by the drive that
// wrote it (though the start opened it in the other for writing); a drive
// that only read an image another drive wrote writes it again once the
// state shows it wrote it. In another folder whose own disk of that name
// is another disk, the image the state names is taken when it is the
// state's disk (and written), the folder's disk left alone; when neither
// is, the drive stays empty and the alert says what each is. A link to
// nothing in the named place leaves the folder's own disk of the drive to
// take its place.
TEST_F(StateFile, EachDriveWritesAsTheSavedOneDid) {
  boot();
  PREFS_WriteProtect = 0;
  TempFolder copy;
  folder.write("disk1.st", make_floppy(737280, 2, 9));
  const std::string disk1 = folder.file("disk1.st");
  const auto insert = [](const std::string& path, char drive) {
    testing::internal::CaptureStdout();
    DISKIMG_Insert(path.c_str(), drive);
    testing::internal::GetCapturedStdout();
  };
  const auto load = [&](const std::vector<u8>& state) {
    testing::internal::CaptureStdout();
    const STATE_Result r = decode(state);
    testing::internal::GetCapturedStdout();
    return r;
  };
  const auto writes = [](u32 d) { return (fcntl(DISKIMG_Files[d], F_GETFL) & O_ACCMODE) == O_RDWR; };
  DISKIMG_Reset();
  insert(disk1, 'B');
  insert(disk1, 'A');  // only read: B writes it
  const std::vector<u8> both = STATE_Encode();
  DISKIMG_Reset();
  insert(disk1, 'A');  // as the start opens it
  EXPECT_EQ(load(both), STATE_Result::Restored);
  EXPECT_EQ(DISKIMG_InsertedMask, 3u);
  EXPECT_FALSE(writes(0));
  EXPECT_TRUE(writes(1)) << alert;
  EXPECT_EQ(alert.find("message 20"), std::string::npos) << alert;

  DISKIMG_Reset();
  insert(disk1, 'A');
  const std::vector<u8> alone = STATE_Encode();
  DISKIMG_Reset();
  insert(disk1, 'B');
  insert(disk1, 'A');
  EXPECT_EQ(load(alone), STATE_Result::Restored);
  EXPECT_EQ(DISKIMG_InsertedMask, 1u);
  EXPECT_TRUE(writes(0)) << alert;

  const std::vector<u8> original = read_all(disk1);
  std::vector<u8> changed = original;
  changed[9000] ^= 1;
  copy.write("disk1.st", changed);
  APP_Folder.path = copy.path();
  DISKIMG_Reset();
  EXPECT_EQ(load(alone), STATE_Result::Restored);
  ASSERT_EQ(DISKIMG_InsertedMask, 1u) << alert;
  EXPECT_EQ(std::string(reinterpret_cast<char*>(DISKIMG_NameA + 1), DISKIMG_NameA[0]), disk1);
  EXPECT_TRUE(writes(0));
  DISKIMG_Reset();
  folder.write("disk1.st", changed);
  EXPECT_EQ(load(alone), STATE_Result::Restored);
  APP_Folder.path = folder.path();
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  EXPECT_NE(alert.find("Cant insert a disk in drive A, " + copy.file("disk1.st") +
                       " is this folder's own disk, another disk than the one the state was saved with; " + disk1 +
                       " is not the disk the state was saved with (it changed since)"),
            std::string::npos)
      << alert;
  EXPECT_TRUE(read_all(copy.file("disk1.st")) == changed);
  folder.write("disk1.st", original);

  copy.write("work.st", read_all(disk1));
  DISKIMG_Reset();
  insert(copy.file("work.st"), 'A');
  const std::vector<u8> named = STATE_Encode();
  std::filesystem::remove(copy.file("work.st"));
  std::filesystem::create_symlink(copy.file("gone"), copy.file("work.st"));
  DISKIMG_Reset();
  EXPECT_EQ(load(named), STATE_Result::Restored);
  ASSERT_EQ(DISKIMG_InsertedMask, 1u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(DISKIMG_NameA + 1), DISKIMG_NameA[0]), disk1);
  EXPECT_TRUE(writes(0));
  DISKIMG_Reset();
}

// The folder's own disk follows the folder also as an MSA image (which its
// drive reads as an expansion): a state taken up in a copy of the folder
// takes the copy's disk, not the one of the folder it was saved in.
TEST_F(StateFile, TheFoldersOwnDiskComesFromTheFolderTheStateIsTakenUpIn) {
  boot();
  const std::vector<u8> plain = make_floppy(737280, 2, 9), msa = msa_of(plain);
  TempFolder copy;
  for (const std::vector<u8>* content : {&plain, &msa}) {
    SCOPED_TRACE(content == &msa ? "an MSA image" : "a plain image");
    APP_Folder.path = folder.path();
    folder.write("disk1.st", *content);
    copy.write("disk1.st", *content);
    testing::internal::CaptureStdout();
    DISKIMG_Reset();
    ASSERT_EQ(DISKIMG_Insert(folder.file("disk1.st").c_str(), 'A'), 1u);
    const std::vector<u8> state = STATE_Encode();
    DISKIMG_Reset();
    APP_Folder.path = copy.path();
    const STATE_Result r = decode(state);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(r, STATE_Result::Restored);
    ASSERT_EQ(DISKIMG_InsertedMask, 1u) << alert;
    EXPECT_TRUE(DISKIMG_Holds(0, copy.file("disk1.st").c_str()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(DISKIMG_NameA + 1), DISKIMG_NameA[0]), copy.file("disk1.st"));
  }
  APP_Folder.path = folder.path();
  DISKIMG_Reset();
}

// A restored drive holds the state's image. One that holds it already (the
// folder's disk opened at the start) keeps it, its head where the state had
// it; one that holds another is emptied first, so that the restored ST never
// writes its disk's directory onto another; when the state's image is gone
// or changed since (the ST's directory of it would be stale), and when the
// state's drive was empty, the drive stays empty. A state without the
// extension (an earlier build's) leaves the heads to be taken where the ST
// holds them.
TEST_F(StateFile, EachDriveGetsTheStatesImageAndHead) {
  boot();
  folder.write("disk1.st", std::vector<u8>(737280, 0));
  folder.write("other.st", std::vector<u8>(737280, 0));
  const auto insert = [&](const char* name) {
    testing::internal::CaptureStdout();
    const u32 ok = DISKIMG_Insert(folder.file(name).c_str(), 'A');
    testing::internal::GetCapturedStdout();
    return ok;
  };
  const auto load = [&](const std::vector<u8>& b) {
    testing::internal::CaptureStdout();
    const STATE_Result r = decode(b);
    testing::internal::GetCapturedStdout();
    return r;
  };
  ASSERT_EQ(insert("disk1.st"), 1u);
  DISKIMG_Drives[0].headTrack = 33;
  FDC_Regs[FDC_Track] = 33;
  FDC_Regs[FDC_Data] = 34;
  const std::vector<u8> state = STATE_Encode();
  const std::vector<u8> older(state.begin(), state.end() - STATE_ExtensionBytes);
  struct stat own;
  ASSERT_EQ(stat(folder.file("disk1.st").c_str(), &own), 0);
  struct Case {
    const char* held;  // in drive A before the load
    const std::vector<u8>* file;
    i32 head;
  };
  const Case cases[] = {{"disk1.st", &state, 33},
                        {"other.st", &state, 33},
                        {nullptr, &state, 33},
                        {"disk1.st", &older, DISKIMG_HeadUnknown}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.held ? c.held : "empty");
    DISKIMG_Reset();
    if (c.held) {
      ASSERT_EQ(insert(c.held), 1u);
    }
    ASSERT_EQ(load(*c.file), STATE_Result::Restored) << alert;
    EXPECT_EQ(DISKIMG_InsertedMask, 1u);
    struct stat open;
    ASSERT_EQ(fstat(DISKIMG_Files[0], &open), 0);
    EXPECT_EQ(open.st_ino, own.st_ino);
    EXPECT_EQ(DISKIMG_Drives[0].headTrack, c.head);
    EXPECT_EQ(FDC_Regs[FDC_Track], 33u);  // not zeroed by the insertion
    EXPECT_EQ(FDC_Regs[FDC_Data], 34u);
  }
  DISKIMG_Reset();
  const std::vector<u8> empty = STATE_Encode();
  ASSERT_EQ(insert("other.st"), 1u);
  EXPECT_EQ(load(empty), STATE_Result::Restored);
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  // Replaced under the drive since the save (a tool that writes a new file
  // and renames it over the old): the drive holds the old file, which no
  // name reaches any more, and the restore does not keep it.
  folder.write("new.st", std::vector<u8>(737280, 1));
  ASSERT_EQ(insert("disk1.st"), 1u);
  std::filesystem::rename(folder.file("new.st"), folder.file("disk1.st"));
  EXPECT_EQ(load(state), STATE_Result::Restored);
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  folder.write("disk1.st", std::vector<u8>(737280, 1));  // written since the save
  ASSERT_EQ(insert("disk1.st"), 1u);
  EXPECT_EQ(load(state), STATE_Result::Restored);
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  EXPECT_NE(alert.find(folder.file("disk1.st") + " is not the disk the state was saved with"), std::string::npos)
      << alert;
  std::filesystem::remove(folder.file("disk1.st"));
  ASSERT_EQ(insert("other.st"), 1u);
  EXPECT_EQ(load(state), STATE_Result::Restored);
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  EXPECT_NE(alert.find(folder.file("disk1.st") + " does not exist"), std::string::npos) << alert;
}

// A drive reads its image with the geometry it went in with until it is
// ejected, even when the ST writes a boot sector that says another: what the
// ST wrote since stands where that geometry put it. A restored drive reads
// the image so too, where a new insertion would take the boot sector's word
// (a state of the build before the geometry was kept leaves it so); a state
// whose geometry has no sectors a track has the image only read.
TEST_F(StateFile, ARestoredDriveKeepsTheGeometryItsImageWentInWith) {
  boot();
  folder.write("disk1.st", std::vector<u8>(737280, 0));  // by its size, two sides
  testing::internal::CaptureStdout();
  ASSERT_EQ(DISKIMG_Insert(folder.file("disk1.st").c_str(), 'A'), 1u);
  // The ST formats it with one side: 720 sectors, 9 a track.
  u8 boot_sector[512] = {};
  boot_sector[0x0c] = 2;
  boot_sector[0x0d] = 2;
  boot_sector[0x13] = 720 & 0xff;
  boot_sector[0x14] = 720 >> 8;
  boot_sector[0x18] = 9;
  boot_sector[0x1a] = 1;
  ASSERT_EQ(pwrite(DISKIMG_Files[0], boot_sector, 512, 0), 512);
  ASSERT_EQ(DISKIMG_Drives[0].sides, 2);
  const std::vector<u8> state = STATE_Encode();
  const std::vector<u8> first_block_only(state.begin(), state.end() - STATE_GeometryBlockBytes - access_on);
  std::vector<u8> no_sectors = state;
  be_write32(&no_sectors[no_sectors.size() - access_on - 16], 0);
  struct Case {
    const std::vector<u8>* file;
    i32 sides, sectors;
    u32 protect;
  };
  for (const Case& c : {Case{&state, 2, 9, 0}, {&first_block_only, 1, 9, 0}, {&no_sectors, 2, 0, 0x40}}) {
    DISKIMG_Reset();
    ASSERT_EQ(decode(*c.file), STATE_Result::Restored) << alert;
    ASSERT_EQ(DISKIMG_InsertedMask, 1u);
    EXPECT_EQ(DISKIMG_Drives[0].sides, c.sides);
    EXPECT_EQ(DISKIMG_Drives[0].tracks, 80);
    EXPECT_EQ(DISKIMG_Drives[0].sectorsPerTrack, c.sectors);
    EXPECT_EQ(DISKIMG_WriteProtect[0], c.protect);
  }
  testing::internal::GetCapturedStdout();
}

// What the ST printed before a state was saved stays in "Printer Output":
// the restored machine prints on after it, also in a new run.
TEST_F(StateFile, ARestoredMachinePrintsOnAfterWhatWasPrinted) {
  boot();
  const std::vector<u8> state = STATE_Encode();
  const auto print = [](const char* text) {
    MMU_WriteB(0xff8800, 15);
    for (const char* c = text; *c; ++c) MMU_WriteB(0xff8802, u8(*c));
  };
  print("before the save ");
  PRINTER_Close();  // the run ends; a new one starts
  ASSERT_EQ(decode(state), STATE_Result::Restored);
  print("and after the load");
  PRINTER_Close();
  std::ifstream in(folder.file("Printer Output"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "before the save and after the load");
}

// N + M frames in one run leave the same RAM and screen as N frames, a saved
// state, and M frames after restoring it (through the run loop's loading of
// "Auto Saved State", as at a program start).
TEST_F(StateFile, RestoredMachineRunsOnExactlyAsTheSavedOne) {
  const u32 n = 5, m = 4;
  boot(n + m);
  const std::vector<u8> ram_ref(MMU_RamBase, MMU_RamBase + MMU_RamSize);
  const u32 base_ref = SCREEN_FrameBase;

  machine_reset_globals();
  TempFolder second;
  second.write("tos.img", load_test_rom("workload"));
  machine_start(second.path());
  APP_AutoStateLoaded = 1;  // nothing to load on this run
  run(n);
  ASSERT_TRUE(STATE_Write(second.file("Auto Saved State").c_str()));
  std::memset(MMU_RamBase, 0x77, MMU_RamSize);  // forget everything
  APP_AutoStateLoaded = 0;
  run(m);
  EXPECT_EQ(APP_AutoStateLoaded, 1u);
  EXPECT_EQ(SCREEN_FrameBase, base_ref);
  ASSERT_EQ(MMU_RamSize, ram_ref.size());
  EXPECT_TRUE(std::equal(ram_ref.begin(), ram_ref.end(), MMU_RamBase));
  EXPECT_GT(MMU_ReadL(0x80c), 0u);
}

// Drive B's write-protect sensor goes on from where the state's stood: a
// state saved at any moment of a swap, or with the drive empty since the
// start, reads the drive's status as the run that never stopped (the new
// disk going in when the drive takes it). An earlier build's state, which
// does not tell, has a drive it had empty settled: no change of level.
TEST_F(StateFile, EachDrivesSensorGoesOnFromWhereTheStatesStood) {
  boot();
  PREFS_WriteProtect = 0;
  TempFolder disks;
  disks.write("old.st", make_floppy(737280, 2, 9));
  disks.write("new.st", make_floppy(737280, 2, 9));
  PSG_PortA = 0x03;  // drive B, side 0
  const u32 n = DISKIMG_PhaseFrames;
  bool swapping = false;
  // The status's write-protect bit at each of `frames` frames, the new
  // disk going in as soon as the drive takes it.
  const auto line = [&](u32 frames) {
    std::vector<u32> seen;
    testing::internal::CaptureStdout();
    for (u32 i = 0; i < frames; ++i, DISKIMG_FrameEnded()) {
      if (swapping && DISKIMG_MayInsert(1)) DISKIMG_Insert(disks.file("new.st").c_str(), 'B');
      DMA_PutW(0xff8606, 0x80);
      seen.push_back(DMA_GetW(0xff8604) & 0x40);
    }
    testing::internal::GetCapturedStdout();
    return seen;
  };
  // Frames since the old disk came out; none: the drive empty since the start.
  for (const i32 since : {-1, 5, i32(n) + 5, 2 * i32(n) + 5, 3 * i32(n) + 5}) {
    SCOPED_TRACE(since);
    DISKIMG_Reset();
    swapping = since >= 0;
    if (swapping) {
      testing::internal::CaptureStdout();
      DISKIMG_Insert(disks.file("old.st").c_str(), 'B');
      testing::internal::GetCapturedStdout();
      DISKIMG_StRestarted();
      DISKIMG_Eject('B');
      line(u32(since));
    }
    const std::vector<u8> state = STATE_Encode();
    const std::vector<u32> unbroken = line(3 * n);
    for (const bool earlier : {false, true}) {
      if (earlier && since >= 0) continue;
      DISKIMG_Reset();
      const size_t cut = earlier ? STATE_SensorBlockBytes : 0;
      ASSERT_EQ(decode(std::vector<u8>(state.begin(), state.end() - cut)), STATE_Result::Restored) << alert;
      EXPECT_EQ(line(3 * n), unbroken) << (earlier ? "an earlier build's state" : "");
    }
  }
}

// An image that went in through a symbolic link comes back from a state as
// it went in: a gzip image is unpacked for its ".gz" name, which the file
// the link leads to need not have, and a file a link of another name leads
// to goes in as it is though its own name ends in ".gz"; an MSA image is
// known by its first bytes under any name. The restore takes the very disk
// back, read the same way, with no alert, whether the compressed file is
// small or larger than a floppy image (read the other way, it would be a
// disk that "changed since").
TEST_F(StateFile, AnImageThatWentInThroughALinkComesBackThroughIt) {
  boot();
  PREFS_WriteProtect = 0;
  std::vector<u8> noisy = make_floppy(737280, 2, 9);
  u32 seed = 12345;
  for (size_t i = 512; i < noisy.size(); ++i) seed = seed * 1103515245 + 12345, noisy[i] = u8(seed >> 16);
  const std::vector<u8> plain = make_floppy(737280, 2, 9);
  TempFolder disks;
  const auto gzip = [&](const std::string& name, const std::vector<u8>& bytes) {
    const gzFile gz = gzopen(disks.file(name).c_str(), "wb");
    gzwrite(gz, bytes.data(), unsigned(bytes.size()));
    gzclose(gz);
  };
  // The link, the file it leads to and that file's content: a gzip or MSA
  // image of `image`, or `image` itself.
  enum { Gzip, Msa, Plain };
  const struct {
    const char *link, *target;
    const std::vector<u8>* image;
    int as;
  } rows[] = {
      {"game.st.gz", "blob", &plain, Gzip},
      {"noisy.st.gz", "noisy-blob", &noisy, Gzip},
      {"twin.st.gz", "real.st.gz", &plain, Gzip},
      {"raw.st", "packed.st.gz", &noisy, Gzip},
      {"game.msa", "msa-blob", &plain, Msa},
      {"flat.st.gz.st", "flat.st", &plain, Plain},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.link);
    if (r.as == Gzip) gzip(r.target, *r.image);
    else disks.write(r.target, r.as == Msa ? msa_of(*r.image) : *r.image);
    std::filesystem::create_symlink(disks.file(r.target), disks.file(r.link));
    testing::internal::CaptureStdout();
    DISKIMG_Reset();
    ASSERT_EQ(DISKIMG_Insert(disks.file(r.link).c_str(), 'A'), 1u);
    const DISKIMG_Protection why = DISKIMG_WhyProtected[0];
    u8 was[512], now[512];
    ASSERT_EQ(pread(DISKIMG_Files[0], was, sizeof was, 0), 512);
    const std::vector<u8> state = STATE_Encode();
    DISKIMG_Reset();
    const STATE_Result restored = decode(state);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(restored, STATE_Result::Restored);
    EXPECT_EQ(alert.find("Cant insert"), std::string::npos) << alert;
    if (DISKIMG_InsertedMask != 1) {
      ADD_FAILURE() << "drive A left empty";
      continue;
    }
    EXPECT_TRUE(DISKIMG_Holds(0, disks.file(r.link).c_str()));
    // Unpacked or expanded again, or the file itself again (a file of
    // another folder whose first sector is no boot sector goes back only
    // read, as any does).
    EXPECT_EQ(DISKIMG_WhyProtected[0] == DISKIMG_Protection::Copy, why == DISKIMG_Protection::Copy);
    ASSERT_EQ(pread(DISKIMG_Files[0], now, sizeof now, 0), 512);
    EXPECT_TRUE(std::equal(was, was + 512, now));
  }
  DISKIMG_Reset();
}
