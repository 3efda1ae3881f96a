// Whole routines built from lines 5-F instructions: checksums, multi-
// precision and decimal arithmetic, loops over memory. A fault in any one
// handler shows up as a wrong end result.
#include <cstring>

#include "support/cpu_fixture_lines5f.h"

namespace {

class Routines : public CpuLines5F {
 protected:
  void SetUp() override {
    CpuLines5F::SetUp();
    load("l5f_routines");
  }
  // Runs from start until the routine's closing branch to itself.
  static u32 run(u32 start, u32 limit = 100000) {
    m68k_jump_to(start);
    u32 cycles = 0;
    for (;;) {
      const u32 at = pc();
      cycles += step();
      if (pc() == at || !--limit) return cycles;
    }
  }
};

}  // namespace

TEST_F(Routines, Crc16OfTheCheckString) {
  std::memcpy(FLAT_Memory() + 0x4000, "123456789", 9);
  a(0) = 0x4000;
  d(4) = 0x1021;
  d(6) = 8;
  run(0x1000);
  EXPECT_EQ(d(0) & 0xffff, 0x29b1u);
  EXPECT_EQ(a(0), 0x4009u);
}

TEST_F(Routines, MultiPrecisionAddCarriesAcrossLongs) {
  // 0x00000001_ffffffff_ffffffff_ffffffff + 1
  wl(0x4000, 0x00000001);
  wl(0x4004, 0xffffffff);
  wl(0x4008, 0xffffffff);
  wl(0x400c, 0xffffffff);
  wl(0x5000, 0);
  wl(0x5004, 0);
  wl(0x5008, 0);
  wl(0x500c, 1);
  a(0) = 0x4010;
  a(1) = 0x5010;
  set_ccr(kX);
  run(0x1100);
  EXPECT_EQ(rl(0x5000), 2u);
  EXPECT_EQ(rl(0x5004), 0u);
  EXPECT_EQ(rl(0x5008), 0u);
  EXPECT_EQ(rl(0x500c), 0u);
  EXPECT_EQ(ccr() & (kX | kC | kZ), 0u);
  EXPECT_EQ(a(1), 0x5000u);
}

TEST_F(Routines, PackedDecimalAddWithCarryOut) {
  wl(0x4000, 0x12345678);
  wl(0x5000, 0x87654321);
  a(0) = 0x4004;
  a(1) = 0x5004;
  run(0x1200);
  EXPECT_EQ(rl(0x5000), 0x99999999u);
  EXPECT_EQ(ccr() & kX, 0u);
  wl(0x4000, 0x00000001);
  a(0) = 0x4004;
  a(1) = 0x5004;
  set_ccr(kZ);
  run(0x1200);
  EXPECT_EQ(rl(0x5000), 0u);
  EXPECT_EQ(ccr() & (kX | kC | kZ), kX | kC);  // add.l cleared Z first
}

TEST_F(Routines, GreatestCommonDivisor) {
  d(0) = 1071;
  d(1) = 462;
  run(0x1300);
  EXPECT_EQ(d(0), 21u);
  d(0) = 0x80000000;
  d(1) = 0x00030000;
  run(0x1300);
  EXPECT_EQ(d(0), 0x10000u);
}

TEST_F(Routines, SumOfSquares) {
  d(1) = 10;
  run(0x1400);
  EXPECT_EQ(d(0), 385u);
  d(1) = 200;
  run(0x1400);
  EXPECT_EQ(d(0), 2686700u);
}

TEST_F(Routines, DecimalDigitsByRepeatedDivision) {
  d(0) = 54321;
  a(1) = 0x4010;
  run(0x1500);
  EXPECT_EQ(a(1), 0x400bu);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(FLAT_Memory() + 0x400b), 5), "54321");
  d(0) = 655359;  // a quotient of 65535 still fits
  a(1) = 0x4110;
  run(0x1500);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(FLAT_Memory() + 0x410a), 6), "655359");
}
