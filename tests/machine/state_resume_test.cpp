// A saved state goes on as the machine would have. EmuTOS runs a program
// from the hard disk (tests/programs/state_workload.s) that idles in STOP,
// prints, sends MIDI, writes a file to a floppy and reads it back, has the
// Blitter copy and writes to the hard disk, with Timer B counting lines and
// keys and mouse packets coming in. States are saved at many moments of that
// run, loaded in a fresh start and by the host inside a running machine's
// pass, and each run from a state must be the run that never stopped: the
// whole machine at frame ends, the disk images byte for byte, the printer's
// and the MIDI port's bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "blitter/blitter.h"
#include "common/endian.h"
#include "cpu/handler_tables.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "host/app.h"
#include "host/events.h"
#include "host/midi.h"
#include "host/options.h"
#include "host/screen.h"
#include "machine/fdc.h"
#include "machine/hdd.h"
#include "machine/ikbd.h"
#include "machine/memory.h"
#include "machine/psg.h"
#include "machine/scheduler.h"
#include "machine/state.h"
#include "support/floppy_images.h"
#include "support/machine_fixture.h"
#include "support/shell.h"
#include "support/testdata.h"

#ifdef FAT_TOOLS
namespace {

// In frames: the program starts at 305 or so and idles in STOP until 345; it
// prints, sends its MIDI bytes at 353, writes the floppy and reads it back
// from 354 to 397, has the Blitter copy at 419 and writes to the hard disk.
constexpr u32 first_input = 300, write_from = 353, write_to = 399, last_frame = 560;

using Bytes = std::vector<u8>;
using Shared = std::shared_ptr<const Bytes>;

// The host files a run changes.
const char* const file_names[] = {"disk1.st", "disk2.st", "HDD-C.dmg", "Printer Output"};
struct Files {
  Shared bytes[4];
};

// The processor's and the chips' sections are compared at every fourth frame
// end, RAM (the memory section, behind which come the screen's section and
// the extension) at every eighth.
u64 chips_hash(const Bytes& b) {
  const size_t memory = 16 + MMU_RamSize + CART_Size;
  const size_t memory_at = STATE_FileSize(MMU_RamSize) - memory - 84 - STATE_ExtensionBytes;
  u64 h = 0xcbf29ce484222325;
  const auto mix = [&](size_t from, size_t to) {
    for (; from + 8 <= to; from += 8) {
      u64 w;
      std::memcpy(&w, &b[from], 8);
      h = (h ^ w) * 0x100000001b3;
    }
    for (; from < to; ++from) h = (h ^ b[from]) * 0x100000001b3;
  };
  mix(0, memory_at);
  mix(memory_at + memory, b.size());
  return h;
}

// A saved state with the host's files as they were then.
struct Saved {
  std::string where;
  u32 frame;  // the frame count when saved
  Bytes state;
  Files files;
  size_t midi;  // MIDI bytes sent before
};

// ---- What every run shares: the input, the MIDI bytes, the hooks ----

Bytes midi_sent;
void record_midi(u8 byte) { midi_sent.push_back(byte); }

// The same keys and mouse motion at the same frames in every run, once the
// operating system has set its keyboard up.
void feed_input() {
  const u32 f = SCHED_FrameCount;
  if (f < first_input) return;
  if (f % 23 == 0) IKBD_QueueByte(0x1e);          // A down
  if (f % 23 == 1) IKBD_QueueByte(0x9e);          // and up
  if (f % 5 == 0) IKBD_SendRelativeMouse(3, -2);  // a packet of three bytes
}

// What the hooks do besides feeding the input, from `act_frame` on.
enum class Act {
  None,
  SaveAtBusyPoll,
  SaveAtStoppedPoll,
  QuitAtStoppedPoll,
  SaveInPause,
  SaveInBlitter,
  LoadAtBusyPoll,
  LoadAtStoppedPoll,
  LoadInEvents,
  LoadInPause
};
Act act = Act::None;
u32 act_frame;
bool acted;
Bytes loading;
void (*save_now)(const std::string& where);

bool stopped() { return (m68k_regfile.pending & m68k_pend_stop) != 0; }

void load_here() {
  acted = true;
  ASSERT_EQ(STATE_Decode(loading.data(), loading.size()), STATE_Result::Restored);
  // From here the host's clock stands still again.
  SCHED_PollTick = SCHED_LastEventTick = HOST_TickCount();
}

void at_poll(u32) {
  const bool due = !acted && SCHED_FrameCount >= act_frame;
  if (due && ((act == Act::LoadAtBusyPoll && !stopped()) || (act == Act::LoadAtStoppedPoll && stopped())))
    return load_here();
  // Host ticks pass, so that the host's events come due at the poll (where
  // the window's menus are served).
  if (act == Act::LoadInEvents && !acted) FakeClock::now += 50000;
  feed_input();
  if (due && ((act == Act::SaveAtBusyPoll && !stopped()) || (act == Act::SaveAtStoppedPoll && stopped()))) {
    acted = true;
    save_now(stopped() ? "poll, stopped" : "poll, busy");
  }
  // A quit leaves the run loop at once, the processor still stopped.
  if (due && act == Act::QuitAtStoppedPoll && stopped()) acted = true, APP_StopFlag = 1;
}

// The host acting in its events: at the poll, in a Blitter operation's
// break, in the pause.
void host_acts() {
  if (acted || SCHED_FrameCount < act_frame) return;
  if (act == Act::LoadInEvents && !BLITTER_Stopped) {
    load_here();
  } else if (act == Act::SaveInBlitter && BLITTER_Stopped) {
    acted = true;
    save_now("Blitter operation");
  } else if (act == Act::SaveInPause && !BLITTER_Stopped) {
    acted = true;
    save_now("pause");
  } else if (act == Act::LoadInPause && !BLITTER_Stopped) {
    load_here();
  }
}

// Breaks every Blitter operation into pieces while a save inside one waits.
bool blitter_busy() { return act == Act::SaveInBlitter && !acted; }

class StateResume : public ::testing::Test {
 public:
  // The files as they are now (those unchanged since the last call shared).
  Files read_files() const {
    Files f;
    for (u32 i = 0; i < 4; ++i) {
      Bytes now = read_file(folder.file(file_names[i]));
      if (last.bytes[i] && *last.bytes[i] == now) f.bytes[i] = last.bytes[i];
      else f.bytes[i] = std::make_shared<const Bytes>(std::move(now));
    }
    last = f;
    return f;
  }

