// The run loop and m68k_go: STOP idling, leaving, the stop word, the jump
// guard's boundaries and the auto-saved state.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "cpu/saved_state.h"
#include "host/app.h"
#include "host/options.h"
#include "machine/machine.h"
#include "support/cpu_core_fixture.h"

namespace {

using namespace core_standins;

// Ends the emulation.
u32 h_quit(u32) {
  m68k_regfile.pcHost += 2;
  APP_StopFlag = 1;
  m68k_pend_set(m68k_pend_leave);
  return 4;
}
u32 nops_run = 0;
u32 h_count(u32) {
  ++nops_run;
  m68k_regfile.pcHost += 2;
  return 4;
}

// Host memory everywhere, but not the flat test bank: the guard is strict.
u8* flat_host(u32 a) { return FLAT_Memory() + a; }
u32 flat_get(u32 a) { return be_read32(FLAT_Memory() + a); }
u32 flat_getW(u32 a) { return be_read16(FLAT_Memory() + a); }
u32 flat_getB(u32 a) { return FLAT_Memory()[a]; }
void flat_putL(u32 a, u32 v) { be_write32(FLAT_Memory() + a, v); }
void flat_putW(u32 a, u32 v) { be_write16(FLAT_Memory() + a, v); }
void flat_putB(u32 a, u32 v) { FLAT_Memory()[a] = u8(v); }
u32 any_check(u32, u32) { return 1; }
constexpr MMU_Bank st_bank = {flat_get, flat_getW, flat_getB, flat_putL, flat_putW, flat_putB, flat_host, any_check};
u8* no_host(u32) { return nullptr; }
constexpr MMU_Bank io_bank = {flat_get, flat_getW, flat_getB, flat_putL, flat_putW, flat_putB, no_host, any_check};

}  // namespace

class RunLoop : public CpuCore {};

TEST_F(RunLoop, StopIdlesInSixteenCycleStepsUntilTheVblIsAccepted) {
  install(0x4e72, h_stop);
  install(0x4afa, h_leave);
  vector(28, 0x2000);
  code(0x1000, {0x4e72, 0x2300});
  code(0x2000, {0x4afa});
  start(0x1000);
  m68k_run_loop();
  // STOP at 0 (4 cycles), 10,016 steps of 16 cross the frame end at 160,260;
  // the VBL raised there is accepted (48) and the handler runs (4).
  EXPECT_EQ(SCHED_FrameCount, 1u);
  EXPECT_EQ(SCHED_FrameCycle, -1 + 48 + 4);
  EXPECT_EQ(r.inStop, 0);
  EXPECT_EQ(r.pending, 0u);
  EXPECT_EQ(r.imask, 4u);
  EXPECT_EQ(get32(0x7ffc), 0x1004u);
  EXPECT_EQ(get16(0x7ffa), 0x2300u);
  EXPECT_EQ(pc(), 0x2002u);
}

TEST_F(RunLoop, StoppedStepIdlesAndAMaskedInterruptLeavesItStopped) {
  install(0x4e72, h_stop);
  install(0x4e71, h_nop);
  code(0x1000, {0x4e72, 0x2700, 0x4e71});
  start(0x1000);
  m68k_step();
  MFP_RaiseVBL();
  EXPECT_EQ(m68k_step(), 16u);
  EXPECT_EQ(m68k_step(), 16u);
  EXPECT_EQ(pc(), 0x1004u);  // the NOP behind the STOP never ran
  EXPECT_EQ(r.inStop, 1);
  EXPECT_EQ(MFP_VideoIntPending, 2u);
}

// The stop word ends the idling; entering the run loop again while stopped
// idles on and does not run the instruction behind the STOP.
TEST_F(RunLoop, StopWordEndsTheIdlingAndReentryStaysStopped) {
  install(0x4e72, h_stop);
  install(0x4e71, h_count);
  install(0x4afa, h_leave);
  vector(28, 0x2000);
  code(0x1000, {0x4e72, 0x2300, 0x4e71});
  code(0x2000, {0x4afa});
  nops_run = 0;
  start(0x1000);
  m68k_step();
  APP_StopFlag = 1;
  m68k_run_loop();
  EXPECT_EQ(r.inStop, 1);
  APP_StopFlag = 0;
  m68k_run_loop();  // idles until the VBL, whose handler leaves
  EXPECT_EQ(nops_run, 0u);
  EXPECT_EQ(get32(0x7ffc), 0x1004u);
  EXPECT_EQ(pc(), 0x2002u);
}

