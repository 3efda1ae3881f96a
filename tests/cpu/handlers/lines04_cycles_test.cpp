// Cycle counts of the line 0-4 handlers on the 68000 table, one
// instruction of each kind (tests/programs/lines04_cycles.s).
#include "support/cpu_fixture_lines04.h"

namespace {

// In program order; the comments in the program give the instructions.
constexpr u32 kExpected[] = {
    8,  16, 16, 14, 8,  16, 28, 18, 20, 34, 20, 24, 12, 22, 16, 26, 20, 6,  8,  10, 8,  10, 14,
    8,  14, 22, 20, 8,  12, 16, 24, 4,  12, 10, 14, 14, 24, 8,  12, 26, 36, 14, 18, 4,  8,  12,
    18, 12, 4,  6,  12, 20, 14, 18, 28, 6,  14, 18, 16, 12, 22, 12, 14, 18, 20, 4,  12, 12, 8,
    12, 20, 6,  12, 4,  4,  4,  4,  12, 14, 4,  14, 40, 16, 44, 26, 20, 16, 18, 12, 4,  4,  4,
    20, 4};

class Lines04Cycles : public CpuLines04 {};

}  // namespace

TEST_F(Lines04Cycles, EveryKindReturnsItsCount) {
  load("lines04_cycles");
  for (u32 i = 0; i < 7; ++i) a(i) = 0x20000 + 0x100 * i;
  jump(snippet(0));
  for (size_t i = 0; i < std::size(kExpected); ++i) {
    const u32 at = pc();
    const u32 opcode = rw(at);
    EXPECT_EQ(step(), kExpected[i]) << "instruction " << i << " at " << std::hex << at << " opcode " << opcode;
    ASSERT_LT(pc(), kLanding) << "exception after instruction " << i;
  }
  EXPECT_EQ(rw(pc()), 0x4afcu);
}
