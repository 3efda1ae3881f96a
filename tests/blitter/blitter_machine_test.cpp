// The Blitter in a running machine: a test ROM draws one picture with the
// CPU and with the Blitter, and EmuTOS boots to the same desktop with and
// without it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "blitter/blitter.h"
#include "cpu/exceptions.h"
#include "cpu/handler_tables.h"
#include "cpu/registers.h"
#include "host/app.h"
#include "host/events.h"
#include "host/options.h"
#include "host/screen.h"
#include "host/shared/screen_convert.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/sections.h"
#include "machine/state.h"
#include "support/machine_fixture.h"
#include "support/state_section.h"
#include "support/testdata.h"

namespace {

class BlitterMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!m68k_handler_table_complete[4]) GTEST_SKIP() << "needs the 68000 instruction handlers";
    machine_reset_globals();
  }
  void TearDown() override {
    APP_FolderOverride.clear();
    EVENTS_BusyHook = nullptr;
    EVENTS_ScriptHook = nullptr;
    EVENTS_DoEventHook = nullptr;
  }

  // Starts the machine on `tos` with the Blitter option as given.
  void boot(const std::vector<u8>& tos, u32 blitter) {
    folder.write("tos.img", tos);
    machine_start(folder.path());
    PREFS_BlitterEnabled = blitter;
  }
  static void run(u32 frames, bool goOn = false) { machine_run_quietly(frames, goOn); }
  static SCREEN_Image picture(u32 base) {
    SCREEN_ShifterView view = SCREEN_CurrentView();
    view.base = base;
    return SCREEN_ConvertST(MMU_RamBase, MMU_RamSize, view);
  }

  TempFolder folder;
};

TEST_F(BlitterMachine, TestRomDrawsTheSamePictureWithTheCpuAndTheBlitter) {
  boot(load_test_rom("blitter_picture"), 1);
  run(50);
  for (u32 frames = 50; frames < 2000 && MMU_ReadL(0x818) != 0x600d; frames += 50) run(50, true);
  ASSERT_EQ(MMU_ReadL(0x818), 0x600du) << "the ROM did not finish";
  const u8* cpu = MMU_RamBase + 0x60000;
  const u8* blitter = MMU_RamBase + 0x70000;
  for (u32 line = 0; line < 200; ++line)
    ASSERT_EQ(std::memcmp(cpu + 160 * line, blitter + 160 * line, 160), 0) << "line " << line;
  EXPECT_EQ(picture(0x60000).rgba, picture(0x70000).rgba);
}

// Three operations of a million words, started by a long write across the control register and by
// MOVEM.W and MOVEM.L writes going on below it (tests/roms/blitter_starts.s), stop whenever the host
// breaks in, and quits leave them stopped, the MOVEMs' later writes waiting: the run, and the states
// saved at the quits, end as a run never broken. So do a fourth and a fifth, whose MOVEM and MOVEP end in a bus error.
TEST_F(BlitterMachine, OperationsStartedByLongAndMovemWritesStopForTheHost) {
  const auto finish = [] {  // the result areas and the Blitter's registers at the end
    for (u32 i = 0; i < 100 && MMU_ReadW(0x900) != 0x600d; ++i) run(1, true);
    EXPECT_EQ(MMU_ReadW(0x900), 0x600du);
    return std::pair(std::vector<u8>(MMU_RamBase + 0x40000, MMU_RamBase + 0x40300), saved(BLITTER_Save));
  };
  boot(load_test_rom("blitter_starts"), 1);
  run(1);
  const auto through = finish();
  for (u32 frame : {0x40280, 0x40290})  // the bus errors' frames, each with its PC in the ROM
    EXPECT_EQ(MMU_ReadL(frame + 10) & 0xffff0000, 0xfc0000u) << std::hex << frame;

  // Every poll stops the operation; every fourth, from the second, quits.
  static u32 polls;
  polls = 0;
  EVENTS_BusyHook = [] {
    if (++polls % 4 == 2) APP_StopFlag = 1;
    return true;
  };
  machine_reset_globals();
  boot(load_test_rom("blitter_starts"), 1);
  run(1);
  std::vector<std::vector<u8>> saves;
  std::vector<u32> waiting;
  for (u32 i = 0; i < 100 && MMU_ReadW(0x900) != 0x600d; ++i) {
    run(1, true);
    if (!BLITTER_Stopped) continue;
    EXPECT_TRUE(BLITTER_YCount > 0 && BLITTER_YCount < 16384) << BLITTER_YCount;
    waiting.push_back(BLITTER_WaitingCount);
    saves.push_back(STATE_Encode());
  }
  EXPECT_EQ(waiting, (std::vector<u32>{0, 1, 3}));
  EXPECT_GE(polls, 12u);
  EXPECT_EQ(finish(), through);
  EVENTS_BusyHook = nullptr;
  for (u32 i = 0; i < saves.size(); ++i) {
    EXPECT_EQ(saves[i].size() - STATE_FileSize(MMU_RamSize), waiting[i] ? BLITTER_WaitingStateBytes : 0) << i;
    ASSERT_EQ(STATE_Decode(saves[i].data(), saves[i].size()), STATE_Result::Restored);
    EXPECT_EQ(finish(), through) << i;
  }
}

