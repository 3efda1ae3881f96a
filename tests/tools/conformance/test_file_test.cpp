#include "test_file.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tools/conformance/test_image.h"

using namespace conformance;
using conformance_test::encode;
using conformance_test::simple_test;

namespace {

std::vector<TestCase> two_tests() {
  TestCase a = simple_test(0x4E71);
  a.transactions.push_back({BusKind::idle, 2, 0, 0, 0, 0, 0});
  TestCase b = simple_test(0xD040);
  b.name = "001 ADD.w D0, D0";
  b.final.d[0] = 0x22222222;
  b.final.memory.push_back({0x00FFFFFE, 0xBEEF});
  b.transactions.push_back({BusKind::write_address_error, 4, 5, 0x1235, 7, 1, 0});
  return {a, b};
}

bool parses(const std::vector<u8>& image, std::string* error = nullptr) {
  std::vector<TestCase> tests;
  std::string e;
  const bool ok = parse_test_file(image, tests, e);
  if (error) *error = e;
  if (!ok) {
    EXPECT_TRUE(tests.empty());
  }
  return ok;
}

// Offset of the first occurrence of little-endian v at or after from.
size_t find_u32(const std::vector<u8>& image, u32 v, size_t from = 0) {
  for (size_t i = from; i + 4 <= image.size(); ++i)
    if (image[i] == u8(v) && image[i + 1] == u8(v >> 8) && image[i + 2] == u8(v >> 16) &&
        image[i + 3] == u8(v >> 24))
      return i;
  ADD_FAILURE() << "value not found";
  return 0;
}

void put_u32(std::vector<u8>& image, size_t at, u32 v) {
  for (int i = 0; i < 4; ++i) image[at + i] = u8(v >> (8 * i));
}

}  // namespace

TEST(TestFile, ReadsEveryFieldBack) {
  const std::vector<TestCase> in = two_tests();
  std::vector<TestCase> out;
  std::string error;
  ASSERT_TRUE(parse_test_file(encode(in), out, error)) << error;
  ASSERT_EQ(out.size(), 2u);
  const TestCase& b = out[1];
  EXPECT_EQ(b.name, "001 ADD.w D0, D0");
  EXPECT_EQ(b.opcode(), 0xD040);
  EXPECT_EQ(b.initial.d[3], 0x33333333u);
  EXPECT_EQ(b.initial.a[6], 0x00020600u);
  EXPECT_EQ(b.initial.usp, 0x00030000u);
  EXPECT_EQ(b.initial.ssp, 0x00040000u);
  EXPECT_EQ(b.initial.sr, 0x2700);
  EXPECT_EQ(b.initial.pc, 0x1004u);
  EXPECT_EQ(b.final.d[0], 0x22222222u);
  EXPECT_EQ(b.final.pc, 0x1006u);
  ASSERT_EQ(b.final.memory.size(), 4u);
  EXPECT_EQ(b.final.memory[3].address, 0x00FFFFFEu);
  EXPECT_EQ(b.final.memory[3].value, 0xBEEF);  // the u16 is little-endian in the file
  EXPECT_EQ(b.cycles, 4u);
  ASSERT_EQ(b.transactions.size(), 2u);
  EXPECT_EQ(b.transactions[1].kind, BusKind::write_address_error);
  EXPECT_EQ(b.transactions[1].address, 0x1235u);
  EXPECT_TRUE(b.address_error());
  ASSERT_EQ(out[0].transactions.size(), 2u);
  EXPECT_EQ(out[0].transactions[1].kind, BusKind::idle);
  EXPECT_EQ(out[0].transactions[1].cycles, 2u);
  EXPECT_FALSE(out[0].address_error());
}

TEST(TestFile, EveryTruncationAndTrailingBytesAreRefused) {
  const std::vector<u8> image = encode(two_tests());
  ASSERT_TRUE(parses(image));
  for (size_t n = 0; n < image.size(); ++n) {
    const std::vector<u8> cut(image.begin(), image.begin() + n);
    std::string error;
    EXPECT_FALSE(parses(cut, &error)) << "length " << n;
    EXPECT_FALSE(error.empty());
  }
  std::vector<u8> longer = image;
  longer.push_back(0);
  std::string error;
  EXPECT_FALSE(parses(longer, &error));
  EXPECT_NE(error.find("unread"), std::string::npos) << error;
}

