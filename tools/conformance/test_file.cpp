#include "test_file.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

namespace conformance {

bool TestCase::address_error() const {
  for (const Transaction& t : transactions)
    if (t.kind == BusKind::read_address_error || t.kind == BusKind::write_address_error)
      return true;
  return false;
}

namespace {

struct ParseError {
  std::string message;
};

std::string hex(u32 v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", v);
  return buf;
}

// Little-endian reader over a window of the image that refuses to read past
// the end of its window. Offsets in messages are from the start of the file.
class Cursor {
 public:
  Cursor(std::span<const u8> image, size_t begin, size_t end) : image_(image), pos_(begin), end_(end) {}

  size_t offset() const { return pos_; }
  size_t remaining() const { return end_ - pos_; }

  u8 u8v(const char* what) {
    need(1, what);
    return image_[pos_++];
  }
  u32 u32v(const char* what) {
    need(4, what);
    const u32 v = u32(image_[pos_]) | (u32(image_[pos_ + 1]) << 8) | (u32(image_[pos_ + 2]) << 16) |
                  (u32(image_[pos_ + 3]) << 24);
    pos_ += 4;
    return v;
  }
  void expect_magic(u32 magic, const char* what) {
    const size_t at = pos_;
    const u32 v = u32v(what);
    if (v != magic)
      throw ParseError{std::string("bad ") + what + " magic " + hex(v) + " (expected " + hex(magic) +
                       ") at offset " + std::to_string(at)};
  }
  std::string bytes(size_t n, const char* what) {
    need(n, what);
    std::string s(reinterpret_cast<const char*>(image_.data() + pos_), n);
    pos_ += n;
    return s;
  }

  // A record that starts with its own size (counting the size word): returns
  // a cursor over exactly that record and moves this one past it.
  Cursor record(const char* what) {
    const size_t start = pos_;
    const u32 size = u32v(what);
    if (size < 8 || size - 4 > remaining())
      throw ParseError{std::string(what) + " size " + std::to_string(size) + " at offset " +
                       std::to_string(start) + " does not fit in the " +
                       std::to_string(remaining() + 4) + " bytes left"};
    Cursor inner(image_, pos_, start + size);
    pos_ = start + size;
    return inner;
  }

  void expect_end(const char* what) {
    if (pos_ != end_)
      throw ParseError{std::to_string(end_ - pos_) + " unread bytes at the end of the " + what +
                       " at offset " + std::to_string(pos_)};
  }

 private:
  void need(size_t n, const char* what) {
    if (remaining() < n)
      throw ParseError{std::string("truncated ") + what + " at offset " + std::to_string(pos_)};
  }

