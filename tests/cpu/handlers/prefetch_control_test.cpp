// The 68000 table with prefetch and address errors (table 5) on control
// flow, stack and system instructions, MOVEM, shifts, multiply and divide
// and BCD: their special cases, the address errors they take (what they
// record, what they leave), and the returns whose jump restarts the machine.
#include <functional>

#include "cpu/handler_tables.h"
#include "support/cpu_fixture_lines04.h"

namespace {

constexpr u32 kCode = 0x1000;
constexpr u32 kData = 0x20000;

class PrefetchControl : public CpuLines04 {
 protected:
  void SetUp() override {
    CpuLines04::SetUp();
    m68k_prefetch_mode = 1;
    m68k_build_dispatch();
  }
  // Code words at kCode, a few NOPs behind them, the PC and prefetch there.
  static void code(const std::vector<u32>& words) {
    u32 at = kCode;
    for (u32 w : words) ww(at, w), at += 2;
    for (u32 i = 0; i < 4; ++i) ww(at + 2 * i, 0x4e71);
    jump(kCode);
    m68k_reload_prefetch();
  }
  static u32 prefetch() { return be_read32(regs().prefetch); }
};

struct Special {
  const char* name;
  std::vector<u32> code;
  std::function<void()> setup, check;
  u32 cycles;  // the handler's own count
};

}  // namespace

