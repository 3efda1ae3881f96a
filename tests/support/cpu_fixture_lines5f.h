// A processor on flat memory for the tests of the lines 5-F handlers: the
// 68000 table installed, a test program copied to address 0 and a
// supervisor stack, with helpers to run single instructions.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/endian.h"
#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "machine/flat_memory.h"
#include "support/m68k_program.h"

class CpuLines5F : public ::testing::Test {
 protected:
  static constexpr u32 stack_top = 0x8000;

  static void SetUpTestSuite() {
    m68k_registers_reset();
    m68k_decode_init();
  }

  void SetUp() override {
    m68k_registers_reset();
    m68k_build_dispatch();
    FLAT_Install();
    m68k_regfile.s = 1;
    m68k_regfile.imask = 7;
    m68k_regfile.a[7] = stack_top;
  }

  void TearDown() override { m68k_registers_reset(); }

  // Copies a program assembled from tests/programs to address 0 and starts
  // the processor at `start`.
  void load(const std::string& name, u32 start = 0) {
    const auto bin = load_m68k_program(name);
    std::memcpy(FLAT_Memory(), bin.data(), bin.size());
    m68k_jump_to(start);
  }

  // Places words at address and starts the processor there.
  void code_at(u32 address, std::initializer_list<u16> words) {
    u32 a = address;
    for (const u16 w : words) {
      poke16(a, w);
      a += 2;
    }
    m68k_jump_to(address);
  }

  static u32 run_at(u32 address) {
    m68k_jump_to(address);
    return m68k_step();
  }
  static u32 step() { return m68k_step(); }
  static u32 pc() { return m68k_get_pc(); }

  static u32& d(u32 n) { return m68k_regfile.d[n]; }
  static u32& a(u32 n) { return m68k_regfile.a[n]; }

  static u32 peek8(u32 addr) { return FLAT_Memory()[addr & 0xffffff]; }
  static u32 peek16(u32 addr) { return be_read16(FLAT_Memory() + (addr & 0xffffff)); }
  static u32 peek32(u32 addr) { return be_read32(FLAT_Memory() + (addr & 0xffffff)); }
  static void poke8(u32 addr, u32 v) { FLAT_Memory()[addr & 0xffffff] = u8(v); }
  static void poke16(u32 addr, u32 v) { be_write16(FLAT_Memory() + (addr & 0xffffff), u16(v)); }
  static void poke32(u32 addr, u32 v) { be_write32(FLAT_Memory() + (addr & 0xffffff), v); }

  // The condition codes as the low five bits of SR: X N Z V C.
  static u32 ccr() {
    const m68k_flags& f = m68k_ccflags;
    return (f.x << 4) | (f.n << 3) | (f.z << 2) | (f.v << 1) | f.c;
  }
  static void set_ccr(u32 v) { m68k_flags_from_sr(v); }
};

// Condition-code bits for readable expectations.
constexpr u32 CCR_C = 1, CCR_V = 2, CCR_Z = 4, CCR_N = 8, CCR_X = 16;
