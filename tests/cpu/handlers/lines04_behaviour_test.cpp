// Behaviour of the line 0-4 handlers that the recorded tests of a real
// 68000 do not reach: PC-relative forms the 68000 lacks, the tables of the
// 68010 and 68020, exception frames, and what a bus error inside an
// instruction leaves behind. Programs: tests/programs/lines04_behaviour.s.
#include "cpu/handlers/common/line04_support.h"
#include "host/screen.h"
#include "machine/bigscreen.h"
#include "support/cpu_fixture_lines04.h"

namespace {

enum Snippet : u32 {
  kCmpiPc, kBchgPc, kBtstImm, kMovep, kMoveA7Bytes, kMoveSameReg, kMovemPredec, kMovemPostinc,
  kSupervisorOp, kTrap15, kChkFails, kLinkUnlk, kReturns, kRte68000, kHighAddress,
  kFormsBeyond68000, kMoveFromSr, kMoveFromCcr, kRteFrames, kIndexed020, kFullFormat, kJsrIndexed,
  kStopOp, kTrapvOp, kBitNumbers, kTasNbcd, kResetOp,
};

class Lines04 : public CpuLines04 {
 protected:
  void SetUp() override {
    CpuLines04::SetUp();
    load("lines04_behaviour");
  }
  // The frame of the last exception on the supervisor stack (68000 layout).
  static u32 stacked_sr() { return rw(a(7)); }
  static u32 stacked_pc() { return rl(a(7) + 2); }
};

}  // namespace

TEST_F(Lines04, CmpiAndBitOperationsReachPcRelativeOperands) {
  run(kCmpiPc);
  EXPECT_EQ(d(0) & kZ, kZ) << "CMPI.W d16(PC) base is opcode + 4";
  EXPECT_EQ(d(1) & kZ, kZ) << "CMPI.L d16(PC) base is opcode + 6";

  const u32 byte = snippet(kBchgPc) + 12;
  d(0) = 8 + 3;  // bit 3 of the byte (modulo 8)
  run(kBchgPc);
  EXPECT_EQ(rb(byte), 0x08u | 0x02u);
  EXPECT_EQ(ccr() & kZ, kZ);  // bit 1 was clear before BCHG #1
}

TEST_F(Lines04, BtstImmediateTestsTheLowByteOfItsWord) {
  d(0) = 11;  // bit 3
  const u32 cycles = run(kBtstImm);
  EXPECT_EQ(d(2) & kZ, 0u);
  EXPECT_EQ(ccr() & kZ, 0u);
  EXPECT_EQ(cycles, 12u + 6 + 8);  // BTST #,# 12; MOVE SR,Dn 6; BTST Dn,# 8
}

TEST_F(Lines04, MovepUsesEverySecondByte) {
  d(0) = 0x11223344;
  a(0) = 0x20000;
  a(1) = 0x20100;
  a(2) = 0x20202;
  d(2) = 0xaaaa5555;
  wb(0x20101, 0x12);
  wb(0x20103, 0x34);
  wb(0x20200, 0x56);
  wb(0x20202, 0x78);
  wl(0x20000, 0xffffffff);
  wl(0x20004, 0xffffffff);
  run(kMovep);
  EXPECT_EQ(rl(0x20000), 0x11ff22ffu);
  EXPECT_EQ(rl(0x20004), 0x33ff44ffu);
  EXPECT_EQ(d(2), 0xaaaa1234u);
  EXPECT_EQ(d(3) & 0xffff, 0x5678u);
}

TEST_F(Lines04, ByteAccessesThroughA7KeepItEven) {
  a(7) = 0x30000;
  a(6) = 0x31001;
  wb(0x30000, 0x9a);
  d(1) = 0x55;
  run(kMoveA7Bytes);
  EXPECT_EQ(d(0) & 0xff, 0x9au);
  EXPECT_EQ(a(7), 0x30000u);  // +2 then -2
  EXPECT_EQ(rb(0x30000), 0x55u);
  EXPECT_EQ(a(6), 0x31001u);  // -1 then +1
  EXPECT_EQ(d(2) & 0xff, 0x55u);
}

