// The later processors' integer instructions run from assembled 68020 code
// (tests/programs/cpu020.s): the bit fields against a bit-by-bit model, CAS
// and CAS2, CHK2 and CMP2, the long multiply and divide against the host's
// 64-bit arithmetic, MOVEC on each model, LINK.L, EXTB.L, MOVES and the
// forms that take the illegal-instruction exception.
#include "support/cpu_fixture_lines04.h"

namespace {

enum Snippet : u32 {
  kBfMemory = 0,    // + the instruction, 0-7
  kBfRegister = 8,  // + the instruction
  kBfImmediate = 16, kCasByte, kCasPostinc, kCas2Word, kCas2Long, kChk2Byte, kCmp2Address,
  kChk2Indexed, kMuluL, kMulsL, kMulu64, kMuls64, kDivuL, kDivsL, kDivu64, kDivs64, kDivulL,
  kDivslL, kMovecTo, kMovecFrom, kLinkLong, kExtb, kCallm, kRtm, kBkpt, kMovesWord, kMovesLong,
};

enum BfOp : u32 { Tst, Extu, Chg, Exts, Clr, Ffo, Set, Ins };

constexpr u32 kField = 0x3010;  // A0 of the memory forms
constexpr u32 kWindow = 0x3000;

class Cpu020 : public CpuLines04 {
 protected:
  void SetUp() override {
    CpuLines04::SetUp();
    load("cpu020");
    use_model(2);
  }
  // Whether the last instruction took `vector` stacking `pc` (and, for a
  // format-2 frame, the instruction address `at`).
  static bool took(u32 vector, u32 pc, u32 at = 0) {
    return at_vector(vector) && rl(a(7) + 2) == pc && (!at || rl(a(7) + 8) == at);
  }
};

// CMP's N, Z, V and C of dst - src at `bits` bits.
u32 compare_ccr(u32 src, u32 dst, u32 bits) {
  const u64 mask = (1ull << bits) - 1, msb = 1ull << (bits - 1);
  const u64 s = src & mask, d = dst & mask, r = (d - s) & mask;
  return (r & msb ? kN : 0) | (r == 0 ? kZ : 0) | ((d ^ s) & (d ^ r) & msb ? kV : 0) | (s > d ? kC : 0);
}

}  // namespace

