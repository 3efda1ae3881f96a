// MSA images: expansion of a test-side encoding back to the very bytes, the
// refusal of every malformed file, and their insertion into a drive.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "common/endian.h"
#include "host/options.h"
#include "host/headless/headless.h"
#include "host/screen.h"
#include "host/shared/menus.h"
#include "host/shared/screen_window.h"
#include "machine/diskimg.h"
#include "machine/fdc.h"
#include "machine/memory.h"
#include "machine/psg.h"
#include "machine/scheduler.h"
#include "support/flat_memory.h"
#include "support/floppy_images.h"
#include "support/machine_fixture.h"

namespace {

void put16(std::vector<u8>& v, u32 x) {
  v.push_back(u8(x >> 8));
  v.push_back(u8(x));
}

// One track side, compressed when that is shorter: runs of four or more
// equal bytes, and every 0xE5, become 0xE5 value count.
std::vector<u8> encode_track(const u8* t, size_t n, bool forceRaw = false) {
  std::vector<u8> out;
  for (size_t i = 0; i < n;) {
    size_t run = 1;
    while (i + run < n && t[i + run] == t[i]) ++run;
    if (run >= 4 || t[i] == 0xe5) {
      out.push_back(0xe5);
      out.push_back(t[i]);
      put16(out, u32(run));
    } else {
      out.insert(out.end(), t + i, t + i + run);
    }
    i += run;
  }
  if (forceRaw || out.size() >= n) out.assign(t, t + n);
  std::vector<u8> rec;
  put16(rec, u32(out.size()));
  rec.insert(rec.end(), out.begin(), out.end());
  return rec;
}

std::vector<u8> encode_msa(const std::vector<u8>& img, u32 spt, u32 sides, u32 first, u32 last,
                           bool raw = false) {
  std::vector<u8> msa = {0x0e, 0x0f};
  put16(msa, spt);
  put16(msa, sides - 1);
  put16(msa, first);
  put16(msa, last);
  const size_t ts = size_t(spt) * 512;
  for (u32 t = first; t <= last; ++t)
    for (u32 s = 0; s < sides; ++s) {
      const auto rec = encode_track(img.data() + (t * sides + s) * ts, ts, raw);
      msa.insert(msa.end(), rec.begin(), rec.end());
    }
  return msa;
}

// An image with long runs, 0xE5 bytes and patterned stretches.
std::vector<u8> sample_image(u32 tracks, u32 sides, u32 spt) {
  std::vector<u8> img(size_t(tracks) * sides * spt * 512);
  for (size_t i = 0; i < img.size(); ++i) {
    const size_t sector = i / 512;
    if (sector % 3 == 0) img[i] = 0xe5;
    else if (sector % 3 == 1) img[i] = floppy_pattern(u32(i));
    else img[i] = u8(sector);
  }
  return img;
}

MSA_Result expand(const std::vector<u8>& msa, std::vector<u8>& out) {
  return MSA_Expand(msa.data(), msa.size(), out, nullptr);
}

TEST(Msa, ExpandsTheEncodingByteForByte) {
  for (u32 sides : {1u, 2u}) {
    for (u32 spt : {9u, 10u, 11u}) {
      const std::vector<u8> img = sample_image(80, sides, spt);
      std::vector<u8> out;
      MSA_Header h{};
      const std::vector<u8> msa = encode_msa(img, spt, sides, 0, 79);
      EXPECT_LT(msa.size(), img.size() / 2);
      ASSERT_EQ(MSA_Expand(msa.data(), msa.size(), out, &h), MSA_Result::Ok);
      EXPECT_EQ(out, img) << sides << " sides, " << spt << " sectors";
      EXPECT_EQ(h.sides, sides);
      EXPECT_EQ(h.sectorsPerTrack, spt);
      EXPECT_EQ(h.lastTrack, 79u);
    }
  }
}

TEST(Msa, RawTracksAreCopiedUnchanged) {
  const std::vector<u8> img = sample_image(80, 2, 9);
  const std::vector<u8> msa = encode_msa(img, 9, 2, 0, 79, true);
  EXPECT_EQ(be_read16(msa.data() + 10), 4608u);
  std::vector<u8> out;
  ASSERT_EQ(expand(msa, out), MSA_Result::Ok);
  EXPECT_EQ(out, img);
}

TEST(Msa, TheFirstTrackPlacesTheRecords) {
  const std::vector<u8> img = sample_image(10, 2, 9);
  std::vector<u8> out;
  ASSERT_EQ(expand(encode_msa(img, 9, 2, 4, 9), out), MSA_Result::Ok);
  ASSERT_EQ(out.size(), img.size());
  const size_t skipped = 4 * 2 * 9 * 512;
  EXPECT_EQ(std::vector<u8>(out.begin(), out.begin() + skipped), std::vector<u8>(skipped, 0));
  EXPECT_EQ(std::vector<u8>(out.begin() + skipped, out.end()),
            std::vector<u8>(img.begin() + skipped, img.end()));
}

TEST(Msa, NotAnMsaFile) {
  std::vector<u8> out;
  EXPECT_EQ(expand({}, out), MSA_Result::NotMSA);
  EXPECT_EQ(expand({0x0e, 0x0f, 0, 9}, out), MSA_Result::NotMSA);
  EXPECT_EQ(expand(std::vector<u8>(20, 0), out), MSA_Result::NotMSA);
}

// Every way a file can lie about its tracks is refused, without reading or
// writing outside the buffers (the sanitizer build watches that).
TEST(Msa, MalformedFilesAreRefused) {
  const std::vector<u8> img = sample_image(2, 1, 9);
  const std::vector<u8> good = encode_msa(img, 9, 1, 0, 1);
  std::vector<u8> out;
  ASSERT_EQ(expand(good, out), MSA_Result::Ok);
  const size_t ts = 9 * 512;

  auto refused = [&](std::vector<u8> msa, const char* what) {
    std::vector<u8> o;
    EXPECT_EQ(expand(msa, o), MSA_Result::Malformed) << what;
    EXPECT_TRUE(o.empty()) << what;
  };
  auto header = [&](u32 spt, u32 sides1, u32 first, u32 last) {
    std::vector<u8> m = good;
    be_write16(&m[2], spt);
    be_write16(&m[4], sides1);
    be_write16(&m[6], first);
    be_write16(&m[8], last);
    return m;
  };
  refused(header(0, 0, 0, 1), "no sectors");
  refused(header(37, 0, 0, 1), "too many sectors");
  refused(header(9, 2, 0, 1), "three sides");
  refused(header(9, 0x100, 0, 1), "sides in the high byte");
  refused(header(9, 0, 2, 1), "first track after the last");
  refused(header(9, 0, 0, 256), "too many tracks");
  refused(header(9, 1, 0, 1), "two sides of records where one was written");
  refused(std::vector<u8>(good.begin(), good.begin() + 10), "no records");
  refused(std::vector<u8>(good.begin(), good.begin() + 11), "half a length");
  refused(std::vector<u8>(good.begin(), good.end() - 1), "the last record cut short");

  // A record longer than a track: 5000 for a 9-sector track.
  std::vector<u8> big = {0x0e, 0x0f, 0, 9, 0, 0, 0, 0, 0, 0};
  put16(big, 5000);
  big.resize(big.size() + 5000, 0x11);
  refused(big, "record above the track size");

  auto one_track = [&](std::vector<u8> data) {
    std::vector<u8> m = {0x0e, 0x0f, 0, 9, 0, 0, 0, 0, 0, 0};
    put16(m, u32(data.size()));
    m.insert(m.end(), data.begin(), data.end());
    return m;
  };
  // A run that would fill more than the track.
  refused(one_track({0xe5, 0x00, 0x12, 0x01}), "run past the track");
  refused(one_track({0xe5, 0x00, 0x10, 0x00, 0xe5, 0x00, 0x02, 0x01}), "second run past the track");
  // Run markers in the record's last bytes.
  refused(one_track({0xe5, 0x00, 0x11, 0xff, 0xe5}), "marker as the last byte");
  refused(one_track({0xe5, 0x00, 0x11, 0xff, 0xe5, 0x00}), "marker with its value only");
  refused(one_track({0xe5, 0x00, 0x11, 0xff, 0xe5, 0x00, 0x00}), "marker with half a count");
  // Records that expand to less, or to more, than one track.
  refused(one_track({0xe5, 0x00, 0x11, 0xfe}), "one byte short");
  refused(one_track({0xe5, 0x00, 0x12, 0x00, 0x42}), "one literal too many");
  std::vector<u8> literals(ts - 1, 0x42);
  refused(one_track(literals), "literals one short");
  // A run of the exact remainder is fine.
  std::vector<u8> m2 = one_track({0x42, 0xe5, 0x07, 0x11, 0xff});
  ASSERT_EQ(expand(m2, out), MSA_Result::Ok);
  EXPECT_EQ(out[0], 0x42);
  EXPECT_EQ(out[ts - 1], 0x07);
}

// ---- Insertion ----

class MsaDrive : public ::testing::Test {
 protected:
  TempFolder folder;
  void SetUp() override {
    floppy_machine_reset(folder.path());
    PREFS_FdcDelay = 0;
  }
  void TearDown() override {
    DISKIMG_Reset();
    PREFS_FdcDelay = 1;
  }
  // What the ST reads through the drive: the expansion's whole content.
  std::vector<u8> expansion(u32 drive) {
    const int fd = DISKIMG_Files[drive];
    std::vector<u8> bytes(size_t(lseek(fd, 0, SEEK_END)));
    if (pread(fd, bytes.data(), bytes.size(), 0) != ssize_t(bytes.size())) bytes.clear();
    return bytes;
  }
  u32 insert(const std::string& name, char drive, std::string* err = nullptr) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const u32 ok = DISKIMG_Insert(folder.file(name).c_str(), drive);
    testing::internal::GetCapturedStdout();
    const std::string e = testing::internal::GetCapturedStderr();
    if (err) *err = e;
    return ok;
  }
};

