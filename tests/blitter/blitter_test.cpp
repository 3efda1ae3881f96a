// The Blitter through the I/O page: its register rules, the start, the
// operations' results and memory accesses, and its saved-state section.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "blitter/blitter.h"
#include "common/endian.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "host/events.h"
#include "host/options.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/sections.h"
#include "support/machine_fixture.h"
#include "support/state_section.h"

namespace {

// Every word access the operation makes in banks 1 and 2, in order: 'R' or
// 'W' and the address.
std::string accesses;
void log_access(char kind, u32 addr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%c%x ", kind, addr);
  accesses += buf;
}
u32 traced_getW(u32 a) {
  log_access('R', a);
  return MMU_RamBank.getW(a);
}
void traced_putW(u32 a, u32 v) {
  log_access('W', a);
  MMU_RamBank.putW(a, v);
}
const MMU_Bank traced_bank = {MMU_RamBank.getL, traced_getW,        MMU_RamBank.getB,
                              MMU_RamBank.putL, traced_putW,        MMU_RamBank.putB,
                              MMU_RamBank.hostPtr, MMU_RamBank.check};

// What a test writes to the registers before the start.
struct Regs {
  u32 src = 0x20000, dst = 0x10000;
  i32 src_x = 2, src_y = 0, dst_x = 2, dst_y = 0;
  u32 xcount = 1, ycount = 1;
  u32 mask1 = 0xffff, mask2 = 0xffff, mask3 = 0xffff;
  u32 hop = 2, op = 3, skew = 0, ctl = 0x80;
};

class Blitter : public MachineMemoryTest {
 protected:
  void SetUp() override {
    MachineMemoryTest::SetUp();
    PREFS_BlitterEnabled = 1;
    // Every field back to its power-on 0.
    ASSERT_EQ(restored(std::vector<u8>(116, 0), BLITTER_Restore), 1u);
    MMU_BusErrorCount = 0;
    accesses.clear();
  }

  static void put(u32 addr, std::initializer_list<u32> words) {
    for (u32 w : words) MMU_WriteW(addr, w), addr += 2;
  }
  static std::vector<u32> words(u32 addr, u32 n) {
    std::vector<u32> v;
    for (u32 i = 0; i < n; ++i) v.push_back(MMU_ReadW(addr + 2 * i));
    return v;
  }
  // Writes the registers through the I/O page; the control write starts.
  static void blit(const Regs& r) {
    MMU_WriteL(BLITTER_SRC_ADDR, r.src);
    MMU_WriteL(BLITTER_DST_ADDR, r.dst);
    put(BLITTER_SRC_XINC, {u32(r.src_x), u32(r.src_y)});
    put(BLITTER_ENDMASK1, {r.mask1, r.mask2, r.mask3, u32(r.dst_x), u32(r.dst_y)});
    put(BLITTER_XCOUNT, {r.xcount, r.ycount, r.hop << 8 | r.op, r.ctl << 8 | r.skew});
  }
  static void trace_banks() { MMU_MapBanks(&traced_bank, 1, 2); }
};

}  // namespace

