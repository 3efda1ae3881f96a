// Exception entry: frames, vectors, stacked PCs and costs per kind, the
// deferred group-0 frame, and the faults of the exception machinery.
#include <gtest/gtest.h>

#include "support/cpu_core_fixture.h"

namespace {

using namespace core_standins;

// A ROM-like bank at 0xfc0000: reads the flat memory, a write is a bus error.
u32 rom_getL(u32 a) { return be_read32(FLAT_Memory() + a); }
u32 rom_getW(u32 a) { return be_read16(FLAT_Memory() + a); }
u32 rom_getB(u32 a) { return FLAT_Memory()[a]; }
void rom_put(u32, u32) { m68k_raise_exception(2, 0); }
u8* rom_host(u32 a) { return FLAT_Memory() + a; }
u32 any_check(u32, u32) { return 1; }
constexpr MMU_Bank rom_bank = {rom_getL, rom_getW, rom_getB, rom_put, rom_put, rom_put, rom_host, any_check};

// An I/O-like bank at 0xff0000: every access is a bus error, reads give 0xaa.
u32 io_get(u32) {
  m68k_raise_exception(2, 0);
  return 0xaaaaaaaa;
}
void io_put(u32, u32) { m68k_raise_exception(2, 0); }
u8* no_host(u32) { return nullptr; }
constexpr MMU_Bank io_bank = {io_get, io_get, io_get, io_put, io_put, io_put, no_host, any_check};

void install_rom_and_io() {
  MMU_bankTable[0xfc] = &rom_bank;
  MMU_bankTable[0xff] = &io_bank;
}

u32 h_privileged(u32) {
  m68k_raise_exception(8, 0);
  return 4;
}
u32 h_trapv(u32) {
  const u32 at = m68k_get_pc();
  m68k_regfile.pcHost += 2;
  m68k_raise_exception(7, at);
  return 4;
}
// MOVE.W D0,(A0)
u32 h_move_d0_a0(u32) {
  MMU_WriteW(m68k_regfile.a[0], m68k_regfile.d[0]);
  m68k_regfile.pcHost += 2;
  return 8;
}
// Two faulting accesses, then RAM traffic that must not happen.
u32 h_two_faults(u32) {
  m68k_regs& r = m68k_regfile;
  MMU_WriteW(0xfc0010, 1);                 // bus error
  r.d[1] = MMU_ReadW(0xff8800);            // would be a second one
  MMU_WriteW(0x3000, 0x1234);              // dropped
  r.d[2] = MMU_ReadW(0x5000);              // fill value
  r.pcHost += 2;
  return 12;
}
// A faulting write followed by a push on A7, as -(A7) does.
u32 h_fault_then_push(u32) {
  m68k_regs& r = m68k_regfile;
  MMU_WriteW(0xfc0010, 1);
  r.a[7] -= 2;
  MMU_WriteW(r.a[7], 0xbeef);
  r.pcHost += 2;
  return 8;
}
// MOVE.W (A0),D0 at an odd address on a processor that checks alignment.
u32 h_address_error(u32 op) {
  m68k_regs& r = m68k_regfile;
  m68k_fault_opcode = u16(op);
  m68k_fault_pc = m68k_get_pc() + 2;
  m68k_fault_addr = r.a[0];
  m68k_raise_exception(3, 0);
  m68k_raise_exception(3, 0);  // a second report of the same fault changes nothing
  r.pcHost += 2;
  return 8;
}

}  // namespace

class Exceptions : public CpuCore {};

TEST_F(Exceptions, TrapInUserModeStacksNextPcOnSupervisorStack) {
  install(0x4e41, h_trap);
  code(0x1000, {0x4e41});
  vector(33, 0x2000);
  r.s = 0;
  r.a[7] = 0x4000;
  r.isp = 0x8000;
  r.t1 = 1;
  f.c = 1;
  start(0x1000);
  EXPECT_EQ(m68k_step(), 4u + 34u);
  EXPECT_EQ(r.usp, 0x4000u);
  EXPECT_EQ(r.a[7], 0x8000u - 6);
  EXPECT_EQ(get16(0x7ffa), 0x8701u);      // T1, mask 7, user mode, C
  EXPECT_EQ(get32(0x7ffc), 0x1002u);      // the instruction after the TRAP
  EXPECT_EQ(r.s, 1);
  EXPECT_EQ(r.t1, 0);
  EXPECT_EQ(pc(), 0x2000u);
}

