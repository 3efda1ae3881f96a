// A processor on flat memory for the tests of the lines 5-F handlers: the
// 68000 table installed, a test program copied to address 0 and a
// supervisor stack, with helpers to run single instructions.
#pragma once

#include <string>

#include "support/cpu_flat_fixture.h"

class CpuLines5F : public CpuFlat {
 protected:
  static constexpr u32 stack_top = 0x8000;

  void SetUp() override { start_cpu(stack_top); }

  // Copies a program assembled from tests/programs to address 0 and starts
  // the processor at `start`.
  void load(const std::string& name, u32 start = 0) {
    copy_program(name);
    jump(start);
  }

  // Places words at address and starts the processor there.
  void code_at(u32 address, std::initializer_list<u16> words) {
    u32 a = address;
    for (const u16 w : words) {
      ww(a, w);
      a += 2;
    }
    jump(address);
  }
};
