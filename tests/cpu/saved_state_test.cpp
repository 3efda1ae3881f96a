// The CPU's saved-state section: size, field offsets, round trip.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "cpu/saved_state.h"
#include "host/options.h"
#include "host/screen.h"
#include "machine/bigscreen.h"
#include "support/cpu_core_fixture.h"

class CpuState : public CpuCore {};

TEST_F(CpuState, SectionLayout) {
  start(0x1234);
  r.pcHost += 6;
  SCREEN_LineABase = 0x11111111;
  SCREEN_DisplayLines = 200;
  SCHED_EventTimes[0] = 0x01020304;
  SCHED_EventTimes[7] = 606969;
  SCHED_NextEvent = 512;
  SCHED_CycleBefore = 77;
  for (u32 i = 0; i < 8; ++i) r.d[i] = 0xd0 + i;
  r.a[7] = 0xa7a7a7a7;
  r.usp = 0x5005;
  r.t1 = 1;
  r.inStop = 1;
  r.imask = 3;
  r.fp[1] = 1.5;
  r.pending = m68k_pend_stop;
  r.prefetch[0] = 0x4e;
  r.prefetch[3] = 0x71;
  f.c = 1;
  f.x = 1;
  m68k_regs_at_interrupt.d[0] = 0x99;
  m68k_last_int_level = 6;
  m68k_sr_changed = 1;
  PREFS_BigScreen = 1;

  u8 s[m68k_state_section_size];
  m68k_state_encode(s);
  EXPECT_EQ(be_read32(s + 0), 0x11111111u);
  EXPECT_EQ(be_read32(s + 4), 200u);
  EXPECT_EQ(be_read32(s + 24), 0x01020304u);
  EXPECT_EQ(be_read32(s + 24 + 24), 512u);  // the next-event slot
  EXPECT_EQ(be_read32(s + 24 + 28), 606969u);
  EXPECT_EQ(be_read32(s + 56), 77u);
  const u8* reg = s + 60;
  EXPECT_EQ(be_read32(reg + 0), 0xd0u);
  EXPECT_EQ(be_read32(reg + 28), 0xd7u);
  EXPECT_EQ(be_read32(reg + 60), 0xa7a7a7a7u);
  EXPECT_EQ(be_read32(reg + 64), 0x5005u);
  EXPECT_EQ(be_read16(reg + 76), 0xa311u);  // composed SR with the flags
  EXPECT_EQ(reg[78], 1);                    // t1
  EXPECT_EQ(reg[80], 1);                    // s
  EXPECT_EQ(reg[83], 1);                    // inStop
  EXPECT_EQ(be_read32(reg + 84), 3u);
  EXPECT_EQ(be_read32(reg + 88), 0x123au);  // the current PC, not the last jump's
  EXPECT_EQ(be_read32(reg + 112 + 8), 0x3ff80000u);  // FP1 = 1.5, big-endian
  EXPECT_EQ(be_read32(reg + 188), u32(m68k_pend_stop));
  EXPECT_EQ(reg[192], 0x4e);
  EXPECT_EQ(reg[195], 0x71);
  EXPECT_EQ(be_read32(s + 256), 0x99u);
  EXPECT_EQ(be_read32(s + 452), 6u);
  EXPECT_EQ(be_read32(s + 460), 1u);
  EXPECT_EQ(be_read32(s + 468), 1u);
  EXPECT_EQ(be_read32(s + 476), 0x123au);  // the current PC
  PREFS_BigScreen = 0;
  SCREEN_LineABase = 0;
}

TEST_F(CpuState, RoundTripRestoresFlagsStopAndPc) {
  code(0x3000, {0x4e71});
  start(0x3000);
  r.d[4] = 0x44;
  r.inStop = 1;
  r.pending = m68k_pend_stop;
  f.n = 1;
  f.v = 1;
  std::FILE* file = std::tmpfile();
  ASSERT_EQ(m68k_save_state(file), 0);
  EXPECT_EQ(std::ftell(file), 480);

  // Another machine with other flags runs in between.
  start(0x1000);
  r.d[4] = 0;
  r.inStop = 0;
  r.pending = 0;
  f = {1, 1, 0, 0, 1};
  std::rewind(file);
  ASSERT_EQ(m68k_restore_state(file), 0);
  std::fclose(file);
  EXPECT_EQ(r.d[4], 0x44u);
  EXPECT_EQ(pc(), 0x3000u);
  EXPECT_EQ(be_read16(r.pcHost), 0x4e71u);
  EXPECT_EQ(r.inStop, 1);
  EXPECT_TRUE(r.pending & m68k_pend_stop);
  EXPECT_EQ(f.c, 0u);
  EXPECT_EQ(f.z, 0u);
  EXPECT_EQ(f.n, 1u);
  EXPECT_EQ(f.v, 1u);
  EXPECT_EQ(f.x, 0u);
}

TEST_F(CpuState, ShortFileChangesNothing) {
  start(0x3000);
  r.d[0] = 0x1234;
  std::FILE* file = std::tmpfile();
  const std::vector<u8> part(100, 0xff);
  std::fwrite(part.data(), 1, part.size(), file);
  std::rewind(file);
  EXPECT_NE(m68k_restore_state(file), 0);
  std::fclose(file);
  EXPECT_EQ(r.d[0], 0x1234u);
  EXPECT_EQ(pc(), 0x3000u);
}

TEST_F(CpuState, SavedPcOutsideMemoryRestartsThroughTheGuard) {
  u8 s[m68k_state_section_size];
  start(0x3000);
  m68k_state_encode(s);
  be_write32(s + 476, 0x500000);
  m68k_jump_guard_off = 0;  // the guard is on, as in the machine's map
  MMU_RamSize = 0x80000;
  m68k_state_decode(s);
  EXPECT_EQ(pc(), 0xfc0000u);
  EXPECT_EQ(r.a[7], 0xf000u);
}
