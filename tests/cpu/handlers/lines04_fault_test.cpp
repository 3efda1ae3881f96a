// What the line 0-4 handlers do after a bus error inside the instruction,
// and the order in which the returns update the stack, the status register
// and the program counter. A test bank at 0xf00000 raises a bus error on
// every access (once per instruction, as the exception entry allows); a
// probe bank at 0xd00000 records the processor state when a jump lands
// there. Programs: tests/programs/lines04_faults.s.
#include "support/cpu_fixture_lines04.h"

namespace {

enum Snippet : u32 {
  kRmw, kMoveAbs, kChkNeg, kMovemAll, kUnlkA0, kMoveToSr, kRts, kRtr, kRte, kRmwByteIndexed,
  kNotW, kAddqW, kTas, kDivu, kAddaL, kSubaL
};

constexpr u32 kFaultArea = 0xf00000;
constexpr u32 kProbeArea = 0xd00000;

const MMU_Bank* flat;
u32 busErrors;
u32 lateWrites;  // writes made after the fault, anywhere
u32 faultSp;     // A7 when the bus error was raised
struct {
  u32 hits, a7, sr;
} probe;

bool faulted() { return (m68k_regfile.pending & m68k_pend_fault_resume) != 0; }

void bus_error(u32 addr) {
  if (faulted()) return;
  ++busErrors;
  faultSp = m68k_regfile.a[7];
  m68k_raise_exception(2, addr);
}

u32 bad_getL(u32 a) { bus_error(a); return 0xffffffff; }
u32 bad_getW(u32 a) {
  bus_error(a);
  return 0;  // as a status word: user mode
}
u32 bad_getB(u32 a) { bus_error(a); return 0xff; }
void bad_put(u32 a, u32) {
  if (faulted()) ++lateWrites;
  bus_error(a);
}
u8* no_host(u32) { return nullptr; }
u32 no_check(u32, u32) { return 0; }
const MMU_Bank fault_bank = {bad_getL, bad_getW, bad_getB, bad_put, bad_put, bad_put, no_host, no_check};

u32 getL(u32 a) { return flat->getL(a); }
u32 getW(u32 a) { return flat->getW(a); }
u32 getB(u32 a) { return flat->getB(a); }
void putL(u32 a, u32 v) { lateWrites += faulted(); flat->putL(a, v); }
void putW(u32 a, u32 v) { lateWrites += faulted(); flat->putW(a, v); }
void putB(u32 a, u32 v) { lateWrites += faulted(); flat->putB(a, v); }
u8* host(u32 a) { return flat->hostPtr(a); }
u32 check(u32 a, u32 s) { return flat->check(a, s); }
const MMU_Bank counting_bank = {getL, getW, getB, putL, putW, putB, host, check};

u8* probe_host(u32 a) {
  ++probe.hits;
  probe.a7 = m68k_regfile.a[7];
  m68k_sr_compose();
  probe.sr = m68k_regfile.sr;
  return flat->hostPtr(a);
}
const MMU_Bank probe_bank = {getL, getW, getB, putL, putW, putB, probe_host, check};

class Lines04Faults : public CpuLines04 {
 protected:
  void SetUp() override {
    CpuLines04::SetUp();
    load("lines04_faults");
    flat = MMU_bankTable[0];
    for (auto& b : MMU_bankTable) b = &counting_bank;
    MMU_bankTable[kFaultArea >> 16] = &fault_bank;
    MMU_bankTable[kProbeArea >> 16] = &probe_bank;
    ww(kProbeArea, 0x4afc);
    busErrors = lateWrites = faultSp = 0;
    probe = {};
    // The test banks stand in for the flat map: let the jump guard take
    // the landing, fault and probe areas as memory.
    savedRamSize = MMU_RamSize;
    MMU_RamSize = FLAT_Size - 1;
  }
  void TearDown() override {
    MMU_RamSize = savedRamSize;
    FLAT_Install();
    CpuLines04::TearDown();
  }
  // After a bus error: one frame, pushed when the instruction ended on the
  // stack pointer the fault found (nothing pushed or popped after the
  // fault), nothing written after it, and execution at the handler.
  // The 68000's frame has 14 bytes, the later models' bus-error frame 32.
  void expect_one_clean_fault(u32 frame = 14) {
    EXPECT_EQ(busErrors, 1u);
    EXPECT_EQ(a(7), faultSp - frame) << "the stack pointer moved after the fault";
    EXPECT_EQ(lateWrites, 0u);
    EXPECT_TRUE(at_vector(2));
  }
  u32 savedRamSize = 0;
};

}  // namespace

TEST_F(Lines04Faults, ReadModifyWriteWritesNothingAfterAFaultedRead) {
  a(0) = kFaultArea;
  jump(snippet(kRmw));
  EXPECT_EQ(step(), 28u + 50u);
  expect_one_clean_fault();

  SetUp();
  a(1) = kFaultArea - 2;
  d(0) = 2;
  jump(snippet(kRmwByteIndexed));
  EXPECT_EQ(step(), 22u + 50u);
  expect_one_clean_fault();
}

// The same on the prefetch table, whose first extension word comes from the
// prefetch register: it ends on the handler's first words.
TEST_F(Lines04Faults, MoveTakesNoDestinationWordsFromTheExceptionHandler) {
  for (u32 prefetch : {0u, 1u}) {
    m68k_prefetch_mode = prefetch;
    m68k_build_dispatch();
    busErrors = lateWrites = 0;
    a(0) = kFaultArea;
    ww(0x3000, 0x1234);
    // The bus-error handler's first words, read as abs.L, would name 0x2000.
    wl(kLanding + 8, 0x00002000);
    jump(snippet(kMoveAbs));
    m68k_reload_prefetch();
    step();
    expect_one_clean_fault();
    EXPECT_EQ(rw(0x3000), 0x1234u);
    EXPECT_EQ(rw(0x2000), 0u);
    EXPECT_EQ(be_read32(regs().prefetch), 0x00002000u);
  }
  m68k_prefetch_mode = 0;
  m68k_build_dispatch();
}