TEST(TestFile, CorruptBytesNeverReadOutOfBounds) {
  // Every byte set to values that break sizes, counts and kinds in turn: the
  // parse either succeeds or reports an error, and never reads past the image
  // (the sanitizer build checks that).
  const std::vector<u8> good = encode(two_tests());
  for (size_t i = 0; i < good.size(); ++i) {
    for (u8 v : {u8(0x00), u8(0x07), u8(0x80), u8(0xFF)}) {
      if (good[i] == v) continue;
      std::vector<u8> image = good;
      image[i] = v;
      std::vector<TestCase> tests;
      std::string error;
      if (!parse_test_file(image, tests, error)) {
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(tests.empty());
      }
    }
  }
}

TEST(TestFile, EachMagicNumberIsChecked) {
  const std::vector<u8> good = encode(two_tests());
  for (u32 magic : {file_magic, test_magic, name_magic, state_magic, transactions_magic}) {
    std::vector<u8> image = good;
    image[find_u32(image, magic)] ^= 1;
    std::string error;
    EXPECT_FALSE(parses(image, &error)) << std::hex << magic;
    EXPECT_NE(error.find("magic"), std::string::npos) << error;
  }
}

TEST(TestFile, HugeCountsAndOutOfRangeValuesAreRefused) {
  const std::vector<u8> good = encode(two_tests());
  auto refused = [&good](size_t at, u32 v, const char* why) {
    std::vector<u8> image = good;
    put_u32(image, at, v);
    std::string error;
    EXPECT_FALSE(parses(image, &error)) << why;
    return error;
  };
  const size_t state = find_u32(good, state_magic) + 4;  // 19 registers, 2 prefetch words, count
  refused(4, 0xFFFFFFFF, "test count");
  refused(state + 21 * 4, 0xFFFFFFFF, "memory count");
  refused(find_u32(good, transactions_magic) + 8, 0x7FFFFFFF, "transaction count");
  refused(find_u32(good, name_magic) + 4, 0xFFFFFFF0, "name length");
  refused(state + 17 * 4, 0x12700, "SR");
  EXPECT_NE(refused(state + 21 * 4 + 4, 0x01000000, "address").find("24 bits"), std::string::npos);
  std::vector<u8> image = good;
  image[find_u32(image, transactions_magic) + 12] = 6;  // first transaction's kind
  std::string error;
  EXPECT_FALSE(parses(image, &error));
  EXPECT_NE(error.find("kind"), std::string::npos) << error;
}

TEST(TestFile, LoadNamesTheFileInItsErrors) {
  std::vector<TestCase> tests;
  std::string error;
  EXPECT_FALSE(load_test_file("/nonexistent/ADD.w.bin", tests, error));
  EXPECT_NE(error.find("/nonexistent/ADD.w.bin"), std::string::npos);

  const std::string path = (std::filesystem::temp_directory_path() / "vantorell_truncated.bin").string();
  {
    const std::vector<u8> image = encode(two_tests());
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size() - 3));
  }
  EXPECT_FALSE(load_test_file(path, tests, error));
  EXPECT_NE(error.find("test 1"), std::string::npos) << error;
  EXPECT_NE(error.find("vantorell_truncated.bin"), std::string::npos) << error;
  std::remove(path.c_str());
}

// A family file reads the same plain and gzip-compressed; a compressed file
// cut short is refused, even where all its data unpacks.
TEST(TestFile, LoadReadsGzipAsPlainAndChecksIt) {
  const std::vector<u8> image = encode(two_tests());
  const std::string base = (std::filesystem::temp_directory_path() / "vantorell_gzip_family").string();
  const std::string plain = base + ".bin", packed = base + ".bin.gz";
  std::ofstream(plain, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
  gzFile out = gzopen(packed.c_str(), "wb9");
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(gzwrite(out, image.data(), unsigned(image.size())), int(image.size()));
  ASSERT_EQ(gzclose(out), Z_OK);

  std::vector<TestCase> a, b;
  std::string error;
  ASSERT_TRUE(load_test_file(plain, a, error)) << error;
  ASSERT_TRUE(load_test_file(packed, b, error)) << error;
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[1].name, a[1].name);
  EXPECT_EQ(b[1].final.memory.back().value, 0xBEEF);
  EXPECT_EQ(b[1].transactions.back().address, 0x1235u);

  std::filesystem::resize_file(packed, std::filesystem::file_size(packed) - 8);  // its check sum and length
  EXPECT_FALSE(load_test_file(packed, b, error));
  EXPECT_NE(error.find("vantorell_gzip_family.bin.gz"), std::string::npos) << error;
  std::remove(plain.c_str());
  std::remove(packed.c_str());
}