// Byte, word and long accesses in order: each writes, or reads and expects.
TEST_F(Blitter, RegisterAccessRules) {
  struct Access {
    char kind;  // 'w' write, 'r' read
    u32 size;   // 1, 2 or 4 bytes
    u32 addr, value;
  };
  const Access script[] = {
      {'w', 2, 0xff8a24, 0x1234}, {'r', 4, 0xff8a24, 0},           // address: longs only
      {'w', 4, 0xff8a24, 0xff123457}, {'r', 4, 0xff8a24, 0x123457},
      {'w', 4, 0xff8a22, 0x8000ffff}, {'r', 2, 0xff8a22, 0x8000},  // the lower half is lost
      {'r', 4, 0xff8a24, 0x123457},
      {'w', 4, 0xff8a1e, 0xabcd0002}, {'r', 2, 0xff8a1e, 0xabcd}, {'r', 2, 0xff8a20, 2},
      {'w', 2, 0xff8a1d, 0x7777}, {'r', 2, 0xff8a1c, 0x7777},  // an odd address names its word
      {'w', 2, 0xff8a28, 0x00ff}, {'w', 2, 0xff8a2a, 0x8001},
      {'r', 4, 0xff8a28, 0x00ff8001}, {'w', 1, 0xff8a2a, 0x11}, {'r', 2, 0xff8a2a, 0x8001},
      {'r', 1, 0xff8a38, 0x38},       {'r', 2, 0xff8a3a, 0x8a3a}, {'r', 2, 0xff8a26, 0x8a26},
      {'w', 2, 0xff8a3a, 0x0fff},     {'r', 1, 0xff8a3a, 3},      {'r', 1, 0xff8a3b, 15},
      {'w', 1, 0xff8a3b, 0x36},       {'r', 1, 0xff8a3b, 6},
      // Y count 0: the start is refused and the control byte not stored.
      {'w', 2, 0xff8a3c, 0xa0ff},     {'r', 2, 0xff8a3c, 0x00cf}, {'r', 1, 0xff8a3d, 0xcf},
      {'w', 2, 0xff8a3c, 0x8004},     {'r', 1, 0xff8a3d, 0x04},   {'r', 1, 0xff8a3c, 0},
      // The second window takes writes only.
      {'w', 2, 0xff7f30, 0xbeef},     {'r', 2, 0xff8a00, 0xbeef},
      // A start with HOG and SMUDGE: BUSY and HOG read 0 at once.
      {'w', 4, 0xff8a24, 0x20001},    {'w', 4, 0xff8a32, 0x30001}, {'w', 2, 0xff8a38, 1},
      {'w', 1, 0xff8a3c, 0xe5},       {'r', 1, 0xff8a3c, 0x25},    {'r', 2, 0xff8a38, 0},
      {'r', 4, 0xff8a32, 0x30000},    {'w', 1, 0xff8a3c, 0x82},    {'r', 1, 0xff8a3c, 0x25},
      // A refused start leaves odd addresses odd.
      {'w', 4, 0xff8a24, 0x20001},    {'r', 4, 0xff8a24, 0x20001},
      // Sums are kept whole: 0xfffffe + 2 passes 24 bits.
      {'w', 4, 0xff8a24, 0xfffffe},   {'w', 2, 0xff8a20, 2},      {'w', 2, 0xff8a22, 0},
      {'w', 2, 0xff8a3a, 0x0000},     {'w', 1, 0xff8a3d, 0x80},   {'w', 2, 0xff8a38, 1},
      {'w', 1, 0xff8a3c, 0x80},       {'r', 4, 0xff8a24, 0x1000000},
  };
  for (const Access& a : script) {
    SCOPED_TRACE(testing::Message() << a.kind << a.size << " " << std::hex << a.addr);
    if (a.kind == 'w') {
      if (a.size == 1) MMU_WriteB(a.addr, a.value);
      else if (a.size == 2) MMU_WriteW(a.addr, a.value);
      else MMU_WriteL(a.addr, a.value);
    } else {
      const u32 got = a.size == 1 ? MMU_ReadB(a.addr) : a.size == 2 ? MMU_ReadW(a.addr) : MMU_ReadL(a.addr);
      EXPECT_EQ(got, a.value);
    }
  }
  EXPECT_EQ(MMU_BusErrorCount, 0u);
}

// With source 0x3333 and destination 0x5555 the result of logic operation n
// is n * 0x1111, in both source directions. The tables hold the members by
// their names.
TEST_F(Blitter, EveryLogicOperationGivesItsTruthTable) {
  EXPECT_EQ(BLITTER_OpTables[1][0x2b], &BLITTER_OpPos2B);
  EXPECT_EQ(BLITTER_OpTables[0][0x3f], &BLITTER_OpNeg3F);
  for (i32 step : {2, -2}) {
    for (u32 op = 0; op < 16; ++op) {
      put(0x20000, {0x3333});
      put(0x10000, {0x5555});
      // Descending, the buffer's lower half holds the word read: FXSR.
      blit({.src_x = step, .op = op, .skew = step < 0 ? 0x80u : 0u});
      EXPECT_EQ(MMU_ReadW(0x10000), op * 0x1111) << "op " << op << " step " << step;
    }
  }
}

