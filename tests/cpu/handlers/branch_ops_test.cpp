// Branches, DBcc and Scc run from assembled code, including the one-word
// branch to an odd address of the 68000 table and branches whose target
// lies in another host memory region.
#include <vector>

#include "cpu/handler_tables.h"
#include "machine/memory.h"
#include "support/cpu_fixture_lines5f.h"


namespace {

constexpr u32 DBF = 0x1000, DBEQ = 0x1010, BEQ_ODD = 0x1020, BRA_ODD = 0x1030, BSR_L = 0x1040,
              BSR_S = 0x1060, BEQ_W0 = 0x1080, ST_POST = 0x1090, SNE_PRE = 0x10a0, SEQ = 0x10b0,
              BRA_SELF = 0x10c0, DBT = 0x10d0, SUM = 0x1100;

class Branches : public CpuLines5F {
 protected:
  void SetUp() override {
    CpuLines5F::SetUp();
    load("l5f_branches");
  }
  // Runs until pc reaches `stop`, at most `limit` instructions; returns the
  // cycles taken.
  static u32 run_until(u32 stop, u32 limit = 1000) {
    u32 cycles = 0;
    while (pc() != stop && limit--) cycles += step();
    return cycles;
  }
};

}  // namespace

TEST_F(Branches, DbfCounterRunsOutAtZero) {
  d(0) = 0xabcd0001;
  EXPECT_EQ(step_at(DBF), 10u);  // 1 -> 0, branches to itself
  EXPECT_EQ(pc(), DBF);
  EXPECT_EQ(d(0), 0xabcd0000u);
  EXPECT_EQ(step(), 14u);  // 0 -> 0xffff, falls through
  EXPECT_EQ(d(0), 0xabcdffffu);
  EXPECT_EQ(pc(), DBF + 4);
  d(0) = 0x00010000;  // only the low word counts
  EXPECT_EQ(step_at(DBF), 14u);
  EXPECT_EQ(d(0), 0x0001ffffu);
}

TEST_F(Branches, DbccConditionTrueLeavesTheCounter) {
  d(1) = 0;
  set_ccr(kZ);
  EXPECT_EQ(step_at(DBEQ), 12u);
  EXPECT_EQ(d(1), 0u);
  EXPECT_EQ(pc(), DBEQ + 4);
  set_ccr(0);
  d(1) = 5;
  EXPECT_EQ(step_at(DBEQ), 10u);
  EXPECT_EQ(d(1), 4u);
  EXPECT_EQ(pc(), DBF);  // backwards, counted from the extension word
  d(2) = 0;
  EXPECT_EQ(step_at(DBT), 12u);
  EXPECT_EQ(d(2), 0u);
}

TEST_F(Branches, OddByteBranchOfThe68000Table) {
  if (m68k_prefetch_mode) GTEST_SKIP() << "table 5 takes it as the byte branch by -1 (its own tests)";
  set_ccr(0);
  EXPECT_EQ(step_at(BEQ_ODD), 12u);  // not taken: one word, 12 cycles
  EXPECT_EQ(pc(), BEQ_ODD + 2);
  set_ccr(kZ);
  m68k_fault_pc = m68k_fault_addr = 0;
  EXPECT_EQ(step_at(BEQ_ODD), 12u + 50u);  // the address error's 50 on top
  EXPECT_EQ(m68k_fault_pc, BEQ_ODD + 4);
  EXPECT_EQ(m68k_fault_addr, BEQ_ODD + 3);
  EXPECT_EQ(m68k_fault_opcode, 0x67ff);
  EXPECT_EQ(pc(), rl(0x0c));  // vector 3
  set_ccr(0);
  EXPECT_EQ(step_at(BRA_ODD), 12u + 50u);
  EXPECT_EQ(pc(), rl(0x0c));
}

TEST_F(Branches, OddByteBranchIsTheLongBranchOnThe68020) {
  m68k_model = 2;
  m68k_build_dispatch();
  wl(BEQ_ODD + 2, 0x100);
  set_ccr(kZ);
  EXPECT_EQ(step_at(BEQ_ODD), 10u);
  EXPECT_EQ(pc(), BEQ_ODD + 2 + 0x100);
  set_ccr(0);
  EXPECT_EQ(step_at(BEQ_ODD), 12u);
  EXPECT_EQ(pc(), BEQ_ODD + 6);
}

