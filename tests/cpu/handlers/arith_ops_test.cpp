// Arithmetic handlers of lines 5 and 8-D run from assembled code: divide
// signs, remainders and overflow, divide by zero, decimal arithmetic with
// invalid digits, the extended forms and the register-update order of the
// memory forms.
#include "support/cpu_fixture_lines5f.h"

namespace {

constexpr u32 DIVS = 0x1000, DIVU = 0x1010, DIVZ = 0x1020, MULS = 0x1030, MULU = 0x1040,
              ABCD = 0x1050, SBCD = 0x1060, ABCD_M = 0x1070, SBCD_M = 0x1080, ADDX_L = 0x1090,
              SUBX_B = 0x10a0, ADDX_BM = 0x10b0, CMPM_W = 0x10c0, ADDQ_A = 0x10d0,
              DIVS_POP = 0x10e0, ADDA_POST = 0x10f0, SUBX_LM = 0x1100, CMPA_W = 0x1110,
              EXG = 0x1120, ADD_BI = 0x1130, SUBQ_PRE = 0x1140, EOR_POST = 0x1150,
              DIVS_SELF = 0x1160, OR_PRE = 0x1170;

class Arith : public CpuLines5F {
 protected:
  void SetUp() override {
    CpuLines5F::SetUp();
    load("l5f_arith");
  }
  u32 divide(u32 slot, u32 dividend, u32 divisor, u32 flags = 0) {
    d(0) = dividend;
    d(1) = divisor;
    set_ccr(flags);
    return step_at(slot);
  }
};

struct DivsCase {
  i32 dividend;
  i16 divisor;
  u32 result;
  u32 ccr;
};

}  // namespace

TEST_F(Arith, DivsQuotientTruncatesTowardZeroAndRemainderTakesTheDividendSign) {
  const DivsCase cases[] = {
      {-7, 2, 0xfffffffd, kN},        // q -3, r -1
      {7, -2, 0x0001fffd, kN},        // q -3, r 1
      {-7, -2, 0xffff0003, 0},           // q 3, r -1
      {7, 2, 0x00010003, 0},             // q 3, r 1
      {32768, -1, 0x00008000, kN},    // q -32768 fits
      {-32768, 1, 0x00008000, kN},
      {-100000, 4, 0x00009e58, kN},   // q -25000
      {0, 5, 0x00000000, kZ},
      {-1, 2, 0xffff0000, kZ},        // q 0, r -1
  };
  for (const DivsCase& c : cases) {
    EXPECT_EQ(divide(DIVS, u32(c.dividend), u16(c.divisor), kX | kC | kV), 158u);
    EXPECT_EQ(d(0), c.result) << c.dividend << " / " << c.divisor;
    EXPECT_EQ(ccr(), kX | c.ccr) << c.dividend << " / " << c.divisor;
    EXPECT_EQ(pc(), DIVS + 2);
  }
}

TEST_F(Arith, DivsOverflowLeavesTheRegisterAndZ) {
  const std::pair<i32, i16> overflows[] = {{32768, 1}, {INT32_MIN, -1}, {100000, 3},
                                           {INT32_MIN, 1}, {0x7fffffff, 2}};
  for (const auto& [dividend, divisor] : overflows) {
    for (const u32 z : {0u, kZ}) {
      EXPECT_EQ(divide(DIVS, u32(dividend), u16(divisor), z | kC), 158u);
      EXPECT_EQ(d(0), u32(dividend));
      EXPECT_EQ(ccr(), z | kN | kV) << dividend << " / " << divisor;
    }
  }
}

TEST_F(Arith, DivsOfItsOwnRegisterUsesTheLowWordAsDivisor) {
  d(1) = 0x00050002;  // 327682 / 2 = 163841: overflow
  set_ccr(0);
  EXPECT_EQ(step_at(DIVS_SELF), 158u);
  EXPECT_EQ(d(1), 0x00050002u);
  EXPECT_EQ(ccr(), kN | kV);
}