// The handler address of the autovectors and traps (vectors 24 and up) is
// cut to 24 bits; one from a lower vector keeps all 32 bits in the PC.
TEST_F(Exceptions, HandlerAddressesFromVector24UpAreCutTo24Bits) {
  install(0x4e41, h_trap);
  code(0x1000, {0x4e41, 0x4afc});
  vector(33, 0xab002000);
  start(0x1000);
  m68k_step();
  EXPECT_EQ(r.pc, 0x002000u);
  EXPECT_EQ(pc(), 0x2000u);

  vector(4, 0xcd003000);
  start(0x1002);
  m68k_step();  // ILLEGAL
  EXPECT_EQ(pc(), 0xcd003000u);
}

TEST_F(Exceptions, UnassignedOpcodesStackTheirOwnAddress) {
  const struct {
    u32 opcode, vector;
  } cases[] = {{0x4afc, 4}, {0xa000, 10}, {0xa123, 10}, {0xf000, 11}, {0xffff, 11}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.opcode);
    r.a[7] = 0x8000;
    vector(c.vector, 0x2000 + 4 * c.vector);
    code(0x1000, {c.opcode});
    start(0x1000);
    EXPECT_EQ(m68k_step(), 4u + 34u);
    EXPECT_EQ(get32(0x7ffc), 0x1000u);
    EXPECT_EQ(pc(), 0x2000u + 4 * c.vector);
  }
}

TEST_F(Exceptions, PrivilegeViolationStacksOwnAddressTrapvTheNext) {
  install(0x4e73, h_privileged);
  install(0x4e76, h_trapv);
  vector(8, 0x2000);
  vector(7, 0x3000);
  code(0x1000, {0x4e73});
  start(0x1000);
  EXPECT_EQ(m68k_step(), 38u);
  EXPECT_EQ(get32(0x7ffc), 0x1000u);
  code(0x2000, {0x4e76});
  EXPECT_EQ(m68k_step(), 38u);
  EXPECT_EQ(get32(0x7ffc - 6), 0x2002u);
  EXPECT_EQ(pc(), 0x3000u);
}

TEST_F(Exceptions, LaterModelsPushFormatWords) {
  m68k_model = 1;
  vector(5, 0x2000);
  vector(32, 0x2000);
  start(0x1000);
  m68k_raise_exception(5, 0x0ffe);
  EXPECT_EQ(r.a[7], 0x8000u - 12);
  EXPECT_EQ(get32(0x7ffc), 0x0ffeu);  // instruction address
  EXPECT_EQ(get16(0x7ffa), 0x2014u);  // format 2, vector offset 0x14
  EXPECT_EQ(get32(0x7ff6), 0x1000u);
  r.a[7] = 0x8000;
  m68k_raise_exception(32, 0);
  EXPECT_EQ(r.a[7], 0x8000u - 8);
  EXPECT_EQ(get16(0x7ffe), 0x0080u);
}

TEST_F(Exceptions, AddressErrorFrameIsFourteenBytesAndExecutionGoesOnAtHandler) {
  install(0x3010, h_address_error);
  install(0x4e71, h_nop);
  vector(3, 0x2000);
  code(0x1000, {0x3010});
  code(0x2000, {0x4e71, 0x4e71});
  r.a[0] = 0x5001;
  f.z = 1;
  start(0x1000);
  EXPECT_EQ(m68k_step(), 8u + 50u);
  EXPECT_EQ(r.a[7], 0x8000u - 14);
  EXPECT_EQ(get16(0x7ff2), 0x2704u);  // SR
  EXPECT_EQ(get32(0x7ff4), 0x5001u);  // access address
  EXPECT_EQ(get16(0x7ff8), 0x3010u);  // instruction register
  EXPECT_EQ(get16(0x7ffa), 0x2704u);  // SR
  EXPECT_EQ(get32(0x7ffc), 0x1002u);  // the fault record's PC
  EXPECT_EQ(pc(), 0x2000u);           // the handler's pcHost advance is overridden
  EXPECT_EQ(be_read16(r.prefetch), 0x4e71u);
  EXPECT_EQ(r.pending & (m68k_pend_fault_resume | m68k_pend_double_fault), 0u);
  EXPECT_EQ(m68k_step(), 4u);
  EXPECT_EQ(pc(), 0x2002u);
}