TEST_F(Lines04, SameRegisterSourceAndDestinationSeeTheStep) {
  a(0) = 0x20000;
  ww(0x20000, 0xbeef);
  a(1) = 0x21000;
  wb(0x20fff, 0x42);
  a(2) = 0x22000;
  wl(0x22000, 0x12345678);
  run(kMoveSameReg);
  EXPECT_EQ(rw(0x20002), 0xbeefu);
  EXPECT_EQ(a(0), 0x20004u);
  EXPECT_EQ(rb(0x20ffe), 0x42u);
  EXPECT_EQ(a(1), 0x20ffeu);
  EXPECT_EQ(a(2), 0x12345678u) << "MOVEA loads over the step";
}

TEST_F(Lines04, MovemToPredecrementStoresInOrderWithOldRegister) {
  for (u32 i = 0; i < 8; ++i) d(i) = 0xd0 + i;
  for (u32 i = 0; i < 6; ++i) a(i) = 0xa0 + i;
  a(6) = 0x40000;
  const u32 sp = a(7);
  run(kMovemPredec);
  EXPECT_EQ(a(7), sp - 60);
  EXPECT_EQ(rl(sp - 60), 0xd0u);      // D0 lowest
  EXPECT_EQ(rl(sp - 4), 0x40000u);    // A6 highest
  EXPECT_EQ(rl(sp - 8), 0xa5u);
  EXPECT_EQ(a(6), 0x40000u - 4);
  EXPECT_EQ(rl(0x40000 - 4), 0x40000u) << "An in the list is stored with its old value";
}

TEST_F(Lines04, MovemFromMemorySignExtendsWordsAndPostincrementWins) {
  a(0) = 0x20000;
  ww(0x20000, 0x8000);
  ww(0x20002, 0x8001);
  a(2) = 0x21000;
  wl(0x21000, 0xdeadbeef);
  run(kMovemPostinc);
  EXPECT_EQ(d(0), 0xffff8000u);
  EXPECT_EQ(a(1), 0xffff8001u);
  EXPECT_EQ(a(0), 0x20004u);
  EXPECT_EQ(a(2), 0x21004u) << "the final address, not the loaded long";
  EXPECT_EQ(d(3), 0xffff8001u) << "d16(PC) from the displacement word";
}

TEST_F(Lines04, PrivilegeViolationStacksTheOpcodeAddress) {
  enter_user_mode();
  run(kSupervisorOp);
  EXPECT_TRUE(at_vector(8));
  EXPECT_EQ(stacked_pc(), snippet(kSupervisorOp));
  EXPECT_EQ(regs().imask, 7u) << "the mask stays as it was";
}

TEST_F(Lines04, TrapAndChkStackTheNextInstruction) {
  run(kTrap15);
  EXPECT_TRUE(at_vector(47));
  EXPECT_EQ(stacked_pc(), snippet(kTrap15) + 2);

  SetUp();
  a(0) = 0x20000;
  ww(0x20004, 10);  // bound
  d(1) = 0x0000000b;
  run(kChkFails);
  EXPECT_TRUE(at_vector(6));
  EXPECT_EQ(stacked_pc(), snippet(kChkFails) + 4);
  EXPECT_EQ(stacked_sr() & kN, 0u);

  SetUp();
  a(0) = 0x20000;
  d(1) = 0xffff8000;  // negative low word
  run(kChkFails);
  EXPECT_TRUE(at_vector(6));
  EXPECT_EQ(stacked_sr() & kN, kN);

  SetUp();
  a(0) = 0x20000;
  ww(0x20004, 10);
  d(1) = 0x7fff000a;  // low word equal to the bound
  set_ccr(0x0f);
  run(kChkFails);
  EXPECT_FALSE(at_vector(6));
  EXPECT_EQ(ccr(), 0x0fu);
}

TEST_F(Lines04, LinkAndUnlinkBuildAndDropAFrame) {
  a(7) = 0x1000 + 0x20000;
  a(6) = 0x12345678;
  run(kLinkUnlk);
  EXPECT_EQ(rl(0x20ffc), 0x12345678u);
  EXPECT_EQ(d(1), 0x20ffcu);
  EXPECT_EQ(d(0), 0x20ff4u);
  EXPECT_EQ(a(6), 0x12345678u);
  EXPECT_EQ(a(7), 0x21000u);
}

