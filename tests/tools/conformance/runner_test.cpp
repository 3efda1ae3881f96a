#include "runner.h"

#include <gtest/gtest.h>

#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/handler_tables.h"
#include "cpu/registers.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "support/flat_memory.h"
#include "support/testdata.h"
#include "tools/conformance/test_image.h"

using namespace conformance;
using conformance_test::simple_test;

namespace {

// The opcode whose dispatch entry the tests replace with a local handler.
constexpr u16 test_opcode = 0x4E71;

u32 nop_like(u32) {
  m68k_regfile.pcHost += 2;
  return 4;
}

u32 nop_reloading_prefetch(u32) {
  m68k_regfile.pcHost += 2;
  m68k_reload_prefetch();
  return 4;
}

// Changes D3, A5, the inactive USP and the carry flag, jumps to 0x2000 and
// takes 6 cycles.
u32 changes_registers(u32) {
  m68k_regfile.d[3] += 1;
  m68k_regfile.a[5] = 0x00ABCDEF;
  m68k_regfile.usp += 4;
  m68k_ccflags.c = 1;
  m68k_jump_to(0x2000);
  return 6;
}

// Overwrites the listed word at 0x1004 and one byte no list names.
u32 writes_memory(u32) {
  MMU_WriteW(0x1004, 0x1234);
  MMU_WriteB(0x00050001, 0x77);
  m68k_regfile.pcHost += 2;
  return 4;
}

// Stands for an exception entry, which adds its cost to the frame position.
u32 adds_exception_cost(u32) {
  SCHED_FrameCycle += 34;
  m68k_regfile.pcHost += 2;
  return 4;
}

u32 seen_a7, seen_isp, seen_sr;
u32 records_stack_pointers(u32) {
  seen_a7 = m68k_regfile.a[7];
  seen_isp = m68k_regfile.isp;
  m68k_sr_compose();
  seen_sr = m68k_regfile.sr;
  m68k_regfile.pcHost += 2;
  return 4;
}

class Runner : public ::testing::Test {
 protected:
  void SetUp() override {
    setup_core(4);
    saved_ = m68k_dispatch[test_opcode];
  }
  void TearDown() override {
    m68k_dispatch[test_opcode] = saved_;
    m68k_registers_reset();
    SCHED_Reset();
  }
  Outcome run(m68k_handler h, const TestCase& t) {
    m68k_dispatch[test_opcode] = h;
    Outcome out;
    run_test(t, out);
    return out;
  }
  m68k_handler saved_ = nullptr;
};

}  // namespace

TEST_F(Runner, UserModeRunWithTraceBitMatches) {
  TestCase t = simple_test(test_opcode);
  t.initial.sr = t.final.sr = 0x8015;
  const Outcome out = run(records_stack_pointers, t);
  EXPECT_EQ(seen_a7, 0x00030000u);  // A7 is the USP, the SSP waits in isp
  EXPECT_EQ(seen_isp, 0x00040000u);
  EXPECT_EQ(seen_sr, 0x8015u);
  EXPECT_TRUE(out.state_match()) << describe_differences(t, out);
  EXPECT_TRUE(out.cycles_match);
  EXPECT_EQ(out.pc, 0x1002u);
}

// Table 5 grades the two prefetch words as well.
TEST_F(Runner, Table5GradesThePrefetchWords) {
  const TestCase t = simple_test(test_opcode, 0x1234);
  EXPECT_TRUE(run(nop_like, t).state_match());
  setup_core(5);
  const Outcome stale = run(nop_like, t);
  EXPECT_EQ(stale.fields, field_prefetch);
  EXPECT_NE(describe_differences(t, stale).find("prefetch: expected 0x12344E71, got 0x4E711234"),
            std::string::npos);
  EXPECT_TRUE(run(nop_reloading_prefetch, t).state_match());
  m68k_build_dispatch();  // table 5's own NOP
  Outcome out;
  run_test(t, out);
  EXPECT_TRUE(out.state_match());
}