 protected:
  void SetUp() override {
    if (!m68k_handler_table_complete[4]) GTEST_SKIP() << "needs the 68000 instruction handlers";
    REQUIRE_EMUTOS();
    // EmuTOS, our hard-disk driver and a small hard disk with the program in
    // its AUTO folder, two empty floppies.
    std::filesystem::copy_file(TESTDATA_DIR "/emutos/etos192uk.img", folder.file("tos.img"));
    std::filesystem::copy_file(CART_IMAGE, folder.file("cart.img"));
    const std::string hdd = folder.file("HDD-C.dmg");
    ASSERT_EQ(shell(std::string(MKFS_FAT) + " -C -F 16 -S 512 -s 1 " + shell_quote(hdd) + " 2200").status, 0);
    ASSERT_EQ(fat_make_dir(hdd, "AUTO"), "");
    ASSERT_EQ(fat_copy_in(hdd, M68K_PROGRAM_DIR "/state_workload.bin", "AUTO/WORKLOAD.PRG"), "");
    ASSERT_EQ(fat_new_floppy(folder.file("disk1.st"), "A"), "");
    ASSERT_EQ(fat_new_floppy(folder.file("disk2.st"), "B"), "");
    first = read_files();
  }
  void TearDown() override {
    EVENTS_ScriptHook = nullptr;
    EVENTS_DoEventHook = nullptr;
    EVENTS_BusyHook = nullptr;
    EVENTS_Paused = 0;
    HDD_CloseImages();
    QTMIDI_Driver.open = 0;
    QTMIDI_Close();
    act = Act::None;
  }