TEST_F(MsaDrive, InsertedExpandedAndWriteProtected) {
  PREFS_WriteProtect = 0;
  std::vector<u8> img = sample_image(80, 2, 9);
  const std::vector<u8> boot = make_floppy(512, 2, 9);
  std::copy(boot.begin(), boot.end(), img.begin());
  img[0x13] = u8(1440 & 0xff), img[0x14] = u8(1440 >> 8);
  folder.write("game.msa", encode_msa(img, 9, 2, 0, 79));
  ASSERT_EQ(insert("game.msa", 'B'), 1u);
  EXPECT_EQ(expansion(1), img);
  EXPECT_EQ(DISKIMG_Drives[1].sides, 2);
  EXPECT_EQ(DISKIMG_Drives[1].tracks, 80);
  EXPECT_EQ(DISKIMG_Drives[1].sectorsPerTrack, 9);
  EXPECT_EQ(DISKIMG_WriteProtect[1], 0x40u);
  EXPECT_NE(std::string(reinterpret_cast<const char*>(DISKIMG_NameB + 1), DISKIMG_NameB[0])
                .find("game.msa"),
            std::string::npos);

  // Reads come from the expansion; a write is refused and said so, even after
  // the protection option is switched off.
  DISKIMG_SetWriteProtect(0);
  EXPECT_EQ(DISKIMG_WriteProtect[1], 0x40u);
  PSG_PortA = 0x02;  // drive B, side 1
  DISKIMG_Drives[1].headTrack = 1;
  FDC_Regs[FDC_Track] = 1;
  DMA_SetAddress(0x10000);
  DMA_Regs[DMA_Count] = 1;
  FDC_Regs[FDC_Sector] = 2;
  FDC_Regs[FDC_Command] = 0x80;
  FDC_Execute();
  for (u32 i = 0; i < 512; ++i) ASSERT_EQ(MMU_ReadB(0x10000 + i), img[13824 + 512 + i]) << i;
  DMA_SetAddress(0x10000);
  DMA_Regs[DMA_Count] = 1;
  FDC_Regs[FDC_Command] = 0xa0;
  FDC_Execute();
  DMA_Regs[DMA_Mode] = 0x80;
  EXPECT_EQ(FDC_ReadReg(), 0x40u | 0x01u);  // protected, nothing else wrong
  EXPECT_EQ(DMA_GetAddress(), 0x10000u);
  EXPECT_EQ(expansion(1), img);
  EXPECT_EQ(read_file(folder.file("game.msa")), encode_msa(img, 9, 2, 0, 79));
}

