#include "machine/hdd.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "cpu/registers.h"
#include "host/app.h"
#include "host/dialogs.h"
#include "host/events.h"
#include "host/options.h"
#include "host/screen.h"
#include "machine/bigscreen.h"
#include "machine/diskimg.h"
#include "machine/fdc.h"
#include "machine/memory.h"
#include "machine/sections.h"
#include "machine/shifter.h"
#include "support/machine_fixture.h"
#include "support/shell.h"
#include "support/state_section.h"

namespace {

std::vector<u8> read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<u8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The new empty image, built in memory the way HDD_CreateEmptyImage lays it out.
std::vector<u8> empty_image() {
  std::vector<u8> img(HDD_EmptyImageBytes, 0);
  HDD_BuildBootSector(img.data());
  for (u32 at : {0x200u, 0x5200u}) {
    img[at] = 0xf8;
    img[at + 1] = img[at + 2] = img[at + 3] = 0xff;
  }
  return img;
}

void set_le16(std::vector<u8>& s, u32 at, u32 v) {
  s[at] = u8(v);
  s[at + 1] = u8(v >> 8);
}

HDD_BpbRecord bpb_of(const std::vector<u8>& sector, u64 bytes, bool expect_ok = true) {
  HDD_BpbRecord b{};
  std::string reason;
  EXPECT_EQ(HDD_BpbFromBootSector(sector.data(), bytes, b, reason), expect_ok) << reason;
  return b;
}

class HardDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_reset_globals();
    SCREEN_LineABase = 0;
    SCREEN_BigScreen = 0;
    EVENTS_VdiTracking = 0;
  }
  void TearDown() override {
    HDD_CloseImages();
    DISKIMG_InsertedMask = 0;
    CART_PortConfig = 0;
    SCREEN_LineABase = 0;
    SCREEN_BigScreen = 0;
    EVENTS_VdiTracking = 0;
  }

  // Starts a machine from a folder with a TOS image and the given C image.
  void start(const std::vector<u8>& c, u8 tos_minor = 4) {
    folder.write("tos.img", make_tos_image(1, tos_minor));
    if (!c.empty()) folder.write("HDD-C.dmg", c);
    testing::internal::CaptureStderr();
    machine_start(folder.path());
    testing::internal::GetCapturedStderr();
    m68k_regfile.s = 1;
  }

  // Runs the hdd_port ROM of a started machine; true when it got to its end.
  static bool run_port_rom(u32 frames) {
    machine_run_quietly(frames);
    return MMU_ReadL(0x950) == 0x600d;
  }

  // An argument frame as the driver's callers leave it, A7 pointing at the
  // return address.
  void frame(u32 rwflag, u32 buffer, u32 count, u32 sector, u32 drive) {
    const u32 sp = 0x7000;
    m68k_regfile.a[7] = sp;
    MMU_WriteW(sp + 4, rwflag);
    MMU_WriteL(sp + 6, buffer);
    MMU_WriteW(sp + 10, count);
    MMU_WriteW(sp + 12, sector);
    MMU_WriteW(sp + 14, drive);
  }
  u32 command(u32 byte) {
    m68k_regfile.d[0] = 0x5a5a5a5a;
    MMU_WriteB(0xfff700, byte);
    return m68k_regfile.d[0];
  }

  TempFolder folder;
};

}  // namespace

// ---- Boot sector and BPB ----

TEST_F(HardDisk, BpbOfTheEmptyImageCountsOnlyTheDataArea) {
  const std::vector<u8> img = empty_image();
  const std::vector<u8> sector(img.begin(), img.begin() + 512);
  const HDD_BpbRecord b = bpb_of(sector, img.size());
  EXPECT_EQ(b.recsiz, 512);
  EXPECT_EQ(b.clsiz, 4);
  EXPECT_EQ(b.clsizb, 2048);
  EXPECT_EQ(b.rdlen, 32);
  EXPECT_EQ(b.fsiz, 40);
  EXPECT_EQ(b.fatrec, 41);
  EXPECT_EQ(b.datrec, 113);
  EXPECT_EQ(b.numcl, 10211);  // (40960 - 113) / 4, not 40960 / 4 - 2
  EXPECT_EQ(b.bflags, 1);
}