TEST_F(Exceptions, BusErrorFromABankStacksAddressZeroAndTheWordAtThePc) {
  install_rom_and_io();
  install(0x3080, h_move_d0_a0);
  vector(2, 0x2000);
  code(0x1000, {0x3080});
  put16(0xfc0100, 0x1111);
  r.a[0] = 0xfc0100;
  r.d[0] = 0x2222;
  start(0x1000);
  EXPECT_EQ(m68k_step(), 8u + 50u);
  EXPECT_EQ(get32(0x7ff4), 0u);
  EXPECT_EQ(get16(0x7ff8), 0x3080u);
  EXPECT_EQ(get32(0x7ffc), 0x1000u);
  EXPECT_EQ(get16(0xfc0100), 0x1111u);
  EXPECT_EQ(pc(), 0x2000u);
}

// A second fault in the same instruction is no double fault: one frame, and
// nothing the instruction does after its fault reaches memory.
TEST_F(Exceptions, OneFaultPerInstruction) {
  install_rom_and_io();
  install(0x4e50, h_two_faults);
  vector(2, 0x2000);
  code(0x1000, {0x4e50});
  put16(0x3000, 0x7777);
  put16(0x5000, 0x5555);
  start(0x1000);
  EXPECT_EQ(m68k_step(), 12u + 50u);
  EXPECT_EQ(pc(), 0x2000u);
  EXPECT_EQ(r.a[7], 0x8000u - 14);
  EXPECT_EQ(get16(0x3000), 0x7777u);
  EXPECT_EQ(r.d[1], 0xffffu);
  EXPECT_EQ(r.d[2], 0xffffu);
  EXPECT_EQ(get16(0x5000), 0x5555u);  // RAM not wiped
  EXPECT_EQ(r.pending, 0u);
  // The banks are back: the next instruction reaches memory again.
  EXPECT_EQ(MMU_ReadW(0x5000), 0x5555u);
  EXPECT_EQ(MMU_bankTable[0xfc], &rom_bank);
}

// The frame goes on the final supervisor stack, not under an A7 that the
// instruction moved after its fault.
TEST_F(Exceptions, FaultFrameBuiltOnFinalStackInUserMode) {
  install_rom_and_io();
  install(0x4e51, h_fault_then_push);
  vector(2, 0x2000);
  code(0x1000, {0x4e51});
  r.s = 0;
  r.a[7] = 0x4000;
  r.isp = 0x8000;
  start(0x1000);
  m68k_step();
  EXPECT_EQ(r.s, 1);
  EXPECT_EQ(r.usp, 0x3ffeu);
  EXPECT_EQ(r.a[7], 0x8000u - 14);
  EXPECT_EQ(get16(0x7ffa), 0x0700u);  // the SR of the fault: user mode
  EXPECT_EQ(get32(0x7ffc), 0x1000u);
  EXPECT_EQ(get16(0x3ffe), 0u);        // the push after the fault was dropped
  EXPECT_EQ(pc(), 0x2000u);
}

TEST_F(Exceptions, FaultInSupervisorModeFrameBelowTheMovedStack) {
  install_rom_and_io();
  install(0x4e51, h_fault_then_push);
  vector(2, 0x2000);
  code(0x1000, {0x4e51});
  start(0x1000);
  m68k_step();
  EXPECT_EQ(r.a[7], 0x8000u - 2 - 14);
  EXPECT_EQ(get32(0x7ffe - 4), 0x1000u);
}

// The SR the instruction wrote after its fault is undone before the frame.
TEST_F(Exceptions, FaultFrameUsesTheSrOfTheFault) {
  install_rom_and_io();
  vector(2, 0x2000);
  static u32 (*const handler)(u32) = [](u32) -> u32 {
    MMU_WriteW(0xfc0000, 0);
    m68k_regfile.sr = 0x0000;  // drops to user mode
    m68k_sr_apply();
    m68k_regfile.pcHost += 2;
    return 12;
  };
  install(0x46fc, handler);
  code(0x1000, {0x46fc});
  start(0x1000);
  m68k_step();
  EXPECT_EQ(r.s, 1);
  EXPECT_EQ(r.a[7], 0x8000u - 14);
  EXPECT_EQ(get16(0x7ffa), 0x2700u);
}

// A zero vector is a vector like any other: the fault still resumes there.
TEST_F(Exceptions, BusErrorVectorZeroStillResumes) {
  install_rom_and_io();
  install(0x3080, h_move_d0_a0);
  vector(2, 0);
  code(0x1000, {0x3080});
  r.a[0] = 0xfc0000;
  start(0x1000);
  m68k_step();
  EXPECT_EQ(pc(), 0u);
  EXPECT_EQ(r.pending, 0u);
}