TEST_F(Branches, SubroutineCallsPushTheNextAddress) {
  a(7) = 0x10000;
  EXPECT_EQ(step_at(BSR_L), 18u);
  EXPECT_EQ(pc(), BSR_L + 2 + 16);
  EXPECT_EQ(a(7), 0xfffcu);
  EXPECT_EQ(rl(0xfffc), BSR_L + 6);
  EXPECT_EQ(step_at(BSR_S), 18u);
  EXPECT_EQ(pc(), 0x1070u);
  EXPECT_EQ(a(7), 0xfff8u);
  EXPECT_EQ(rl(0xfff8), BSR_S + 2);
}

TEST_F(Branches, WordDisplacementsCountFromTheExtensionWord) {
  set_ccr(kZ);
  EXPECT_EQ(step_at(BEQ_W0), 10u);
  EXPECT_EQ(pc(), BEQ_W0 + 2);
  set_ccr(0);
  EXPECT_EQ(step_at(BEQ_W0), 12u);
  EXPECT_EQ(pc(), BEQ_W0 + 4);
  EXPECT_EQ(step_at(BRA_SELF), 10u);
  EXPECT_EQ(pc(), BRA_SELF);
}

TEST_F(Branches, SetByConditionWritesWithoutTouchingFlags) {
  a(7) = 0x3000;
  set_ccr(kN | kZ);
  EXPECT_EQ(step_at(ST_POST), 12u);
  EXPECT_EQ(rb(0x3000), 0xffu);
  EXPECT_EQ(a(7), 0x3002u);
  a(3) = 0x3101;
  wb(0x3100, 0x55);
  EXPECT_EQ(step_at(SNE_PRE), 14u);
  EXPECT_EQ(rb(0x3100), 0x00u);
  EXPECT_EQ(a(3), 0x3100u);
  d(0) = 0x12345600;
  EXPECT_EQ(step_at(SEQ), 4u);
  EXPECT_EQ(d(0), 0x123456ffu);
  EXPECT_EQ(ccr(), kN | kZ);
}

TEST_F(Branches, LoopsRunToTheirEnd) {
  m68k_jump_to(SUM);
  run_until(SUM + 0x1c);
  EXPECT_EQ(d(0), 55u);
  EXPECT_EQ(d(2), 10u);
  EXPECT_EQ(d(4), 10u);
  EXPECT_EQ(d(3) & 0xffff, 0xffffu);
}

TEST_F(Branches, ConditionalTrapIsA68020Instruction) {
  code_at(0x2000, {0x56fa, 0x1234});  // trapne.w
  EXPECT_EQ(m68k_dispatch[0x56fa], m68k_default_handler);
  wl(7 * 4, 0x2100);
  m68k_model = 2;
  m68k_build_dispatch();
  set_ccr(kZ);
  EXPECT_EQ(step_at(0x2000), 8u);
  EXPECT_EQ(pc(), 0x2004u);
  set_ccr(0);
  EXPECT_EQ(step_at(0x2000), 8u + 34u);  // vector 7 costs 34
  EXPECT_EQ(pc(), 0x2100u);
  EXPECT_EQ(rl(a(7) + 2), 0x2004u);
}

// Two regions of host memory that are not one block: the low 64 KB and the
// next 64 KB come from separate buffers.
namespace {

std::vector<u8> region_b(0x10000);
u32 b_getL(u32 a) { return be_read32(&region_b[a & 0xffff]); }
u32 b_getW(u32 a) { return be_read16(&region_b[a & 0xffff]); }
u32 b_getB(u32 a) { return region_b[a & 0xffff]; }
void b_putL(u32 a, u32 v) { be_write32(&region_b[a & 0xffff], v); }
void b_putW(u32 a, u32 v) { be_write16(&region_b[a & 0xffff], v); }
void b_putB(u32 a, u32 v) { region_b[a & 0xffff] = u8(v); }
u8* b_host(u32 a) { return &region_b[a & 0xffff]; }
u32 b_check(u32, u32) { return 1; }
const MMU_Bank bank_b = {b_getL, b_getW, b_getB, b_putL, b_putW, b_putB, b_host, b_check};

class RegionBranches : public CpuLines5F {
 protected:
  void SetUp() override {
    CpuLines5F::SetUp();
    std::fill(region_b.begin(), region_b.end(), 0);
    MMU_bankTable[1] = &bank_b;
  }
};

}  // namespace