TEST_F(HardDisk, BpbOfOtherLayouts) {
  std::vector<u8> s = empty_image();
  s.resize(512);
  // 256 root entries are 16 sectors (a division first would make them 0);
  // 4 reserved sectors move the second FAT.
  set_le16(s, 0x11, 256);
  set_le16(s, 0x0e, 4);
  HDD_BpbRecord b = bpb_of(s, HDD_EmptyImageBytes);
  EXPECT_EQ(b.rdlen, 16);
  EXPECT_EQ(b.fatrec, 44);
  EXPECT_EQ(b.datrec, 44 + 40 + 16);
  EXPECT_EQ(b.numcl, (40960 - 100) / 4);
  // Entries that don't fill a sector still take one.
  set_le16(s, 0x11, 17);
  EXPECT_EQ(bpb_of(s, HDD_EmptyImageBytes).rdlen, 2);
  // A volume with 1024-byte sectors counted in the 32-bit field.
  s = empty_image();
  s.resize(512);
  set_le16(s, 0x0b, 1024);
  s[0x0d] = 2;
  set_le16(s, 0x13, 0);
  s[0x20] = 0x00;
  s[0x21] = 0x50;  // 20480 sectors
  set_le16(s, 0x16, 20);
  b = bpb_of(s, HDD_EmptyImageBytes);
  EXPECT_EQ(b.recsiz, 1024);
  EXPECT_EQ(b.clsizb, 2048);
  EXPECT_EQ(b.rdlen, 16);
  EXPECT_EQ(b.datrec, 1 + 20 + 20 + 16);
  EXPECT_EQ(b.numcl, (20480 - 57) / 2);
}

TEST_F(HardDisk, BootSectorsThatDescribeNoUsableVolumeAreRefused) {
  std::vector<u8> good = empty_image();
  good.resize(512);
  auto refused = [&](auto change, u64 bytes = HDD_EmptyImageBytes) {
    std::vector<u8> s = good;
    change(s);
    bpb_of(s, bytes, false);
  };
  refused([](auto& s) { set_le16(s, 0x0b, 0); });    // no sector size
  refused([](auto& s) { set_le16(s, 0x0b, 600); });  // not a power of two
  refused([](auto& s) { s[0x0d] = 0; });             // no cluster size
  refused([](auto& s) { s[0x0d] = 3; });
  refused([](auto& s) { set_le16(s, 0x0e, 0); });    // no reserved sector
  refused([](auto& s) { s[0x10] = 1; });             // one FAT
  refused([](auto& s) { set_le16(s, 0x16, 2); });    // FAT too small for the clusters
  refused([](auto& s) { set_le16(s, 0x13, 60); });   // no data area
  refused([](auto&) {}, HDD_EmptyImageBytes - 512);  // larger than the file
  // 131072 sectors in the 32-bit field: clusters past sector 65535 can't be
  // numbered.
  refused(
      [](auto& s) {
        set_le16(s, 0x13, 0);
        s[0x22] = 0x02;
        set_le16(s, 0x16, 128);
      },
      u64(131072) * 512);
}

// A volume the driver can't read is closed with a message that says why:
// a zero cluster size, and a FAT32 volume (with how to make one it reads).
TEST_F(HardDisk, AnImageOfAVolumeTheDriverCantReadIsClosedWithAMessage) {
  std::vector<u8> img = empty_image();
  img[0x0d] = 0;
  folder.write("tos.img", make_tos_image(1, 4));
  const std::string hdd = folder.file("HDD-C.dmg");
  const struct {
    const char* said;
    std::function<void()> make;
  } cases[] = {
      {"Cant use HDD-C.dmg: sectors per cluster must be a power of two", [&] { folder.write("HDD-C.dmg", img); }},
#ifdef FAT_TOOLS
      {"Cant use HDD-C.dmg: it is a FAT32 volume, and the driver reads FAT12 and FAT16 volumes (the ST's file "
       "system): move it aside, make a FAT16 volume in its place (mkfs.fat -C -F 16 HDD-C.dmg 20480 makes one of "
       "20 MB) and copy the files over (mcopy)",
       [&] { ASSERT_EQ(shell(std::string(MKFS_FAT) + " -C -F 32 " + shell_quote(hdd) + " 40000").status, 0); }},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.said);
    std::filesystem::remove(hdd);
    c.make();
    testing::internal::CaptureStderr();
    const std::string out = machine_start(folder.path());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out.find("loaded HDD-C.dmg"), std::string::npos) << "said of a volume refused";
    EXPECT_NE(err.find(c.said), std::string::npos) << err;
    EXPECT_EQ(HDD_Open[0], 0u);
  }
}