// A fault while the frame is pushed is a double fault, not a recursion.
TEST_F(Exceptions, FaultWhilePushingIsDoubleFault) {
  install_rom_and_io();
  install(0x4e41, h_trap);
  vector(33, 0x2000);
  code(0x1000, {0x4e41});
  put16(0x0000, 0x1234);  // bytes 0-8 survive the wipe
  put16(0x0100, 0xabcd);
  r.d[3] = 0x33;
  r.a[7] = 0xfc0100;
  start(0x1000);
  testing::internal::CaptureStdout();
  m68k_step();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Multi Bus Error...\n");
  EXPECT_EQ(get16(0x0000), 0x1234u);
  EXPECT_EQ(get16(0x0100), 0u);
  EXPECT_EQ(pc(), 0xfc0000u);
  EXPECT_EQ(r.a[7], 0xf000u);
  EXPECT_EQ(r.d[3], 0x33u);
  EXPECT_EQ(r.pending, 0u);
}

TEST_F(Exceptions, BusErrorWithStackInRomIsDoubleFault) {
  install_rom_and_io();
  install(0x3080, h_move_d0_a0);
  vector(2, 0x2000);
  code(0x1000, {0x3080});
  r.a[0] = 0xff8800;
  r.a[7] = 0xfc0100;
  start(0x1000);
  testing::internal::CaptureStdout();
  m68k_step();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Multi Bus Error...\n");
  EXPECT_EQ(pc(), 0xfc0000u);
  EXPECT_EQ(MMU_bankTable[0xfc], &rom_bank);
}

TEST_F(Exceptions, TraceStacksTheFollowingPc) {
  install(0x46fc, h_move_to_sr);
  install(0x4e71, h_nop);
  vector(9, 0x2000);
  code(0x1000, {0x46fc, 0xa700, 0x4e71, 0x4e71});
  start(0x1000);
  EXPECT_EQ(m68k_step(), 12u);  // sets T1; nothing traced yet
  EXPECT_EQ(pc(), 0x1004u);
  EXPECT_EQ(m68k_step(), 4u + 34u);  // the NOP, then the trace exception
  EXPECT_EQ(pc(), 0x2000u);
  EXPECT_EQ(get32(0x7ffc), 0x1006u);
  EXPECT_EQ(get16(0x7ffa), 0xa700u);
  EXPECT_EQ(r.t1, 0);
  EXPECT_EQ(r.pending & (m68k_pend_trace | m68k_pend_trace_now), 0u);
}

// On the 68020 T0 traces only instructions that change the flow.
TEST_F(Exceptions, TraceOnChangeOfFlowArmsOnlyBeforeAFlowChange) {
  m68k_model = 2;
  install(0x46fc, h_move_to_sr);
  install(0x4e71, h_nop);
  static u32 (*const bra)(u32) = [](u32 op) -> u32 {
    m68k_regfile.pcHost += 2 + i32(sext8(op));
    return 10;
  };
  install(0x6002, bra);
  vector(9, 0x2000);
  code(0x1000, {0x46fc, 0x6700, 0x4e71, 0x6002, 0x4e71, 0x4e71, 0x4e71});
  start(0x1000);
  m68k_step();                        // T0 on
  EXPECT_EQ(m68k_step(), 4u);         // NOP: not traced
  EXPECT_EQ(m68k_step(), 10u + 34u);  // BRA: traced after it ran
  EXPECT_EQ(pc(), 0x2000u);
  EXPECT_EQ(get32(0x7ffc), 0x1006u);  // format 2: the traced instruction's address,
  EXPECT_EQ(get16(0x7ffa), 0x2024u);  // the format word,
  EXPECT_EQ(get32(0x7ff6), 0x100au);  // the PC after it
  EXPECT_EQ(get16(0x7ff4), 0x6700u);
}

// A jump after the instruction's fault goes nowhere: the fault decides.
TEST_F(Exceptions, JumpAfterAFaultIsIgnored) {
  install_rom_and_io();
  vector(2, 0x2000);
  static u32 (*const rts_from_io)(u32) = [](u32) -> u32 {
    const u32 target = MMU_ReadL(0xff8800);  // faults, gives the fill value
    m68k_jump_to(target);
    return 16;
  };
  install(0x4e75, rts_from_io);
  code(0x1000, {0x4e75});
  put16(0x0100, 0xabcd);
  m68k_jump_guard_off = 0;  // the guard would restart, were the jump not ignored
  MMU_RamSize = 0x80000;
  start(0x1000);
  m68k_step();
  EXPECT_EQ(pc(), 0x2000u);
  EXPECT_EQ(get16(0x0100), 0xabcdu);
}