// Table-driven special cases; after each, unless it took an exception or
// stopped, the prefetch register holds the two words at the new PC.
TEST_F(PrefetchControl, SpecialCases) {
  const u32 S = kSupervisorStack;
  const std::vector<Special> cases = {
      {"MOVEM.L D0-D7/A0-A6,-(A7) goes out A6 first, downwards",
       {0x48e7, 0xfffe}, [] { for (u32 i = 0; i < 7; ++i) d(i) = i, a(i) = 0xa0 + i; d(7) = 7; },
       [S] { EXPECT_EQ(a(7), S - 60); EXPECT_EQ(rl(S - 4), 0xa6u); EXPECT_EQ(rl(S - 60), 0u);
             EXPECT_EQ(rl(S - 32), 7u); }, 128},
      {"MOVEM.W D0/A0,-(A0) stores A0 as it was",
       {0x48a0, 0x8080}, [] { a(0) = kData; d(0) = 0x1111; },
       [] { EXPECT_EQ(rw(kData - 2), kData & 0xffff); EXPECT_EQ(rw(kData - 4), 0x1111u);
            EXPECT_EQ(a(0), kData - 4); }, 16},
      {"MOVEM.W (A0)+,D1/A0 leaves A0 past the last word",
       {0x4c98, 0x0102}, [] { a(0) = kData; ww(kData, 0x8001); ww(kData + 2, 0x1234); },
       [] { EXPECT_EQ(d(1), 0xffff8001u); EXPECT_EQ(a(0), kData + 4); }, 20},
      {"MOVEM.W (A0)+ with an empty mask changes nothing",
       {0x4c98, 0x0000}, [] { a(0) = kData; }, [] { EXPECT_EQ(a(0), kData); }, 12},
      {"UNLK A7 loads A7 from the stack",
       {0x4e5f}, [] { a(7) = kData; wl(kData, 0x30000); }, [] { EXPECT_EQ(a(7), 0x30000u); }, 12},
      {"LINK A7,#0 pushes A7 as lowered",
       {0x4e57, 0x0000}, [] {}, [S] { EXPECT_EQ(a(7), S - 4); EXPECT_EQ(rl(S - 4), S - 4); }, 18},
      {"RTE to user mode takes the user stack",
       {0x4e73}, [S] { ww(S, 0x0015); wl(S + 2, kData); ww(kData, 0x4e71); regs().usp = 0x7000; },
       [S] { EXPECT_EQ(regs().s, 0); EXPECT_EQ(a(7), 0x7000u); EXPECT_EQ(regs().isp, S + 6);
             EXPECT_EQ(ccr(), 0x15u); EXPECT_EQ(pc(), kData); }, 20},
      {"RTD #8 releases the arguments", {0x4e74, 0x0008}, [S] { wl(S, kData); },
       [S] { EXPECT_EQ(a(7), S + 12); EXPECT_EQ(pc(), kData); }, 16},
      {"DIVS 0x80000000 by -1 overflows", {0x81c1}, [] { d(0) = 0x80000000; d(1) = 0xffff; set_ccr(kZ); },
       [] { EXPECT_EQ(d(0), 0x80000000u); EXPECT_EQ(ccr(), kN | kV | kZ); }, 158},
      {"DIVS -1 by 2 gives quotient 0, remainder -1", {0x81fc, 0x0002}, [] { d(0) = 0xffffffff; },
       [] { EXPECT_EQ(d(0), 0xffff0000u); EXPECT_EQ(ccr(), kZ); }, 162},
      {"DIVU by zero clears V and C, keeps N and Z, traps past itself",
       {0x80fc, 0x0000}, [] { d(0) = 77; set_ccr(kX | kN | kZ | kV | kC); },
       [S] { EXPECT_TRUE(at_vector(5)); EXPECT_EQ(d(0), 77u); EXPECT_EQ(ccr(), kX | kN | kZ);
             EXPECT_EQ(rl(S - 4), kCode + 4); }, 144},
      {"DIVS (A1)+ by zero has stepped A1", {0x81d9}, [] { a(1) = kData; ww(kData, 0); },
       [] { EXPECT_TRUE(at_vector(5)); EXPECT_EQ(a(1), kData + 2); }, 162},
      {"ASR.W by a register holding 0 clears C, keeps X", {0xe260}, [] { d(1) = 64; d(0) = 0x8000; set_ccr(kX | kC); },
       [] { EXPECT_EQ(d(0), 0x8000u); EXPECT_EQ(ccr(), kX | kN); }, 6},
      {"LSR.L by 32 leaves the top bit in C and X", {0xe2a8}, [] { d(1) = 32; d(0) = 0x80000000; },
       [] { EXPECT_EQ(d(0), 0u); EXPECT_EQ(ccr(), kX | kZ | kC); }, 72},
      {"LSR.L by 33 clears C and X", {0xe2a8}, [] { d(1) = 33; d(0) = 0xffffffff; },
       [] { EXPECT_EQ(d(0), 0u); EXPECT_EQ(ccr(), kZ); }, 74},
      {"ASL.L by 40 on 1 overflows to 0", {0xe3a0}, [] { d(1) = 40; d(0) = 1; },
       [] { EXPECT_EQ(d(0), 0u); EXPECT_EQ(ccr(), kZ | kV); }, 88},
      {"ROR.B by 8 keeps the byte and sets C from its top bit", {0xe238}, [] { d(1) = 8; d(0) = 0x181; },
       [] { EXPECT_EQ(d(0), 0x181u); EXPECT_EQ(ccr(), kN | kC); }, 22},
      {"ROXR.B by 63 (0 modulo 9) copies X into C", {0xe230}, [] { d(1) = 0x13f; d(0) = 0x5a; set_ccr(kX); },
       [] { EXPECT_EQ(d(0), 0x5au); EXPECT_EQ(ccr(), kX | kC); }, 132},
      {"ABCD 0xFF + 0xFF + X gives 0x65 and a carry", {0xc101}, [] { d(0) = 0xff; d(1) = 0xff; set_ccr(kX | kZ); },
       [] { EXPECT_EQ(d(0), 0x65u); EXPECT_EQ(ccr(), kX | kC); }, 6},
      {"SBCD 0x10 - 0x0B borrows", {0x8101}, [] { d(0) = 0x10; d(1) = 0x0b; },
       [] { EXPECT_EQ(d(0) & 0xff, 0xffu); EXPECT_EQ(ccr() & (kX | kC | kN), kX | kC | kN); }, 6},
      {"ABCD -(A7),-(A7) steps A7 by 2 each", {0xcf0f}, [] { a(7) = kData; wb(kData - 2, 0x45); wb(kData - 4, 0x38); },
       [] { EXPECT_EQ(a(7), kData - 4); EXPECT_EQ(rb(kData - 4), 0x83u); }, 18},
      {"BEQ.S with displacement byte 0xFF not taken runs on", {0x67ff}, [] {}, [] { EXPECT_EQ(pc(), kCode + 2); },
       8},
      {"STOP in user mode is a privilege violation", {0x4e72, 0x2700}, [] { enter_user_mode(); },
       [S] { EXPECT_TRUE(at_vector(8)); EXPECT_EQ(rl(S - 4), kCode); }, 4},
      {"RESET in user mode is a privilege violation", {0x4e70}, [] { enter_user_mode(); },
       [S] { EXPECT_TRUE(at_vector(8)); EXPECT_EQ(rl(S - 4), kCode); }, 132},
      {"STOP loads the SR and stops past its operand", {0x4e72, 0x2313}, [] {},
       [] { EXPECT_EQ(sr(), 0x2313u); EXPECT_EQ(pc(), kCode + 4); EXPECT_TRUE(regs().pending & m68k_pend_stop);
            EXPECT_EQ(prefetch(), 0x4e714e71u); }, 4},
  };
  for (const Special& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    code(c.code);
    c.setup();
    u32 own = 0;
    m68k_step(own);
    EXPECT_EQ(own, c.cycles);
    c.check();
    if (pc() < kLanding && !(regs().pending & m68k_pend_stop)) {
      EXPECT_EQ(prefetch(), rl(pc()));
    }
  }
}