// Stops for the host change nothing the ST computes, nor do quits with the machine saved and
// restored: tests/roms/blitter_passes.s starts operations traced and under the HBL, the VBL and
// Timer A, with the stack inside the line they fill and a log of every frame's vector and PC.
// Never stopped, stopped at every poll, and quitting at every fifth poll, the whole machine is
// the same at every frame end.
TEST_F(BlitterMachine, StopsForTheHostChangeNothingTheStComputes) {
  static bool stops, quits;
  static u32 polls;
  static std::vector<u8> owed;  // saved with an operation stopped and its start's trace to come
  EVENTS_BusyHook = [] {
    if (quits && ++polls % 5 == 0) APP_StopFlag = 1;
    return stops;
  };
  const auto start = [&](bool stop, bool quit) {
    stops = stop, quits = quit, polls = 0;
    machine_reset_globals();
    SCREEN_FramesSinceDraw = 0;  // the frame skip's count, which the picture's conversion follows
    boot(load_test_rom("blitter_passes"), 1);
    BLITTER_PollWords = BLITTER_WordsToPoll = 2048;
  };
  // The state at each of four frame ends; the quits with more of the pass to come after the
  // operation (a trace, an interrupt, an event due).
  const auto frames = [&](bool stop, bool quit, std::vector<std::vector<u8>>& states, u32& busy_quits) {
    start(stop, quit);
    busy_quits = 0;
    bool started = false;
    for (u64 first = SCHED_FramesEnded, ended = first; ended - first < 4; ended = SCHED_FramesEnded) {
      run(1, std::exchange(started, true));
      if (SCHED_FramesEnded != ended) {
        states.push_back(STATE_Encode());
        continue;
      }
      ASSERT_TRUE(quit);
      const u32 more = m68k_pend_trace_now | m68k_pend_interrupt | m68k_pend_sr_check;
      const bool busy = BLITTER_Stopped && ((m68k_regfile.pending & more) || SCHED_FrameCycle >= SCHED_NextEvent);
      busy_quits += busy;
      const std::vector<u8> state = STATE_Encode();
      if (BLITTER_Stopped && (m68k_regfile.pending & m68k_pend_trace_now) && owed.empty()) owed = state;
      m68k_restart();  // a new start reads the state back
      ASSERT_EQ(STATE_Decode(state.data(), state.size()), STATE_Result::Restored);
    }
    EXPECT_EQ(MMU_ReadW(0x900), 0x600du);
  };
  const auto expect_same = [](const std::vector<u8>& a, const std::vector<u8>& b, const std::string& what) {
    const auto at = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    EXPECT_TRUE(at.first == a.end() && at.second == b.end()) << what << ": differs from byte " << at.first - a.begin();
  };
  std::vector<std::vector<u8>> through;
  u32 busy_quits;
  frames(false, false, through, busy_quits);
  std::set<u32> vectors;  // what the log holds
  for (u32 at = 0x10000; at < 0x20000 && MMU_ReadW(at); at += 6) vectors.insert(MMU_ReadW(at));
  EXPECT_EQ(vectors, (std::set<u32>{9, 26, 28, 0x4d}));
  for (bool quit : {false, true}) {
    std::vector<std::vector<u8>> broken;
    frames(true, quit, broken, busy_quits);
    ASSERT_EQ(broken.size(), through.size());
    for (size_t f = 0; f < through.size(); ++f)
      expect_same(through[f], broken[f], "quit " + std::to_string(quit) + ", frame " + std::to_string(f));
  }
  EXPECT_GT(polls, 1000u);
  EXPECT_GT(busy_quits, 20u);

  // Such a state, and a traced one saved between two passes, loaded by the host where it acts
  // (Load State in a menu: at the frame's poll, at one right after an SR write, in the pause, in
  // a Blitter operation's break) goes on as one loaded at a start: what was left of the old
  // machine's pass is dropped, and the state's own pass comes first when it was saved inside one.
  ASSERT_FALSE(owed.empty());
  static std::vector<u8> loading;
  static bool loaded;
  static const auto load = [] {
    if (std::exchange(loaded, true)) return;
    ASSERT_EQ(STATE_Decode(loading.data(), loading.size()), STATE_Result::Restored);
    SCREEN_FramesSinceDraw = 0;
  };
  enum Where { AtStart, AtPoll, AfterSrWrite, InPause, InBreak };
  ASSERT_EQ(STATE_Decode(through[1].data(), through[1].size()), STATE_Result::Restored);
  m68k_regfile.t1 = 1;  // a frame end's state with its next instruction traced
  m68k_pend_set(m68k_pend_trace_now);
  static std::vector<u8> traced = STATE_Encode();
  for (const std::vector<u8>* state : {&owed, &traced}) {
    std::vector<u8> at_start;
    for (Where where : {AtStart, AtPoll, AfterSrWrite, InPause, InBreak}) {
      start(where == InBreak, false);
      run(1);
      loading = *state, loaded = false;
      if (where == AtStart) load();
      if (where == AtPoll) EVENTS_ScriptHook = [](u32) { load(); };
      if (where == AfterSrWrite)  // MOVE #,SR with mask 7 just before: the poll is inside its SR check
        EVENTS_ScriptHook = [](u32) { if ((MMU_ReadL(m68k_get_pc() - 4) & 0xffff0700) == 0x46fc0700) load(); };
      EVENTS_Paused = where == InPause;
      if (where >= InPause) EVENTS_DoEventHook = load;
      for (u32 i = 0; i < 200 && (i == 0 || !loaded); ++i) run(1, true);
      ASSERT_TRUE(loaded) << where;
      run(where == InPause ? 3 : 2, true);  // the pause comes after its frame's end
      EVENTS_ScriptHook = nullptr, EVENTS_DoEventHook = nullptr;
      if (where == AtStart) at_start = STATE_Encode();
      else expect_same(at_start, STATE_Encode(), "loaded where " + std::to_string(where));
    }
  }
  owed.clear();
}