// The debugger steps by leaving after every instruction: the events each one
// crosses still fire, or time would stand still while stepping.
TEST_F(RunLoop, LeaveReturnsAfterTheEventsTheInstructionCrossed) {
  install(0x4e71, h_nop);
  install(0x4afa, h_leave);
  code(0x1000, {0x4e71, 0x4afa, 0x4e71});
  SCHED_FrameCycle = SCHED_CycleBefore = 160250;
  SCHED_ComputeNextEvent();
  start(0x1000);
  m68k_run_loop();
  EXPECT_EQ(SCHED_FrameCount, 1u);  // the frame end ran, and raised the VBL
  EXPECT_NE(MFP_VideoIntPending, 0u);
  EXPECT_EQ(pc(), 0x1004u);
  EXPECT_EQ(r.pending & ~m68k_pend_interrupt, 0u);
}

TEST_F(RunLoop, SchedulerRunsTheFrameEndAndTheVbl) {
  install(0x4e71, h_nop);
  install(0x4afa, h_leave);
  for (u32 a = 0x1000; a < 0x1010; a += 2) put16(a, 0x4e71);
  put16(0x1010, 0x4afa);
  // A position set from outside is followed by a new event time, as after a
  // restored state.
  SCHED_FrameCycle = SCHED_CycleBefore = 160250;
  SCHED_ComputeNextEvent();
  start(0x1000);
  m68k_run_loop();
  EXPECT_EQ(SCHED_FrameCount, 1u);
  EXPECT_EQ(MFP_VideoIntPending, 2u);  // raised, masked at 7
  EXPECT_EQ(SCHED_FrameCycle, -1 + 4 * 6 + 4);
}

// The instruction count is exact when the run loop returns, also when a
// frame end sets the stop word; STOP idling counts no instructions.
TEST_F(RunLoop, CountsEveryInstructionItRuns) {
  install(0x4e71, h_count);
  install(0x4e72, h_stop);
  install(0x4afa, h_leave);
  for (u32 a = 0x1000; a < 0x1400; a += 2) put16(a, 0x4e71);
  nops_run = 0;
  SCHED_FrameCycle = SCHED_CycleBefore = 160000;
  SCHED_ComputeNextEvent();
  SCHED_StopAfterFrames = 1;
  start(0x1000);
  u64 before = m68k_instruction_count;
  m68k_run_loop();
  SCHED_StopAfterFrames = 0;
  // 160000 + 65 x 4 is the first position past the frame end.
  EXPECT_EQ(nops_run, 65u);
  EXPECT_EQ(m68k_instruction_count - before, 65u);

  // One step is one instruction; a STOP and the handler that leaves are two,
  // the idling between them counts nothing.
  APP_StopFlag = 0;
  before = m68k_instruction_count;
  m68k_step();
  EXPECT_EQ(m68k_instruction_count - before, 1u);
  vector(28, 0x2000);
  code(0x1200, {0x4e72, 0x2300});
  code(0x2000, {0x4afa});
  start(0x1200);
  before = m68k_instruction_count;
  m68k_run_loop();
  EXPECT_EQ(pc(), 0x2002u);
  EXPECT_EQ(m68k_instruction_count - before, 2u);
}

// An instruction that reaches the frame length exactly raises the VBL; the
// next one moves past it and ends the frame, whose excess is dropped.
TEST_F(RunLoop, FrameLengthReachedExactlyRaisesTheVblThenEndsTheFrame) {
  install(0x4e71, h_nop);
  install(0x4afa, h_leave);
  code(0x1000, {0x4e71, 0x4e71, 0x4afa});
  SCHED_FrameCycle = SCHED_CycleBefore = SCHED_CyclesPerFrame - 4;
  SCHED_ComputeNextEvent();
  const u32 frames = SCHED_FrameCount;
  start(0x1000);
  m68k_run_loop();
  EXPECT_EQ(SCHED_FrameCount, frames + 1);
  EXPECT_TRUE(MFP_VideoIntPending & 2);
  EXPECT_EQ(SCHED_FrameCycle, -1 + 4);
}

