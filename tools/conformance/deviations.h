// The places where our 68000 model differs from the real chip on purpose.
// Each deviation names the rule that classifies a mismatching test into it
// and the reason in one line. A mismatch that no deviation explains is a
// bug in the core.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "common/types.h"
#include "runner.h"
#include "test_file.h"

namespace conformance {

// What a deviation explains: a state mismatch (registers, SR, PC, memory)
// or a cycle-count mismatch.
enum Aspect : u8 { aspect_state = 1, aspect_cycles = 2 };

struct Context {
  const TestCase& test;
  std::string_view family;  // file name without ".bin", as "ADD.w"
  u32 table;                // handler table under test, 4 or 5
  const Outcome& got;
  int vector;  // exception vector the recorded run took, or -1 (see recorded_vector)
};

struct Deviation {
  const char* name;
  u8 aspects;  // Aspect bits it can explain
  // Whether the deviation explains the mismatch of this aspect in full.
  bool (*explains)(const Context& ctx, Aspect aspect);
  const char* reason;
};

// The checked-in list, most specific first: a mismatch goes to the first
// deviation that explains it.
std::span<const Deviation> deviations();

// Index into deviations() of the deviation that explains the mismatch of
// aspect, or -1 when none does.
int classify(const Context& ctx, Aspect aspect);

// The exception vector the recorded run took: 3 when it ends in an address
// error; otherwise the vector whose table entry (as listed in the initial
// memory) is the final PC and was read during the run, with the final SR in
// supervisor mode; -1 when there is none.
int recorded_vector(const TestCase& test);

// Opcodes that table 4 and 5 execute through level-0 definition rows but a
// real 68000 rejects as illegal.
bool is_form_68000_lacks(u16 opcode);

}  // namespace conformance
