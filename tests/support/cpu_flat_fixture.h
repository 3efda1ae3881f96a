// A processor on the flat 16 MB test map with a handler table installed and
// supervisor mode set: the base of the instruction handlers' tests, with
// memory accessors, register and flag helpers and single steps.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/endian.h"
#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "machine/memory.h"
#include "support/flat_memory.h"
#include "support/m68k_program.h"

class CpuFlat : public ::testing::Test {
 protected:
  // Registers reset, the 68000 table, cleared flat memory, supervisor mode
  // with interrupts masked and A7 = stack. With VANTORELL_TEST_TABLE5 set in
  // the environment the 68000 table is the one with the prefetch register
  // (table 5), so that the suites that run 68000 code run on it too.
  static void start_cpu(u32 stack) {
    static const bool decoded = (m68k_decode_init(), true);
    (void)decoded;
    m68k_registers_reset();
    FLAT_Install();
    if (std::getenv("VANTORELL_TEST_TABLE5")) m68k_prefetch_mode = 1;
    use_model(0);
    m68k_regs& r = m68k_regfile;
    r.s = 1;
    r.a[7] = stack;
    r.sr = 0x2700;
    m68k_sr_apply();
  }

  void TearDown() override {
    use_model(0);
    m68k_registers_reset();
  }

  // Selects the handler table of a CPU model (0 68000, 1 68010, 2 68020,
  // 3 68020 with FPU, 4 68040).
  static void use_model(u32 model) {
    m68k_model = model;
    m68k_build_dispatch();
  }

  static u8* mem() { return FLAT_Memory(); }
  static u32 rb(u32 a) { return mem()[a & 0xffffff]; }
  static u32 rw(u32 a) { return be_read16(mem() + (a & 0xffffff)); }
  static u32 rl(u32 a) { return be_read32(mem() + (a & 0xffffff)); }
  static void wb(u32 a, u32 v) { mem()[a & 0xffffff] = u8(v); }
  static void ww(u32 a, u32 v) { be_write16(mem() + (a & 0xffffff), v); }
  static void wl(u32 a, u32 v) { be_write32(mem() + (a & 0xffffff), v); }

  // Copies a program assembled from tests/programs (linked at 0) to address 0.
  static void copy_program(const std::string& name) {
    const std::vector<u8> image = load_m68k_program(name);
    std::memcpy(mem(), image.data(), image.size());
  }

  static u32 pc() { return m68k_get_pc(); }
  // Sets the PC and loads the prefetch register from there.
  static void jump(u32 address) {
    m68k_jump_to(address);
    m68k_reload_prefetch();
  }
  // Runs one instruction and returns its cycles, exception processing
  // included.
  static u32 step() { return m68k_step(); }
  static u32 step_at(u32 address) {
    jump(address);
    return step();
  }

  static m68k_regs& regs() { return m68k_regfile; }
  static u32& d(u32 n) { return m68k_regfile.d[n]; }
  static u32& a(u32 n) { return m68k_regfile.a[n]; }

  // The condition codes as the low five bits of the SR: X N Z V C.
  static u32 ccr() {
    const m68k_flags& f = m68k_ccflags;
    return (f.x << 4) | (f.n << 3) | (f.z << 2) | (f.v << 1) | f.c;
  }
  static void set_ccr(u32 v) { m68k_flags_from_sr(v); }
  static u32 sr() {
    m68k_sr_compose();
    return m68k_regfile.sr;
  }
};

// Condition-code bits.
constexpr u32 kX = 0x10, kN = 0x08, kZ = 0x04, kV = 0x02, kC = 0x01;