// A step counts the exception the instruction took; the handler's own
// count comes out separately.
TEST_F(RunLoop, StepGivesTheHandlersCountBesideTheWhole) {
  install(0x4e41, h_trap);
  install(0x4e72, h_stop);
  code(0x1000, {0x4e41});
  code(0x2000, {0x4e72, 0x2700});
  vector(33, 0x2000);
  start(0x1000);
  u32 own = 99;
  EXPECT_EQ(m68k_step(own), 4u + 34u);
  EXPECT_EQ(own, 4u);
  EXPECT_EQ(m68k_step(own), 4u);  // STOP
  EXPECT_EQ(own, 4u);
  EXPECT_EQ(m68k_step(own), 16u);  // stopped: idling, no handler ran
  EXPECT_EQ(own, 0u);
}

TEST_F(RunLoop, GoRunsFromTheTosEntryUntilTheStopWord) {
  install(0x4e71, h_count);
  install(0x4afb, h_quit);
  code(0xfc0000, {0x4e71, 0x4e71, 0x4afb});
  nops_run = 0;
  m68k_go(1);
  EXPECT_EQ(nops_run, 2u);
  EXPECT_EQ(m68k_running, 0u);
  EXPECT_EQ(pc(), 0xfc0006u);
}

TEST_F(RunLoop, GoIsNotReentrant) {
  EXPECT_DEATH(m68k_go(0), "");
}

// A refused "Auto Saved State" is read and refused once, not again at every
// entry of the run loop; nor is a FIFO of that name waited on, or a
// directory passed over in silence.
TEST_F(RunLoop, AutoSavedStateThatCannotBeReadIsTriedOnce) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path();
  dir /= "vantorell_autostate";
  dir += std::to_string(::getpid());
  install(0x4afa, h_leave);
  const fs::path state = dir / "Auto Saved State";
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"Invalid file", [&] { std::ofstream(state) << "not a state"; }},
      {"is a FIFO", [&] { ASSERT_EQ(mkfifo(state.c_str(), 0600), 0); }},
      {"is a directory", [&] { fs::create_directory(state); }},
  };
  for (const auto& [message, make] : cases) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    make();
    code(0x1000, {0x4afa, 0x4afa});
    APP_Folder.path = dir.string();
    PREFS_AutoSaveOnQuit = 1;
    APP_AutoStateLoaded = 0;
    start(0x1000);
    r.d[5] = 0x55;
    testing::internal::CaptureStderr();
    m68k_run_loop();
    m68k_run_loop();
    const std::string alerts = testing::internal::GetCapturedStderr();
    EXPECT_EQ(APP_AutoStateLoaded, 1u) << message;
    EXPECT_EQ(r.d[5], 0x55u) << message;
    EXPECT_EQ(pc(), 0x1004u) << message;
    EXPECT_NE(alerts.find(message), std::string::npos) << alerts;
    EXPECT_EQ(alerts.find("alert"), alerts.rfind("alert")) << alerts;  // one alert
  }
  PREFS_AutoSaveOnQuit = 0;
  APP_Folder.path = ".";
  fs::remove_all(dir);
}

// Decided at the first entry of a start: switching the option on afterwards
// (the settings dialog) puts nothing back in time.
TEST_F(RunLoop, AutoSavedStateIsDecidedAtTheFirstEntry) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("vantorell_autostate_first" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "Auto Saved State") << "read, it would be refused with an alert";
  install(0x4afa, h_leave);
  code(0x1000, {0x4afa, 0x4afa});
  APP_Folder.path = dir.string();
  PREFS_AutoSaveOnQuit = 0;
  APP_AutoStateLoaded = 0;
  start(0x1000);
  testing::internal::CaptureStderr();
  m68k_run_loop();
  PREFS_AutoSaveOnQuit = 1;
  m68k_run_loop();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(pc(), 0x1004u);
  PREFS_AutoSaveOnQuit = 0;
  APP_Folder.path = ".";
  fs::remove_all(dir);
}

