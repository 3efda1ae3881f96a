// Indexed addressing of the 68000 and 68020, and the 68020 helpers: MOVEC,
// long multiply and divide.
#include <gtest/gtest.h>

#include "cpu/effective_address.h"
#include "cpu/helpers020.h"
#include "support/cpu_core_fixture.h"

class IndexedAddress : public CpuCore {};

TEST_F(IndexedAddress, Brief68000WordAndLongIndex) {
  r.a[0] = 0x1000;
  EXPECT_EQ(m68k_ea_indexed000(0x2000, 0x80fe), 0x2ffeu);  // A0.W, displacement -2
  r.d[3] = 0xffff8000;
  EXPECT_EQ(m68k_ea_indexed000(0x10000, 0x3004), 0x8004u);  // D3.W sign-extended
  EXPECT_EQ(m68k_ea_indexed000(0x10000, 0x3804), 0xffff8000u + 0x10004);  // D3.L, wraps
  // Scale and full-format bits mean nothing to the 68000.
  EXPECT_EQ(m68k_ea_indexed000(0x10000, 0x3f04), 0xffff8000u + 0x10004);
  r.a[7] = 0x20;
  EXPECT_EQ(m68k_ea_indexed000(0, 0xf810), 0x30u);
}

TEST_F(IndexedAddress, Brief68020ScalesTheIndex) {
  r.d[1] = 3;
  EXPECT_EQ(m68k_ea_indexed020(0x1000, 0x1010), 0x1013u);  // scale 1
  EXPECT_EQ(m68k_ea_indexed020(0x1000, 0x1610), 0x1028u);  // scale 8
  EXPECT_EQ(m68k_ea_indexed020(0x1000, 0x14f0), 0x1000u - 0x10 + 12);
}

TEST_F(IndexedAddress, FullFormatMemoryIndirectWithSuppressedBase) {
  // Base suppressed, no index, word base displacement 0x7000, indirect.
  code(0x100, {0x7000});
  put32(0x7000, 0x00123456);
  r.pcHost = mem() + 0x100;
  EXPECT_EQ(m68k_ea_indexed020(0x5555, 0x01e1), 0x123456u);
  EXPECT_EQ(r.pcHost, mem() + 0x102);
}

TEST_F(IndexedAddress, FullFormatPreAndPostIndexed) {
  r.d[2] = 0x10;
  put32(0x2010 + 0x100, 0x4000);  // pointer found when the index is added first
  put32(0x2000 + 0x100, 0x6000);  // pointer found when it is added after
  // base A = 0x2000, long bd 0x100, index D2.L*2? scale 1; word outer 8.
  code(0x100, {0x0000, 0x0100, 0x0008});
  r.pcHost = mem() + 0x100;
  EXPECT_EQ(m68k_ea_indexed020(0x2000, 0x2932), 0x4008u);  // pre-indexed
  EXPECT_EQ(r.pcHost, mem() + 0x106);
  r.pcHost = mem() + 0x100;
  EXPECT_EQ(m68k_ea_indexed020(0x2000, 0x2936), 0x6018u);  // post-indexed
  // No indirection: base + bd + index, the word after stays unread.
  r.pcHost = mem() + 0x100;
  EXPECT_EQ(m68k_ea_indexed020(0x2000, 0x2930), 0x2110u);
  EXPECT_EQ(r.pcHost, mem() + 0x104);
  // Index suppressed, long outer displacement.
  code(0x200, {0x0100, 0x0001, 0x0000});
  r.pcHost = mem() + 0x200;
  put32(0x2100, 0x8000);
  EXPECT_EQ(m68k_ea_indexed020(0x2000, 0x2963), 0x18000u);
}

class LongArithmetic : public CpuCore {};

TEST_F(LongArithmetic, Div64AtTheOverflowBoundary) {
  u32 q = 0xdead, rem = 0xbeef;
  EXPECT_EQ(m68k_div64(5, 0, 5, &q, &rem), 1u);
  EXPECT_EQ(q, 0xdeadu);
  EXPECT_EQ(m68k_div64(4, 0xffffffff, 5, &q, &rem), 0u);
  EXPECT_EQ(q, u32(((u64(4) << 32) | 0xffffffffu) / 5));
  EXPECT_EQ(rem, u32(((u64(4) << 32) | 0xffffffffu) % 5));
  EXPECT_EQ(m68k_div64(0xfffffffe, 0xffffffff, 0xffffffff, &q, &rem), 0u);
  EXPECT_EQ(q, 0xffffffffu);
  EXPECT_EQ(rem, 0xfffffffeu);
}