// An image that is there but can't be used says so, and why, instead of
// vanishing without a word.
TEST_F(HardDisk, AnImageThatCantBeOpenedIsNamedWithTheReason) {
  folder.write("tos.img", make_tos_image(1, 4));
  const std::string path = folder.file("HDD-C.dmg");
  const std::pair<std::function<void()>, const char*> cases[] = {
      {[&] { std::filesystem::create_directory(path); }, " is a directory"},
      {[&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, " is a FIFO"},
      {[&] { folder.write("HDD-C.dmg", std::vector<u8>(100, 0)); },
       " is too short for a hard-disk image"},
      // Root may write any file: the read-only case needs another user.
      {[&] {
         folder.write("HDD-C.dmg", empty_image());
         chmod(path.c_str(), 0400);
       },
       geteuid() == 0 ? nullptr : " can't be opened (Permission denied)"},
  };
  for (const auto& [make, why] : cases) {
    std::filesystem::remove_all(path);
    make();
    if (!why) continue;
    testing::internal::CaptureStderr();
    machine_start(folder.path());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Cant use HDD-C.dmg: " + path + why), std::string::npos) << err;
    EXPECT_EQ(HDD_Open[0], 0u);
  }
}

// ---- The new empty image ----

TEST_F(HardDisk, NewEmptyImageIsByteExact) {
  APP_FolderOverride = folder.path();
  ASSERT_EQ(HDD_CreateEmptyImage(), 1u);
  const std::vector<u8> img = read_all(folder.file("HDD (Empty).dmg"));
  ASSERT_EQ(img.size(), HDD_EmptyImageBytes);
  const u8 head[0x3e] = {0xeb, 0x34, 0x90, 'H', 'D', 'D', 0, '2', '.', '0', ' ', 0x00, 0x02, 0x04,
                         0x01, 0x00, 0x02, 0x00, 0x02, 0x00, 0xa0, 0xf8, 0x28, 0x00, 0x20, 0x00,
                         0x40, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0x29, 0x00, 0x00, 0x65,
                         0x24, 'H', 'D', 'D', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 'F', 'A',
                         'T', '1', '6', ' ', ' ', ' '};
  for (u32 i = 0; i < sizeof head; ++i) EXPECT_EQ(img[i], head[i]) << "byte " << i;
  EXPECT_EQ(img[0x1fe], 0x55);
  EXPECT_EQ(img[0x1ff], 0xaa);
  EXPECT_EQ(img, empty_image());
#ifdef FAT_TOOLS
  // The host's FAT tools take it as a volume and can store a file on it.
  const std::string note = folder.file("note.txt");
  { std::ofstream(note) << "hello"; }
  EXPECT_EQ(fat_copy_in(folder.file("HDD (Empty).dmg"), note, "NOTE.TXT"), "");
#endif
}

TEST_F(HardDisk, AnExistingFileIsFormattedOnlyWhenTheUserSaysSo) {
  const std::string path = folder.file("HDD (Empty).dmg");
  folder.write("HDD (Empty).dmg", std::vector<u8>(1000, 7));
  testing::internal::CaptureStderr();
  DLG_FixedAnswers.confirmFormat = 0;
  EXPECT_EQ(HDD_CreateEmptyImage(path.c_str()), HDD_Cancelled);
  EXPECT_EQ(read_all(path), std::vector<u8>(1000, 7));
  DLG_FixedAnswers.confirmFormat = 1;
  EXPECT_EQ(HDD_CreateEmptyImage(path.c_str()), 1u);
  DLG_FixedAnswers.confirmFormat = 0;
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Formating existing HDD file...; answered Cancel"), std::string::npos);
  EXPECT_EQ(read_all(path).size(), HDD_EmptyImageBytes);
  // A folder that can't take the file: failure, not a crash.
  EXPECT_EQ(HDD_CreateEmptyImage((folder.path() + "/no/such/dir/x.dmg").c_str()), 0u);
  // A symbolic link in the image's place is never written through, whether
  // it names a file of the user's or nothing yet.
  folder.write("victim", std::vector<u8>(10, 3));
  const std::string link = folder.file("link.dmg");
  DLG_FixedAnswers.confirmFormat = 1;
  for (const char* target : {"victim", "missing"}) {
    std::filesystem::remove(link);
    std::filesystem::create_symlink(folder.file(target), link);
    std::string why;
    EXPECT_EQ(HDD_CreateEmptyImage(link.c_str(), &why), HDD_NotAFile) << target;
    EXPECT_EQ(why, link + " is a symbolic link" + (target[0] == 'm' ? " to nothing" : ""));
  }
  DLG_FixedAnswers.confirmFormat = 0;
  EXPECT_EQ(read_all(folder.file("victim")), std::vector<u8>(10, 3));
  EXPECT_FALSE(std::filesystem::exists(folder.file("missing")));
  // Nor a file the machine holds, whatever the answer: hard disk C's image under another name.
  std::vector<u8> c = empty_image();
  c[100000] = 7;
  start(c);
  std::filesystem::create_hard_link(folder.file("HDD-C.dmg"), folder.file("copy.dmg"));
  DLG_FixedAnswers.confirmFormat = 1;
  std::string held;
  EXPECT_EQ(stderr_of([&] { EXPECT_EQ(HDD_CreateEmptyImage(folder.file("copy.dmg").c_str(), &held), HDD_Held); }),
            "Empty hard disk image: hard disk C holds " + folder.file("copy.dmg") + " as its image\n");
  EXPECT_EQ(held, folder.file("copy.dmg") + ": hard disk C holds " + folder.file("copy.dmg") + " as its image");
  DLG_FixedAnswers.confirmFormat = 0;
  EXPECT_EQ(read_all(folder.file("HDD-C.dmg")), c);
}

// ---- The port ----

TEST_F(HardDisk, RwabsReadsAndWritesSectorsThroughTheBankTable) {
  std::vector<u8> img = empty_image();
  for (u32 i = 0; i < 512; ++i) img[200 * 512 + i] = u8(i * 7);
  start(img);
  ASSERT_EQ(HDD_Open[0], 1u);
  frame(0, 0x20000, 1, 200, 2);
  EXPECT_EQ(command(0x45), 0u);
  for (u32 i = 0; i < 512; i += 37) EXPECT_EQ(MMU_ReadB(0x20000 + i), u8(i * 7));

  // Bit 0 of the flag is the direction: 3 writes (and 2 reads).
  for (u32 i = 0; i < 1024; ++i) MMU_WriteB(0x30000 + i, u8(i ^ 0x5a));
  frame(3, 0x30000, 2, 300, 2);
  EXPECT_EQ(command(0x45), 0u);
  frame(2, 0x40000, 2, 300, 2);
  EXPECT_EQ(command(0x45), 0u);
  for (u32 i = 0; i < 1024; i += 51) EXPECT_EQ(MMU_ReadB(0x40000 + i), u8(i ^ 0x5a));
  HDD_CloseImages();
  const std::vector<u8> after = read_all(folder.file("HDD-C.dmg"));
  for (u32 i = 0; i < 1024; i += 51) EXPECT_EQ(after[300 * 512 + i], u8(i ^ 0x5a));
}

TEST_F(HardDisk, RwabsFailuresAreReportedAsFailures) {
  start(empty_image());
  frame(0, 0x20000, 1, 0, 3);  // D is not open
  EXPECT_EQ(command(0x45), 0xffffffffu);
  frame(0, 0x20000, 1, 0, 0);  // nor is A ours
  EXPECT_EQ(command(0x45), 0xffffffffu);
  frame(0, 0x20000, 2, 40959, 2);  // the second sector lies past the image
  EXPECT_EQ(command(0x45), 0xffffffffu);
  frame(0, 0x20000, 1, 40959, 2);  // the last one is fine
  EXPECT_EQ(command(0x45), 0u);
  frame(0, 0x20000, 0, 0, 2);  // nothing to do
  EXPECT_EQ(command(0x45), 0u);
  frame(0, MMU_RamSize - 256, 1, 0, 2);  // half the sector would leave RAM
  EXPECT_EQ(command(0x45), 0xffffffffu);
  frame(0, 0xfff600, 1, 0, 2);  // nor may it land on this port
  EXPECT_EQ(command(0x45), 0xffffffffu);
  HDD_CloseImages();
  frame(0, 0x20000, 1, 0, 2);  // C closed
  EXPECT_EQ(command(0x45), 0xffffffffu);
  frame(0, 2, 0, 0, 0);
  EXPECT_EQ(command(0x46), 0u);
}

// An image another program (another copy of Vantorell) writes is locked:
// here it is only read, the ST's writes are refused as write-protected and
// the alert says why; once the lock is gone the image is written again.
TEST_F(HardDisk, AnImageAnotherProgramWritesIsOnlyRead) {
  folder.write("HDD-C.dmg", empty_image());
  const int other = open(folder.file("HDD-C.dmg").c_str(), O_RDWR);
  ASSERT_EQ(flock(other, LOCK_EX), 0);
  start({});
  ASSERT_EQ(HDD_Open[0], 1u);
  EXPECT_EQ(HDD_ReadOnly[0], 1u);
  EXPECT_NE(DLG_LastAlertText().find("another program"), std::string::npos) << DLG_LastAlertText();
  for (u32 i = 0; i < 512; ++i) MMU_WriteB(0x30000 + i, 0x5a);
  frame(1, 0x30000, 1, 300, 2);
  EXPECT_EQ(command(0x45), 0xfffffff3u);  // write-protected
  frame(0, 0x20000, 1, 0, 2);
  EXPECT_EQ(command(0x45), 0u);
  EXPECT_TRUE(read_all(folder.file("HDD-C.dmg")) == empty_image());
  close(other);
  HDD_OpenImages();
  EXPECT_EQ(HDD_ReadOnly[0], 0u);
  frame(1, 0x30000, 1, 300, 2);
  EXPECT_EQ(command(0x45), 0u);
  // This machine's floppy drive A writes it (it went in while the hard disk was off): the alert names the drive.
  HDD_CloseImages();
  const std::string path = folder.file("HDD-C.dmg");
  testing::internal::CaptureStdout();
  ASSERT_EQ(DISKIMG_Insert(path.c_str(), 'A'), 1u);
  testing::internal::GetCapturedStdout();
  HDD_OpenImages();
  EXPECT_EQ(DLG_LastAlertText(), "HDD-C.dmg is only read: drive A holds " + path +
                                     " as its disk and writes it. The ST can't write on drive C.");
  DISKIMG_Eject('A');
  // D's image is a link to C's: hard disk C writes it.
  ASSERT_EQ(link(path.c_str(), folder.file("HDD-D.dmg").c_str()), 0);
  HDD_OpenImages();
  EXPECT_EQ(HDD_ReadOnly[0] + 2 * HDD_ReadOnly[1], 2u);
  EXPECT_EQ(DLG_LastAlertText(), "HDD-D.dmg is only read: hard disk C holds " + folder.file("HDD-D.dmg") +
                                     " as its image and writes it. The ST can't write on drive D.");
}

TEST_F(HardDisk, GetbpbLeavesTheRecordInTheCartridgeWindow) {
  start(empty_image());
  frame(2, 0, 0, 0, 0);
  EXPECT_EQ(command(0x46), HDD_BpbAddress);
  const u16 expect[9] = {512, 4, 2048, 32, 40, 41, 113, 10211, 1};
  for (u32 i = 0; i < 9; ++i) EXPECT_EQ(MMU_ReadW(HDD_BpbAddress + 2 * i), expect[i]);
  frame(3, 0, 0, 0, 0);  // D isn't open: no BPB
  EXPECT_EQ(command(0x46), 0u);
  frame(1, 0, 0, 0, 0);
  EXPECT_EQ(command(0x46), 0u);
}

TEST_F(HardDisk, GetbpbWithoutDriveCAnswersNothingForD) {
  folder.write("HDD-D.dmg", empty_image());
  start({});
  ASSERT_EQ(HDD_Open[0], 0u);
  frame(3, 0, 0, 0, 0);
  EXPECT_EQ(command(0x46), 0u);
}

TEST_F(HardDisk, PortReads) {
  start(empty_image(), 0x62);  // TOS 1.62
  EXPECT_EQ(MMU_ReadW(0xfff704), 1u);
  EXPECT_EQ(MMU_ReadW(0xfff706), 0u);
  EXPECT_EQ(MMU_ReadW(0xfff702), 2u);  // no floppy in A
  DISKIMG_InsertedMask = 1;
  EXPECT_EQ(MMU_ReadW(0xfff702), 0u);
  EXPECT_EQ(MMU_ReadW(0xfff708), 0xf708u);
  PREFS_HardDiskOn = 0;
  EXPECT_EQ(MMU_ReadW(0xfff704), 0u);
}

TEST_F(HardDisk, PortReadsFindNoDriveUnderTos104AndOlder) {
  for (u8 minor : {0, 2, 4}) {
    start(empty_image(), minor);
    ASSERT_EQ(HDD_Open[0], 1u);
    EXPECT_EQ(MMU_ReadW(0xfff704), 0u) << "TOS 1.0" << int(minor);
  }
}

TEST_F(HardDisk, PortWrites) {
  start(empty_image());
  m68k_regfile.d[0] = 0x12340;
  MMU_WriteW(0xfff706, 1);
  m68k_regfile.d[0] = 0x56780;
  MMU_WriteW(0xfff706, 1);  // only the first report counts
  EXPECT_EQ(SCREEN_LineABase, 0x12340u);
  EXPECT_EQ(EVENTS_VdiTracking, 1u);
  MMU_WriteW(0xfff706, 2);  // the big screen, which the option doesn't allow
  EXPECT_EQ(SCREEN_BigScreen, 0u);
  testing::internal::CaptureStderr();
  MMU_WriteW(0xfff704, 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("message 6"), std::string::npos);
  // Anything else restarts the machine with RAM cleared.
  MMU_WriteL(0x20000, 0xdeadbeef);
  MMU_WriteB(0xfff700, 0x47);
  EXPECT_EQ(MMU_ReadL(0x20000), 0u);
  EXPECT_EQ(SCREEN_LineABase, 0u);
}

// ---- The driver in the cartridge, on a volume the host's tools made ----

#ifdef FAT_TOOLS
TEST_F(HardDisk, TheDriverReadsAndWritesAFileOfAHostMadeVolume) {
  const std::string img = folder.file("HDD-C.dmg");
  const std::string text = folder.file("readme.txt");
  { std::ofstream(text) << "the quick brown fox jumps over the lazy dog\n"; }
  ASSERT_EQ(fat_new_volume(img, 16384), "");
  ASSERT_EQ(fat_copy_in(img, text, "README.TXT"), "");

  folder.write("tos.img", load_test_rom("hdd_port"));
  folder.write("cart.img", read_all(CART_IMAGE));
  const std::string out = machine_start(folder.path());
  EXPECT_NE(out.find("HDD.SYS driver found and loaded at 0xfa0000"), std::string::npos);
  ASSERT_EQ(HDD_Open[0], 1u);
  ASSERT_TRUE(run_port_rom(3)) << "the ROM did not finish";

  // Straight through the port.
  EXPECT_EQ(MMU_ReadL(0x900), HDD_BpbAddress);
  EXPECT_EQ(MMU_ReadL(0x904), 0u);
  EXPECT_EQ(MMU_ReadB(0x10000 + 0x1fe), 0x55u);  // sector 0 arrived
  EXPECT_EQ(MMU_ReadL(0x908), 0xffffffffu);
  EXPECT_EQ(MMU_ReadL(0x90c), 0u);

  // The driver hooked the vectors, marked C present and made it the boot
  // drive (A is empty), and told the port where the Line-A variables are.
  EXPECT_EQ(MMU_ReadL(0x4c2) & 0xc, 0x4u);
  EXPECT_EQ(MMU_ReadW(0x446), 2u);
  EXPECT_EQ(SCREEN_LineABase, 0x12340u);
  EXPECT_EQ(MMU_ReadL(0x910), HDD_BpbAddress);
  const HDD_BpbRecord& b = HDD_Bpb[0];
  const u16 words[9] = {b.recsiz, b.clsiz, b.clsizb, b.rdlen, b.fsiz,
                        b.fatrec, b.datrec, b.numcl, b.bflags};
  for (u32 i = 0; i < 9; ++i) EXPECT_EQ(MMU_ReadW(0x914 + 2 * i), words[i]) << "BPB word " << i;
  EXPECT_EQ(b.recsiz, 512);
  EXPECT_EQ(b.clsiz, 4);
  EXPECT_EQ(b.bflags, 1);
  EXPECT_EQ(MMU_ReadL(0x930), 0u);
  EXPECT_EQ(MMU_ReadL(0x934), 0u);
  EXPECT_EQ(MMU_ReadL(0x938), 0u);
  EXPECT_EQ(MMU_ReadL(0x93c), 0u);           // a hard disk never changes
  EXPECT_EQ(MMU_ReadL(0x940), 0xfffffff7u);  // A went on to the old vector
  EXPECT_EQ(MMU_ReadL(0x944), 0xfffffff8u);
  std::string read;
  for (u32 i = 0; i < 44; ++i) read += char(MMU_ReadB(0x12000 + i));
  EXPECT_EQ(read, "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG\n");

  // What the ST wrote is in the file as the host's tools see it.
  HDD_CloseImages();
  EXPECT_EQ(fat_read(img, "README.TXT").out, "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG\n");
}
#endif

#ifdef FAT_TOOLS
// The saved state's record of a hard disk changes with whatever a host tool
// changes in its file system: a file's name in a subdirectory (only that
// directory's cluster changes), a file added, the boot sector, the size; a
// restore of a state whose record differs is refused, naming the image.
TEST_F(HardDisk, TheStatesRecordTellsAnyChangeOfTheFileSystem) {
  const std::string img = folder.file("HDD-C.dmg"), text = folder.file("a.txt");
  std::ofstream(text) << "some text\n";
  ASSERT_EQ(fat_new_volume(img, 16384), "");
  ASSERT_EQ(fat_make_dir(img, "SUB"), "");
  ASSERT_EQ(fat_copy_in(img, text, "SUB/A.TXT"), "");
  const std::vector<u8> pristine = read_all(img);
  const auto rewrite = [&](const std::vector<u8>& bytes) {
    HDD_CloseImages();
    std::filesystem::remove(img);
    folder.write("HDD-C.dmg", bytes);
    HDD_OpenImages();
  };
  start({});
  const std::vector<u8> record = saved(HDD_SaveRecord);
  ASSERT_EQ(record.size(), 40u);
  EXPECT_EQ(restored(record, HDD_RestoreRecord), 1u);
  struct Change {
    const char* what;
    std::function<void()> make;
  };
  const Change changes[] = {
      {"a file renamed in a subdirectory",
       [&] { EXPECT_EQ(shell("mren -i " + shell_quote(img) + " ::SUB/A.TXT ::SUB/B.TXT").status, 0); }},
      {"a file added", [&] { EXPECT_EQ(fat_copy_in(img, text, "C.TXT"), ""); }},
      {"the boot sector's label", [&] {
         std::vector<u8> b = read_all(img);
         b[0x2b] ^= 1;
         rewrite(b);
       }},
      {"the size", [&] {
         std::vector<u8> b = read_all(img);
         b.resize(b.size() + 512);
         rewrite(b);
       }},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.what);
    rewrite(pristine);
    EXPECT_EQ(restored(record, HDD_RestoreRecord), 1u);
    c.make();
    HDD_OpenImages();
    testing::internal::CaptureStderr();
    EXPECT_EQ(restored(record, HDD_RestoreRecord), 0u);
    testing::internal::GetCapturedStderr();
  }
  // The data area outside the directories is not read (what the record
  // costs is the file system's size, not the disk's).
  std::vector<u8> b = pristine;
  b[b.size() - 4096] ^= 0xff;
  rewrite(b);
  EXPECT_EQ(restored(record, HDD_RestoreRecord), 1u);
  // Without the image the state is refused too.
  HDD_CloseImages();
  EXPECT_EQ(restored(record, HDD_RestoreRecord), 0u);
}
#endif