// Address errors: the access address and the PC the frame records, the
// handler's own count, and what stays as it was.
TEST_F(PrefetchControl, AddressErrors) {
  const u32 S = kSupervisorStack;
  struct Fault {
    const char* name;
    std::vector<u32> code;
    std::function<void()> setup;
    u32 access, stackedPc, cycles;
    std::function<void()> check;
  };
  const std::vector<Fault> cases = {
      {"a byte branch taken to an odd address", {0x6001}, [] {}, kCode + 3, kCode + 2, 8, [] {}},
      {"displacement byte 0xFF is the byte branch by -1", {0x60ff}, [] {}, kCode + 1, kCode + 2, 8, [] {}},
      {"a word branch taken to an odd address", {0x6000, 0x0003}, [] {}, kCode + 5, kCode + 2, 12, [] {}},
      {"DBF to an odd target records the target", {0x51c8, 0x0003}, [] { d(0) = 0x10005; },
       kCode + 5, kCode + 2, 12, [] { EXPECT_EQ(d(0), 0x10004u); }},
      {"BSR to an odd target pushes nothing", {0x6101}, [] {}, kCode + 3, kCode + 2, 18, [] {}},
      {"MOVEM.W to -(An) records the first word's address", {0x48a1, 0x0001}, [] { a(1) = kData + 1; },
       kData - 1, kCode + 4, 8, [] { EXPECT_EQ(a(1), kData + 1); }},
      {"MOVEM.L to -(An) too", {0x48e1, 0x8001}, [] { a(1) = kData + 1; },
       kData - 1, kCode + 4, 8, [] { EXPECT_EQ(rl(kData - 8), 0u); }},
      {"MOVEM with an empty mask checks its address", {0x4c90, 0x0000}, [] { a(0) = kData + 1; },
       kData + 1, kCode + 4, 12, [] {}},
      {"MOVEM.L d16(A0) to registers", {0x4ce8, 0x0003, 0x0011}, [] { a(0) = kData; },
       kData + 0x11, kCode + 6, 16, [] { EXPECT_EQ(d(0), 0u); }},
      {"RTE with an odd A7", {0x4e73}, [] { a(7) = S + 1; }, S + 1, kCode + 2, 20, [] {}},
      {"RTD with an odd A7 stacks the word behind the opcode", {0x4e74, 0x0004}, [] { a(7) = S + 1; },
       S + 1, kCode + 2, 16, [] {}},
      {"RTR with an odd A7", {0x4e77}, [] { a(7) = S + 1; }, S + 1, kCode + 2, 20, [] {}},
      {"LINK with an odd A7", {0x4e56, 0xfff8}, [] { a(7) = S + 1; a(6) = 0x66; }, S - 3, kCode + 2, 18,
       [] { EXPECT_EQ(a(6), 0x66u); }},
      {"PEA with an odd A7", {0x4878, 0x1234}, [] { a(7) = S + 1; }, S - 3, kCode + 4, 16, [] {}},
      {"UNLK with an odd An leaves A7 there, under the frame", {0x4e5e}, [] { a(6) = kData + 15; },
       kData + 15, kCode + 2, 12, [] { EXPECT_EQ(a(7), kData + 1); EXPECT_EQ(a(6), kData + 15); }},
      {"MOVE SR,-(A0) keeps A0", {0x40e0}, [] { a(0) = kData + 1; }, kData - 1, kCode + 2, 14,
       [] { EXPECT_EQ(a(0), kData + 1); }},
      {"DIVU -(A1) keeps A1 and D0", {0x80e1}, [] { a(1) = kData + 1; d(0) = 9; }, kData - 1, kCode + 2, 146,
       [] { EXPECT_EQ(a(1), kData + 1); EXPECT_EQ(d(0), 9u); }},
      {"ASL (A3)+ keeps A3", {0xe1db}, [] { a(3) = kData + 1; }, kData + 1, kCode + 2, 12,
       [] { EXPECT_EQ(a(3), kData + 1); }},
  };
  for (const Fault& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    code(c.code);
    c.setup();
    set_ccr(kX);
    const u32 sp = a(7);
    u32 own = 0;
    const u32 total = m68k_step(own);
    EXPECT_EQ(own, c.cycles);
    EXPECT_EQ(total, c.cycles + 50);
    ASSERT_TRUE(at_vector(3));
    const u32 frame = a(7);
    EXPECT_EQ(frame, (c.code[0] & 0xfff8) == 0x4e58 ? kData + 1 : sp - 14);
    EXPECT_EQ(rl(frame + 2), c.access);
    EXPECT_EQ(rw(frame + 6), c.code[0]);
    EXPECT_EQ(rw(frame + 8), 0x2710u);
    EXPECT_EQ(rl(frame + 10), c.stackedPc);
    c.check();
  }
}

// A return whose jump lands where no memory may be restarts the machine;
// nothing of the return is applied after that, neither A7 nor the SR.
TEST_F(PrefetchControl, ReturnThatRestartsChangesNothingAfterIt) {
  for (u32 opcode : {0x4e75u, 0x4e77u, 0x4e73u}) {
    SCOPED_TRACE(testing::Message() << std::hex << opcode);
    SetUp();
    m68k_jump_guard_off = 0;
    code({opcode});
    const u32 sp = a(7);
    if (opcode == 0x4e75) {
      wl(sp, 0xf00000);  // above RAM, below the cartridge
    } else {
      ww(sp, 0x0000);
      wl(sp + 2, 0xf00000);
    }
    step();
    EXPECT_EQ(pc(), 0xfc0000u);
    EXPECT_EQ(a(7), 0xf000u);
    EXPECT_EQ(sr(), 0x2700u);
    EXPECT_EQ(prefetch(), rl(0xfc0000));
    m68k_jump_guard_off = 1;
  }
}
