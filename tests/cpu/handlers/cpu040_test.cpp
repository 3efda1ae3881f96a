// The 68040's own instructions run from assembled 68040 code
// (tests/programs/cpu040.s): the MOVE16 forms, the cache instructions'
// privilege test, PFLUSH and PTEST.
#include "cpu/helpers020.h"
#include "support/cpu_fixture_lines04.h"

namespace {

enum Snippet : u32 {
  kMove16Out, kMove16In, kMove16LineOut, kMove16LineIn, kMove16Both, kMove16Same, kCaches, kMmu,
  kMmuOther,
};

class Cpu040 : public CpuLines04 {
 protected:
  void SetUp() override {
    CpuLines04::SetUp();
    load("cpu040");
    use_model(4);
    for (u32 i = 0; i < 64; ++i) wb(0x5000 + i, i + 1);
    for (u32 i = 0; i < 64; ++i) wb(0x6000 + i, 0x80 + i);
  }
  static u32 stacked_pc() { return rl(a(7) + 2); }
  // Whether the 16 bytes at dst came from src.
  static bool copied(u32 src, u32 dst) { return std::memcmp(mem() + src, mem() + dst, 16) == 0; }
};

}  // namespace

// Addresses are aligned down to the line; (Ay)+ advances by 16 from where
// it was, a register used twice only once.
TEST_F(Cpu040, Move16CopiesAlignedLines) {
  struct Case {
    Snippet s;
    u32 from, to, cycles, a1After;
  };
  const Case cases[] = {{kMove16Out, 0x6000, 0x5000, 12, 0x6019}, {kMove16In, 0x5000, 0x6000, 12, 0x6019},
                        {kMove16LineOut, 0x6000, 0x5000, 12, 0x6009},
                        {kMove16LineIn, 0x5000, 0x6000, 12, 0x6009}};
  for (const Case& c : cases) {
    SetUp();
    a(1) = 0x6009;
    EXPECT_EQ(run(c.s), c.cycles);
    EXPECT_TRUE(copied(c.from, c.to)) << c.s;
    EXPECT_FALSE(copied(c.from + 16, c.to + 16)) << c.s;
    EXPECT_EQ(a(1), c.a1After);
  }
  SetUp();
  a(0) = 0x5013;
  a(1) = 0x6020;
  EXPECT_EQ(run(kMove16Both), 8u);
  EXPECT_TRUE(copied(0x5010, 0x6020));
  EXPECT_EQ(a(0), 0x5023u);
  EXPECT_EQ(a(1), 0x6030u);
  a(0) = 0x5000;
  EXPECT_EQ(run(kMove16Same), 8u);
  EXPECT_EQ(a(0), 0x5010u);
}

TEST_F(Cpu040, CacheInstructionsOnlyTestPrivilege) {
  EXPECT_EQ(run(kCaches), 16u);
  EXPECT_EQ(pc(), snippet(kCaches) + 8);
  enter_user_mode();
  run(kCaches);
  EXPECT_TRUE(at_vector(8));
  EXPECT_EQ(stacked_pc(), snippet(kCaches));
}

TEST_F(Cpu040, PflushAndPtestAndTheRestOfTheirLine) {
  m68k_mmusr = 0x55;
  testing::internal::CaptureStdout();
  EXPECT_EQ(run(kMmu), 8u);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "PFLUSH\nPTEST\n");
  EXPECT_EQ(m68k_mmusr, 0u);
  EXPECT_EQ(run(kMmuOther), 4u + 34u);
  EXPECT_TRUE(at_vector(11));
  EXPECT_EQ(stacked_pc(), snippet(kMmuOther));
}