// The expansion never meets a file of the user's: their temp1.st stays as
// it was, and no file is left in the folder, refused or inserted.
TEST_F(MsaDrive, MalformedImagesAreRefusedAndLeaveNoTemporaryFile) {
  const std::vector<u8> img = sample_image(80, 1, 9);
  std::vector<u8> msa = encode_msa(img, 9, 1, 0, 79);
  msa.erase(msa.end() - 3, msa.end());
  folder.write("bad.msa", msa);
  folder.write("temp1.st", {1, 2, 3});
  std::string err;
  EXPECT_EQ(insert("bad.msa", 'A', &err), 0u);
  EXPECT_NE(err.find("message 7: Cant insert a disk in drive A, " + folder.file("bad.msa") +
                     " is a damaged MSA image"),
            std::string::npos)
      << err;
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
  EXPECT_EQ(DISKIMG_Files[0], -1);
  // A well-formed file goes in afterwards.
  folder.write("good.msa", encode_msa(img, 9, 1, 0, 79));
  EXPECT_EQ(insert("good.msa", 'A'), 1u);
  EXPECT_EQ(expansion(0), img);
  u32 files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 3u);  // bad.msa, good.msa and the user's temp1.st
  EXPECT_EQ(read_file(folder.file("temp1.st")), (std::vector<u8>{1, 2, 3}));
}