TEST_F(RegionBranches, WordBranchAcrossTheRegionEdgeEntersTheOtherRegion) {
  code_at(0xfff0, {0x6000, 0x001c});  // bra.w to 0x1000e
  be_write16(&region_b[0x000e], 0x7005);  // moveq #5,d0
  EXPECT_EQ(step(), 10u);
  EXPECT_EQ(pc(), 0x1000eu);
  EXPECT_EQ(m68k_regfile.pcHost, &region_b[0x000e]);
  step();
  EXPECT_EQ(d(0), 5u);
}

TEST_F(RegionBranches, BranchesBackAndSubroutineCallsAcrossRegions) {
  // In region B: bsr.l back to 0x2000, whose code is moveq #7,d1.
  m68k_jump_to(0x10100);
  be_write16(&region_b[0x100], 0x61ff);
  be_write32(&region_b[0x102], 0x2000 - 0x10102);
  ww(0x2000, 0x7207);
  a(7) = 0x8000;
  EXPECT_EQ(step(), 18u);
  EXPECT_EQ(pc(), 0x2000u);
  EXPECT_EQ(rl(0x7ffc), 0x10106u);
  step();
  EXPECT_EQ(d(1), 7u);
  // DBcc out of region A into region B.
  code_at(0xfffa, {0x51c8, 0x0010});  // dbf d0 to 0x1000c
  be_write16(&region_b[0x000c], 0x7403);  // moveq #3,d2
  d(0) = 3;
  EXPECT_EQ(step(), 10u);
  EXPECT_EQ(pc(), 0x1000cu);
  step();
  EXPECT_EQ(d(2), 3u);
}

TEST_F(RegionBranches, BranchWithinOneRegionOnlyMovesThePointer) {
  code_at(0x8000, {0x6000, 0x1000});  // bra.w to 0x9002
  const u8* base = m68k_regfile.pcBase;
  EXPECT_EQ(step(), 10u);
  EXPECT_EQ(m68k_regfile.pcBase, base);
  EXPECT_EQ(m68k_regfile.pc, 0x8000u);
  EXPECT_EQ(pc(), 0x9002u);
}

// A 24-bit address wraps: a branch past 16 MB reaches low memory and keeps
// the host pointer inside the buffer.
TEST_F(Branches, BranchPastSixteenMegabytesWraps) {
  code_at(0xfffff0, {0x6000, 0x0020});  // bra.w to 0x1000012
  ww(0x12, 0x7609);  // moveq #9,d3
  EXPECT_EQ(step(), 10u);
  EXPECT_EQ(m68k_regfile.pcHost, FLAT_Memory() + 0x12);
  step();
  EXPECT_EQ(d(3), 9u);
}

// Scc to memory is a plain write: the bank sees no read.
namespace {

u32 reads = 0;
u32 counting_getB(u32 a) {
  ++reads;
  return FLAT_Memory()[a];
}
u32 counting_getW(u32 a) {
  ++reads;
  return be_read16(FLAT_Memory() + a);
}
u32 counting_getL(u32 a) {
  ++reads;
  return be_read32(FLAT_Memory() + a);
}

}  // namespace

TEST_F(Branches, SetByConditionNeverReadsItsOperand) {
  MMU_Bank counting = *MMU_bankTable[0x30];
  counting.getB = counting_getB;
  counting.getW = counting_getW;
  counting.getL = counting_getL;
  MMU_bankTable[0x30] = &counting;
  reads = 0;
  a(3) = 0x300001;
  set_ccr(kZ);
  EXPECT_EQ(step_at(SNE_PRE), 14u);
  EXPECT_EQ(rb(0x300000), 0u);
  EXPECT_EQ(reads, 0u);
  FLAT_Install();
}

TEST_F(Branches, MoveQuickSetsTheWholeRegisterAndKeepsX) {
  code_at(0x2000, {0x76ff, 0x7000});  // moveq #-1,d3; moveq #0,d0
  d(0) = 0x12345678;
  set_ccr(kX | kZ | kV | kC);
  EXPECT_EQ(step(), 4u);
  EXPECT_EQ(d(3), 0xffffffffu);
  EXPECT_EQ(ccr(), kX | kN);
  EXPECT_EQ(step(), 4u);
  EXPECT_EQ(d(0), 0u);
  EXPECT_EQ(ccr(), kX | kZ);
}
