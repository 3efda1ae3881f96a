// The places where our 68000 model differs from the real chip on purpose.
// Each deviation names the rule that classifies a mismatching test into it
// and the reason in one line. A mismatch that no deviation explains is a
// bug in the core.
#pragma once

#include <cstddef>
#include <map>
#include <span>
#include <string>
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

// The recorded final state as partial deviations rewrite it towards what
// the model does: the registers (CpuState::memory is not used) and every
// byte the recording lists, final values over initial ones.
struct Rewritten {
  CpuState regs;
  std::map<u32, u8> memory;

  u8 byte(u32 address) const;  // 0 for a byte the recording does not list
  u32 read(u32 address, u32 bytes) const;
  void write(u32 address, u32 bytes, u32 value);
};

struct Deviation {
  const char* name;
  u8 aspects;  // Aspect bits it can explain
  // A whole deviation: whether it explains the mismatch of this aspect in
  // full. Null for a partial one.
  bool (*explains)(const Context& ctx, Aspect aspect);
  // A partial deviation (state only): one cause among several a mismatch
  // may have. It rewrites the recorded state as the model's rule has it and
  // says whether that changed anything. Null for a whole one.
  bool (*rewrite)(const Context& ctx, Rewritten& expected);
  const char* reason;
};

// The checked-in list, most specific first.
std::span<const Deviation> deviations();

// The deviations that explain the mismatch of aspect, as bits (bit i is
// deviations()[i]); 0 when none does. The first whole deviation that
// explains it wins; failing that, the partial ones whose rewrites, applied
// together in list order, turn the recorded state into the model's outcome.
u64 classify(const Context& ctx, Aspect aspect);

// The names of the deviations in mask joined by "+", or "unexplained".
std::string deviation_names(u64 mask);

// The exception vector the recorded run took: 3 when it ends in an address
// error; otherwise the vector whose table entry (as listed in the initial
// memory) is the final PC and was read during the run, with the final SR in
// supervisor mode; -1 when there is none.
int recorded_vector(const TestCase& test);

// Opcodes that table 4 and 5 execute through level-0 definition rows but a
// real 68000 rejects as illegal.
bool is_form_68000_lacks(u16 opcode);

}  // namespace conformance
