#include "support/flat_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "machine/memory.h"

namespace {

std::vector<u32> touched() {
  const u32* pages;
  const u32 n = FLAT_TouchedPages(&pages);
  std::vector<u32> v(pages, pages + n);
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

TEST(FlatMemory, BankWritesAreRememberedByPage) {
  FLAT_Install();
  EXPECT_TRUE(touched().empty());
  MMU_WriteB(0x000123, 0x11);
  MMU_WriteW(0x0001FF, 0x2233);   // straddles pages 1 and 2
  MMU_WriteL(0xFFFFFE, 0x44556677);  // wraps from the last page to page 0
  MMU_WriteW(0x000124, 0x8899);   // page 1 again: listed once
  EXPECT_EQ(touched(), (std::vector<u32>{0x0, 0x1, 0x2, 0xFFFF}));
  EXPECT_EQ(MMU_ReadL(0xFFFFFE), 0x44556677u);
  EXPECT_EQ(FLAT_Memory()[0x000001], 0x77);
}

TEST(FlatMemory, ClearTouchedZeroesOnlyWrittenPages) {
  FLAT_Install();
  u8* mem = FLAT_Memory();
  mem[0x345678] = 0x5A;  // written behind the bank's back and not reported
  MMU_WriteL(0x0001FE, 0xDEADBEEF);
  MMU_WriteB(0xFFFFFF, 0x42);
  mem[0x000210] = 0x99;  // same page as a bank write: cleared with it
  FLAT_ClearTouched();
  EXPECT_EQ(MMU_ReadL(0x0001FE), 0u);
  EXPECT_EQ(mem[0xFFFFFF], 0);
  EXPECT_EQ(mem[0x000210], 0);
  EXPECT_EQ(mem[0x345678], 0x5A);
  EXPECT_TRUE(touched().empty());

  // Marked pages are cleared the same way, and the list starts afresh.
  FLAT_Touch(0x3456FF, 2);
  FLAT_Touch(0xFFFFFF, 2);  // wraps to page 0
  FLAT_Touch(0x001000, 0);
  EXPECT_EQ(touched(), (std::vector<u32>{0x0, 0x3456, 0x3457, 0xFFFF}));
  FLAT_ClearTouched();
  EXPECT_EQ(mem[0x345678], 0);
  MMU_WriteB(0x000010, 1);
  EXPECT_EQ(touched(), (std::vector<u32>{0x0}));

  // A new install forgets them all.
  FLAT_Install();
  EXPECT_TRUE(touched().empty());
  EXPECT_EQ(mem[0x000010], 0);
}