// Every instruction, on memory and on D0, against a model that reads and
// writes the field one bit at a time: fields across byte and long
// boundaries, negative and large register offsets, widths 1-32 (0 and 33
// in the register meaning 32 and 1), zero fields.
TEST_F(Cpu020, BitFieldsAgreeWithABitByBitModel) {
  const std::pair<i32, u32> fields[] = {{0, 1},   {0, 32},   {7, 2},   {5, 12}, {3, 32},
                                        {31, 2},  {28, 8},   {-1, 8},  {-5, 4}, {-33, 16},
                                        {17, 20}, {36, 0},   {64, 5},  {9, 33}, {-70, 31}};
  for (u32 run_index = 0; run_index < 2 * 8 * 2 * std::size(fields); ++run_index) {
    const auto [offset, widthReg] = fields[run_index % std::size(fields)];
    const bool memory = (run_index / std::size(fields)) & 1;
    const u32 op = (run_index / std::size(fields) / 2) & 7;
    const bool zero = run_index / std::size(fields) / 16;
    // The model's bits: memory from kWindow, or D0 as four bytes whose
    // field wraps round.
    u8 bits[32];
    for (u32 i = 0; i < 32; ++i) bits[i] = zero ? 0 : u8(i * 0x9d + 0x35);
    std::memcpy(mem() + kWindow, bits, 32);
    const u32 reg = be_read32(bits);
    auto pos = [&](u32 i) {
      return memory ? i64(kField - kWindow) * 8 + offset + i : i64((u32(offset) + i) & 31);
    };
    auto bit = [&](u32 i) { return u32(bits[pos(i) >> 3] >> (7 - (pos(i) & 7))) & 1; };
    const u32 w = ((widthReg - 1) & 31) + 1, mask = w == 32 ? ~0u : (1u << w) - 1;
    u32 field = 0, k = 0;
    for (u32 i = 0; i < w; ++i) field = (field << 1) | bit(i);
    while (k < w && !bit(k)) ++k;
    const u32 insert = op == Ins ? 0x8badf00d : 0x11111111;
    const u32 flagsFrom = op == Ins ? insert & mask : field;
    const u32 result[8] = {field, field, ~field & mask, field, 0, field, mask, insert & mask};
    for (u32 i = 0; i < w; ++i) {
      u8& byte = bits[pos(i) >> 3];
      const u32 shift = 7 - (pos(i) & 7);
      byte = u8((byte & ~(1u << shift)) | (((result[op] >> (w - 1 - i)) & 1) << shift));
    }
    d(0) = reg;
    d(1) = insert;
    d(2) = u32(offset);
    d(3) = widthReg;
    a(0) = kField;
    set_ccr(kX | kV | kC);
    EXPECT_EQ(run(memory ? kBfMemory + op : kBfRegister + op), 8u);
    const std::string what = std::to_string(op) + (memory ? " memory " : " register ") +
                             std::to_string(offset) + ":" + std::to_string(widthReg);
    EXPECT_EQ(ccr(), kX | (flagsFrom >> (w - 1) ? kN : 0) | (flagsFrom ? 0 : kZ)) << what;
    EXPECT_EQ(d(1), op == Extu   ? field
                    : op == Exts ? (field >> (w - 1) ? field | ~mask : field)
                    : op == Ffo  ? u32(offset) + k
                                 : insert)
        << what;
    if (memory) {
      EXPECT_EQ(std::memcmp(mem() + kWindow, bits, 32), 0) << what;
    } else {
      EXPECT_EQ(d(0), be_read32(bits)) << what;
    }
  }
}

TEST_F(Cpu020, BitFieldWithImmediateOffsetAndWidthThroughAScaledIndex) {
  a(0) = kField;
  d(4) = 3;  // 1 + 3 * 4 = 13 bytes on
  wl(kField + 13, 0x0ffe0000);
  d(0) = 0x12345678;
  EXPECT_EQ(run(kBfImmediate), 14u + 8u);
  EXPECT_EQ(d(5), 0xfffffffcu);  // bits 5-16: 1111 1111 1100
  EXPECT_EQ(d(6), 0x12345678u);  // width 0 is 32
  EXPECT_EQ(pc(), snippet(kBfImmediate) + 10);
}

TEST_F(Cpu020, CasSwapsOnlyWhenEqual) {
  struct Case {
    Snippet s;
    u32 memory, compare, bits;
  };
  const Case cases[] = {{kCasByte, 0x5a, 0x1234565a, 8},
                        {kCasByte, 0x5a, 0x12345600, 8},
                        {kCasPostinc, 0x80000000, 0x80000000, 32},
                        {kCasPostinc, 0x80000000, 1, 32}};
  for (const Case& c : cases) {
    a(0) = kField;
    (c.bits == 8 ? wb : wl)(kField, c.memory);
    d(0) = c.compare;
    d(1) = 0xabcdef77;
    set_ccr(kX);
    EXPECT_EQ(run(c.s), c.bits == 8 ? 16u : 24u);
    const u32 mask = c.bits == 8 ? 0xff : ~0u;
    const bool equal = ((c.compare ^ c.memory) & mask) == 0;
    EXPECT_EQ(ccr(), kX | compare_ccr(c.compare, c.memory, c.bits)) << std::hex << c.compare;
    EXPECT_EQ((c.bits == 8 ? rb : rl)(kField), equal ? d(1) & mask : c.memory);
    EXPECT_EQ(d(0), equal ? c.compare : (c.compare & ~mask) | c.memory);
    EXPECT_EQ(a(0), kField + (c.s == kCasPostinc ? 4 : 0));
  }
}