// The worked examples: three words with FXSR and skew 4, with and without
// NFSR, in both directions; the order of accesses and where the addresses end.
// HOG changes nothing: it only sets a bit that reads 0, like BUSY.
TEST_F(Blitter, SkewWithExtraAndWithoutFinalSourceRead) {
  struct Case {
    bool down, nfsr;
    std::vector<u32> result;  // the three destination words from 0x10000
    u32 src_end, dst_end;
    const char* trace;
  };
  const Case cases[] = {
      {false, false, {0x4567, 0x89ab, 0xcdef}, 0x20010, 0x10018,
       "R20000 R20002 R10000 W10000 R20004 R10002 W10002 R20006 R10004 W10004 "},
      {false, true, {0x4567, 0x89ab, 0xc000}, 0x2000e, 0x10018,
       "R20000 R20002 R10000 W10000 R20004 R10002 W10002 R10004 W10004 "},
      {true, false, {0x19ab, 0xc567, 0x8123}, 0x1fff6, 0xffec,
       "R20006 R20004 R10004 W10004 R20002 R10002 W10002 R20000 R10000 W10000 "},
      {true, true, {0x09ab, 0xc567, 0x8123}, 0x1fff8, 0xffec,
       "R20006 R20004 R10004 W10004 R20002 R10002 W10002 R10000 W10000 "},
  };
  for (u32 n = 0; n < 8; ++n) {
    const Case& c = cases[n % 4];
    const u32 ctl = n < 4 ? 0x80 : 0xc0;
    SCOPED_TRACE(testing::Message() << "down " << c.down << " nfsr " << c.nfsr << " ctl " << ctl);
    if (c.down) put(0x20000, {0xdef1, 0x9abc, 0x5678, 0x1234});
    else put(0x20000, {0x1234, 0x5678, 0x9abc, 0xdef0});
    trace_banks();
    accesses.clear();
    const i32 step = c.down ? -2 : 2;
    blit({.src = c.down ? 0x20006u : 0x20000u, .dst = c.down ? 0x10004u : 0x10000u,
          .src_x = step, .src_y = 5 * step, .dst_x = step, .dst_y = 10 * step, .xcount = 3,
          .skew = 0x84u | (c.nfsr ? 0x40u : 0u), .ctl = ctl});
    MMU_MapBanks(&MMU_RamBank, 1, 2);
    EXPECT_EQ(MMU_ReadB(BLITTER_LINE_CTL), 0u);
    EXPECT_EQ(accesses, c.trace);
    EXPECT_EQ(words(0x10000, 3), c.result);
    EXPECT_EQ(MMU_ReadL(BLITTER_SRC_ADDR), c.src_end);
    EXPECT_EQ(MMU_ReadL(BLITTER_DST_ADDR), c.dst_end);
  }
}

// Lines and columns of one word: the source buffer is kept from one line to
// the next, and which half a new word enters depends on the direction.
TEST_F(Blitter, TheSourceBufferCarriesOverLinesAndColumns) {
  struct Case {
    i32 src_x;
    u32 xcount, ycount, skew;
    std::vector<u32> source, result;
  };
  const Case cases[] = {
      {2, 1, 2, 4, {0x1234, 0x5678}, {0x0123, 0x4567}},
      {-2, 1, 2, 4, {0x1234, 0x5678}, {0x4000, 0x8123}},
      {-2, 3, 1, 0, {0x1111, 0x2222, 0x3333}, {0x0000, 0x1111, 0x2222}},
      {-2, 3, 1, 0xc0, {0x1111, 0x2222, 0x3333}, {0x1111, 0x2222, 0x3333}},
  };
  for (const Case& c : cases) {
    // The source words in reading order: several lines read one word each.
    const i32 step = c.ycount > 1 ? 2 : c.src_x;
    const u32 n = u32(c.source.size());
    const u32 src = step < 0 ? 0x20000 + 2 * (n - 1) : 0x20000;
    for (u32 i = 0; i < n; ++i) put(src + u32(step) * i, {c.source[i]});
    blit({.src = src, .src_x = c.src_x, .src_y = 2, .dst_y = 2, .xcount = c.xcount,
          .ycount = c.ycount, .skew = c.skew});
    EXPECT_EQ(words(0x10000, u32(c.result.size())), c.result) << "src_x " << c.src_x;
  }
}