TEST_F(Exceptions, InterruptLevelSixTakesTheLatchedVector) {
  vector(0x4d, 0x2000);
  r.imask = 3;
  start(0x1000);
  MFP_VectorLatch = 0x4d;
  const i32 before = SCHED_FrameCycle;
  m68k_accept_interrupt(6);
  EXPECT_EQ(SCHED_FrameCycle - before, 24);
  EXPECT_EQ(get16(0x7ffa), 0x2300u);  // pushed with the old mask
  EXPECT_EQ(r.imask, 6u);
  EXPECT_EQ(MFP_VectorLatch, 0u);
  EXPECT_EQ(pc(), 0x2000u);
  EXPECT_EQ(m68k_last_int_level, 6u);
  EXPECT_EQ(m68k_regs_at_interrupt.imask, 3u);
}

TEST_F(Exceptions, VblTakesAutovectorThroughArbitration) {
  vector(28, 0x2400);
  r.imask = 3;
  start(0x1000);
  MFP_RaiseVBL();
  EXPECT_TRUE(r.pending & m68k_pend_interrupt);
  install(0x4e71, h_nop);
  code(0x1000, {0x4e71});
  EXPECT_EQ(m68k_step(), 4u + 48u);
  EXPECT_EQ(pc(), 0x2400u);
  EXPECT_EQ(get32(0x7ffc), 0x1002u);
  EXPECT_EQ(r.imask, 4u);
  EXPECT_EQ(MFP_VideoIntPending, 0u);
}

// A program that needs a 68020 is told so, and the exception is taken: the
// emulated program never ends the emulator.
TEST_F(Exceptions, MovecWithZeroIllegalVectorTakesTheException) {
  vector(4, 0);
  code(0x1000, {0x4e7b, 0x0801});
  start(0x1000);
  testing::internal::CaptureStdout();
  m68k_step();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "This program requires a 68020 CPU!\n");
  EXPECT_EQ(APP_StopFlag, 0);
  EXPECT_EQ(r.pending & m68k_pend_leave, 0u);
  EXPECT_EQ(pc(), 0u);
  EXPECT_EQ(get32(0x7ffc), 0x1000u);
}

// Running off the end of memory reads the guard pad and traps there.
TEST_F(Exceptions, RunningOffTheEndOfMemoryTraps) {
  install(0x4e71, h_nop);
  vector(4, 0x2000);
  code(0xfffffc, {0x4e71, 0x4e71});
  start(0xfffffc);
  m68k_step();
  m68k_step();
  EXPECT_EQ(m68k_step(), 38u);
  EXPECT_EQ(pc(), 0x2000u);
  EXPECT_EQ(get32(0x7ffc), 0x1000000u);
}

TEST_F(Exceptions, RestartWithoutMemoryStillHasInstructionWords) {
  MMU_ResetBanks();
  m68k_restart();
  ASSERT_NE(r.pcHost, nullptr);
  EXPECT_EQ(be_read16(r.pcHost), 0x4afcu);
  EXPECT_EQ(pc(), 0xfc0000u);
  m68k_step();  // illegal, a vector from open bus, restart: no crash
  EXPECT_EQ(pc(), 0xfc0000u);
}

TEST_F(Exceptions, RestartKeepsDataAndAddressRegisters) {
  for (u32 i = 0; i < 8; ++i) {
    r.d[i] = 0x100 + i;
    r.a[i] = 0x200 + i;
  }
  r.vbr = 0x400;
  r.pending = m68k_pend_stop;
  r.inStop = 1;
  r.imask = 2;
  f.z = 1;
  m68k_restart();
  for (u32 i = 0; i < 7; ++i) {
    EXPECT_EQ(r.d[i], 0x100 + i);
    EXPECT_EQ(r.a[i], 0x200 + i);
  }
  EXPECT_EQ(r.a[7], 0xf000u);
  EXPECT_EQ(pc(), 0xfc0000u);
  EXPECT_EQ(r.vbr, 0u);
  EXPECT_EQ(r.pending, 0u);
  EXPECT_EQ(r.inStop, 0);
  EXPECT_EQ(r.imask, 7u);
  EXPECT_EQ(f.z, 0u);
  MMU_TosVersion = 26;
  m68k_restart();
  EXPECT_EQ(pc(), 0xe00000u);
}