// The second comparison is made only when the first is equal, and memory is
// written only when both are; otherwise both compare registers are loaded.
TEST_F(Cpu020, Cas2ComparesBothOperandsBeforeWriting) {
  for (const bool longs : {false, true}) {
    const u32 bits = longs ? 32 : 16;
    const auto write = longs ? wl : ww;
    const auto read = longs ? rl : rw;
    for (const u32 first : {0x1111u, 0x2222u}) {
      for (const u32 second : {0x3333u, 0x4444u}) {
        a(0) = 0x3000;
        a(1) = 0x3100;
        write(0x3000, 0x1111);
        write(0x3100, 0x3333);
        const u32 upper = longs ? 0 : 0xffff0000;
        d(0) = upper | first;
        d(1) = upper | second;
        d(2) = 0x5555;
        d(3) = 0x6666;
        const u32 flags = first == 0x1111 ? compare_ccr(d(1), 0x3333, bits) : compare_ccr(d(0), 0x1111, bits);
        EXPECT_EQ(run(longs ? kCas2Long : kCas2Word), 12u);
        const bool both = first == 0x1111 && second == 0x3333;
        EXPECT_EQ(ccr(), flags) << bits << " " << first << " " << second;
        EXPECT_EQ(read(0x3000), both ? 0x5555u : 0x1111u);
        EXPECT_EQ(read(0x3100), both ? 0x6666u : 0x3333u);
        if (!both) {
          EXPECT_EQ(d(0), upper | 0x1111);
          EXPECT_EQ(d(1), upper | 0x3333);
        }
      }
    }
  }
}

// Signed bounds; a data register in the operand size, an address register
// whole. CHK2 out of bounds stacks the next instruction's address, so the
// handler's return does not run CHK2 again.
TEST_F(Cpu020, Chk2AndCmp2BoundsAndTheStackedPc) {
  struct Case {
    Snippet s;
    u32 lower, upper, value, ccr;
    bool traps;
  };
  const Case cases[] = {
      {kChk2Byte, 0x10, 0x20, 0xffffff20, kZ, false}, {kChk2Byte, 0x10, 0x20, 0x21, kC, true},
      {kChk2Byte, 0xf0, 0x10, 0xfffffff0, kZ, false}, {kChk2Byte, 0xf0, 0x10, 0x11, kC, true},
      {kChk2Byte, 0x20, 0x10, 0x18, kC, true},        {kCmp2Address, 0x10, 0x20, 0xffffff20, kC, false},
      {kCmp2Address, 0x10, 0x20, 0x15, 0, false},     {kChk2Indexed, 5, 9, 10, kC, true},
      {kChk2Indexed, 5, 9, 7, 0, false},
  };
  for (const Case& c : cases) {
    SetUp();
    const u32 size = c.s == kChk2Byte ? 1 : c.s == kCmp2Address ? 2 : 4;
    a(0) = kField;
    d(0) = 1;  // the indexed form's bounds lie at A0 + 4 + 4
    const u32 at = c.s == kChk2Indexed ? kField + 8 : kField;
    const auto write = size == 1 ? wb : size == 2 ? ww : wl;
    write(at, c.lower);
    write(at + size, c.upper);
    (c.s == kCmp2Address ? a(1) : d(1)) = c.value;
    set_ccr(kX | kN | kV);
    const u32 length = c.s == kChk2Indexed ? 6 : 4;
    const u32 cycles = run(c.s);
    EXPECT_EQ(ccr(), kX | kN | kV | c.ccr) << std::hex << c.value;
    if (c.traps) {
      EXPECT_TRUE(took(6, snippet(c.s) + length, snippet(c.s)));
      EXPECT_EQ(cycles, (c.s == kChk2Indexed ? 14u : 8u) + 40u);
    } else {
      EXPECT_EQ(pc(), snippet(c.s) + length);
    }
  }
}

