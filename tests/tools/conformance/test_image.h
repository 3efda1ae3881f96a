// Builds recorded-test file images in the tests, field by field, so that the
// reader and runner can be fed synthetic and deliberately broken files.
#pragma once

#include <string>
#include <vector>

#include "common/types.h"
#include "test_file.h"

namespace conformance_test {

// Little-endian byte sink with back-patched record sizes.
class Image {
 public:
  std::vector<u8> bytes;

  void u8v(u8 v) { bytes.push_back(v); }
  void u32v(u32 v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(u8(v >> (8 * i)));
  }
  // Starts a record: reserves its size word and returns its offset.
  size_t begin() {
    const size_t at = bytes.size();
    u32v(0);
    return at;
  }
  // Ends the record begun at `at`: its size counts the size word itself.
  void end(size_t at) { patch(at, u32(bytes.size() - at)); }
  void patch(size_t at, u32 v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = u8(v >> (8 * i));
  }
};

inline void put_state(Image& im, const conformance::CpuState& s) {
  const size_t at = im.begin();
  im.u32v(conformance::state_magic);
  for (u32 v : s.d) im.u32v(v);
  for (u32 v : s.a) im.u32v(v);
  im.u32v(s.usp);
  im.u32v(s.ssp);
  im.u32v(s.sr);
  im.u32v(s.pc);
  im.u32v(s.prefetch[0]);
  im.u32v(s.prefetch[1]);
  im.u32v(u32(s.memory.size()));
  for (const conformance::MemoryWord& w : s.memory) {
    im.u32v(w.address);
    im.u8v(u8(w.value));
    im.u8v(u8(w.value >> 8));
  }
  im.end(at);
}

inline void put_test(Image& im, const conformance::TestCase& t) {
  const size_t at = im.begin();
  im.u32v(conformance::test_magic);
  const size_t name = im.begin();
  im.u32v(conformance::name_magic);
  im.u32v(u32(t.name.size()));
  for (char c : t.name) im.u8v(u8(c));
  im.end(name);
  put_state(im, t.initial);
  put_state(im, t.final);
  const size_t tr = im.begin();
  im.u32v(conformance::transactions_magic);
  im.u32v(t.cycles);
  im.u32v(u32(t.transactions.size()));
  for (const conformance::Transaction& x : t.transactions) {
    im.u8v(u8(x.kind));
    im.u32v(x.cycles);
    if (x.kind != conformance::BusKind::idle) {
      im.u32v(x.fc);
      im.u32v(x.address);
      im.u32v(x.data);
      im.u32v(x.uds);
      im.u32v(x.lds);
    }
  }
  im.end(tr);
  im.end(at);
}

inline std::vector<u8> encode(const std::vector<conformance::TestCase>& tests) {
  Image im;
  im.u32v(conformance::file_magic);
  im.u32v(u32(tests.size()));
  for (const conformance::TestCase& t : tests) put_test(im, t);
  return im.bytes;
}

// A one-instruction test in supervisor mode: `opcode` at 0x1000 followed by
// `next`, the PC 4 bytes on; the final state is the initial one with the PC
// advanced by 2 and the prefetch moved on, taking 4 cycles. Callers edit it.
inline conformance::TestCase simple_test(u16 opcode, u16 next = 0x4E71) {
  conformance::TestCase t;
  t.name = "000 TEST";
  conformance::CpuState& s = t.initial;
  for (int i = 0; i < 8; ++i) s.d[i] = 0x11111111u * u32(i);
  for (int i = 0; i < 7; ++i) s.a[i] = 0x00020000u + 0x100u * u32(i);
  s.usp = 0x00030000;
  s.ssp = 0x00040000;
  s.sr = 0x2700;
  s.pc = 0x1004;
  s.prefetch[0] = opcode;
  s.prefetch[1] = next;
  s.memory = {{0x1000, opcode}, {0x1002, next}, {0x1004, 0x4E71}};
  t.final = s;
  t.final.pc = 0x1006;
  t.final.prefetch[0] = next;
  t.final.prefetch[1] = 0x4E71;
  t.cycles = 4;
  t.transactions = {{conformance::BusKind::read, 4, 6, 0x1004, 0x4E71, 1, 1}};
  return t;
}

}  // namespace conformance_test