TEST_F(Lines04, ReturnsPopWhatTheyPushed) {
  const u32 sp = a(7);
  set_ccr(0);
  run(kReturns);
  EXPECT_EQ(ccr(), 0x1fu) << "RTR loads the condition codes";
  EXPECT_EQ(sr() & 0xff00, 0x2700u) << "and keeps the system byte";
  EXPECT_EQ(a(7), sp - 4) << "only JSR's return address remains";
  EXPECT_EQ(rl(a(7)), pc() - 2) << "JSR pushes the address after itself";
}

TEST_F(Lines04, Rte68000PopsSixBytes) {
  a(7) = 0x7ff0;
  ww(0x7ff0, 0x0015);  // user mode, X and Z... flags 0x15
  wl(0x7ff2, 0x30000);
  ww(0x30000, 0x4afc);
  regs().usp = 0x60000;
  EXPECT_EQ(step_at(snippet(kRte68000)), 20u);
  EXPECT_EQ(pc(), 0x30000u);
  EXPECT_EQ(regs().s, 0);
  EXPECT_EQ(a(7), 0x60000u);
  EXPECT_EQ(regs().isp, 0x7ff6u);
  EXPECT_EQ(ccr(), 0x15u);
}

TEST_F(Lines04, AddressRegistersKeepBitsAbove24) {
  a(0) = 0x01ff0000;
  a(1) = 0x01ff0000;
  wl(0xff0000, 0x80);
  run(kHighAddress);
  EXPECT_EQ(rl(0xff0000), 0x81u);
  EXPECT_EQ(a(0), 0x01ff0004u);
  EXPECT_EQ(a(1), 0x01ff0000u);
  EXPECT_EQ(ccr() & kZ, kZ);  // bit 0 of the byte 0x00 at 0xff0000
}

TEST_F(Lines04, The68000TableRunsTstChkLAndExtbL) {
  a(0) = 0x12348000;
  a(1) = 0x20000;
  wl(0x20000, 100);
  d(0) = 50;
  d(2) = 0x80;
  run(kFormsBeyond68000);
  EXPECT_EQ(d(4) & (kN | kZ), kN) << "TST.W A0 looks at the low word";
  EXPECT_EQ(d(5) & kZ, kZ);
  EXPECT_FALSE(at_vector(6));
  EXPECT_EQ(d(2), 0xffffff80u);
}

TEST_F(Lines04, MoveFromSrIsFreeOnThe68000AndPrivilegedOnThe68010) {
  d(3) = 0xabcd0000;
  enter_user_mode();
  run(kMoveFromSr);
  EXPECT_FALSE(at_vector(8));
  EXPECT_EQ(d(3), 0xabcd0000u | (sr() & 0xffff));

  SetUp();
  use_model(1);
  enter_user_mode();
  run(kMoveFromSr);
  EXPECT_TRUE(at_vector(8));
  EXPECT_EQ(stacked_pc(), snippet(kMoveFromSr));
}

TEST_F(Lines04, MoveFromCcrExistsFromThe68010On) {
  run(kMoveFromCcr);
  EXPECT_TRUE(at_vector(4));

  SetUp();
  use_model(1);
  d(3) = 0xffffffff;
  set_ccr(0x1b);
  enter_user_mode();
  run(kMoveFromCcr);
  EXPECT_FALSE(at_vector(4));
  EXPECT_EQ(d(3), 0xffff001bu);
}

TEST_F(Lines04, Rte68010FollowsTheFormatWord) {
  use_model(1);
  ww(0x30000, 0x4afc);
  auto frame = [](u32 at, u32 sr, u32 pc, u32 format) {
    ww(at, sr);
    wl(at + 2, pc);
    ww(at + 6, format);
  };
  a(7) = 0x7000;
  frame(0x7000, 0x2000, 0x30000, 0x2018);  // format 2: 12 bytes
  run(kRteFrames);
  EXPECT_EQ(pc(), 0x30000u);
  EXPECT_EQ(a(7), 0x700cu);

  a(7) = 0x7000;
  frame(0x7000, 0x2700, 0x12345, 0x1000);  // throwaway, then a format-0 frame
  frame(0x7008, 0x2300, 0x30000, 0x0000);
  run(kRteFrames);
  EXPECT_EQ(pc(), 0x30000u);
  EXPECT_EQ(a(7), 0x7010u);
  EXPECT_EQ(regs().imask, 3u);

  a(7) = 0x7000;
  frame(0x7000, 0x2000, 0x30000, 0x5000);  // no such format
  run(kRteFrames);
  EXPECT_TRUE(at_vector(14));
}