TEST_F(Cpu020, LongMultipliesAgreeWithTheHost) {
  const std::pair<u32, u32> operands[] = {{0x10000, 0x10000}, {0xffffffff, 2}, {u32(-7), 3},
                                          {0x7fffffff, 0x7fffffff}, {0, 5}, {0x80000000, 0xffffffff},
                                          {123456, 654}};
  for (const auto& [x, y] : operands) {
    for (u32 s = kMuluL; s <= kMuls64; ++s) {
      const bool is_signed = s == kMulsL || s == kMuls64, wide = s >= kMulu64;
      const u64 p = is_signed ? u64(i64(i32(x)) * i64(i32(y))) : u64(x) * y;
      d(0) = x;
      d(1) = y;
      d(2) = 0xdeadbeef;
      set_ccr(kX | kC);
      EXPECT_EQ(run(s), 8u);
      EXPECT_EQ(d(0), u32(p));
      EXPECT_EQ(d(2), wide ? u32(p >> 32) : 0xdeadbeefu);
      const bool v = !wide && (is_signed ? i64(p) != i64(i32(u32(p))) : (p >> 32) != 0);
      const u32 n = wide ? u32(p >> 63) : u32(p) >> 31;
      const bool z = wide ? p == 0 : u32(p) == 0;
      EXPECT_EQ(ccr(), kX | (n ? kN : 0) | (z ? kZ : 0) | (v ? kV : 0)) << std::hex << x << " " << y << " " << s;
    }
  }
}

// Quotient, remainder and overflow, 32- and 64-bit dividends; on overflow
// only N and V are set and no register changes; division by zero traps.
TEST_F(Cpu020, LongDividesAgreeWithTheHost) {
  struct Case {
    u32 high, low, divisor;
  };
  const Case cases[] = {{0, u32(-7), 2},       {0, 100, 7},          {0, 0xffffffff, 1},
                        {0, 0x80000000, u32(-1)}, {1, 0, 2},          {0xffffffff, u32(-9), 4},
                        {5, 0, 5},             {0, 0, 3},            {0x7fffffff, 0xffffffff, 0x7fffffff}};
  for (const Case& c : cases) {
    for (u32 s = kDivuL; s <= kDivslL; ++s) {
      const bool is_signed = s == kDivsL || s == kDivs64 || s == kDivslL, wide = s == kDivu64 || s == kDivs64;
      const u32 high = wide ? c.high : 0;
      d(0) = c.low;
      d(1) = c.divisor;
      d(2) = high;
      set_ccr(kX | kZ | kC);
      EXPECT_EQ(run(s), 8u);
      bool overflow;
      u32 q, r;
      if (is_signed) {
        const i64 dividend = wide ? i64((u64(high) << 32) | c.low) : i64(i32(c.low));
        const i64 divisor = i32(c.divisor);
        const __int128 qq = __int128(dividend) / divisor;
        overflow = qq < INT32_MIN || qq > INT32_MAX;
        q = u32(i32(qq));
        r = u32(i32(dividend - i64(qq) * divisor));
      } else {
        const u64 dividend = wide ? (u64(high) << 32) | c.low : c.low;
        overflow = dividend / c.divisor > 0xffffffffu;
        q = u32(dividend / c.divisor);
        r = u32(dividend % c.divisor);
      }
      const std::string what = std::to_string(s) + " " + std::to_string(c.low);
      if (overflow) {
        EXPECT_EQ(ccr(), kX | kZ | kN | kV) << what;
        EXPECT_EQ(d(0), c.low) << what;
        EXPECT_EQ(d(2), high) << what;
      } else {
        EXPECT_EQ(ccr(), kX | (q >> 31 ? kN : 0) | (q ? 0 : kZ)) << what;
        EXPECT_EQ(d(0), q) << what;
        EXPECT_EQ(d(2), s == kDivuL || s == kDivsL ? high : r) << what;
      }
    }
  }
  // Division by zero stacks the next instruction and the divide's address.
  d(0) = 5;
  d(1) = 0;
  EXPECT_EQ(run(kDivsL), 8u + 38u);
  EXPECT_TRUE(took(5, snippet(kDivsL) + 4, snippet(kDivsL)));
  EXPECT_EQ(d(0), 5u);
}