TEST_F(Arith, DivuQuotientRemainderAndOverflow) {
  EXPECT_EQ(divide(DIVU, 0xffff, 0xffff), 140u);
  EXPECT_EQ(d(0), 1u);
  EXPECT_EQ(divide(DIVU, 100, 7), 140u);
  EXPECT_EQ(d(0), (2u << 16) | 14u);
  EXPECT_EQ(divide(DIVU, 0x10000, 1, kZ), 140u);
  EXPECT_EQ(d(0), 0x10000u);
  EXPECT_EQ(ccr(), kZ | kN | kV);
  EXPECT_EQ(divide(DIVU, 0xffffffff, 0xffff), 140u);  // 0x10001: overflow
  EXPECT_EQ(ccr(), kN | kV);
  EXPECT_EQ(divide(DIVU, 0x80000, 0x10), 140u);  // quotient 0x8000 sets N
  EXPECT_EQ(d(0), 0x8000u);
  EXPECT_EQ(ccr(), kN);
}

// Divide by zero clears V, keeps N, Z, C and X and the register, and takes
// vector 5 with the next instruction's address stacked; the 38 cycles of
// the exception come on top of the handler's 144.
TEST_F(Arith, DivideByZeroClearsVAndCAndTrapsPastTheInstruction) {
  d(0) = 0x12345678;
  set_ccr(kX | kN | kZ | kV | kC);
  EXPECT_EQ(step_at(DIVZ), 144u + 38u);
  EXPECT_EQ(d(0), 0x12345678u);
  EXPECT_EQ(ccr(), kX | kN | kZ);
  EXPECT_EQ(pc(), rl(0x14));
  EXPECT_EQ(a(7), stack_top - 6);
  EXPECT_EQ(rl(a(7) + 2), DIVZ + 4);
}

TEST_F(Arith, DivideReadsItsSourceBeforeTheRegisterUpdateLands) {
  a(7) = 0x2000;
  ww(0x2000, 0xfffe);  // -2
  d(0) = u32(-9);
  EXPECT_EQ(step_at(DIVS_POP), 162u);
  EXPECT_EQ(a(7), 0x2002u);
  EXPECT_EQ(d(0), 0xffff0004u);  // q 4, r -1
}

TEST_F(Arith, WordMultiplies) {
  d(0) = 0xabcdffff;
  d(1) = 0x1234ffff;
  set_ccr(kX | kV | kC);
  EXPECT_EQ(step_at(MULU), 70u);
  EXPECT_EQ(d(0), 0xfffe0001u);
  EXPECT_EQ(ccr(), kX | kN);
  d(0) = 0x8000;
  d(1) = 0x8000;
  EXPECT_EQ(step_at(MULS), 70u);
  EXPECT_EQ(d(0), 0x40000000u);
  EXPECT_EQ(ccr(), kX);
  d(0) = 0xffff;
  d(1) = 1;
  step_at(MULS);
  EXPECT_EQ(d(0), 0xffffffffu);
  EXPECT_EQ(ccr(), kX | kN);
  d(0) = 0x5555;
  d(1) = 0;
  step_at(MULU);
  EXPECT_EQ(ccr(), kX | kZ);
}

struct BcdCase {
  u32 s, d, x;
  u32 result;
  u32 flags;  // X N V C; Z checked separately
};

