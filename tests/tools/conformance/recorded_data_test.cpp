// The deviation rules against the recorded data: stand-in handlers that
// behave as our model is meant to must leave no unexplained mismatch.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/testdata.h"
#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "deviations.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "runner.h"
#include "test_file.h"

using namespace conformance;

namespace {

// An exception as the model takes it: the current PC and the SR on the
// supervisor stack, the handler address from the vector (cut to 24 bits from
// vector 24 on) and the exception's cost added to the frame position.
void take_exception(u32 vector, u32 cost) {
  m68k_regs& r = m68k_regfile;
  const u32 pc = m68k_get_pc();
  m68k_sr_compose();
  const u32 sr = r.sr;
  if (!r.s) {
    r.usp = r.a[7];
    r.a[7] = r.isp;
    r.s = 1;
  }
  r.t1 = r.t0 = 0;
  r.a[7] -= 4;
  MMU_WriteL(r.a[7], pc);
  r.a[7] -= 2;
  MMU_WriteW(r.a[7], sr);
  const u32 target = MMU_ReadL(4 * vector);
  m68k_jump_to(vector >= 24 ? target & 0xFFFFFF : target);
  SCHED_FrameCycle += i32(cost);
}

// TRAP #n: the PC after the opcode is stacked; 4 cycles of its own.
u32 trap_stand_in(u32 opcode) {
  m68k_regfile.pcHost += 2;
  take_exception(32 + (opcode & 15), 34);
  return 4;
}

// MOVE Dn,SR: privileged; every SR bit the register holds is kept.
u32 move_to_sr_stand_in(u32 opcode) {
  m68k_regs& r = m68k_regfile;
  if (!r.s) {
    take_exception(8, 34);
    return 12;
  }
  r.sr = u16(r.d[opcode & 7]);
  m68k_sr_apply();
  r.pcHost += 2;
  return 12;
}

// Scc Dn as the model counts it: 4 cycles whether or not the condition holds.
u32 scc_dn_stand_in(u32 opcode) {
  u32& d = m68k_regfile.d[opcode & 7];
  d = (d & ~0xFFu) | (m68k_cond_true((opcode >> 8) & 15) ? 0xFF : 0x00);
  m68k_regfile.pcHost += 2;
  return 4;
}

struct Counts {
  u32 tests = 0, state_match = 0, cycles_match = 0, unexplained = 0;
  std::vector<std::string> explained_by;
};

class RecordedData : public ::testing::Test {
 protected:
  void SetUp() override {
    setup_core(4);
    for (u32 op = 0; op < 65536; ++op) saved_[op] = m68k_dispatch[op];
    REQUIRE_RECORDED_TESTS();
  }
  void TearDown() override {
    for (u32 op = 0; op < 65536; ++op) m68k_dispatch[op] = saved_[op];
    m68k_registers_reset();
    SCHED_Reset();
  }
  // Runs the tests of family whose opcode the filter accepts.
  Counts run_family(const std::string& family, bool (*accept)(u16)) {
    std::vector<TestCase> tests;
    std::string error;
    EXPECT_TRUE(load_test_file(recorded_family_path(family), tests, error)) << error;
    Counts c;
    Outcome out;
    for (const TestCase& t : tests) {
      if (!accept(t.opcode())) continue;
      ++c.tests;
      run_test(t, out);
      c.state_match += out.state_match();
      c.cycles_match += out.cycles_match;
      const Context ctx{t, family, 4, out, recorded_vector(t)};
      for (Aspect a : {aspect_state, aspect_cycles}) {
        if (a == aspect_state ? out.state_match() : out.cycles_match) continue;
        const u64 devs = classify(ctx, a);
        if (!devs) {
          ++c.unexplained;
          ADD_FAILURE() << t.name << (a == aspect_state ? " state" : " cycles") << "\n"
                        << describe_differences(t, out);
        } else {
          c.explained_by.push_back(deviation_names(devs));
        }
      }
    }
    return c;
  }
  m68k_handler saved_[65536];
};

u32 count(const std::vector<std::string>& v, const char* name) {
  u32 n = 0;
  for (const std::string& s : v) n += s == name;
  return n;
}

}  // namespace

TEST_F(RecordedData, TrapFamilyIsFullyExplained) {
  for (u32 op = 0x4E40; op <= 0x4E4F; ++op) m68k_dispatch[op] = trap_stand_in;
  const Counts c = run_family("TRAP", [](u16) { return true; });
  EXPECT_EQ(c.tests, 1000u);
  EXPECT_EQ(c.unexplained, 0u);
  // Handler addresses above 24 bits differ; every test costs 4 cycles more.
  EXPECT_GT(count(c.explained_by, "vector-pc-24-bit"), 900u);
  EXPECT_EQ(count(c.explained_by, "vector-pc-24-bit") + c.state_match, 1000u);
  EXPECT_EQ(count(c.explained_by, "exception-cycles-added"), 1000u);
}

TEST_F(RecordedData, SccOnADataRegisterIsFullyExplained) {
  for (u32 op = 0x50C0; op <= 0x5FC7; ++op)
    if ((op & 0xF0F8) == 0x50C0) m68k_dispatch[op] = scc_dn_stand_in;
  const Counts c = run_family("Scc", [](u16 op) { return ((op >> 3) & 7) == 0; });
  EXPECT_GT(c.tests, 100u);
  EXPECT_EQ(c.unexplained, 0u);
  EXPECT_EQ(c.state_match, c.tests);
  EXPECT_GT(count(c.explained_by, "scc-dn-true-4-cycles"), 0u);
  EXPECT_GT(c.cycles_match, 0u);  // the false ones
}

TEST_F(RecordedData, MoveToSrFromADataRegisterIsFullyExplained) {
  for (u32 op = 0x46C0; op <= 0x46C7; ++op) m68k_dispatch[op] = move_to_sr_stand_in;
  const Counts c = run_family("MOVEtoSR", [](u16 op) { return (op & 0xFFF8) == 0x46C0; });
  EXPECT_GT(c.tests, 50u);
  EXPECT_EQ(c.unexplained, 0u);
  EXPECT_GT(count(c.explained_by, "sr-bits-12-14-kept"), 0u);
  EXPECT_GT(count(c.explained_by, "exception-cycles-added"), 0u);
}

// The conformance runs take whatever families the folder holds, so a family
// lost from it would go unnoticed there.
TEST(RecordedFiles, EveryFamilyIsThere) {
  REQUIRE_RECORDED_TESTS();
  u32 families = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TESTDATA_DIR "/m68000"))
    families += entry.path().string().ends_with(".bin.gz");
  EXPECT_EQ(families, 127u);
}