// End mask 1 for the first word of a line, 3 for the last, 2 between; an X
// count of 0 is one word; mask 0 still rewrites the word.
TEST_F(Blitter, EndMasksByPositionInTheLine) {
  struct Case {
    u32 xcount;
    std::vector<u32> result;
  };
  const Case cases[] = {
      {0, {0x00ff, 0}},
      {1, {0x00ff, 0}},
      {2, {0x00ff, 0xff00, 0}},
      {4, {0x00ff, 0x0ff0, 0x0ff0, 0xff00, 0}},
  };
  for (const Case& c : cases) {
    put(0x10000, {0, 0, 0, 0, 0});
    trace_banks();
    accesses.clear();
    blit({.xcount = c.xcount, .mask1 = 0x00ff, .mask2 = 0x0ff0, .mask3 = 0xff00, .hop = 0,
          .op = 15});
    MMU_MapBanks(&MMU_RamBank, 1, 2);
    EXPECT_EQ(words(0x10000, u32(c.result.size())), c.result) << c.xcount;
    EXPECT_EQ(accesses.find("R2"), std::string::npos) << "HOP 0 reads no source";
  }
  put(0x10000, {0x1234});
  trace_banks();
  accesses.clear();
  blit({.mask1 = 0, .op = 0});
  MMU_MapBanks(&MMU_RamBank, 1, 2);
  EXPECT_EQ(accesses, "R20000 R10000 W10000 ");
  EXPECT_EQ(MMU_ReadW(0x10000), 0x1234u);
}

// The halftone line starts at the control byte's line number, steps once a
// line up or down with the destination Y increment's sign, and does not
// change within a line. HOP 3 ANDs the source in. HOP 1 reads no source but
// moves its address all the same: with SMUDGE its empty source buffer picks
// halftone word 0 for every word.
TEST_F(Blitter, HalftoneLinesStepPerLine) {
  struct Case {
    u32 hop, ctl, skew;
    i32 dst_y;
    std::vector<u32> result;  // first word of each of four lines
    u32 end_line;
  };
  const Case cases[] = {
      {1, 0x8e, 0, 4, {0xeeee, 0xffff, 0x0000, 0x1111}, 2},
      {1, 0x81, 0, -4, {0x1111, 0x0000, 0xffff, 0xeeee}, 13},
      {1, 0xae, 0x43, 4, {0x0000, 0x0000, 0x0000, 0x0000}, 7},
      {3, 0x8e, 0, 4, {0x0e0e, 0x0f0f, 0x0000, 0x0101}, 2},
  };
  for (u32 i = 0; i < 16; ++i) BLITTER_Halftone[i] = u16(i * 0x1111);
  put(0x20000, {0x0f0f});
  for (const Case& c : cases) {
    const u32 first = c.dst_y < 0 ? 0x1000c : 0x10000;
    trace_banks();
    accesses.clear();
    blit({.dst = first, .src_x = 0, .dst_y = c.dst_y - 2, .xcount = 2, .ycount = 4, .mask3 = 0,
          .hop = c.hop, .skew = c.skew, .ctl = c.ctl});
    MMU_MapBanks(&MMU_RamBank, 1, 2);
    std::vector<u32> got;
    for (u32 l = 0; l < 4; ++l) got.push_back(MMU_ReadW(first + u32(c.dst_y) * l));
    EXPECT_EQ(got, c.result) << "hop " << c.hop << " ctl " << c.ctl;
    EXPECT_EQ(BLITTER_HalftoneLine, c.end_line);
    EXPECT_EQ(accesses.find("R2") != std::string::npos, c.hop == 3);
  }
  // Only HOP 1 and 3 take the snapshot and the line.
  BLITTER_Halftone[0] = 0x7777;
  blit({.hop = 2, .ctl = 0x85});
  EXPECT_EQ(BLITTER_HalftoneSnap[0], 0u);
  EXPECT_EQ(BLITTER_LineStep, 1);
}

