// A processor on flat test memory for the tests of the handlers of opcode
// lines 0-4: the 68000 table installed, every exception vector pointing at
// its own landing address, and helpers to load and run assembled programs.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/endian.h"
#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "machine/flat_memory.h"
#include "machine/memory.h"
#include "support/m68k_program.h"

class CpuLines04 : public ::testing::Test {
 protected:
  // Vector n leads to kLanding + 4 * n, which holds ILLEGAL words.
  static constexpr u32 kLanding = 0xe00000;
  static constexpr u32 kSupervisorStack = 0x80000;
  static constexpr u32 kUserStack = 0x70000;
  // Programs place a table of snippet addresses here (see tests/programs).
  static constexpr u32 kSnippetTable = 0x1000;

  void SetUp() override {
    m68k_registers_reset();
    static const bool decoded = (m68k_decode_init(), true);
    (void)decoded;
    FLAT_Install();
    use_model(0);
    install_vectors();
    m68k_regs& r = m68k_regfile;
    r.s = 1;
    r.a[7] = kSupervisorStack;
    r.usp = kUserStack;
    r.sr = 0x2700;
    m68k_sr_apply();
  }

  void TearDown() override {
    use_model(0);
    m68k_registers_reset();
  }

  // Selects the handler table of a CPU model (0 68000, 1 68010, 2 68020).
  static void use_model(u32 model) {
    m68k_model = model;
    m68k_build_dispatch();
  }

  static void install_vectors() {
    for (u32 v = 0; v < 256; ++v) wl(4 * v, kLanding + 4 * v);
    for (u32 i = 0; i < 1024; i += 2) ww(kLanding + i, 0x4afc);
  }

  static u8* mem() { return FLAT_Memory(); }
  static u32 rb(u32 a) { return mem()[a & 0xffffff]; }
  static u32 rw(u32 a) { return be_read16(mem() + (a & 0xffffff)); }
  static u32 rl(u32 a) { return be_read32(mem() + (a & 0xffffff)); }
  static void wb(u32 a, u32 v) { mem()[a & 0xffffff] = u8(v); }
  static void ww(u32 a, u32 v) { be_write16(mem() + (a & 0xffffff), v); }
  static void wl(u32 a, u32 v) { be_write32(mem() + (a & 0xffffff), v); }

  // Copies an assembled program (linked at 0) into memory and restores the
  // vectors over its first kilobyte.
  static void load(const std::string& name) {
    const std::vector<u8> image = load_m68k_program(name);
    std::memcpy(mem(), image.data(), image.size());
    install_vectors();
  }

  static u32 snippet(u32 index) { return rl(kSnippetTable + 4 * index); }
  static u32 pc() { return m68k_get_pc(); }
  static void jump(u32 address) { m68k_jump_to(address); }

  // Runs one instruction and returns its cycle count.
  static u32 step() { return m68k_step(); }
  static u32 step_at(u32 address) {
    jump(address);
    return step();
  }

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

  static m68k_regs& regs() { return m68k_regfile; }
  static u32& d(u32 n) { return m68k_regfile.d[n]; }
  static u32& a(u32 n) { return m68k_regfile.a[n]; }

  // The condition codes as the low byte of the status register.
  static u32 ccr() {
    m68k_sr_compose();
    return m68k_regfile.sr & 0x1f;
  }
  static void set_ccr(u32 v) {
    m68k_sr_compose();
    m68k_regfile.sr = u16((m68k_regfile.sr & 0xff00) | (v & 0x1f));
    m68k_sr_apply();
  }
  static u32 sr() {
    m68k_sr_compose();
    return m68k_regfile.sr;
  }
  // Switches to user mode with the user stack active.
  static void enter_user_mode() {
    m68k_sr_compose();
    m68k_regfile.sr = u16(m68k_regfile.sr & ~0x2000u);
    m68k_sr_apply();
  }
};

// Condition-code bits.
constexpr u32 kX = 0x10, kN = 0x08, kZ = 0x04, kV = 0x02, kC = 0x01;