TEST_F(Arith, AbcdWithValidAndInvalidDigits) {
  const BcdCase cases[] = {
      {0x38, 0x45, 0, 0x83, kN | kV},
      {0x01, 0x99, 0, 0x00, kX | kC},
      {0x00, 0x99, 1, 0x00, kX | kC},
      {0x8f, 0x05, 0, 0x9a, kN},  // no carry from 0x9a
      {0x19, 0x28, 1, 0x48, 0},
      {0x0f, 0x0f, 0, 0x24, 0},
      {0xff, 0xff, 1, 0x65, kX | kC},
  };
  for (const BcdCase& c : cases) {
    for (const u32 z : {0u, kZ}) {
      d(0) = 0xabcd0000 | c.d;
      d(1) = c.s;
      set_ccr(z | (c.x ? kX : 0));
      EXPECT_EQ(step_at(ABCD), 6u);
      EXPECT_EQ(d(0), 0xabcd0000u | c.result) << std::hex << c.s << "+" << c.d;
      const u32 zflag = c.result ? 0 : z;  // cleared by non-zero, else kept
      EXPECT_EQ(ccr(), c.flags | zflag) << std::hex << c.s << "+" << c.d << "+" << c.x;
    }
  }
}

TEST_F(Arith, SbcdWithValidAndInvalidDigits) {
  const BcdCase cases[] = {
      {0x01, 0x00, 0, 0x99, kX | kN | kC},
      {0x00, 0x00, 1, 0x99, kX | kN | kC},
      {0x01, 0x10, 0, 0x09, 0},
      {0x0b, 0x10, 0, 0xff, kX | kN | kC},  // low-digit borrow only
      {0x45, 0x83, 0, 0x38, 0},
      {0x00, 0x00, 0, 0x00, 0},
  };
  for (const BcdCase& c : cases) {
    for (const u32 z : {0u, kZ}) {
      d(0) = 0x11110000 | c.d;
      d(1) = c.s;
      set_ccr(z | (c.x ? kX : 0));
      EXPECT_EQ(step_at(SBCD), 6u);
      EXPECT_EQ(d(0), 0x11110000u | c.result) << std::hex << c.d << "-" << c.s;
      const u32 zflag = c.result ? 0 : z;
      EXPECT_EQ(ccr(), c.flags | zflag) << std::hex << c.d << "-" << c.s << "-" << c.x;
    }
  }
}

TEST_F(Arith, DecimalMemoryFormsStepEachRegisterBeforeTheNext) {
  a(7) = 0x1000 + 0x2000;
  wb(0x2ffe, 0x25);  // source at a7 - 2
  wb(0x2ffc, 0x17);  // destination at a7 - 4
  set_ccr(0);
  EXPECT_EQ(step_at(ABCD_M), 18u);
  EXPECT_EQ(a(7), 0x2ffcu);
  EXPECT_EQ(rb(0x2ffc), 0x42u);
  a(1) = 0x3001;
  a(2) = 0x3101;
  wb(0x3000, 0x05);
  wb(0x3100, 0x12);
  EXPECT_EQ(step_at(SBCD_M), 18u);
  EXPECT_EQ(a(1), 0x3000u);
  EXPECT_EQ(a(2), 0x3100u);
  EXPECT_EQ(rb(0x3100), 0x07u);
}

TEST_F(Arith, ExtendedArithmeticKeepsZAcrossZeroResults) {
  d(0) = 0xffffffff;
  d(1) = 0;
  set_ccr(kX | kZ);
  EXPECT_EQ(step_at(ADDX_L), 8u);
  EXPECT_EQ(d(0), 0u);
  EXPECT_EQ(ccr(), kX | kZ | kC);
  set_ccr(kX);
  d(0) = 0xffffffff;
  step_at(ADDX_L);
  EXPECT_EQ(ccr(), kX | kC);  // a zero result never sets Z
  d(0) = 0x100;
  d(1) = 0;
  set_ccr(kX | kZ);
  EXPECT_EQ(step_at(SUBX_B), 4u);
  EXPECT_EQ(d(0), 0x1ffu);
  EXPECT_EQ(ccr(), kX | kN | kC);
  d(0) = 0x7f;
  d(1) = 0x80;
  set_ccr(0);
  step_at(SUBX_B);  // 0x7f - 0x80 overflows
  EXPECT_EQ(d(0), 0xffu);
  EXPECT_EQ(ccr(), kX | kN | kV | kC);
}