// With SMUDGE the low four bits of each word's skewed source choose its
// halftone word (here word i is i * 0x1111), in both directions, whatever
// the line number says; the results are worked out by hand.
TEST_F(Blitter, SmudgeTakesTheHalftoneWordFromTheSkewedSource) {
  struct Case {
    i32 src_x;
    u32 xcount, skew;
    std::vector<u32> source, result;  // source words in reading order
  };
  const Case cases[] = {
      // 0x1234 picks word 4, 0xabcd word 13, 0x00f7 word 7; ANDed with the source.
      {2, 3, 0, {0x1234, 0xabcd, 0x00f7}, {0x0004, 0x89cd, 0x0077}},
      // 0x1234 0x5689 >> 4 is 0x4568: word 8.
      {2, 1, 0x84, {0x1234, 0x5689}, {0x0008}},
      // Descending the later word is the upper half: 0x5689 0x1234 >> 4 is 0x9123.
      {-2, 1, 0x84, {0x1234, 0x5689}, {0x1123}},
  };
  for (u32 i = 0; i < 16; ++i) BLITTER_Halftone[i] = u16(i * 0x1111);
  for (const Case& c : cases) {
    const u32 n = u32(c.source.size());
    const u32 src = c.src_x < 0 ? 0x20000 + 2 * (n - 1) : 0x20000;
    for (u32 i = 0; i < n; ++i) put(src + u32(c.src_x) * i, {c.source[i]});
    blit({.src = src, .src_x = c.src_x, .xcount = c.xcount, .hop = 3, .skew = c.skew, .ctl = 0xa5});
    EXPECT_EQ(words(0x10000, c.xcount), c.result) << "src_x " << c.src_x << " skew " << c.skew;
  }
}