// Which control registers each model has, and the bits they keep.
TEST_F(Cpu020, MovecReachesTheControlRegistersOfEachModel) {
  struct Case {
    u32 model, number, kept;  // kept 0: the model lacks the register
  };
  const Case cases[] = {
      {1, 0x000, 7},          {1, 0x801, ~0u},       {1, 0x800, ~0u}, {1, 0x002, 0},
      {2, 0x002, 3},          {2, 0x802, 0xfc},      {2, 0x803, ~0u}, {2, 0x003, 0},
      {3, 0x803, ~0u},        {3, 0x804, ~0u},       {3, 0x805, 0},   {3, 0x007, 0},
      {4, 0x002, 0x80008000}, {4, 0x003, 0xc000},    {4, 0x803, ~0u}, {4, 0x802, 0},
      {4, 0x006, 0xffffe364}, {4, 0x805, 0},
  };
  for (const Case& c : cases) {
    SetUp();
    use_model(c.model);
    d(0) = 0xfffffffe;
    d(1) = 0;
    ww(snippet(kMovecTo) + 2, c.number);
    ww(snippet(kMovecFrom) + 2, 0x1000 | c.number);
    const u32 cycles = run(kMovecTo);
    if (!c.kept) {
      EXPECT_TRUE(took(4, snippet(kMovecTo))) << c.model << " " << std::hex << c.number;
      continue;
    }
    EXPECT_EQ(cycles, 8u);
    EXPECT_EQ(run(kMovecFrom), 8u);
    EXPECT_EQ(d(1), 0xfffffffe & c.kept) << c.model << " " << std::hex << c.number;
    regs().vbr = 0;
  }
  SetUp();
  enter_user_mode();
  run(kMovecFrom);
  EXPECT_TRUE(took(8, snippet(kMovecFrom)));
}

TEST_F(Cpu020, LinkLongAndExtb) {
  a(6) = 0x12345678;
  a(7) = 0x20000;
  EXPECT_EQ(run(kLinkLong), 22u);
  EXPECT_EQ(a(6), 0x1fffcu);
  EXPECT_EQ(a(7), 0xfffcu);
  EXPECT_EQ(rl(0x1fffc), 0x12345678u);
  d(0) = 0x12345680;
  set_ccr(kX | kV | kC);
  EXPECT_EQ(run(kExtb), 4u);
  EXPECT_EQ(d(0), 0xffffff80u);
  EXPECT_EQ(ccr(), kX | kN);
}

// Module calls and breakpoints take the illegal-instruction exception with
// the PC on the opcode, as an unassigned opcode does.
TEST_F(Cpu020, CallmRtmAndBkptAreIllegalWithThePcOnTheOpcode) {
  for (const Snippet s : {kCallm, kRtm, kBkpt}) {
    SetUp();
    a(0) = kField;
    EXPECT_EQ(run(s), 4u + 34u);
    EXPECT_TRUE(took(4, snippet(s)));
  }
}

TEST_F(Cpu020, MovesLoadsAndStoresAndIsPrivileged) {
  a(0) = kField;
  ww(kField, 0x8000);
  EXPECT_EQ(run(kMovesWord), 16u);
  EXPECT_EQ(a(1), 0xffff8000u);
  d(0) = 0xcafef00d;
  EXPECT_EQ(run(kMovesLong), 24u);
  EXPECT_EQ(rl(kField), 0xcafef00du);
  EXPECT_EQ(a(0), kField + 4);
  enter_user_mode();
  EXPECT_EQ(run(kMovesLong), 24u + 34u);
  EXPECT_TRUE(took(8, snippet(kMovesLong)));
}

// Tables of the 68000 and 68010 leave the 68020's instructions to the
// illegal-instruction exception.
TEST_F(Cpu020, EarlierModelsDoNotKnowThe68020Instructions) {
  for (const u32 model : {0u, 1u}) {
    for (const Snippet s : {kCasByte, kBfMemory, kMuluL, kLinkLong}) {
      SetUp();
      use_model(model);
      a(0) = kField;
      run(s);
      EXPECT_TRUE(took(4, snippet(s))) << model << " " << s;
    }
  }
}