TEST_F(MsaDrive, ASmallExpansionIsRefusedLikeASmallImage) {
  const std::vector<u8> img = sample_image(20, 1, 9);  // 92,160 bytes
  folder.write("tiny.msa", encode_msa(img, 9, 1, 0, 19));
  EXPECT_EQ(insert("tiny.msa", 'A'), 0u);
  EXPECT_EQ(DISKIMG_InsertedMask, 0u);
}


// The status line's rows as the window picture holds them.
std::vector<u8> status_line_rows() {
  const SCREEN_Surface& pic = SCREEN_WindowPicture;
  return std::vector<u8>(pic.pixels + size_t(SCREEN_Height) * pic.pitch, pic.pixels + size_t(pic.height) * pic.pitch);
}

// The expansion shows its progress a track side at a time with the drive
// items off meanwhile (on again after, whatever the outcome); a failure
// leaves "Exp:-69" up for 40 ticks. Either way the line is whole again
// after it.
TEST_F(MsaDrive, TheExpansionShowsItsProgressATrackSideAtATime) {
  MENU_Build();
  folder.write("game.msa", encode_msa(sample_image(80, 2, 9), 9, 2, 0, 79));
  std::vector<u8> damaged = encode_msa(sample_image(80, 1, 9), 9, 1, 0, 79);
  damaged.erase(damaged.end() - 3, damaged.end());
  folder.write("damaged.msa", damaged);
  const struct {
    const char* name;
    u32 inserted, shows;
    u64 slept;
  } cases[] = {{"game.msa", 1, 160, 0}, {"damaged.msa", 0, 80 + 1, 40 * 1000000 / 60}};
  for (const auto& c : cases) {
    const u32 shows = SCREEN_HeadlessShows, generation = MENU_Generation;
    const u64 slept = FakeClock::slept;
    EXPECT_EQ(insert(c.name, 'B'), c.inserted);
    EXPECT_EQ(SCREEN_HeadlessShows - shows, c.shows) << c.name;
    EXPECT_EQ(FakeClock::slept - slept, c.slept) << c.name;
    EXPECT_EQ(MENU_Generation - generation, 4u) << c.name;  // two items off, then on
    EXPECT_TRUE(MENU_ItemAt(MENU_DisksId, 1)->enabled && MENU_ItemAt(MENU_DisksId, 2)->enabled);
    const std::vector<u8> shown = status_line_rows();
    SCREEN_DrawStatusLine();
    EXPECT_EQ(status_line_rows(), shown) << c.name;
    DISKIMG_Eject('B');
  }
}

}  // namespace