TEST_F(Arith, ExtendedMemoryFormsOnOneRegisterStepTwice) {
  a(0) = 0x3002;
  wb(0x3001, 0x10);  // source
  wb(0x3000, 0x20);  // destination
  set_ccr(kX);
  EXPECT_EQ(step_at(ADDX_BM), 18u);
  EXPECT_EQ(a(0), 0x3000u);
  EXPECT_EQ(rb(0x3000), 0x31u);
  a(1) = 0x3104;
  a(2) = 0x3204;
  wl(0x3100, 1);
  wl(0x3200, 0);
  set_ccr(0);
  EXPECT_EQ(step_at(SUBX_LM), 30u);
  EXPECT_EQ(rl(0x3200), 0xffffffffu);
  EXPECT_EQ(a(1), 0x3100u);
  EXPECT_EQ(a(2), 0x3200u);
}

TEST_F(Arith, CompareMemoryOnOneRegisterReadsConsecutiveWords) {
  a(0) = 0x3000;
  ww(0x3000, 0x0001);  // source
  ww(0x3002, 0x0000);  // destination
  set_ccr(kX);
  EXPECT_EQ(step_at(CMPM_W), 12u);
  EXPECT_EQ(a(0), 0x3004u);
  EXPECT_EQ(ccr(), kX | kN | kC);
}

TEST_F(Arith, AddressRegisterForms) {
  a(0) = 0x0000ffff;
  set_ccr(kZ | kC);
  EXPECT_EQ(step_at(ADDQ_A), 8u);
  EXPECT_EQ(a(0), 0x00010000u);  // the carry reaches the upper word
  EXPECT_EQ(ccr(), kZ | kC);
  a(0) = 0x3000;
  ww(0x3000, 0x8000);
  EXPECT_EQ(step_at(ADDA_POST), 12u);
  EXPECT_EQ(a(0), 0x3002u - 0x8000u);  // incremented a0 plus the extended word
  a(0) = 0xffffffff;
  d(1) = 0xffff;
  set_ccr(0);
  EXPECT_EQ(step_at(CMPA_W), 6u);
  EXPECT_EQ(ccr(), kZ);
  a(0) = 0x0000ffff;
  step_at(CMPA_W);
  EXPECT_EQ(ccr(), kC);
  d(3) = 0x11111111;
  a(3) = 0x22222222;
  EXPECT_EQ(step_at(EXG), 6u);
  EXPECT_EQ(d(3), 0x22222222u);
  EXPECT_EQ(a(3), 0x11111111u);
}

TEST_F(Arith, ByteOperandsOnA7StepByTwo) {
  d(0) = 0x100;
  set_ccr(0);
  EXPECT_EQ(step_at(ADD_BI), 8u);
  EXPECT_EQ(d(0), 0x1ffu);
  EXPECT_EQ(pc(), ADD_BI + 4);
  a(7) = 0x3000;
  wb(0x2ffe, 0);
  EXPECT_EQ(step_at(SUBQ_PRE), 14u);
  EXPECT_EQ(a(7), 0x2ffeu);
  EXPECT_EQ(rb(0x2ffe), 0xffu);
  EXPECT_EQ(ccr(), kX | kN | kC);
}

TEST_F(Arith, ReadModifyWriteUsesTheAddressBeforeTheUpdate) {
  a(0) = 0x3000;
  d(0) = 0xffff;
  ww(0x3000, 0x00ff);
  set_ccr(kX);
  EXPECT_EQ(step_at(EOR_POST), 12u);
  EXPECT_EQ(rw(0x3000), 0xff00u);
  EXPECT_EQ(a(0), 0x3002u);
  EXPECT_EQ(ccr(), kX | kN);
  // An address register above 16 MB keeps its upper bits; the access wraps.
  a(3) = 0x01001000;
  d(3) = 0x8001;
  ww(0x000ffe, 0x0100);
  EXPECT_EQ(step_at(OR_PRE), 14u);
  EXPECT_EQ(a(3), 0x01000ffeu);
  EXPECT_EQ(rw(0x000ffe), 0x8101u);
}

