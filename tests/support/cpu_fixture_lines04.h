// A processor on flat test memory for the tests of the handlers of opcode
// lines 0-4: the 68000 table installed, every exception vector pointing at
// its own landing address, and helpers to load and run assembled programs.
#pragma once

#include <string>

#include "support/cpu_flat_fixture.h"

class CpuLines04 : public CpuFlat {
 protected:
  // Vector n leads to kLanding + 4 * n, which holds ILLEGAL words.
  static constexpr u32 kLanding = 0xe00000;
  static constexpr u32 kSupervisorStack = 0x80000;
  static constexpr u32 kUserStack = 0x70000;
  // Programs place a table of snippet addresses here (see tests/programs).
  static constexpr u32 kSnippetTable = 0x1000;

  void SetUp() override {
    start_cpu(kSupervisorStack);
    m68k_regfile.usp = kUserStack;
    install_vectors();
  }

  static void install_vectors() {
    for (u32 v = 0; v < 256; ++v) wl(4 * v, kLanding + 4 * v);
    for (u32 i = 0; i < 1024; i += 2) ww(kLanding + i, 0x4afc);
  }

  // Copies an assembled program (linked at 0) into memory and restores the
  // vectors over its first kilobyte.
  static void load(const std::string& name) {
    copy_program(name);
    install_vectors();
  }

  static u32 snippet(u32 index) { return rl(kSnippetTable + 4 * index); }

  // Runs from address until the next instruction is ILLEGAL (not executed);
  // returns the cycles of all instructions run.
  static u32 run_from(u32 address, u32 limit = 10000) {
    jump(address);
    u32 cycles = 0;
    for (u32 i = 0; i < limit && rw(pc()) != 0x4afc; ++i) cycles += step();
    return cycles;
  }
  static u32 run(u32 index) { return run_from(snippet(index)); }

  // Whether execution stands at the landing address of a vector.
  static bool at_vector(u32 vector) { return pc() == kLanding + 4 * vector; }

  // Switches to user mode with the user stack active.
  static void enter_user_mode() {
    m68k_sr_compose();
    m68k_regfile.sr = u16(m68k_regfile.sr & ~0x2000u);
    m68k_sr_apply();
  }
};