  std::span<const u8> image_;
  size_t pos_;
  size_t end_;
};

void read_state(Cursor& outer, CpuState& s) {
  Cursor c = outer.record("state");
  c.expect_magic(state_magic, "state");
  u32 regs[19];
  for (u32& r : regs) r = c.u32v("register");
  for (int i = 0; i < 8; ++i) s.d[i] = regs[i];
  for (int i = 0; i < 7; ++i) s.a[i] = regs[8 + i];
  s.usp = regs[15];
  s.ssp = regs[16];
  if (regs[17] > 0xFFFF) throw ParseError{"SR value " + hex(regs[17]) + " is wider than 16 bits"};
  s.sr = u16(regs[17]);
  s.pc = regs[18];
  for (u16& p : s.prefetch) {
    const u32 v = c.u32v("prefetch word");
    if (v > 0xFFFF) throw ParseError{"prefetch value " + hex(v) + " is wider than 16 bits"};
    p = u16(v);
  }
  const u32 n = c.u32v("memory count");
  if (u64(n) * 6 != c.remaining())
    throw ParseError{"memory count " + std::to_string(n) + " does not match the " +
                     std::to_string(c.remaining()) + " bytes of the state at offset " +
                     std::to_string(c.offset())};
  s.memory.resize(n);
  for (MemoryWord& w : s.memory) {
    w.address = c.u32v("memory address");
    if (w.address > 0xFFFFFF) throw ParseError{"memory address " + hex(w.address) + " is wider than 24 bits"};
    w.value = u16(c.u8v("memory word"));
    w.value = u16(w.value | (u16(c.u8v("memory word")) << 8));
  }
  c.expect_end("state");
}

void read_transactions(Cursor& outer, TestCase& t) {
  Cursor c = outer.record("transactions");
  c.expect_magic(transactions_magic, "transactions");
  t.cycles = c.u32v("cycle count");
  const u32 n = c.u32v("transaction count");
  // Each entry takes at least five bytes.
  if (u64(n) * 5 > c.remaining())
    throw ParseError{"transaction count " + std::to_string(n) + " exceeds the " +
                     std::to_string(c.remaining()) + " bytes of the record"};
  t.transactions.resize(n);
  for (Transaction& x : t.transactions) {
    const u8 kind = c.u8v("transaction kind");
    if (kind > 5) throw ParseError{"unknown transaction kind " + std::to_string(kind)};
    x.kind = BusKind(kind);
    x.cycles = c.u32v("transaction cycles");
    x.fc = x.address = x.data = x.uds = x.lds = 0;
    if (kind != 0) {
      x.fc = c.u32v("transaction fc");
      x.address = c.u32v("transaction address");
      x.data = c.u32v("transaction data");
      x.uds = c.u32v("transaction uds");
      x.lds = c.u32v("transaction lds");
    }
  }
  c.expect_end("transactions");
}

void read_test(Cursor& outer, TestCase& t) {
  Cursor c = outer.record("test");
  c.expect_magic(test_magic, "test");
  {
    Cursor n = c.record("name");
    n.expect_magic(name_magic, "name");
    const u32 length = n.u32v("name length");
    if (length != n.remaining())
      throw ParseError{"name length " + std::to_string(length) + " does not match its record"};
    t.name = n.bytes(length, "name");
  }
  read_state(c, t.initial);
  read_state(c, t.final);
  read_transactions(c, t);
  c.expect_end("test");
}

}  // namespace

bool parse_test_file(std::span<const u8> image, std::vector<TestCase>& tests, std::string& error) {
  tests.clear();
  Cursor c(image, 0, image.size());
  u32 index = 0;
  bool header_read = false;
  try {
    c.expect_magic(file_magic, "file");
    const u32 count = c.u32v("test count");
    // A test takes at least 8 (test) + 12 (name) + 2 * 96 (states) + 16 (transactions) bytes.
    if (u64(count) * 228 > c.remaining())
      throw ParseError{"test count " + std::to_string(count) + " cannot fit in the " +
                       std::to_string(c.remaining()) + " bytes that follow"};
    header_read = true;
    tests.resize(count);
    for (; index < count; ++index) read_test(c, tests[index]);
    c.expect_end("file");
  } catch (const ParseError& e) {
    tests.clear();
    error = header_read ? "test " + std::to_string(index) + ": " + e.message : e.message;
    return false;
  }
  return true;
}

bool load_test_file(const std::string& path, std::vector<TestCase>& tests, std::string& error) {
  tests.clear();
  // zlib reads a plain file as it is and a gzip-compressed one unpacked; the
  // whole image is read before the parse.
  gzFile in = gzopen(path.c_str(), "rb");
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  gzbuffer(in, 1 << 17);
  std::vector<u8> image(1 << 20);
  size_t used = 0;
  int n;
  do {
    if (image.size() - used < (1 << 16)) image.resize(image.size() * 2);
    n = gzread(in, image.data() + used, unsigned(std::min<size_t>(image.size() - used, 1u << 30)));
    if (n > 0) used += size_t(n);
  } while (n > 0);
  int status = Z_OK;
  const std::string why = n < 0 ? gzerror(in, &status) : "unexpected end of file";
  // Closing reports a compressed stream cut short.
  if (gzclose_r(in) != Z_OK || n < 0) {
    error = "cannot read " + path + ": " + why;
    return false;
  }
  image.resize(used);
  if (!parse_test_file(image, tests, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace conformance
