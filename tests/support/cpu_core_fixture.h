// A processor on the flat 16 MB test map, for the CPU core's tests: decode
// tables built, registers reset, supervisor mode with the stack at 0x8000,
// and helpers to poke memory, set vectors and install local handlers.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "common/endian.h"
#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/scheduler.h"
#include "support/flat_memory.h"

// Handlers standing in for a few instructions in the core's tests, where
// each must do exactly one plain thing.
namespace core_standins {

inline u32 h_nop(u32) {
  m68k_regfile.pcHost += 2;
  return 4;
}
// TRAP #n
inline u32 h_trap(u32 op) {
  m68k_regfile.pcHost += 2;
  m68k_raise_exception(32 + (op & 15), 0);
  return 4;
}
// MOVE #imm,SR
inline u32 h_move_to_sr(u32) {
  m68k_regs& r = m68k_regfile;
  r.sr = u16(be_read16(r.pcHost + 2));
  r.pcHost += 4;
  m68k_sr_apply();
  return 12;
}
// STOP #imm
inline u32 h_stop(u32 op) {
  h_move_to_sr(op);
  m68k_regfile.inStop = 1;
  m68k_pend_set(m68k_pend_stop);
  return 4;
}
// Leaves the run loop after itself, as a debugger entry request does.
inline u32 h_leave(u32) {
  m68k_regfile.pcHost += 2;
  m68k_pend_set(m68k_pend_leave);
  return 4;
}

}  // namespace core_standins

class CpuCore : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool built = false;
    if (!built) {
      m68k_decode_init();
      built = true;
    }
    saved_dispatch_ = std::make_unique<std::array<m68k_handler, 65536>>();
    std::memcpy(saved_dispatch_->data(), m68k_dispatch, sizeof m68k_dispatch);
    FLAT_Install();
    // RAM clears (double fault, jump guard) wipe the flat memory.
    saved_ram_base_ = MMU_RamBase;
    MMU_RamBase = FLAT_Memory();
    m68k_registers_reset();
    SCHED_Reset();
    SCHED_FrameCount = 0;
    MFP_Reset();
    APP_StopFlag = 0;
    MMU_RamSize = 0x100000;
    MMU_TosVersion = 0;
    r.s = 1;
    r.imask = 7;
    r.a[7] = 0x8000;
    r.usp = 0x4000;
  }
  void TearDown() override {
    std::memcpy(m68k_dispatch, saved_dispatch_->data(), sizeof m68k_dispatch);
    MMU_RamBase = saved_ram_base_;
    MMU_RamSize = 0x100000;
    MMU_TosVersion = 0;
    APP_StopFlag = 0;
  }

  static u8* mem() { return FLAT_Memory(); }
  static void put16(u32 a, u32 v) { be_write16(mem() + a, v); }
  static void put32(u32 a, u32 v) { be_write32(mem() + a, v); }
  static u32 get16(u32 a) { return be_read16(mem() + a); }
  static u32 get32(u32 a) { return be_read32(mem() + a); }
  static void vector(u32 n, u32 handler) { put32(4 * n, handler); }
  // Words of code at addr.
  static void code(u32 addr, std::initializer_list<u32> words) {
    for (u32 w : words) {
      put16(addr, w);
      addr += 2;
    }
  }
  static void start(u32 pc) {
    m68k_jump_to(pc);
    m68k_reload_prefetch();
  }
  static void install(u32 opcode, m68k_handler h) { m68k_dispatch[opcode] = h; }
  static u32 pc() { return m68k_get_pc(); }

  m68k_regs& r = m68k_regfile;
  m68k_flags& f = m68k_ccflags;

 private:
  std::unique_ptr<std::array<m68k_handler, 65536>> saved_dispatch_;
  u8* saved_ram_base_ = nullptr;
};