  void write_files(const Files& f) const {
    for (u32 i = 0; i < 4; ++i) {
      std::filesystem::remove(folder.file(file_names[i]));
      if (i < 3 || !f.bytes[i]->empty()) folder.write(file_names[i], *f.bytes[i]);
    }
  }

  // A fresh start from the folder, as the application starts: 1 MB of RAM,
  // the Blitter, the MIDI port recorded. With `autoState`, the run loop's
  // first entry loads "Auto Saved State".
  void start(bool autoState) {
    machine_reset_globals();
    MMU_HostRamLimit = 0x100000;
    testing::internal::CaptureStderr();
    machine_start(folder.path());
    testing::internal::GetCapturedStderr();
    PREFS_BlitterEnabled = 1;
    PREFS_AutoSaveOnQuit = autoState;
    // A picture every fourth frame, whose count the state keeps.
    PREFS_FrameSkip = 3;
    SCREEN_FramesSinceDraw = 0;
    // The host's clock stands still: no poll sees a tick pass, and none
    // turns the drive's motor off, which follows the host's time.
    SCHED_PollTick = SCHED_LastEventTick = HOST_TickCount();
    // The MIDI port's bytes, recorded by an output that stays open.
    QTMIDI_Driver = {1, QTMIDI_NullSlot, record_midi, QTMIDI_NullSlot, QTMIDI_NullSlot, QTMIDI_NullSlot,
                     QTMIDI_NullSlot};
    BLITTER_PollWords = BLITTER_WordsToPoll = 2048;
    EVENTS_ScriptHook = at_poll;
    EVENTS_DoEventHook = host_acts;
    EVENTS_BusyHook = blitter_busy;
    midi_sent.clear();
    started = false;
  }
  // Runs to the next frame end (the first time from the processor's restart).
  void frame() {
    machine_run_quietly(1, started);
    started = true;
  }

  // The unbroken run: the machine at frame ends, the files and the MIDI
  // bytes at the end.
  void run_through() {
    write_files(first);
    start(false);
    while (SCHED_FrameCount < last_frame) {
      frame();
      if (!compared(SCHED_FrameCount)) continue;
      const Bytes now = STATE_Encode();
      chips[SCHED_FrameCount] = chips_hash(now);
      if (SCHED_FrameCount % 8 == 0 && SCHED_FrameCount >= first_input) whole[SCHED_FrameCount] = now;
    }
    PRINTER_Flush();
    final_files = read_files();
    final_midi = midi_sent;
  }

  static bool compared(u32 frame) { return frame % 4 == 0 || frame == last_frame; }

  // From a frame end on to the last frame, the machine is the unbroken
  // run's at the frame ends compared; then the files and the MIDI bytes sent.
  void expect_goes_on_as_through(const std::string& what, const Saved& s) {
    for (;; frame()) {
      if (!compared(SCHED_FrameCount)) continue;
      const Bytes now = STATE_Encode();
      const auto w = whole.find(SCHED_FrameCount);
      if (w != whole.end() && now != w->second) {
        const auto at = std::mismatch(now.begin(), now.end(), w->second.begin(), w->second.end());
        ASSERT_TRUE(at.first == now.end()) << what << ": the machine differs at the end of frame "
                                           << SCHED_FrameCount << " from byte " << at.first - now.begin();
      }
      ASSERT_EQ(chips_hash(now), chips[SCHED_FrameCount])
          << what << ": the machine differs at the end of frame " << SCHED_FrameCount;
      if (SCHED_FrameCount >= last_frame) break;
    }
    PRINTER_Flush();
    const Files f = read_files();
    for (u32 i = 0; i < 4; ++i)
      EXPECT_TRUE(*f.bytes[i] == *final_files.bytes[i]) << what << ": " << file_names[i] << " differs";
    EXPECT_TRUE(std::equal(midi_sent.begin(), midi_sent.end(), final_midi.begin() + s.midi, final_midi.end()))
        << what << ": other MIDI bytes";
  }

  // Loads `s` in a fresh start, through "Auto Saved State".
  void load_at_start(const Saved& s) {
    write_files(s.files);
    folder.write(APP_AutoStateName, s.state);
    start(true);
    frame();
    std::filesystem::remove(folder.file(APP_AutoStateName));
    ASSERT_EQ(APP_AutoStateRefused, 0u);
    ASSERT_EQ(SCHED_FrameCount, s.frame + 1);
    expect_goes_on_as_through(s.where + ", loaded at a start", s);
  }