TEST_F(Lines04, IndexScaleAndFullFormatOnlyOnThe68020Tables) {
  a(0) = 0x20000;
  d(0) = 2;
  ww(0x20002, 0x1111);
  ww(0x20008, 0x2222);
  ww(0x20102, 0x3333);
  run(kIndexed020);
  EXPECT_EQ(d(1) & 0xffff, 0x1111u) << "68000: scale bits ignored";

  use_model(2);
  run(kIndexed020);
  EXPECT_EQ(d(1) & 0xffff, 0x2222u) << "68020: index times 4";

  run(kFullFormat);
  EXPECT_EQ(d(1) & 0xffff, 0x3333u);
  EXPECT_EQ(d(2) & 0xffff, 7u) << "the next instruction follows the displacement";
}

TEST_F(Lines04, JsrIndexedPushesTheAddressAfterIt) {
  d(0) = 2;
  const u32 sp = a(7);
  run(kJsrIndexed);
  EXPECT_EQ(pc(), snippet(kJsrIndexed) + 2 + 4 + 2);
  EXPECT_EQ(a(7), sp - 4);
  EXPECT_EQ(rl(a(7)), snippet(kJsrIndexed) + 4);
}

TEST_F(Lines04, StopLoadsTheStatusRegisterAndStops) {
  EXPECT_EQ(step_at(snippet(kStopOp)), 4u);
  EXPECT_EQ(regs().imask, 3u);
  EXPECT_EQ(regs().inStop, 1);
  EXPECT_NE(regs().pending & m68k_pend_stop, 0u);
  EXPECT_EQ(pc(), snippet(kStopOp) + 4);

  SetUp();
  enter_user_mode();
  run(kStopOp);
  EXPECT_TRUE(at_vector(8));
  EXPECT_EQ(regs().inStop, 0);
}

TEST_F(Lines04, TrapvTrapsOnlyOnOverflow) {
  run(kTrapvOp);
  EXPECT_FALSE(at_vector(7));
  set_ccr(kV);
  run(kTrapvOp);
  EXPECT_TRUE(at_vector(7));
  EXPECT_EQ(stacked_pc(), snippet(kTrapvOp) + 2);
}

TEST_F(Lines04, BitNumbersWrapByOperandSize) {
  d(0) = 0x2;
  d(1) = 33;  // bit 1 of a register
  d(3) = 0;
  d(4) = 0;
  a(0) = 0x20000;
  run(kBitNumbers);
  EXPECT_EQ(d(2) & kZ, 0u);
  EXPECT_EQ(d(3), 0x80000000u);
  EXPECT_EQ(d(4), 0x20u);
  EXPECT_EQ(rb(0x20000), 0x80u);
  EXPECT_EQ(ccr() & kZ, kZ);
}

TEST_F(Lines04, TasAndNbcd) {
  a(0) = 0x20000;
  d(0) = 0x01;
  set_ccr(kZ);
  run(kTasNbcd);
  EXPECT_EQ(rb(0x20000), 0x80u);
  EXPECT_EQ(d(0) & 0xff, 0x99u);
  EXPECT_EQ(ccr(), kX | kN | kC) << "NBCD of 1 clears Z, sets N and the borrow";
}

// The hardware reset clears the Line-A base the screen driver recorded;
// that is how the test sees it run.
TEST_F(Lines04, ResetResetsTheDevicesOnlyInSupervisorMode) {
  SCREEN_LineABase = 0x1234;
  EXPECT_EQ(step_at(snippet(kResetOp)), 132u);
  EXPECT_EQ(SCREEN_LineABase, 0u);
  EXPECT_EQ(pc(), snippet(kResetOp) + 2);
  EXPECT_EQ(regs().s, 1);

  SCREEN_LineABase = 0x1234;
  enter_user_mode();
  EXPECT_EQ(step_at(snippet(kResetOp)), 132u + 34u);  // privilege violation
  EXPECT_EQ(SCREEN_LineABase, 0x1234u);
  EXPECT_TRUE(at_vector(8));
  SCREEN_LineABase = 0;
}
