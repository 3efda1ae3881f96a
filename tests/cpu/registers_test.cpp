#include <gtest/gtest.h>

#include "cpu/registers.h"
#include "machine/scheduler.h"

namespace {

class StatusRegister : public ::testing::Test {
 protected:
  void SetUp() override {
    m68k_registers_reset();
    SCHED_Reset();
  }
  m68k_regs& r = m68k_regfile;
  m68k_flags& f = m68k_ccflags;
  void apply(u16 sr) {
    r.sr = sr;
    m68k_sr_apply();
  }
};

}  // namespace

TEST_F(StatusRegister, ComposeAndApplyRoundTrip) {
  r.s = 1;
  r.imask = 7;
  f.c = 1;
  f.x = 1;
  m68k_sr_compose();
  EXPECT_EQ(r.sr, 0x2711);

  apply(0xA71F);  // T1, S, mask 7, all flags; bits 11 and 7-5 dropped
  EXPECT_EQ(r.t1, 1);
  EXPECT_EQ(r.t0, 0);
  EXPECT_EQ(r.s, 1);
  EXPECT_EQ(r.imask, 7u);
  EXPECT_EQ(f.c + f.v + f.z + f.n + f.x, 5u);
  r.sr = 0;
  m68k_sr_compose();
  EXPECT_EQ(r.sr, 0xA71F);
  apply(0xFFFF);
  m68k_sr_compose();
  EXPECT_EQ(r.sr, 0xF71F);
}

TEST_F(StatusRegister, SupervisorChangeSwapsStacksOn68000) {
  r.s = 0;
  r.a[7] = 0x1000;  // user stack
  r.isp = 0x8000;
  f.c = f.z = 1;
  apply(0x2700);
  EXPECT_EQ(r.usp, 0x1000u);
  EXPECT_EQ(r.a[7], 0x8000u);
  EXPECT_EQ(r.imask, 7u);
  EXPECT_EQ(f.c + f.z + f.n + f.v + f.x, 0u);

  r.a[7] = 0x7FF0;
  apply(0x0000);
  EXPECT_EQ(r.isp, 0x7FF0u);
  EXPECT_EQ(r.a[7], 0x1000u);
}

TEST_F(StatusRegister, FlagsOnlyChangeStillNotifiesScheduler) {
  r.s = 1;
  r.a[7] = 0x4000;
  r.usp = 0x1111;
  r.isp = 0x2222;
  m68k_sr_changed = 0;
  SCHED_NextEvent = 12345;
  apply(0x271F);
  EXPECT_EQ(r.a[7], 0x4000u);
  EXPECT_EQ(r.usp, 0x1111u);
  EXPECT_EQ(r.isp, 0x2222u);
  EXPECT_EQ(m68k_sr_changed, 1u);
  EXPECT_NE(SCHED_NextEvent, 12345);
}

TEST_F(StatusRegister, TraceBitsDrivePendingWork) {
  apply(0x8000);
  EXPECT_TRUE(r.pending & m68k_pend_trace);
  r.pending |= m68k_pend_trace_now | m68k_pend_interrupt;
  apply(0x2000);
  EXPECT_FALSE(r.pending & (m68k_pend_trace | m68k_pend_trace_now));
  EXPECT_TRUE(r.pending & m68k_pend_interrupt);
  apply(0x4000);  // T0 alone also arms the check
  EXPECT_TRUE(r.pending & m68k_pend_trace);
}

TEST_F(StatusRegister, MasterBitIsKeptButMovesNothingOn68000) {
  r.s = 1;
  r.a[7] = 0x5000;
  r.isp = 0x6000;
  r.msp = 0x7000;
  apply(0x3000);
  EXPECT_EQ(r.m, 1);
  EXPECT_EQ(r.a[7], 0x5000u);
  m68k_sr_compose();
  EXPECT_EQ(r.sr & 0x1000, 0x1000);
}

TEST_F(StatusRegister, MasterStackOnLaterModels) {
  m68k_model = 2;
  r.s = 1;
  r.m = 0;
  r.a[7] = 0x5000;  // interrupt stack active
  r.msp = 0x7000;
  apply(0x3000);    // M set: switch to master stack
  EXPECT_EQ(r.isp, 0x5000u);
  EXPECT_EQ(r.a[7], 0x7000u);
  r.usp = 0x100;
  apply(0x1000);    // leave supervisor with M set: A7 goes to msp
  EXPECT_EQ(r.msp, 0x7000u);
  EXPECT_EQ(r.a[7], 0x100u);
  apply(0x3000);    // enter supervisor with M set: master stack again
  EXPECT_EQ(r.usp, 0x100u);
  EXPECT_EQ(r.a[7], 0x7000u);
  apply(0x0000);
  r.a[7] = 0x200;
  apply(0x1000);    // only M changes in user mode: nothing moves
  EXPECT_EQ(r.a[7], 0x200u);
}

TEST(Conditions, AllSixteenOnEveryFlagCombination) {
  m68k_registers_reset();
  for (u32 bits = 0; bits < 16; ++bits) {
    m68k_ccflags.c = bits & 1;
    m68k_ccflags.v = (bits >> 1) & 1;
    m68k_ccflags.z = (bits >> 2) & 1;
    m68k_ccflags.n = (bits >> 3) & 1;
    const bool c = bits & 1, v = bits & 2, z = bits & 4, n = bits & 8;
    const bool expected[16] = {true,  false,  !c && !z, c || z, !c,     c,
                               !z,    z,      !v,       v,      !n,     n,
                               n == v, n != v, !z && n == v, z || n != v};
    for (u32 cc = 0; cc < 16; ++cc) {
      EXPECT_EQ(m68k_cond_true(cc), u32(expected[cc])) << cc << " flags " << bits;
      EXPECT_EQ(m68k_cond_true_core(cc), u32(expected[cc]));
    }
  }
  EXPECT_DEATH(m68k_cond_true_core(16), "");
}