  // Loads `s` written as a build before the extension wrote it (a floppy's
  // heads not in it) in a fresh start: what the ST writes on the floppies
  // goes where it went in the unbroken run. Such a state is taken up only
  // without a hard disk in use (nothing in it shows the disk unchanged):
  // the start has none.
  void load_older_at_start(const Saved& s) {
    write_files(s.files);
    std::filesystem::remove(folder.file("HDD-C.dmg"));
    folder.write(APP_AutoStateName, Bytes(s.state.begin(), s.state.end() - STATE_ExtensionBytes));
    start(true);
    for (u32 f = s.frame; f < last_frame; ++f) frame();
    std::filesystem::remove(folder.file(APP_AutoStateName));
    ASSERT_EQ(APP_AutoStateRefused, 0u);
    PRINTER_Flush();
    const Files f = read_files();
    for (u32 i : {0, 1, 3})
      EXPECT_TRUE(*f.bytes[i] == *final_files.bytes[i]) << "an older state: " << file_names[i] << " differs";
  }

  // Loads `s` where the host acts inside a machine that boots from the same
  // files (which it only reads until then).
  void load_in_pass(const Saved& s, Act where, const std::string& name) {
    write_files(s.files);
    start(false);
    act = where, act_frame = where == Act::LoadAtStoppedPoll ? 310 : 5, acted = false;
    loading = s.state;
    for (u32 i = 0; i < 340 && !acted; ++i) {
      EVENTS_Paused = where == Act::LoadInPause;
      midi_sent.clear();
      frame();
    }
    EVENTS_Paused = 0;
    ASSERT_TRUE(acted) << name;
    act = Act::None;
    // A load in the pause comes after the carrier's frame end: the loaded
    // machine goes on to its own.
    if (SCHED_FrameCount == s.frame) frame();
    expect_goes_on_as_through(s.where + ", loaded " + name, s);
  }

