// gzip disk images: the name tests, the path conversion, and unpacking into
// an anonymous file, which leaves a user's "tempgzip.st" alone, also on a
// full disk.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <filesystem>

#include "host/app.h"
#include "host/shared/gzip_image.h"
#include "host/shared/menus.h"
#include "machine/diskimg.h"
#include "machine/sections.h"
#include "support/full_disk.h"
#include "support/floppy_images.h"
#include "support/machine_fixture.h"
#include "support/state_section.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<u8>;

Bytes image(size_t size) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = u8((i * 7) ^ (i >> 9));
  return b;
}

Bytes gzip(const Bytes& data) {
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  Bytes out(deflateBound(&z, uLong(data.size())));
  z.next_in = const_cast<u8*>(data.data());
  z.avail_in = uInt(data.size());
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST(GzipImage, NameTests) {
  const struct {
    const char* name;
    bool gz, zip;
  } cases[] = {
      {"disk.gz", true, false},  {"DISK.GZ", true, false},  {"disk.Gz", true, false},
      {"a.gz", true, false},     {".gz", false, false},     {"gz", false, false},
      {"disk.tgz", false, false}, {"disk.gz.st", false, false}, {"disk.zip", false, true},
      {"D.ZiP", false, true},    {".zip", false, false},    {"", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DISKIMG_NameIsGz(c.name), c.gz);
    EXPECT_EQ(DISKIMG_NameIsZip(c.name), c.zip);
    EXPECT_EQ(DISKIMG_SpecIsGz(std::string("/x.zip/y.gz/") + c.name), c.gz);
    EXPECT_EQ(DISKIMG_SpecIsZip(std::string("/x.gz/y.zip/") + c.name), c.zip);
  }
}

TEST(GzipImage, PathsOfFilesThatExistAndThatDoNot) {
  TempFolder t;
  const std::string real = fs::canonical(t.path()).string();
  t.write("disk.gz", {1});
  fs::create_symlink("disk.gz", t.file("link1"));
  fs::create_symlink(t.file("link1"), t.file("link2.gz"));
  fs::create_directory(t.file("sub"));
  const struct {
    std::string spec;
    i32 result;
    std::string path;
  } cases[] = {
      {t.file("disk.gz"), 0, real + "/disk.gz"},
      {t.file("link2.gz"), 0, real + "/disk.gz"},        // links followed to the end
      {t.file("sub/../new.st"), 0, real + "/new.st"},     // not there yet
      {t.file("missing/new.st"), ENOENT, ""},
      {t.file("disk.gz/new.st"), ENOTDIR, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.spec);
    std::string out;
    EXPECT_EQ(DISKIMG_SpecToPosixPath(c.spec, out), c.result);
    EXPECT_EQ(out, c.path);
  }
}

TEST(GzipImage, UnpacksWholeStreamsOfAtMost999999Bytes) {
  const Bytes largest = image(999999);
  const Bytes small = image(5000);
  Bytes truncated = gzip(small);
  truncated.resize(truncated.size() - 9);
  Bytes bad_crc = gzip(small);
  bad_crc[bad_crc.size() - 6] ^= 1;
  Bytes two_members = gzip(small);
  const Bytes second = gzip(largest);
  two_members.insert(two_members.end(), second.begin(), second.end());
  Bytes plain = image(737280);
  const struct {
    const char* name;
    const char* file;
    Bytes content;
    const Bytes* unpacked;  // null: refused
  } cases[] = {
      {"999,999 bytes", "disk.gz", gzip(largest), &largest},
      {"lower case", "a.Gz", gzip(small), &small},
      {"1,000,000 bytes", "disk.gz", gzip(image(1000000)), nullptr},
      {"two members making 1,004,999 bytes", "disk.gz", two_members, nullptr},
      {"cut short", "disk.gz", truncated, nullptr},
      {"bad CRC", "disk.gz", bad_crc, nullptr},
      {"plain image named .gz", "disk.gz", plain, nullptr},
      {"empty", "disk.gz", {}, nullptr},
      {"zip", "disk.zip", gzip(small), nullptr},
      {"no suffix", "disk.st", gzip(small), nullptr},
  };
  auto unpacked = [](int fd) {
    Bytes b(1100000);
    b.resize(size_t(std::max<ssize_t>(read(fd, b.data(), b.size()), 0)));
    close(fd);
    return b;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder t;
    APP_Folder.path = t.path();
    const Bytes mine = image(1500000);  // the user's own file of that name
    t.write("tempgzip.st", mine);
    t.write(c.file, c.content);
    std::string why;
    const int fd = DISKIMG_UnpackCompressed(t.file(c.file), why);
    EXPECT_EQ(fd >= 0, c.unpacked != nullptr) << why;
    EXPECT_EQ(why.empty(), c.unpacked != nullptr) << why;
    EXPECT_TRUE(!c.unpacked || unpacked(fd) == *c.unpacked);
    EXPECT_TRUE(read_file(t.file("tempgzip.st")) == mine);
    EXPECT_EQ(std::distance(fs::directory_iterator(t.path()), fs::directory_iterator()), 2);
  }
  // On a full disk (a small file system where we may mount one, else a file
  // size limit) the unpacking fails and says why; the user's file stays.
  TempFolder t;
  const std::string disk = t.file("disk");
  fs::create_directory(disk);
  {
    FullDisk full(disk, 256 * 1024);
    APP_Folder.path = disk;
    const Bytes mine = image(20000);
    t.write("disk/tempgzip.st", mine);
    t.write("disk/big.gz", gzip(largest));
    std::string why;
    EXPECT_EQ(DISKIMG_UnpackCompressed(t.file("disk/big.gz"), why), -1);
    EXPECT_NE(why.find(full.reason()), std::string::npos) << why;
    EXPECT_TRUE(read_file(t.file("disk/tempgzip.st")) == mine);
    EXPECT_EQ(std::distance(fs::directory_iterator(disk), fs::directory_iterator()), 2);
  }
  APP_Folder.path.clear();
  std::string why;
  EXPECT_EQ(DISKIMG_UnpackCompressed("/nonexistent/disk.gz", why), -1);
}

// Each unpacked image is a copy of its own that goes in write-protected, so
// nothing the ST writes is lost; a saved state names the .gz image, and its
// restore unpacks it again.
TEST(GzipImage, UnpackedImagesGoInWriteProtected) {
  TempFolder t;
  floppy_machine_reset(t.path());
  APP_Folder.path = t.path();
  const Bytes a = make_floppy(368640), b = image(737280);
  t.write("a.gz", gzip(a));
  t.write("b.gz", gzip(b));
  ASSERT_EQ(MENU_InsertImage('A', t.file("a.gz")), 1u);
  ASSERT_EQ(MENU_InsertImage('B', t.file("b.gz")), 1u);
  for (u32 d = 0; d < 2; ++d) EXPECT_EQ(DISKIMG_WriteProtect[d], 0x40u);
  u8 sector[512];
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(pread(DISKIMG_Files[0], sector, 512, 512), 512);
    EXPECT_TRUE(std::equal(sector, sector + 512, a.begin() + 512));
    ASSERT_EQ(pread(DISKIMG_Files[1], sector, 512, 512), 512);
    EXPECT_TRUE(std::equal(sector, sector + 512, b.begin() + 512));
    const std::vector<u8> section = saved(DISKIMG_SaveState);
    DISKIMG_Reset();
    testing::internal::CaptureStdout();
    ASSERT_EQ(restored(section, DISKIMG_RestoreState), 1u);
    DISKIMG_FinishRestore();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(DISKIMG_InsertedMask, 3u);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(t.path()), fs::directory_iterator()), 2);
  DISKIMG_Reset();
  APP_Folder.path.clear();
}

}  // namespace
