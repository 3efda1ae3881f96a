// Runs one recorded test through the processor core on the flat memory map
// and compares the outcome with the recorded final state.
#pragma once

#include <string>
#include <vector>

#include "common/types.h"
#include "test_file.h"

namespace conformance {

// Bits of Outcome::fields: which parts of the state differ.
enum : u32 {
  field_d0 = 1u << 0,    // D0-D7: bits 0-7
  field_a0 = 1u << 8,    // A0-A6: bits 8-14
  field_usp = 1u << 15,
  field_ssp = 1u << 16,
  field_sr = 1u << 17,
  field_pc = 1u << 18,
  field_memory = 1u << 19,
  field_prefetch = 1u << 20,  // the two prefetch words (table 5 only)
};

struct MemoryDiff {
  u32 address;
  u8 expected;
  u8 got;
  bool listed;  // false: a byte no memory list names, written by the run
};

// What the core produced for one test and how it differs.
struct Outcome {
  u32 d[8];
  u32 a[7];
  u32 usp;
  u32 ssp;
  u16 sr;
  u32 pc;      // address of the next instruction (the recorded final pc - 4)
  u16 prefetch[2] = {};
  u32 cycles;  // cycles counted in the frame position, exception costs included
  u32 handler_cycles;  // the handler's own count, as m68k_step returned it

  u32 fields = 0;                   // differing state fields
  std::vector<MemoryDiff> memory;   // differing bytes, listed or stray
  bool cycles_match = false;

  bool state_match() const { return fields == 0; }
};

// Selects handler table 4 (no prefetch, no alignment checks) or 5 (prefetch
// and address checks) for the 68000 model, builds the dispatch table and
// installs the flat memory map. Builds the decode tables on its first call.
// With table 5 the prefetch words are graded as well.
void setup_core(u32 table);

// Runs test on the core set up by setup_core and fills out; the memory the
// test used is zeroed again afterwards.
void run_test(const TestCase& test, Outcome& out);

// Field-by-field listing of the differences (expected against got), one
// indented line each.
std::string describe_differences(const TestCase& test, const Outcome& out);

// The initial state of a test in a few indented lines: registers, SR, the
// instruction's address and the listed memory words.
std::string describe_initial(const TestCase& test);

// The name of a single field bit ("D3", "SR", ...).
std::string field_name(u32 bit);

}  // namespace conformance