class JumpGuard : public CpuCore {
 protected:
  void SetUp() override {
    CpuCore::SetUp();
    for (auto& b : MMU_bankTable) b = &st_bank;
    m68k_jump_guard_off = 0;  // a map with forbidden ranges, as the machine's
    MMU_RamSize = 0x80000;
    put16(0x100, 0xabcd);
  }
  // Jumps to target; returns the PC it lands on and whether RAM was wiped.
  std::pair<u32, bool> jump(u32 target) {
    put16(0x100, 0xabcd);
    r.a[7] = 0x8000;
    m68k_jump_to(target);
    return {pc(), get16(0x100) == 0};
  }
};

TEST_F(JumpGuard, TosOneBoundaries) {
  MMU_TosVersion = 14;
  EXPECT_EQ(jump(0x80000), std::make_pair(0x80000u, false));   // RAM size itself passes
  EXPECT_EQ(jump(0x80002), std::make_pair(0xfc0000u, true));
  EXPECT_EQ(jump(0xf9fffe), std::make_pair(0xfc0000u, true));
  EXPECT_EQ(jump(0xfa0000), std::make_pair(0xfa0000u, false));  // cartridge
  EXPECT_EQ(jump(0xfefffe), std::make_pair(0xfefffeu, false));
  EXPECT_EQ(jump(0xff0000), std::make_pair(0xfc0000u, true));
  EXPECT_EQ(r.a[7], 0xf000u);
  EXPECT_EQ(jump(0x00001235), std::make_pair(0x1234u, false));  // bit 0 dropped
  EXPECT_EQ(jump(0x7f001000), std::make_pair(0x7f001000u, false));  // upper bits kept
}

TEST_F(JumpGuard, TosTwoBoundaries) {
  MMU_TosVersion = 26;
  EXPECT_EQ(jump(0xdffffe), std::make_pair(0xe00000u, true));
  EXPECT_EQ(jump(0xe00000), std::make_pair(0xe00000u, false));
  EXPECT_EQ(jump(0xfc0000), std::make_pair(0xfc0000u, false));
  EXPECT_EQ(jump(0xfc0002), std::make_pair(0xe00000u, true));
  EXPECT_EQ(jump(0xfa0000), std::make_pair(0xfa0000u, false));  // inside the allowed window
}

TEST_F(JumpGuard, NoHostMemoryRestarts) {
  MMU_TosVersion = 14;
  MMU_bankTable[0x20] = &io_bank;
  EXPECT_EQ(jump(0x200000 & 0x7ffff), std::make_pair(0u, false));
  MMU_RamSize = 0x400000;
  EXPECT_EQ(jump(0x200000), std::make_pair(0xfc0000u, true));
}

TEST_F(JumpGuard, FlatTestMapAllowsAnyTarget) {
  FLAT_Install();
  MMU_TosVersion = 14;
  m68k_jump_to(0x900000);
  EXPECT_EQ(pc(), 0x900000u);
  EXPECT_TRUE(FLAT_Installed());
}

TEST_F(JumpGuard, BranchesMoveWithinTheirRegionAndJumpOutOfIt) {
  MMU_TosVersion = 14;
  start(0x1000);
  m68k_branch(0x100);
  EXPECT_EQ(pc(), 0x1102u);
  EXPECT_EQ(r.pcBase, mem() + 0x1000);  // moved in place, no jump
  start(0xfff0);
  m68k_branch(0x20);  // into the next bank: through the guard
  EXPECT_EQ(r.pc, 0x10012u);
  EXPECT_EQ(r.pcHost, r.pcBase);
  m68k_branch(u32(-0x18));  // back across the bank start
  EXPECT_EQ(r.pc, 0xfffcu);
  EXPECT_EQ(r.pcHost, mem() + 0xfffc);
  start(0x7fff0);
  m68k_branch(0x7ffe);  // past the end of RAM: restart
  EXPECT_EQ(pc(), 0xfc0000u);
  EXPECT_EQ(get16(0x100), 0u);
}
