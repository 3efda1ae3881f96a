// A 68000 program that takes TRAP, line-A, line-F, ILLEGAL and a VBL out of
// STOP, each through its vector and back with RTE, in the run loop. The few
// instructions it uses are local handlers until the instruction set lands.
#include <gtest/gtest.h>

#include "support/cpu_core_fixture.h"
#include "support/m68k_program.h"

namespace {

using namespace core_standins;

m68k_regs& r = m68k_regfile;

u32 h_rte(u32) {
  const u32 sr = MMU_ReadW(r.a[7]);
  const u32 pc = MMU_ReadL(r.a[7] + 2);
  r.a[7] += 6;
  r.sr = u16(sr);
  m68k_sr_apply();
  m68k_jump_to(pc);
  return 20;
}
// ADDQ.W #1,Dn
u32 h_addq_w(u32 op) {
  u32& d = r.d[op & 7];
  d = (d & 0xffff0000u) | ((d + 1) & 0xffff);
  r.pcHost += 2;
  return 4;
}
// ADDQ.L #2,d16(A7)
u32 h_addq_l_a7(u32) {
  const u32 a = r.a[7] + sext16(be_read16(r.pcHost + 2));
  MMU_WriteL(a, MMU_ReadL(a) + 2);
  r.pcHost += 4;
  return 24;
}

}  // namespace

class ExceptionProgram : public CpuCore {};

TEST_F(ExceptionProgram, EveryExceptionReturnsThroughItsVector) {
  install(0x46fc, h_move_to_sr);
  install(0x4e41, h_trap);
  install(0x4e72, h_stop);
  install(0x4e73, h_rte);
  for (u32 n = 1; n <= 5; ++n) install(0x5240 + n, h_addq_w);
  install(0x54af, h_addq_l_a7);
  install(0x4afa, h_leave);
  const auto program = load_m68k_program("cpu_core_exceptions");
  std::memcpy(mem(), program.data(), program.size());
  start(0x400);
  m68k_run_loop();
  EXPECT_EQ(r.d[1], 2u);
  EXPECT_EQ(r.d[2], 1u);
  EXPECT_EQ(r.d[3], 1u);
  EXPECT_EQ(r.d[4], 1u);
  EXPECT_EQ(r.d[5], 1u);
  EXPECT_EQ(r.a[7], 0x8000u);
  EXPECT_EQ(r.imask, 3u);
  EXPECT_EQ(r.inStop, 0);
  EXPECT_EQ(pc(), 0x414u);
  EXPECT_EQ(SCHED_FrameCount, 1u);
}