// An operation of a million words that the host keeps breaking (every few
// hundred thousand words) ends as one that runs through: descending, with a
// skew and no extra read (the buffer carries a word from line to line) and
// halftone lines stepping down. Stopped, its registers show the lines left
// and the section holds it and the register writes that wait for its end.
TEST_F(Blitter, AnOperationStoppedForTheHostEndsAsOneThatRanThrough) {
  // 64 words a line; the source moves 4 bytes a line, the destination stays.
  const Regs r{.src = 0x28000, .src_x = -2, .src_y = 130, .dst_x = 2, .dst_y = -126, .xcount = 64,
               .ycount = 16383, .mask1 = 0x0fff, .mask3 = 0xfff0, .hop = 3, .op = 6, .skew = 5, .ctl = 0x87};
  const auto result = [] {  // the line written and the registers
    std::vector<u32> v = words(0x10000, 64);
    for (u32 x : {BLITTER_SrcAddr, BLITTER_DstAddr, u32(BLITTER_YCount), BLITTER_HalftoneLine}) v.push_back(x);
    return v;
  };
  const auto run = [&] {
    for (u32 a = 0x10000, x = 1; a < 0x50000; a += 2) MMU_WriteW(a, (x = x * 1103515245 + 12345) >> 16);
    for (u32 i = 0; i < 16; ++i) BLITTER_Halftone[i] = u16(0x1f3d * (i + 3));
    blit(r);
    return result();
  };
  const std::vector<u32> through = run();
  EVENTS_BusyHook = [] { return true; };
  const u32 left = run()[66];
  EXPECT_TRUE(BLITTER_Stopped && left > 0 && left < 16383);
  const std::vector<u8> section = saved(BLITTER_Save);
  EXPECT_EQ(be_read16(&section[0]), 1u);
  ASSERT_EQ(restored(std::vector<u8>(116, 0), BLITTER_Restore), 1u);
  ASSERT_EQ(restored(section, BLITTER_Restore), 1u);
  BLITTER_Resume();
  EXPECT_LT(BLITTER_YCount, left);
  // A register write waits for the operation's end, in the section too.
  MMU_WriteW(BLITTER_HALFTONE, 0x1234);
  EXPECT_EQ(BLITTER_WaitingCount, 1u);
  EXPECT_NE(BLITTER_Halftone[0], 0x1234);
  const std::vector<u8> waiting = saved(BLITTER_Save);
  ASSERT_EQ(waiting.size(), 116u + BLITTER_WaitingStateBytes);
  EXPECT_EQ(be_read16(&waiting[0]), 3u);
  ASSERT_EQ(restored(std::vector<u8>(116, 0), BLITTER_Restore), 1u);
  ASSERT_EQ(restored(waiting, BLITTER_Restore), 1u);
  // Records the I/O page can't have written are refused: no count, too many, past the registers, no
  // such size, a word wider than 16 bits, a used slot past the count, writes with no stopped operation.
  for (const auto& [at, value] :
       {std::pair<u32, u8>{119, 0}, {119, 17}, {123, 0x3e}, {122, 3}, {125, 1}, {131, 1}, {1, 2}}) {
    std::vector<u8> bad = waiting;
    bad[at] = value;
    EXPECT_EQ(restored(bad, BLITTER_Restore), 0u) << at;
  }
  EVENTS_BusyHook = nullptr;
  BLITTER_Resume();
  BLITTER_BreakAsked = m68k_regfile.pending = 0;
  EXPECT_EQ(BLITTER_Stopped + BLITTER_WaitingCount, 0u);
  EXPECT_EQ(BLITTER_Halftone[0], 0x1234);
  EXPECT_EQ(result(), through);

  // A start that waits runs when the stopped operation ends, and may stop for the host itself.
  const auto run_twice = [&] {
    run();
    MMU_WriteW(BLITTER_YCOUNT, 9000);
    MMU_WriteB(BLITTER_LINE_CTL, 0x83);
    u32 second_stopped = 0;
    for (; BLITTER_Stopped; BLITTER_Resume()) second_stopped += BLITTER_WaitingCount == 0;
    BLITTER_BreakAsked = m68k_regfile.pending = 0;
    return std::pair(result(), second_stopped);
  };
  const auto [twice, unbroken_stops] = run_twice();
  EVENTS_BusyHook = [] { return true; };
  const auto [broken, stops] = run_twice();
  EVENTS_BusyHook = nullptr;
  EXPECT_EQ(unbroken_stops, 0u);
  EXPECT_GT(stops, 0u);
  EXPECT_EQ(broken, twice);
}

// The Blitter raises no bus error anywhere: writes into the ROM and the
// cartridge are dropped, and the I/O page serves nothing during an
// operation (reads answer with their own address, writes are lost).
TEST_F(Blitter, AccessesOutsideRamNeverFault) {
  const u32 rom = MMU_ReadW(0xfc0000), cart = MMU_ReadW(0xfa0000), colour = MMU_ReadW(0xff8240);
  for (u32 dst : {0xfc0000u, 0xfa0000u, 0xff8240u}) {
    blit({.dst = dst, .xcount = 2, .ycount = 2, .hop = 0, .op = 10});
  }
  EXPECT_EQ(MMU_ReadW(0xfc0000), rom);
  EXPECT_EQ(MMU_ReadW(0xfa0000), cart);
  EXPECT_EQ(MMU_ReadW(0xff8240), colour);
  blit({.src = 0xff8240, .xcount = 3});
  EXPECT_EQ(words(0x10000, 3), (std::vector<u32>{0x8240, 0x8242, 0x8244}));
  // The Blitter's own registers are out of its reach as well.
  blit({.dst = BLITTER_ENDMASK1, .op = 0});
  EXPECT_EQ(BLITTER_EndMask1, 0xffffu);
  EXPECT_EQ(MMU_BusErrorCount, 0u);
  EXPECT_FALSE(m68k_faulted());
}