  TempFolder folder;
  Files first;
  mutable Files last;
  bool started = false;
  std::map<u32, u64> chips;
  std::map<u32, Bytes> whole;
  Files final_files;
  Bytes final_midi;
};

std::vector<Saved>* saving;
StateResume* fixture;

void save_moment(const std::string& where) {
  PRINTER_Flush();  // as a save to a file does
  saving->push_back({where, SCHED_FrameCount, STATE_Encode(), fixture->read_files(), midi_sent.size()});
}

TEST_F(StateResume, EveryMomentGoesOnAsTheRunThatNeverStopped) {
  run_through();
  // The program did all it should (C:\RESULT.BIN): Timer B's interrupts,
  // the sum of the floppy's bytes read back, the results of its writes, the
  // printer's and the Blitter's.
  const ShellResult result = fat_read(folder.file("HDD-C.dmg"), "RESULT.BIN");
  ASSERT_EQ(result.out.size(), 88u) << result.out;
  const auto word = [&](u32 i) { return be_read32(reinterpret_cast<const u8*>(result.out.data()) + 4 * i); };
  EXPECT_GT(word(0), 200u);
  EXPECT_EQ(word(1), 0xc28f90u);
  for (u32 i = 3; i < 13; ++i) EXPECT_EQ(word(i), 10000u) << i;
  EXPECT_EQ(word(18), 30000u);
  EXPECT_NE(word(20), 0u);
  EXPECT_EQ(word(21), 1u);
  EXPECT_EQ(std::string(final_files.bytes[3]->begin(), final_files.bytes[3]->end()), "Saved states print on\r\n");
  EXPECT_EQ(final_midi, (Bytes{0x90, 60, 100, 0x80, 60, 0, 0xc0, 5}));

  // The run again, saving at many moments; with its stops for the host it
  // is still the unbroken run.
  std::vector<Saved> saved;
  saving = &saved, fixture = this, save_now = save_moment;
  write_files(first);
  start(false);
  const auto step = [] {  // one instruction, as the debugger steps
    m68k_pend_set(m68k_pend_leave);
    APP_StopFlag = 0;
    m68k_running = 1;
    m68k_run_loop();
    m68k_running = 0;
  };
  const auto step_until = [&](bool (*condition)(), const char* where) {
    for (u32 i = 0; i < 2000000 && !condition(); ++i) step();
    ASSERT_TRUE(condition()) << where;
    save_moment(where);
  };
  while (SCHED_FrameCount < last_frame) {
    const u32 f = SCHED_FrameCount;
    const auto arm = [&](Act a) { act = a, act_frame = f, acted = false; };
    if (f == 100 || f == 380) arm(Act::SaveAtBusyPoll);
    if (f == 320) arm(Act::SaveAtStoppedPoll);
    if (f == 330) arm(Act::QuitAtStoppedPoll);
    if (f == 300 || f == 530) arm(Act::SaveInPause);
    if (f == 410) arm(Act::SaveInBlitter);
    EVENTS_Paused = act == Act::SaveInPause && !acted;
    const u64 ended = SCHED_FramesEnded;
    frame();
    if (SCHED_FramesEnded == ended) {  // the quit: its state, then on as a run never quit
      ASSERT_TRUE(act == Act::QuitAtStoppedPoll && stopped());
      save_moment("a quit, stopped");
      frame();
    }
    if (compared(SCHED_FrameCount)) {
      ASSERT_EQ(chips[SCHED_FrameCount], chips_hash(STATE_Encode())) << "frame " << SCHED_FrameCount;
    }
    if (SCHED_FrameCount >= write_from && SCHED_FrameCount <= write_to) save_moment("frame end");
    if (SCHED_FrameCount == 370) {
      step_until([] { return FDC_IrqTime != SCHED_Never; }, "a disk command waiting for its interrupt");
      step_until([] { return IKBD_QueueCount == 2; }, "inside a mouse packet");
      for (u32 i = 0; i < 5; ++i) step();
      save_moment("a debugger step");
    }
  }
  EVENTS_Paused = 0;
  EXPECT_TRUE(act == Act::None || acted) << "the Blitter was not used";
  act = Act::None;

  // Each of them, loaded at a start and where the host acts inside a pass,
  // goes on as the unbroken run.
  std::map<std::string, u32> kinds;
  for (const Saved& s : saved) ++kinds[s.where];
  // Frame ends inside the floppy's write: its image neither as it began nor
  // as it ends.
  u32 inside = 0;
  for (const Saved& s : saved)
    inside += s.where == "frame end" && *s.files.bytes[1] != *first.bytes[1] && *s.files.bytes[1] != *final_files.bytes[1];
  EXPECT_GE(inside, 20u);
  for (const char* kind : {"frame end", "poll, busy", "poll, stopped", "a quit, stopped", "pause",
                           "Blitter operation", "a disk command waiting for its interrupt",
                           "inside a mouse packet", "a debugger step"})
    EXPECT_GT(kinds[kind], 0u) << kind;
  u32 runs = 0;
  for (const Saved& s : saved) {
    SCOPED_TRACE(s.where + " in frame " + std::to_string(s.frame));
    load_at_start(s);
    ++runs;
    if (s.where != "frame end") continue;
    load_older_at_start(s);
    ++runs;
  }
  for (const Saved& s : saved) {
    SCOPED_TRACE(s.where + " in frame " + std::to_string(s.frame));
    if (s.where == "frame end" && s.frame % 8 != 0) continue;
    load_in_pass(s, Act::LoadAtBusyPoll, "at the poll of a busy machine");
    load_in_pass(s, Act::LoadAtStoppedPoll, "at the poll of a stopped machine");
    load_in_pass(s, Act::LoadInEvents, "by the host's events at the poll");
    load_in_pass(s, Act::LoadInPause, "in the pause");
    runs += 4;
  }
  std::printf("%zu states saved (%u at frame ends across the floppy's write, %u of them inside it, also "
              "loaded as an older build's), loaded in %u runs\n",
              saved.size(), kinds["frame end"], inside, runs);
}

}  // namespace
#endif