TEST_F(LongArithmetic, SignedDivideGivesRemainderTheDividendsSign) {
  r.d[0] = u32(-7);
  m68k_div_long(0x4c40, 2, 0x0801, 0x1000);  // DIVS.L D0 / 2, remainder in D1
  EXPECT_EQ(r.d[0], u32(-3));
  EXPECT_EQ(r.d[1], u32(-1));
  EXPECT_EQ(f.n, 1u);
  r.d[0] = 0x80000000;
  m68k_div_long(0x4c40, u32(-1), 0x0801, 0x1000);
  EXPECT_EQ(f.v, 1u);
  EXPECT_EQ(r.d[0], 0x80000000u);
}

TEST_F(LongArithmetic, UnsignedSixtyFourBitOverflowChangesNoRegister) {
  r.d[0] = 0;
  r.d[1] = 7;  // high half
  f.z = 1;
  m68k_div_long(0x4c40, 7, 0x0401, 0x1000);
  EXPECT_EQ(f.v, 1u);
  EXPECT_EQ(f.n, 1u);
  EXPECT_EQ(f.c, 0u);
  EXPECT_EQ(f.z, 1u);
  EXPECT_EQ(r.d[0], 0u);
  EXPECT_EQ(r.d[1], 7u);
}

TEST_F(LongArithmetic, DivideByZeroTakesVectorFive) {
  vector(5, 0x2000);
  start(0x1004);
  m68k_div_long(0x4c40, 0, 0x0401, 0x1000);
  EXPECT_EQ(pc(), 0x2000u);
  EXPECT_EQ(get32(0x7ffc), 0x1004u);
}

TEST_F(LongArithmetic, MultiplyOverflowAndTheFlagsOfA32BitResult) {
  r.d[0] = 0x10000;
  m68k_mul_long(0x4c00, 0x10000, 0x0800);  // MULS.L, 32-bit result
  EXPECT_EQ(f.v, 1u);
  EXPECT_EQ(r.d[0], 0u);
  EXPECT_EQ(f.z, 1u);
  r.d[0] = 0x80000000;
  m68k_mul_long(0x4c00, 1, 0x0000);  // MULU.L: fits, bit 31 set
  EXPECT_EQ(f.v, 0u);
  EXPECT_EQ(f.n, 1u);
  r.d[0] = u32(-3);
  m68k_mul_long(0x4c00, 5, 0x0c01);  // MULS.L to D1:D0
  EXPECT_EQ(r.d[0], u32(-15));
  EXPECT_EQ(r.d[1], 0xffffffffu);
  EXPECT_EQ(f.n, 1u);
}

TEST_F(LongArithmetic, MovecByModel) {
  vector(4, 0x2000);
  m68k_model = 2;
  u32 v = 0x12345;
  EXPECT_EQ(m68k_movec_to_ctl(0x801, &v), 1u);
  EXPECT_EQ(r.vbr, 0x12345u);
  v = 9;
  EXPECT_EQ(m68k_movec_to_ctl(0x000, &v), 1u);
  EXPECT_EQ(r.sfc, 1u);
  start(0x1000);
  EXPECT_EQ(m68k_movec_to_ctl(0x003, &v), 0u);  // TC: 68040 only
  EXPECT_EQ(MMU_ReadL(r.vbr + 16), 0u);
  m68k_model = 4;
  r.vbr = 0;
  start(0x1000);
  v = 0x9000;
  EXPECT_EQ(m68k_movec_to_ctl(0x803, &v), 1u);
  EXPECT_EQ(r.msp, 0x9000u);
  u32 out = 0;
  EXPECT_EQ(m68k_movec_from_ctl(0x804, &out), 1u);
  EXPECT_EQ(out, r.a[7]);
  EXPECT_EQ(m68k_movec_from_ctl(0x802, &out), 0u);  // no CAAR on the 68040
  EXPECT_EQ(pc(), 0x2000u);
  m68k_model = 1;
  EXPECT_EQ(m68k_movec_from_ctl(0x002, &out), 0u);
}

TEST_F(LongArithmetic, MmuInstructionsFlushTestOrTrap) {
  m68k_mmusr = 0x55;
  testing::internal::CaptureStdout();
  m68k_mmu_instruction(0xf508, 0);  // PFLUSH
  m68k_mmu_instruction(0xf548, 0);  // PTEST
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "PFLUSH\nPTEST\n");
  EXPECT_EQ(m68k_mmusr, 0u);
  vector(11, 0x2000);
  start(0x1000);
  EXPECT_EQ(m68k_mmu_instruction(0xf5c0, 0), 0u);
  EXPECT_EQ(pc(), 0x2000u);  // line F
}