// Odd increments can leave a word on the last byte of RAM: its first byte
// is written and the second, past RAM, is lost like any I/O-page write;
// the bytes behind the RAM buffer keep their guard words.
TEST_F(Blitter, AnOddWordAtTheEndOfRamStaysInside) {
  const u32 end = MMU_RamSize;
  const u32 guard = be_read32(MMU_RamBase + end);
  put(end - 4, {0, 0});
  blit({.dst = end - 4, .dst_x = 3, .xcount = 2, .hop = 0, .op = 15});
  EXPECT_EQ(words(end - 4, 2), (std::vector<u32>{0xffff, 0x00ff}));
  EXPECT_EQ(be_read32(MMU_RamBase + end), guard);
  EXPECT_EQ(MMU_BusErrorCount, 0u);
}

// All 22 fields go to the file and come back bit for bit; what the machine
// can hold is accepted, and the operation index, skew and increments are cut
// as the registers cut them.
TEST_F(Blitter, SavedStateSection) {
  for (u32 i = 0; i < 16; ++i) {
    BLITTER_Halftone[i] = u16(0x100 + i);
    BLITTER_HalftoneSnap[i] = u16(0x200 + i);
  }
  BLITTER_EndMask1 = 0x8001, BLITTER_EndMask2 = 0x8002, BLITTER_EndMask3 = 0x8003;
  BLITTER_XCount = 0xfffe, BLITTER_YCount = 0xfffd;
  BLITTER_Hop = 3, BLITTER_Op = 14, BLITTER_LineCtl = 0xaf;
  BLITTER_Skew = 0xcf, BLITTER_Fxsr = 1, BLITTER_Nfsr = 1;
  BLITTER_DstAddr = 0x1fffffe, BLITTER_SrcAddr = 0xfffffff0;
  BLITTER_HalftoneLine = 15, BLITTER_LineStep = -1;
  BLITTER_SrcXInc = -2, BLITTER_SrcYInc = 32767, BLITTER_DstXInc = -32768, BLITTER_DstYInc = 8;
  const std::vector<u8> bytes = saved(BLITTER_Save);
  ASSERT_EQ(bytes.size(), 116u);
  EXPECT_EQ(be_read16(&bytes[74]), 0x0101u);  // NFSR and FXSR
  EXPECT_EQ(be_read32(&bytes[84]), 0x1fffffeu);
  ASSERT_EQ(restored(std::vector<u8>(116, 0), BLITTER_Restore), 1u);
  ASSERT_EQ(restored(bytes, BLITTER_Restore), 1u);
  EXPECT_EQ(saved(BLITTER_Save), bytes);

  std::vector<u8> odd = bytes;
  odd[80] = 0xff, odd[81] = 0xff, odd[83] = 0x3f;  // HOP, OP, skew
  be_write32(&odd[100], 0x12348000);
  ASSERT_EQ(restored(odd, BLITTER_Restore), 1u);
  EXPECT_EQ(BLITTER_Hop, 3u);
  EXPECT_EQ(BLITTER_Op, 15u);
  EXPECT_EQ(BLITTER_Skew, 0x0fu);
  EXPECT_EQ(BLITTER_Fxsr + BLITTER_Nfsr, 0);
  EXPECT_EQ(BLITTER_SrcXInc, -32768);
  // A running flag can't be in a file the machine wrote.
  std::vector<u8> running = bytes;
  running[3] = 1;
  EXPECT_EQ(restored(running, BLITTER_Restore), 0u);
}
