// Every state the running machine can be in must load again: guest programs
// write random values (bytes, words, longs) to every chip's registers, the
// state is saved in the middle of it and restored into a machine at
// power-on, and both machines must then run on identically.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/endian.h"
#include "host/options.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"
#include "machine/state.h"
#include "support/machine_fixture.h"

namespace {

constexpr u32 seed_offset = 0x40;  // where register_writes.s keeps its seed

struct Case {
  u32 seed;
  bool blitter, monochrome;
};

void set_options(const Case& c) {
  PREFS_BlitterEnabled = c.blitter;
  SHIFTER_Mode = c.monochrome ? 2 : 0;
}

// The machine at power-on, as start-up leaves it: the globals of the
// processor and the chips reset and RAM forgotten. The decode tables and the
// memory map, which no state touches, stay built.
void power_on(const Case& c) {
  const u32 tos = MMU_TosVersion;
  machine_reset_globals();
  MMU_TosVersion = tos;
  set_options(c);
  SHIFTER_Reset(SHIFTER_Mode);
  std::memset(MMU_RamBase, 0x77, MMU_RamSize);
}

}  // namespace

TEST(StateRoundTrip, RandomRegisterWritesAlwaysLeaveALoadableState) {
  TempFolder folder;
  folder.write("tos.img", load_test_rom("register_writes"));
  machine_reset_globals();
  // 512 KB of RAM: most video bases lie past its end.
  MMU_HostRamLimit = 0x80000;
  CART_PortConfig = 0;
  machine_start(folder.path());
  APP_AutoStateLoaded = 1;
  u32 refused = 0, diverged = 0;
  for (u32 n = 0; n < 200; ++n) {
    const Case c = {n * 0x9e3779b9u + 1, (n & 1) != 0, n % 8 == 7};
    be_write32(MMU_RomBuffer + seed_offset, c.seed);

    // The original, from a power-on restart (whatever the chips kept from
    // the case before): saved a frame into its writes, then two frames on.
    set_options(c);
    MMU_ClearRAM();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    machine_run_frames(1);
    const std::vector<u8> saved = STATE_Encode();
    // The frame count is not part of a state: the copy gets the original's.
    const u32 frame = SCHED_FrameCount;
    machine_continue_frames(2);
    const std::vector<u8> expected = STATE_Encode();

    power_on(c);
    const STATE_Result result = STATE_Decode(saved.data(), saved.size());
    SCHED_FrameCount = frame;
    if (result == STATE_Result::Restored) machine_continue_frames(2);
    testing::internal::GetCapturedStdout();
    const std::string alert = testing::internal::GetCapturedStderr();
    if (result != STATE_Result::Restored) {
      ++refused;
      ADD_FAILURE() << "seed " << c.seed << " refused: " << alert;
      continue;
    }
    const std::vector<u8> after = STATE_Encode();
    if (after != expected) {
      ++diverged;
      size_t i = 0;
      while (i < after.size() && after[i] == expected[i]) ++i;
      ADD_FAILURE() << "seed " << c.seed << " runs on differently from byte " << i;
    }
  }
  EXPECT_EQ(refused, 0u);
  EXPECT_EQ(diverged, 0u);
}