TEST_F(HardDisk, TheDriverReportsTheLineABaseAndAsksForTheBigScreen) {
  folder.write("cart.img", read_all(CART_IMAGE));
  folder.write("HDD-C.dmg", empty_image());
  folder.write("tos.img", load_test_rom("hdd_port"));
  machine_start(folder.path());
  PREFS_BigScreen = 1;
  ASSERT_TRUE(run_port_rom(2)) << "the ROM did not finish";
  EXPECT_EQ(SCREEN_LineABase, 0x12340u);  // what the ROM's Line-A call answers
  EXPECT_EQ(EVENTS_VdiTracking, 1u);
  EXPECT_EQ(SCREEN_BigScreen, 1u);
  // The 640 x 400 geometry in the Line-A variables and the workstation the
  // ROM points them at, and the screen moved below the top of memory.
  EXPECT_EQ(MMU_ReadW(0x12340), 4u);
  EXPECT_EQ(MMU_ReadW(0x12340 + 60), 640u);
  EXPECT_EQ(MMU_ReadW(0x12340 - 4), 399u);
  EXPECT_EQ(MMU_ReadW(0x14000), 639u);
  EXPECT_EQ(MMU_ReadW(0x14000 + 2), 399u);
  const u32 screen = (MMU_RamSize - 128000) & ~1023u;
  EXPECT_EQ(MMU_ReadL(0x44e), screen);
  EXPECT_EQ(SHIFTER_LoadBase, screen);
}