// The operand of a read-modify-write bus-errors on the read (and would on
// the write), a divisor reads as zero after its bus error: one bus error,
// no second one, no exception of the instruction's own, nothing written.
// (The ctest cpu_suites_on_table5 runs this on the prefetch table too.)
TEST_F(Lines04Faults, OneBusErrorForAFaultedOperand) {
  for (const Snippet s : {kNotW, kAddqW, kTas, kDivu}) {
    SetUp();
    a(0) = kFaultArea;
    jump(snippet(s));
    step();
    expect_one_clean_fault();
  }
}

// ADDA and SUBA to A7 from a bus-erroring source, and on the 68020 LEA, PEA
// and JSR whose memory-indirect address read bus-errors, leave A7 alone:
// the frame, with the access address, goes on the stack the fault found.
TEST_F(Lines04Faults, AddressRegisterLoadsKeepTheStackPointerAfterAFault) {
  for (const Snippet s : {kAddaL, kSubaL}) {
    SetUp();
    a(0) = kFaultArea;
    jump(snippet(s));
    step();
    expect_one_clean_fault();
    EXPECT_EQ(rl(a(7) + 2), kFaultArea) << "snippet " << s;
  }
  constexpr u32 kCode = 0x40000;
  // lea ([0xf00000].l),a7; pea ([0xf00000].l); jsr ([0xf00000].l)
  for (const u32 opcode : {0x4ff0u, 0x4870u, 0x4eb0u}) {
    SetUp();
    use_model(2);
    ww(kCode, opcode);
    ww(kCode + 2, 0x01f1);
    wl(kCode + 4, kFaultArea);
    step_at(kCode);
    expect_one_clean_fault(32);
  }
}

TEST_F(Lines04Faults, ChkRaisesNothingAfterAFaultedBound) {
  a(0) = kFaultArea;
  d(1) = 0xffff8000;  // negative: would take exception 6
  jump(snippet(kChkNeg));
  step();
  expect_one_clean_fault();
}

TEST_F(Lines04Faults, MovemStopsAtTheFaultAndKeepsTheStackPointer) {
  a(0) = kFaultArea;
  d(3) = 0x33;
  jump(snippet(kMovemAll));
  step();
  expect_one_clean_fault();
  EXPECT_EQ(a(0), kFaultArea);
  EXPECT_EQ(d(3), 0x33u);
}

TEST_F(Lines04Faults, UnlkKeepsTheStackPointerOfTheFrame) {
  a(0) = kFaultArea;
  jump(snippet(kUnlkA0));
  step();
  expect_one_clean_fault();
  EXPECT_EQ(a(0), kFaultArea);
}

TEST_F(Lines04Faults, MoveToSrIgnoresAFaultedValue) {
  a(0) = kFaultArea;
  jump(snippet(kMoveToSr));
  step();
  expect_one_clean_fault();
  EXPECT_EQ(regs().s, 1) << "the handler must run in supervisor mode";
}

TEST_F(Lines04Faults, ReturnsUpdateStackAndStatusBeforeTheJump) {
  const u32 sp = a(7);
  wl(sp, kProbeArea);
  step_at(snippet(kRts));
  EXPECT_EQ(probe.hits, 1u);
  EXPECT_EQ(probe.a7, sp + 4);

  SetUp();
  ww(sp, 0x001f);
  wl(sp + 2, kProbeArea);
  step_at(snippet(kRtr));
  EXPECT_EQ(probe.a7, sp + 6);
  EXPECT_EQ(probe.sr & 0x1f, 0x1fu);

  SetUp();
  ww(sp, 0x0004);  // user mode, Z
  wl(sp + 2, kProbeArea);
  regs().usp = 0x60000;
  step_at(snippet(kRte));
  EXPECT_EQ(probe.a7, 0x60000u) << "the stacks are switched before the jump";
  EXPECT_EQ(probe.sr, 0x0004u);
  EXPECT_EQ(regs().isp, sp + 6);
}

TEST_F(Lines04Faults, ReturnsDoNotJumpToAFaultedAddress) {
  a(7) = kFaultArea;  // the frame goes just below, into plain memory
  for (const Snippet s : {kRts, kRtr, kRte}) {
    SetUp();
    a(7) = kFaultArea;
    jump(snippet(s));
    step();
    EXPECT_EQ(busErrors, 1u);
    EXPECT_TRUE(at_vector(2)) << "snippet " << s;
    EXPECT_EQ(regs().s, 1);
  }
}

// The silent memory after a fault serves the handlers of every line: ADDX
// -(A0),-(A1) faults on its first read and must not write the sum to the
// plain memory its second operand lies in.
TEST_F(Lines04Faults, LaterLinesWriteNothingAfterAFault) {
  constexpr u32 kCode = 0x40000;
  ww(kCode, 0xd388);  // addx.l -(a0),-(a1)
  a(0) = kFaultArea + 4;
  a(1) = 0x3004;
  wl(0x3000, 0x11111111);
  step_at(kCode);
  EXPECT_EQ(busErrors, 1u);
  EXPECT_EQ(lateWrites, 0u);
  EXPECT_EQ(rl(0x3000), 0x11111111u);
  EXPECT_TRUE(at_vector(2));
}