// The indexed forms have a member per extension-word family: the 68000
// reads a brief word and ignores its bits 8-10; the 68020 scales the index
// and reads the full format's displacement words.
TEST_F(Arith, IndexedFormsOnThe68000And68020Tables) {
  for (const u32 model : {0u, 2u}) {
    m68k_model = model;
    m68k_build_dispatch();
    // addq.w #1,8(a0,d1.w*8)
    code_at(0x2000, {0x5270, 0x1608});
    a(0) = 0x3000;
    d(1) = 0xffff0002;
    const u32 target = model ? 0x3000 + 8 + 16 : 0x3000 + 8 + 2;
    ww(target, 0x7fff);
    EXPECT_EQ(step(), 18u);
    EXPECT_EQ(rw(target), 0x8000u) << model;
    EXPECT_EQ(pc(), 0x2004u);
    // addq.w #1,(0x100,a0,d1.w): a full-format word with a word base
    // displacement on the 68020, a brief word with displacement 0x20 on the 68000.
    code_at(0x2000, {0x5270, 0x1120, 0x0100});
    const u32 full = model ? 0x3000 + 0x100 + 2 : 0x3000 + 0x20 + 2;
    ww(full, 1);
    EXPECT_EQ(step(), 18u);
    EXPECT_EQ(rw(full), 2u) << model;
    EXPECT_EQ(pc(), model ? 0x2006u : 0x2004u);
    // cmp.b 6(pc,d1.w),d0: the base is the extension word's address.
    code_at(0x2100, {0xb03b, 0x1006});
    d(1) = 2;
    wb(0x2102 + 6 + 2, 0x42);
    d(0) = 0x42;
    set_ccr(0);
    EXPECT_EQ(step(), 14u);
    EXPECT_EQ(ccr(), kZ);
  }
}

TEST_F(Arith, PackAndUnpackOnThe68020) {
  code_at(0x2000, {0x8340, 0x0000});  // pack d0,d1,#0
  EXPECT_EQ(m68k_dispatch[0x8340], m68k_default_handler);  // not a 68000 instruction
  m68k_model = 2;
  m68k_build_dispatch();
  d(0) = 0xffff0304;
  d(1) = 0xaaaaaaaa;
  set_ccr(kZ | kC);
  EXPECT_EQ(step(), 8u);
  EXPECT_EQ(d(1), 0xaaaaaa34u);
  EXPECT_EQ(pc(), 0x2004u);
  EXPECT_EQ(ccr(), kZ | kC);
  code_at(0x2000, {0x8348, 0x0101});  // pack -(a0),-(a1),#0x0101
  a(0) = 0x3002;
  a(1) = 0x3101;
  wb(0x3000, 0x03);
  wb(0x3001, 0x04);
  EXPECT_EQ(step(), 8u);
  EXPECT_EQ(rb(0x3100), 0x45u);
  EXPECT_EQ(a(0), 0x3000u);
  EXPECT_EQ(a(1), 0x3100u);
  code_at(0x2000, {0x8380, 0x3030});  // unpk d0,d1,#0x3030
  d(0) = 0x34;
  d(1) = 0x55550000;
  EXPECT_EQ(step(), 8u);
  EXPECT_EQ(d(1), 0x55553334u);
  code_at(0x2000, {0x8388, 0x3030});  // unpk -(a0),-(a1),#0x3030
  a(0) = 0x3001;
  a(1) = 0x3102;
  wb(0x3000, 0x34);
  EXPECT_EQ(step(), 8u);
  EXPECT_EQ(rw(0x3100), 0x3334u);
  EXPECT_EQ(a(1), 0x3100u);
  EXPECT_EQ(pc(), 0x2004u);
}