TEST_F(HardDisk, WithBothImagesTheDriverMarksDAndThePortServesIt) {
  std::vector<u8> d = empty_image();
  for (u32 i = 0; i < 512; ++i) d[7 * 512 + i] = u8(0xd0 + (i & 7));
  folder.write("HDD-D.dmg", d);
  folder.write("tos.img", load_test_rom("hdd_port"));
  folder.write("cart.img", read_all(CART_IMAGE));
  folder.write("HDD-C.dmg", empty_image());
  const std::string out = machine_start(folder.path());
  EXPECT_NE(out.find("loaded HDD-C.dmg\nloaded HDD-D.dmg\n"), std::string::npos);
  ASSERT_EQ(HDD_Open[1], 1u);
  ASSERT_TRUE(run_port_rom(2)) << "the ROM did not finish";
  EXPECT_EQ(MMU_ReadL(0x4c2) & 0xc, 0xcu);
  EXPECT_EQ(MMU_ReadW(0xfff706), 1u);
  m68k_regfile.s = 1;
  frame(0, 0x30000, 1, 7, 3);
  EXPECT_EQ(command(0x45), 0u);
  for (u32 i = 0; i < 512; i += 29) EXPECT_EQ(MMU_ReadB(0x30000 + i), u8(0xd0 + (i & 7)));
  frame(3, 0, 0, 0, 0);
  EXPECT_EQ(command(0x46), HDD_BpbAddress);
  EXPECT_EQ(MMU_ReadW(HDD_BpbAddress + 14), 10211u);
}