TEST_F(BlitterMachine, EmuTosBootsToTheSameDesktopWithTheBlitter) {
  REQUIRE_EMUTOS();
  for (const char* image : {"etos192uk.img", "etos256de.img"}) {
    SCOPED_TRACE(image);
    std::ifstream in(std::string(TESTDATA_DIR "/emutos/") + image, std::ios::binary);
    const std::vector<u8> tos{std::istreambuf_iterator<char>(in), {}};
    SCREEN_Image desktop[2];
    for (u32 blitter = 0; blitter < 2; ++blitter) {
      machine_reset_globals();
      boot(tos, blitter);
      BLITTER_LineCtl = 0;
      run(1000);
      desktop[blitter] = picture(SCREEN_CurrentView().base);
      // EmuTOS found the Blitter and used it (a start stores the control
      // byte with BUSY set).
      EXPECT_EQ(BLITTER_LineCtl >> 7, blitter);
    }
    EXPECT_EQ(desktop[0].rgba, desktop[1].rgba);
    // A desktop, not a blank screen: the menu bar's row differs from the
    // middle of the screen.
    const size_t row = size_t(desktop[1].width) * 4;
    EXPECT_NE(std::memcmp(&desktop[1].rgba[row * 4], &desktop[1].rgba[row * 100], row), 0);
  }
}

}  // namespace