TEST_F(Runner, ReportsEachDifferingField) {
  const TestCase t = simple_test(test_opcode);
  const Outcome out = run(changes_registers, t);
  EXPECT_EQ(out.fields, (field_d0 << 3) | (field_a0 << 5) | field_usp | field_sr | field_pc);
  EXPECT_FALSE(out.cycles_match);
  const std::string text = describe_differences(t, out);
  EXPECT_NE(text.find("D3: expected 0x33333333, got 0x33333334"), std::string::npos) << text;
  EXPECT_NE(text.find("A5: expected 0x00020500, got 0x00ABCDEF"), std::string::npos) << text;
  EXPECT_NE(text.find("SR: expected 0x2700, got 0x2701 (bits 0x0001)"), std::string::npos) << text;
  EXPECT_NE(text.find("PC: expected 0x00001002, got 0x00002000"), std::string::npos) << text;
  EXPECT_NE(text.find("cycles: expected 4, got 6"), std::string::npos) << text;
}

TEST_F(Runner, ReportsListedAndStrayMemoryWrites) {
  const TestCase t = simple_test(test_opcode);
  const Outcome out = run(writes_memory, t);
  EXPECT_EQ(out.fields, field_memory);
  ASSERT_EQ(out.memory.size(), 3u);
  EXPECT_EQ(out.memory[0].address, 0x1004u);
  EXPECT_EQ(out.memory[0].expected, 0x4E);
  EXPECT_EQ(out.memory[0].got, 0x12);
  EXPECT_TRUE(out.memory[0].listed);
  EXPECT_EQ(out.memory[1].address, 0x1005u);
  EXPECT_EQ(out.memory[2].address, 0x50001u);
  EXPECT_EQ(out.memory[2].got, 0x77);
  EXPECT_FALSE(out.memory[2].listed);
  const std::string text = describe_differences(t, out);
  EXPECT_NE(text.find("byte 0x050001: expected 0x00, got 0x77 (not listed)"), std::string::npos) << text;
}

TEST_F(Runner, MemoryIsZeroAgainAfterEachTest) {
  TestCase t = simple_test(test_opcode);
  t.initial.memory.push_back({0x00FFFFFF, 0xA5C3});  // wraps to address 0
  t.final.memory = t.initial.memory;
  run(writes_memory, t);
  const u8* mem = FLAT_Memory();
  for (u32 a : {0x0u, 0x1000u, 0x1001u, 0x1004u, 0x50001u, 0xFFFFFFu}) EXPECT_EQ(mem[a], 0) << a;
  const u32* pages;
  EXPECT_EQ(FLAT_TouchedPages(&pages), 0u);
  const Outcome again = run(nop_like, simple_test(test_opcode));
  EXPECT_TRUE(again.state_match()) << describe_differences(simple_test(test_opcode), again);
}

TEST_F(Runner, CountsExceptionCostsAddedToTheFramePosition) {
  TestCase t = simple_test(test_opcode);
  t.cycles = 38;
  const Outcome out = run(adds_exception_cost, t);
  EXPECT_EQ(out.cycles, 38u);
  EXPECT_EQ(out.handler_cycles, 4u);
  EXPECT_TRUE(out.cycles_match);
}

TEST_F(Runner, RecordedNopFamilyPassesWithTheRealHandler) {
  REQUIRE_RECORDED_TESTS();
  std::vector<TestCase> tests;
  std::string error;
  ASSERT_TRUE(load_test_file(recorded_family_path("NOP"), tests, error)) << error;
  Outcome out;
  u32 state = 0, cycles = 0;
  for (const TestCase& t : tests) {
    run_test(t, out);
    state += out.state_match();
    cycles += out.cycles_match;
  }
  EXPECT_EQ(state, 1000u);
  EXPECT_EQ(cycles, 1000u);
}
