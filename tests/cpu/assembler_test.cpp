#include <gtest/gtest.h>

#include "common/endian.h"
#include "support/m68k_program.h"

TEST(M68kPrograms, AssemblesToRawBigEndianImage) {
  const auto bin = load_m68k_program("assembler_smoke");
  ASSERT_EQ(bin.size(), 14u);
  EXPECT_EQ(be_read16(&bin[0]), 0x7001u);   // moveq #1,d0
  EXPECT_EQ(be_read16(&bin[2]), 0x4e71u);   // nop
  EXPECT_EQ(be_read16(&bin[4]), 0x323cu);   // move.w #imm,d1
  EXPECT_EQ(be_read16(&bin[6]), 0x1234u);
  EXPECT_EQ(be_read16(&bin[8]), 0x6002u);   // bra.s over the illegal
  EXPECT_EQ(be_read16(&bin[12]), 0x4afcu);
}
