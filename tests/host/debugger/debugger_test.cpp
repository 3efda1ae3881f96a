// The debugger on a console: sessions on a test ROM compared line by line
// with their transcripts in golden/, and the faults of its commands.
//
// VANTORELL_UPDATE_GOLDEN=1 writes the transcripts anew instead of comparing.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cpu/registers.h"
#include "host/app.h"
#include "host/debugger/debugger.h"
#include "host/events.h"
#include "host/options.h"
#include "host/shared/dialogs.h"
#include "host/screen.h"
#include "host/shared/input.h"
#include "host/shared/menus.h"
#include "machine/diskimg.h"
#include "machine/hdd.h"
#include "machine/ikbd.h"
#include "machine/machine.h"
#include "machine/memory.h"
#include "machine/psg.h"
#include "machine/scheduler.h"
#include "machine/shifter.h"
#include "machine/state.h"
#include "support/file_size_limit.h"
#include "support/floppy_images.h"
#include "support/machine_fixture.h"

namespace {

// The debugger's console: commands from a string, each echoed into the
// transcript as it is read, as a terminal shows what is typed.
class Console {
 public:
  // With `signal_after` lines, each command's output is interrupted as a
  // termination signal would after that many lines.
  explicit Console(std::string commands, size_t signal_after = SIZE_MAX)
      : input_(std::move(commands)), signal_after_(signal_after) {
    out_ = fopencookie(this, "w", {nullptr, write, nullptr, nullptr});
    in_ = fopencookie(this, "r", {read, nullptr, nullptr, nullptr});
    std::setvbuf(in_, nullptr, _IONBF, 0);
    std::setvbuf(out_, nullptr, _IONBF, 0);
    DEBUG_In = in_;
    DEBUG_Out = out_;
  }
  ~Console() {
    DEBUG_In = DEBUG_Out = nullptr;
    std::fclose(in_);
    std::fclose(out_);
  }
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  std::string transcript() { return text_; }

 private:
  static ssize_t read(void* self, char* buffer, size_t size) {
    Console& c = *static_cast<Console*>(self);
    const size_t n = std::min(size, c.input_.size() - c.at_);
    std::memcpy(buffer, c.input_.data() + c.at_, n);
    c.text_.append(buffer, n);
    c.at_ += n;
    c.lines_ = 0;
    return ssize_t(n);
  }
  static ssize_t write(void* self, const char* buffer, size_t size) {
    Console& c = *static_cast<Console*>(self);
    c.text_.append(buffer, size);
    c.lines_ += size_t(std::count(buffer, buffer + size, '\n'));
    if (c.lines_ >= c.signal_after_) DEBUG_DumpAbort = 1;
    return ssize_t(size);
  }

  std::string input_;
  size_t at_ = 0;
  size_t signal_after_, lines_ = 0;
  std::string text_;
  std::FILE* in_;
  std::FILE* out_;
};

class Debugger : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_reset_globals();
    folder.write("tos.img", load_test_rom("debugger_session"));
    machine_start(folder.path());
    DEBUG_Active = DEBUG_Requested = DEBUG_StepToActive = 0;
    DEBUG_PcHistoryHead = DEBUG_PcHistoryTail = 0;
    DLG_Log.clear();
  }

  // Opens the debugger at the first instruction and runs the machine with
  // `commands` on the console, at most `frames` frames; returns the
  // transcript with the folder's name replaced by "FOLDER".
  std::string session(const std::string& commands, u32 frames = 30,
                      size_t signal_after = SIZE_MAX) {
    Console console(commands, signal_after);
    DEBUG_RequestEntry();
    machine_run_frames(frames);
    std::string text = console.transcript();
    for (size_t at; (at = text.find(folder.path())) != std::string::npos;)
      text.replace(at, folder.path().size(), "FOLDER");
    return text;
  }

  // Compares with golden/NAME.txt line by line.
  static void expect_golden(const std::string& name, const std::string& text) {
    const std::string path = std::string(DEBUGGER_GOLDEN_DIR) + "/" + name + ".txt";
    if (std::getenv("VANTORELL_UPDATE_GOLDEN")) {
      std::ofstream(path, std::ios::binary) << text;
      return;
    }
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << "missing " << path;
    std::istringstream got(text);
    std::string want_line, got_line;
    for (u32 n = 1; std::getline(file, want_line); ++n) {
      ASSERT_TRUE(std::getline(got, got_line)) << name << ": transcript ends before line " << n;
      ASSERT_EQ(got_line, want_line) << name << ": line " << n;
    }
    EXPECT_FALSE(std::getline(got, got_line)) << name << ": transcript goes on with " << got_line;
  }

  // What `F` wrote.
  std::vector<u8> saved_state() const {
    std::ifstream file(folder.file("frozen"), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }

  TempFolder folder;
};

// Every command that reads the machine, the steps, and `j`, which lets the
// machine run on with the debugger still open.
TEST_F(Debugger, WalkThroughTheTestProgram) {
  const u32 presented = SCREEN_PresentCount;
  const std::string text = session(
      "h\nc\nr\nd\nd\nd fc0030 3\nt\nt\nf fc0100\nm 1000 2\nm\nd\nz\nH 4\nH\nv\np\n"
      "f fc0110\nf fc011a\nm 2000 1\nw\n\nM\nj 40\n");
  expect_golden("walk", text);
  EXPECT_EQ(SCREEN_PresentCount, presented + 1);  // `w` redrew the window
  EXPECT_EQ(SCREEN_FirstLine, 0x40u);
  EXPECT_EQ(DEBUG_Active, 1u);
  EXPECT_EQ(SCHED_FrameCount, 30u);  // ran on to the frame limit
}

// A step-to across a busy wait for the VBL ends when the VBL has come: the
// events of the stepped instructions fire.
TEST_F(Debugger, SteppingOverAWaitForAnInterruptEnds) {
  session("f fc011a\nq\n");
  EXPECT_EQ(m68k_get_pc(), 0xfc011au);
  EXPECT_EQ(MMU_ReadW(0x2000), 1u);  // the VBL's mark
  EXPECT_NE(m68k_regfile.d[7], 0u);  // the wait's bound did not run out
  EXPECT_EQ(APP_StopFlag, 1);
}

// `q` quits as every quit does, with the automatic state. When that can't be saved, the alert says why:
// Cancel leaves the debugger open where it was, Quit Anyway quits.
TEST_F(Debugger, QuitSavesTheStateOrAsksWhenItCant) {
  const std::string path = folder.file("Auto Saved State");
  APP_AutoStateLoaded = 1;  // the start found nothing there: the folder came since
  std::filesystem::create_directory(path);
  DLG_ScriptButton(false);
  DLG_ScriptButton(true);
  std::string text;
  stderr_of([&] { text = session("q\nr\nq\n"); });
  EXPECT_NE(text.find(">q\nThe quit was cancelled\n>r\n"), std::string::npos) << text;
  ASSERT_GE(DLG_Log.size(), 2u);
  EXPECT_EQ(DLG_Log[0], "alert 19 Cancel");
  EXPECT_EQ(DLG_Log[1], "alert 19 OK");
  EXPECT_NE(DLG_LastAlertText().find("Auto Saved State is a directory"), std::string::npos);
  EXPECT_EQ(APP_StopFlag, 1);
  EXPECT_EQ(APP_QuitUnsaved, 1u);
  EXPECT_TRUE(std::filesystem::is_directory(path));

  std::filesystem::remove(path);
  DLG_Log.clear();
  session("q\n");
  EXPECT_EQ(APP_StopFlag, 1);
  EXPECT_EQ(APP_QuitUnsaved, 0u);
  EXPECT_EQ(std::filesystem::file_size(path), STATE_FileSize(MMU_RamSize));
}

// A `q` that waits for a floppy to go in lets the machine run on meanwhile; Cancel in the alert that follows
// (the floppy went in, or the wait ran out and the quit went ahead without it) opens the debugger again, as it
// leaves open one that asked at once. So it does when the `q` joined a quit from the window that waited.
TEST_F(Debugger, QuitCancelledAfterWaitingForAFloppyOpensTheDebuggerAgain) {
  APP_AutoStateLoaded = 1;
  std::filesystem::create_directory(folder.file("Auto Saved State"));
  folder.write("a.st", std::vector<u8>(737280, 0));
  folder.write("b.st", std::vector<u8>(737280, 0));
  for (const auto& [overdue, window] : {std::pair{false, false}, {true, false}, {false, true}}) {
    SCOPED_TRACE(overdue ? "overdue" : window ? "window first" : "went in");
    testing::internal::CaptureStdout();
    ASSERT_EQ(DISKIMG_Insert(folder.file("a.st").c_str(), 'A'), 1u);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(INPUT_PutDisk('A', folder.file("b.st")));
    APP_StopFlag = 0;
    DLG_Log.clear();
    if (window) {
      DLG_ScriptButton(true);
      APP_AutoSaveOnQuit();
      ASSERT_TRUE(INPUT_QuitWaiting());
    }
    DLG_ScriptButton(false);
    DLG_ScriptButton(true);
    static u32 late;  // the poll at which the wait has run out
    late = EVENTS_PollCount + 2;
    EVENTS_ScriptHook = [](u32 poll) {
      if (poll != late) return;
      static u64 now;
      now = HOST_Microseconds() + INPUT_QuitWaitLimit;
      HOST_Clock.microseconds = [] { return now; };
      INPUT_QuitIfOverdue();
      HOST_UseSystemClock();
    };
    if (!overdue) EVENTS_ScriptHook = nullptr;
    std::string text;
    stderr_of([&] { text = session("q\nr\nq\n", 2 * DISKIMG_SwapFrames + 10); });
    EVENTS_ScriptHook = nullptr;
    EXPECT_NE(text.find(">q\nThe quit waits for the floppy to go in\nThe quit was cancelled\n"),
              std::string::npos) << text;
    // Back from an overdue quit, the floppy waits still, and so does the next quit.
    EXPECT_NE(text.find(">r\n"), std::string::npos) << text;
    EXPECT_EQ(text.rfind("The quit waits") > text.find(">r\n"), overdue) << text;
    std::vector<std::string> asked{"alert 19 Cancel", "alert 19 OK"};
    if (window) asked.insert(asked.begin(), "alert 3 OK");
    EXPECT_EQ(DLG_Log, asked);
    EXPECT_EQ(APP_StopFlag, 1);
    EXPECT_EQ(INPUT_PendingDisks(), 0u);
    EXPECT_EQ(DISKIMG_InsertedMask, 1u);
    DISKIMG_Eject('A');
  }
}

// The start looks at the automatic state before the debugger's first prompt: `q` there sets aside what the
// start refused instead of writing over it, and saves again the machine the start restored, not the machine
// as it was before. `F` through a "frozen" that leads to what the start refused (`U` refused it or not)
// leaves that file for `q` to set aside.
TEST_F(Debugger, TheStartLooksAtTheAutomaticStateBeforeTheFirstPrompt) {
  const std::string path = folder.file("Auto Saved State");
  std::filesystem::create_symlink("Auto Saved State", folder.file("frozen"));
  for (const char* commands : {"F\nq\n", "U\nF\nq\n"}) {
    folder.write("Auto Saved State", {'n', 'o', ' ', 's', 't', 'a', 't', 'e'});
    APP_AutoStateLoaded = 0;
    std::string text;
    stderr_of([&] { text = session(commands); });
    EXPECT_NE(text.find("Could not save the machine to FOLDER/frozen: it leads to FOLDER/Auto Saved State, "
                        "which could not be restored at the start and is kept"),
              std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(folder.file("frozen (refused)")));
    std::ifstream file(path + " (refused)", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "no state");
    std::filesystem::remove(path + " (refused)");
  }
  // Another program's file put in its place since is kept too, and said to be that file.
  folder.write("Auto Saved State", {'n', 'o', ' ', 's', 't', 'a', 't', 'e'});
  APP_AutoStateLoaded = 0;
  session("g\n", 1);
  folder.write("new", {1, 2, 3});
  std::filesystem::rename(folder.file("new"), path);
  std::string said;
  stderr_of([&] { said = session("F\nq\n"); });
  EXPECT_NE(said.find("it leads to FOLDER/Auto Saved State, which was put in place of the automatic state that "
                      "could not be restored at the start, and is kept"),
            std::string::npos) << said;
  std::filesystem::remove(path + " (refused)");
  EXPECT_EQ(APP_AutoStateRefused, 0u);
  std::filesystem::remove(folder.file("frozen"));
  // The other way round: "frozen" is the file the refused link leads to.
  folder.write("frozen", {'n', 'o', ' ', 's', 't', 'a', 't', 'e'});
  std::filesystem::remove(path);
  std::filesystem::create_symlink("frozen", path);
  APP_AutoStateLoaded = 0;
  std::string text;
  stderr_of([&] { text = session("F\nq\n"); });
  EXPECT_NE(text.find("Could not save the machine to FOLDER/frozen: it is one file with FOLDER/Auto Saved "
                      "State"),
            std::string::npos) << text;
  EXPECT_EQ(std::filesystem::read_symlink(path + " (refused)"), "frozen");
  EXPECT_EQ(saved_state(), (std::vector<u8>{'n', 'o', ' ', 's', 't', 'a', 't', 'e'}));
  for (const char* name : {"frozen", "Auto Saved State", "Auto Saved State (refused)"})
    std::filesystem::remove(folder.file(name));

  MMU_WriteL(0x3000, 0x600dcafe);
  ASSERT_TRUE(STATE_Write(path.c_str()));
  MMU_WriteL(0x3000, 0);
  APP_AutoStateLoaded = 0;  // a new start
  stderr_of([&] { session("q\n"); });
  EXPECT_EQ(MMU_ReadL(0x3000), 0x600dcafeu);
  EXPECT_EQ(APP_AutoStateTakenUp, 1u);

  // A "frozen" restored at that prompt is the machine that runs on.
  MMU_WriteL(0x3000, 0xf0f0f0f0);
  ASSERT_TRUE(STATE_Write(folder.file("frozen").c_str()));
  APP_AutoStateLoaded = 0;
  session("U\ng\n", 1);
  EXPECT_EQ(MMU_ReadL(0x3000), 0xf0f0f0f0u);
}

// An over-long line is refused whole (its tail would be `q`); `g` to where no code can run, and the
// I/O page in dumps and listings (the registers a read leaves alone shown), change nothing; `F` and `U` say when the
// file can't be written or read; `g` with a good address closes the debugger.
TEST_F(Debugger, FaultyCommandsChangeNothing) {
  std::filesystem::create_directory(folder.file("frozen"));
  MMU_WriteL(0x3000, 0x600dcafe);
  SHIFTER_Palette[1] = 0x703;  // a colour to show in the palette's dump
  PSG_RegCopy.selected = 7, PSG_RegCopy.r7 = 0x3f;  // the sound chip's selected register
  const u32 bus_errors = MMU_BusErrorCount;
  const std::string text = session(std::string(75, ' ') +
                                   "m 0 q\ng 500000\ng ff8800\nF\nU\nm fffa00 1\nm ff8240 1\n"
                                   "m ff8200 1\nm ff8260 1\nm ff8800 1\n"
                                   "m fefff8 1\nd fffa00 1\nd fc011a 1\ng fc0100\n");
  expect_golden("faults", text);
  EXPECT_EQ(MMU_ReadL(0x3000), 0x600dcafeu);  // RAM not cleared by a restart
  EXPECT_EQ(MMU_BusErrorCount, bus_errors);
  EXPECT_EQ(DEBUG_Active, 0u);
  EXPECT_EQ(SCHED_FrameCount, 30u);  // ran on to the frame limit: the tail `q` did not run
}

// A termination signal ends a listing of a mistyped length between two
// lines; the next listing runs whole.
TEST_F(Debugger, ATerminationSignalEndsALongListing) {
  expect_golden("signal", session("m 0 10000\nd fc0000 10000\nm 3000 1\nd fc0000 1\nq\n", 30, 2));
}

// The menu stops a debugger that `j` let run on (open, but no step pending).
TEST_F(Debugger, TheMenuStopsADebuggerThatRunsOn) {
  static u32 polls;
  polls = 0;
  EVENTS_ScriptHook = [](u32) {
    if (++polls == 2) DEBUG_RequestEntry();
  };
  const std::string text = session("j\nq\n", 10);
  EVENTS_ScriptHook = nullptr;
  EXPECT_NE(text.find(">q"), std::string::npos);
  EXPECT_LT(SCHED_FrameCount, 10u);
}

// Looking changes nothing: after every command that reads the machine, it
// saves as it did before them.
TEST_F(Debugger, LookingLeavesTheMachineAsItWas) {
  session("F\nr\nd\nd fffa00 4\nm\nm fffc00 2\nm ff8200 3\nm fffa00 2\nH\np\nv\nq\n");
  EXPECT_EQ(saved_state(), STATE_Encode());
}

// What the debugger shows of the I/O page, byte, word or long, is what a read of that size gives, and
// those reads change nothing: the sound chip and the Shifter's sync mode and resolution among them.
TEST_F(Debugger, WhatItShowsOfTheIOPageIsWhatAReadGives) {
  PSG_RegCopy.selected = 7, PSG_RegCopy.r7 = 0x3f;
  SHIFTER_Sync = 2;
  const std::vector<u8> before = STATE_Encode();
  const u32 bus_errors = MMU_BusErrorCount;
  u32 shown = 0;
  u8 b;
  u16 w;
  u32 l;
  for (u32 a = 0xff8000; a <= 0xffffff; ++a) {
    SCOPED_TRACE(testing::Message() << std::hex << a);
    if (DEBUG_PeekB(a, b)) { ++shown; EXPECT_EQ(b, MMU_IOGet(a, 2) & 0xff); }
    if (a & 1) continue;
    if (DEBUG_PeekW(a, w)) { ++shown; EXPECT_EQ(w, MMU_IOGet(a, 1) & 0xffff); }
    if (DEBUG_PeekL(a, l)) { ++shown; EXPECT_EQ(l, MMU_IOGet(a, 0)); }
  }
  EXPECT_EQ(STATE_Encode(), before);
  EXPECT_EQ(MMU_BusErrorCount, bus_errors);
  EXPECT_GT(shown, 256u + 128 + 128);  // more than the sound chip's page
  EXPECT_TRUE(DEBUG_PeekW(0xff8800, w) && w == 0x3f00);
  EXPECT_TRUE(DEBUG_PeekW(0xff820a, w) && w == 0x200);
  EXPECT_TRUE(DEBUG_PeekB(0xff8260, b) && b == 0 && !DEBUG_PeekW(0xff8260, w));  // the word's second byte faults
}

// `o` lists the recorded addresses with their instructions, nothing while
// none is recorded.
TEST_F(Debugger, TheTraceListing) {
  DEBUG_TraceCount = -1;
  EXPECT_NE(session("o\ng\n", 2).find(">o\n>g"), std::string::npos);
  DEBUG_TraceList[0] = 0xfc0000, DEBUG_TraceList[1] = 0xfc0030;
  DEBUG_TraceCount = 1;
  const std::string text = session("o\nq\n", 2);
  DEBUG_TraceCount = -1;
  const size_t at = text.find(">o\ncurrent=1->fc0030\n0 ");
  ASSERT_NE(at, std::string::npos) << text;
  const std::string listing = text.substr(at + 3, text.find(">q") - at - 3);
  EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 3) << listing;
  EXPECT_NE(listing.find("\n1 "), std::string::npos) << listing;
}

// In a fresh folder: `U` finds nothing, `F` writes the file, and `U` after a
// few steps brings back the machine that `F` saved.
TEST_F(Debugger, FreezeThenThawRestoresTheSameMachine) {
  const std::string text = session("U\nF\nt\nt\nf fc0100\nU\nq\n");
  EXPECT_NE(text.find("No saved machine: FOLDER/frozen does not exist"), std::string::npos);
  EXPECT_NE(text.find("Machine restored from FOLDER/frozen"), std::string::npos);
  EXPECT_EQ(saved_state(), STATE_Encode());
  EXPECT_EQ(m68k_get_pc(), 0xfc0000u);
  // A link that leads nowhere is there: `U` says what it is, and `F` sets it aside as the quit does, also
  // when a file was put where it leads since: that file is kept.
  for (const bool appears : {false, true}) {
    SCOPED_TRACE(appears);
    std::filesystem::remove(folder.file("frozen"));
    std::filesystem::remove(folder.file("gone"));
    std::filesystem::create_symlink("gone", folder.file("frozen"));
    std::string text = session("U\ng\n", 2);
    EXPECT_NE(text.find("Could not restore the machine from FOLDER/frozen"), std::string::npos);
    EXPECT_NE(DLG_LastAlertText().find("frozen is a symbolic link to nothing"), std::string::npos);
    if (appears) folder.write("gone", {1, 2, 3});
    text = session("F\nq\n");
    EXPECT_NE(text.find(appears ? "kept as FOLDER/frozen (refused)\n"
                                : "kept as FOLDER/frozen (refused), which is a symbolic link to nothing\n"),
              std::string::npos) << text;
    EXPECT_TRUE(std::filesystem::is_symlink(folder.file("frozen (refused)")));
    std::ifstream gone(folder.file("gone"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(gone), {}), appears ? "\1\2\3" : "");
    EXPECT_EQ(saved_state(), STATE_Encode());
    std::filesystem::remove(folder.file("frozen (refused)"));
  }
  // Filled from the menu, then taken away: the state the menu saves as "frozen" since is `F`'s to write over.
  for (const char* name : {"gone", "frozen"}) std::filesystem::remove(folder.file(name));
  std::filesystem::create_symlink("gone", folder.file("frozen"));
  session("U\ng\n", 2);
  ASSERT_TRUE(MENU_SaveState(folder.file("gone")));
  std::filesystem::remove(folder.file("frozen"));
  ASSERT_TRUE(MENU_SaveState(folder.file("frozen")));
  const std::string again = session("F\nq\n");
  EXPECT_TRUE(again.find("kept as") == std::string::npos && !std::filesystem::exists(folder.file("frozen (refused)")))
      << again;
}

// A file `U` could not restore is set aside by the next `F`, not written over. One the user put in its place
// between the two (a state saved from the menu, which may be given the freed inode) is no longer the refused
// one: `F` writes over it and says nothing of a refused file. Made a state in place and loaded from the menu,
// it is refused no longer either.
TEST_F(Debugger, FreezeKeepsTheFileThawRefused) {
  enum { Kept, Replaced, LoadedFromTheMenu, SavedAnewByAnotherProgram, StateMovedBackByAnotherProgram };
  for (const int then :
       {Kept, Replaced, LoadedFromTheMenu, SavedAnewByAnotherProgram, StateMovedBackByAnotherProgram}) {
    SCOPED_TRACE(then);
    folder.write("frozen", {1, 2, 3});
    std::string text = session("U\ng\n", 2);
    const std::vector<u8> state = STATE_Encode();
    if (then >= SavedAnewByAnotherProgram) {
      folder.write("new", then == SavedAnewByAnotherProgram ? std::vector<u8>{4, 5, 6} : state);
      std::filesystem::rename(folder.file("new"), folder.file("frozen"));
      machine_run_quietly(64, true);
      EXPECT_EQ(held_removed_file(folder.path()), "");  // what it replaced is let go, its space freed
    } else if (then == Replaced) {
      std::filesystem::remove(folder.file("frozen"));
      ASSERT_TRUE(MENU_SaveState(folder.file("frozen")));
    } else if (then == LoadedFromTheMenu) {
      std::ofstream(folder.file("frozen"), std::ios::binary | std::ios::trunc)
          .write(reinterpret_cast<const char*>(state.data()), std::streamsize(state.size()));
      DLG_ScriptFile(folder.file("frozen"));
      MENU_Command(MENU_Choice(MENU_StatesId, 2));
    }
    text += session("F\nq\n");
    const bool aside = then == Kept || then >= SavedAnewByAnotherProgram;
    EXPECT_EQ(text.find("kept as FOLDER/frozen (refused)") != std::string::npos, aside) << text;
    std::ifstream file(folder.file("frozen (refused)"), std::ios::binary);
    const std::string kept(std::istreambuf_iterator<char>(file), {});
    EXPECT_TRUE(kept == (then == Kept                        ? "\1\2\3"
                         : then == SavedAnewByAnotherProgram ? "\4\5\6"
                         : aside                             ? std::string(state.begin(), state.end())
                                                             : ""))
        << kept.size() << " bytes kept";
    EXPECT_EQ(saved_state(), STATE_Encode());
    std::filesystem::remove(folder.file("frozen (refused)"));
  }
  // Every name to keep it under taken: `F` saves nothing, and says so, and what it keeps: another program's
  // file put in its place is none the debugger could not restore.
  folder.write("frozen (refused)", {});
  for (int n = 2; n < 100; ++n) folder.write("frozen (refused " + std::to_string(n) + ")", {});
  for (const bool replaced : {false, true}) {
    folder.write("frozen", {1, 2, 3});
    std::string text = session("U\ng\n", 2);
    if (replaced) {
      folder.write("new", {1, 2, 3});
      std::filesystem::rename(folder.file("new"), folder.file("frozen"));
    }
    text += session("F\nq\n");
    EXPECT_NE(text.find(std::string("Could not save the machine to FOLDER/frozen, which ") +
                        (replaced ? "was put in place of the machine that could not be restored, and"
                                  : "could not be restored and") +
                        " is kept: can't rename FOLDER/frozen: every name for it is taken"),
              std::string::npos) << text;
    EXPECT_EQ(saved_state(), (std::vector<u8>{1, 2, 3}));
  }
  // Nor does the quit write over it through an automatic state that leads to it (also by a link of its own,
  // or both to a third file): it keeps the file and says why no state is saved.
  const std::string auto_path = folder.file("Auto Saved State");
  for (const bool third : {false, true}) {
    SCOPED_TRACE(third);
    std::filesystem::remove(auto_path);
    std::filesystem::create_symlink(third ? "third" : "frozen", auto_path);
    if (third) {
      std::filesystem::rename(folder.file("frozen"), folder.file("third"));
      std::filesystem::create_symlink("third", folder.file("frozen"));
    }
    DLG_Log.clear();
    DLG_ScriptButton(true);  // Quit Anyway
    stderr_of([&] { session("U\nq\n"); });
    EXPECT_EQ(DLG_Log, (std::vector<std::string>{"alert 130 OK", "alert 19 OK"}));  // `U` refused, the quit asks
    EXPECT_NE(DLG_LastAlertText().find(auto_path + (third ? " is one file with " : " leads to ") +
                                       folder.file("frozen") + ", which the debugger could not restore"),
              std::string::npos) << DLG_LastAlertText();
    EXPECT_EQ(saved_state(), (std::vector<u8>{1, 2, 3}));
  }
  // A quit by a signal asks nobody: it keeps the file all the same and says why on standard error.
  DLG_Log.clear();
  session("U\ng\n", 2);
  APP_QuitUnsaved = 0;
  const std::string said = stderr_of([] { APP_QuitNow(); });
  EXPECT_NE(said.find("which the debugger could not restore and is kept"), std::string::npos) << said;
  EXPECT_EQ(DLG_Log, std::vector<std::string>{"alert 130 OK"});
  EXPECT_EQ(APP_QuitUnsaved, 1u);
  EXPECT_EQ(saved_state(), (std::vector<u8>{1, 2, 3}));
  // Another program's file put in its place since is kept too, and said to be that file.
  std::filesystem::remove(folder.file("frozen"));
  folder.write("frozen", {1, 2, 3});
  std::filesystem::remove(auto_path);
  std::filesystem::create_symlink("frozen", auto_path);
  session("U\ng\n", 2);
  folder.write("new", {4, 5, 6});
  std::filesystem::rename(folder.file("new"), folder.file("frozen"));
  EXPECT_NE(stderr_of([] { APP_QuitNow(); })
                .find(auto_path + " leads to " + folder.file("frozen") +
                      ", which was put in place of what the debugger could not restore, and is kept"),
            std::string::npos);
  EXPECT_EQ(saved_state(), (std::vector<u8>{4, 5, 6}));

  // A "frozen" that links to the automatic state's file (one that came after the start) is not set aside
  // either: the link alone would be, and the quit would write over what it leads to.
  for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
    if (entry.path().filename().string().starts_with("frozen") || entry.path() == auto_path ||
        entry.path().filename() == "third")
      std::filesystem::remove(entry.path());
  folder.write("Auto Saved State", {7, 8, 9});
  std::filesystem::create_symlink("Auto Saved State", folder.file("frozen"));
  DLG_ScriptButton(true);  // Quit Anyway
  std::string said_then;
  stderr_of([&] { said_then = session("U\nF\nq\n"); });
  EXPECT_NE(said_then.find("Could not save the machine to FOLDER/frozen, which could not be restored and is "
                           "kept: it leads to the automatic state's file, FOLDER/Auto Saved State"),
            std::string::npos) << said_then;
  EXPECT_FALSE(std::filesystem::exists(folder.file("frozen (refused)")));
  EXPECT_EQ(saved_state(), (std::vector<u8>{7, 8, 9}));
  // The automatic state's link leading through "frozen" to its file: both go with the link set aside.
  std::filesystem::remove(folder.file("frozen"));
  std::filesystem::rename(auto_path, folder.file("third"));
  std::filesystem::create_symlink("third", folder.file("frozen"));
  std::filesystem::create_symlink("frozen", auto_path);
  DLG_Log.clear();
  stderr_of([&] { said_then = session("U\nF\nq\n"); });
  EXPECT_NE(said_then.find("kept as FOLDER/frozen (refused)"), std::string::npos) << said_then;
  std::ifstream third(folder.file("frozen (refused)"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(third), {}), "\7\10\11");
  EXPECT_EQ(DLG_Log, std::vector<std::string>{"alert 130 OK"});  // `U` refused; the quit asks nothing

  // Saved with the menu where a refused "frozen" leads nowhere (it never did, or its file was removed since),
  // the user's state is no refused file: `F` sets the link aside rather than write over it.
  for (const bool removed : {false, true}) {
    std::filesystem::remove(folder.file("frozen"));
    std::filesystem::create_symlink("mine", folder.file("frozen"));
    if (removed) folder.write("mine", {1, 2, 3});
    session("U\ng\n", 2);
    std::filesystem::remove(folder.file("mine"));
    ASSERT_TRUE(MENU_SaveState(folder.file("mine")));
    DLG_ScriptFile(folder.file("mine"));
    MENU_Command(MENU_Choice(MENU_StatesId, 2));  // Restore State: still the user's
    EXPECT_NE(session("U\ng\n", 2).find("Machine restored from FOLDER/frozen"), std::string::npos);  // so too
    std::ifstream saved(folder.file("mine"), std::ios::binary);
    const std::string mine(std::istreambuf_iterator<char>(saved), {});
    MMU_WriteL(0x3000, MMU_ReadL(0x3000) + 1);
    said_then = session("F\ng\n", 2);
    EXPECT_NE(said_then.find("kept as FOLDER/frozen (refused"), std::string::npos) << said_then;
    EXPECT_NE(said_then.find(", which leads to the state saved since as FOLDER/mine\n"), std::string::npos)
        << said_then;
    std::ifstream kept(folder.file("mine"), std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(kept), {}) == mine) << removed;
  }
  // That state moved over the link by the user replaced it: it is set aside as what replaced the link, not said to
  // be a link to itself under its old name.
  for (const char* name : {"frozen", "mine"}) std::filesystem::remove(folder.file(name));
  std::filesystem::create_symlink("mine", folder.file("frozen"));
  session("U\ng\n", 2);
  ASSERT_TRUE(MENU_SaveState(folder.file("mine")));
  std::filesystem::rename(folder.file("mine"), folder.file("frozen"));
  said_then = session("F\ng\n", 2);
  EXPECT_NE(said_then.find("What replaced the machine that could not be restored is kept as FOLDER/frozen (refused"),
            std::string::npos) << said_then;
  EXPECT_EQ(said_then.find("leads to"), std::string::npos) << said_then;
  // Nor is the machine `F` saves where the start's refused "Auto Saved State" link leads since its file was
  // removed written over by the quit through that link.
  for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
    if (entry.path().filename().string().starts_with("Auto Saved State")) std::filesystem::remove(entry.path());
  std::filesystem::remove(folder.file("frozen"));
  std::filesystem::create_symlink("frozen", auto_path);
  folder.write("frozen", {4, 5});
  APP_AutoStateRefusedEntry.Hold(auto_path.c_str());
  APP_AutoStateRefused = STATE_RefusedFile;
  std::filesystem::remove(folder.file("frozen"));
  session("F\ng\n", 2);
  MMU_WriteL(0x3000, MMU_ReadL(0x3000) + 1);
  const std::string again = session("F\ng\n", 2);  // over the machine it saved, no refused file
  EXPECT_NE(again.find("Machine saved to FOLDER/frozen"), std::string::npos) << again;
  const std::vector<u8> frozen = saved_state();
  MMU_WriteL(0x3000, MMU_ReadL(0x3000) + 1);  // the machine runs on
  const std::string quit = stderr_of([&] { session("q\n"); });
  EXPECT_TRUE(saved_state() == frozen) << quit;
  EXPECT_TRUE(std::filesystem::is_symlink(auto_path + " (refused)")) << quit;
  // Another program's file where a "frozen" `U` refused leads nowhere is no state saved there: the quit writes
  // no state over it through a link of its own.
  for (const char* name : {"frozen", "Auto Saved State", "Auto Saved State (refused)"})
    std::filesystem::remove(folder.file(name));
  std::filesystem::create_symlink("gone", folder.file("frozen"));
  session("U\ng\n", 2);
  folder.write("gone", {1, 2, 3});
  std::filesystem::create_symlink("frozen", auto_path);
  DLG_ScriptButton(true);  // Quit Anyway
  const std::string unsaved = stderr_of([&] { session("q\n"); });
  std::ifstream gone(folder.file("gone"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(gone), {}), "\1\2\3") << unsaved;
  // Nor over the user's state saved there (or another program's file put in its place since).
  for (const bool other_program : {false, true}) {
    for (const char* name : {"frozen", "gone", "Auto Saved State"}) std::filesystem::remove(folder.file(name));
    std::filesystem::create_symlink("gone", folder.file("frozen"));
    session("U\ng\n", 2);
    ASSERT_TRUE(MENU_SaveState(folder.file("gone")));
    if (other_program) folder.write("gone", {1, 2, 3});
    std::ifstream before(folder.file("gone"), std::ios::binary);
    const std::string kept(std::istreambuf_iterator<char>(before), {});
    std::filesystem::create_symlink("frozen", auto_path);
    MMU_WriteL(0x3000, MMU_ReadL(0x3000) + 1);
    DLG_ScriptButton(true);
    const std::string said = stderr_of([&] { session("q\n"); });
    std::ifstream after(folder.file("gone"), std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(after), {}) == kept) << other_program;
  }
  APP_StopFlag = 0;
  // Saved from the menu as the automatic state itself, where that link led nowhere, it is the quit's to write
  // over as any state saved under that name: nothing asked or said of the debugger.
  for (const char* name : {"frozen", "gone", "Auto Saved State"}) std::filesystem::remove(folder.file(name));
  std::filesystem::create_symlink("Auto Saved State", folder.file("frozen"));
  session("U\ng\n", 2);
  ASSERT_TRUE(MENU_SaveState(auto_path));
  MMU_WriteL(0x3000, MMU_ReadL(0x3000) + 1);
  DLG_Log.clear();
  const std::string over = stderr_of([&] { session("q\n"); });
  EXPECT_TRUE(DLG_Log.empty()) << over << DLG_LastAlertText();
  EXPECT_TRUE(saved_state() == STATE_Encode()) << over;
  // Nor does `F` write over another program's file put in place of the user's state there, through the
  // automatic state's refused link or a link of its own.
  for (const char* to : {"Auto Saved State", "gone"}) {
    APP_StopFlag = 0;
    ASSERT_TRUE(STATE_Write(folder.file("frozen").c_str()));
    session("U\ng\n", 2);  // restored: `U` holds nothing refused
    for (const char* name : {"frozen", "gone", "Auto Saved State"}) std::filesystem::remove(folder.file(name));
    std::filesystem::create_symlink("gone", auto_path);
    APP_AutoStateRefusedEntry.Hold(auto_path.c_str());
    APP_AutoStateRefused = STATE_RefusedNotAFile;
    ASSERT_TRUE(MENU_SaveState(folder.file("gone")));
    folder.write("gone", {1, 2, 3});
    std::filesystem::create_symlink(to, folder.file("frozen"));
    session("F\ng\n", 2);
    std::ifstream gone_now(folder.file("gone"), std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(gone_now), {}) == "\1\2\3") << to;
  }
  // Nor over one put in place of its own "frozen" there.
  for (const char* name : {"frozen", "gone", "Auto Saved State"}) std::filesystem::remove(folder.file(name));
  std::filesystem::create_symlink("frozen", auto_path);
  APP_AutoStateRefusedEntry.Hold(auto_path.c_str());
  session("F\ng\n", 2);
  folder.write("new", {9, 9, 9});
  std::filesystem::rename(folder.file("new"), folder.file("frozen"));
  session("F\ng\n", 2);
  EXPECT_TRUE(saved_state() == (std::vector<u8>{9, 9, 9}));
}

// A "frozen" that leads to the automatic state the start refused, restored by `U` once it can be, lifts that
// refusal too: `q` writes over what was just restored instead of setting it aside.
TEST_F(Debugger, ThawLiftsTheStartsRefusalOfTheSameFile) {
  const std::string path = folder.file("Auto Saved State");
  ASSERT_TRUE(STATE_Write(path.c_str()));
  APP_AutoStateLoaded = 1;
  APP_AutoStateRefusedEntry.Hold(path.c_str());
  APP_AutoStateRefused = STATE_RefusedUnreadable;
  std::filesystem::create_symlink("Auto Saved State", folder.file("frozen"));
  std::string text;
  stderr_of([&] { text = session("U\nq\n"); });
  EXPECT_NE(text.find("Machine restored from FOLDER/frozen"), std::string::npos) << text;
  EXPECT_FALSE(std::filesystem::exists(path + " (refused)"));
  EXPECT_TRUE(DLG_Log.empty());
  // Not when it lies under another name since: another program's file put under the automatic state's name
  // is kept from the quit, and one put in place of a refused "frozen" from `F`, restored from the menu.
  std::filesystem::rename(path, folder.file("old"));
  APP_AutoStateRefusedEntry.Hold(folder.file("old").c_str());
  APP_AutoStateRefused = STATE_RefusedUnreadable;
  folder.write("Auto Saved State", {1, 2, 3});
  std::filesystem::remove(folder.file("frozen"));
  std::filesystem::create_symlink("old", folder.file("frozen"));
  APP_StopFlag = 0;
  stderr_of([&] { text = session("U\nq\n"); });
  EXPECT_NE(text.find("Machine restored from FOLDER/frozen"), std::string::npos) << text;
  EXPECT_EQ(read_file(path + " (refused)"), std::vector<u8>({1, 2, 3}));
  std::filesystem::remove(folder.file("frozen"));
  const std::vector<u8> state = read_file(path);
  folder.write("frozen", std::vector<u8>(state.begin(), state.end() - 1));  // damaged
  APP_StopFlag = 0;
  ASSERT_NE(session("U\ng\n", 2).find("Could not restore"), std::string::npos);
  std::filesystem::rename(folder.file("frozen"), folder.file("old"));
  folder.write("old", state);  // mended in place
  folder.write("frozen", {4, 5, 6});
  DLG_ScriptFile(folder.file("old"));
  MENU_Command(MENU_Choice(MENU_StatesId, 2));
  EXPECT_NE(session("F\ng\n", 2).find("kept as FOLDER/frozen (refused)"), std::string::npos);
  EXPECT_EQ(read_file(folder.file("frozen (refused)")), std::vector<u8>({4, 5, 6}));
}

// A "frozen" that leads to the automatic state the start restored, which `U` can't restore once the ST wrote to
// its hard disk, keeps nothing from `F` or the quit while the quit writes over that file at the end anyway; with
// the option off, which keeps it, `F` refuses as before (also after an `F` that failed with the option on),
// and another program's file put in place of "frozen" since is set aside as before. Without an `F`, the quit
// saves over it all the same. So with one the start refused, restored from the menu or saved anew since.
TEST_F(Debugger, ThawRefusedKeepsNothingOfTheStartsOwnAutomaticState) {
  const std::string auto_path = folder.file("Auto Saved State");
  const struct {
    u32 on;
    bool replaced, freeze, saved;  // saved: from the menu, after the start took it up
    bool failed;                   // an `F` the disk had no room for, the option switched off after it
    int refused;  // as by a start that refused it, then 1: restored from the menu, 2: removed and saved anew
  } rows[] = {{1, false, true, false, false, 0}, {0, false, true, false, false, 0}, {1, true, true, false, false, 0},
              {1, false, false, false, false, 0}, {1, false, true, true, false, 0}, {1, false, false, true, false, 0},
              {1, false, true, false, true, 0}, {1, false, true, false, false, 1}, {1, false, false, false, false, 2}};
  for (auto [on, replaced, freeze, saved, failed, refused] : rows) {
    for (const char* name : {"frozen", "Auto Saved State", "frozen (refused)"})
      std::filesystem::remove(folder.file(name));
    std::vector<u8> hdd(HDD_EmptyImageBytes, 0);
    HDD_BuildBootSector(hdd.data());
    folder.write("HDD-C.dmg", hdd);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(HDD_OpenImages());
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(STATE_Write(auto_path.c_str()));
    const std::vector<u8> start = read_file(auto_path);
    HDD_CloseImages();
    SetUp();  // the next start, which takes it up
    PREFS_AutoSaveOnQuit = on;
    std::filesystem::create_symlink("Auto Saved State", folder.file("frozen"));
    session("g\n", 2);
    ASSERT_EQ(APP_AutoStateRefused, 0u);
    if (refused) {
      APP_AutoStateTakenEntry.LetGo();
      APP_AutoStateRefusedEntry.Hold(auto_path.c_str());
      APP_AutoStateRefused = STATE_RefusedUnreadable;
      DLG_ScriptClear();  // the last row's Quit Anyway, not asked for
      if (refused == 1) DLG_ScriptFile(auto_path), MENU_Command(MENU_Choice(MENU_StatesId, 2));
      else std::filesystem::remove(auto_path);
    }
    if (saved || refused == 2) {
      ASSERT_TRUE(MENU_SaveState(auto_path));
    }
    std::fstream(folder.file("HDD-C.dmg"), std::ios::in | std::ios::out | std::ios::binary).seekp(512 * 20).put(1);
    std::string text = session("U\ng\n", 2);
    EXPECT_NE(text.find("Could not restore the machine from FOLDER/frozen\n"), std::string::npos) << text;
    if (replaced) std::filesystem::remove(folder.file("frozen")), folder.write("frozen", {1, 2, 3});
    if (failed) {
      FileSizeLimit full(4096);
      text = session("F\ng\n", 2);
      EXPECT_NE(text.find("Could not save the machine to FOLDER/frozen: "), std::string::npos) << text;
      PREFS_AutoSaveOnQuit = on = 0;
    }
    text = session(freeze ? "F\ng\n" : "g\n", 2);
    EXPECT_EQ(text.find("Machine saved to FOLDER/frozen\n") != std::string::npos, on && freeze) << text;
    DLG_ScriptButton(true);  // Quit Anyway, were it asked
    stderr_of([&] { session("q\n"); });
    EXPECT_EQ(APP_QuitUnsaved, 0u);
    EXPECT_NE(std::filesystem::is_symlink(folder.file("frozen")), replaced);
    EXPECT_TRUE(read_file(auto_path) == (on ? STATE_Encode() : start)) << on;
    EXPECT_TRUE(!replaced || read_file(folder.file("frozen (refused)")) == std::vector<u8>({1, 2, 3}));
    HDD_CloseImages();
  }
}

// A disk drive A holds under that name, which `U` could not restore either, stays where and as it is. Ejected
// after the ST wrote to it, it is still the file `U` refused: the next `F` sets it aside with what was written.
// A floppy from a refused "frozen" that leads to a folder (a packed one, by a link of its own there), waiting
// for drive A when `F` sets the link aside, waits on under the new name and goes in from there. One that drive B
// holds by a link through "frozen" that alone unpacks it keeps that name. A hard disk's image found through it
// keeps "frozen" where it is.
TEST_F(Debugger, FreezeLeavesADiskOfThatNameAlone) {
  std::vector<u8> image(737280, 5);
  folder.write("frozen", image);
  testing::internal::CaptureStdout();
  ASSERT_EQ(DISKIMG_Insert(folder.file("frozen").c_str(), 'A'), 1u);
  testing::internal::GetCapturedStdout();
  std::string text = session("U\nF\ng\n", 2);
  EXPECT_NE(text.find("Could not save the machine to FOLDER/frozen: drive A holds FOLDER/frozen as its disk"),
            std::string::npos) << text;
  EXPECT_TRUE(saved_state() == image && !std::filesystem::exists(folder.file("frozen (refused)")));
  image[512] = 0x0e;
  ASSERT_EQ(pwrite(DISKIMG_Files[0], &image[512], 1, 512), 1);
  DISKIMG_Eject('A');
  text = session("F\nq\n");
  EXPECT_NE(text.find("kept as FOLDER/frozen (refused)"), std::string::npos) << text;
  std::ifstream kept(folder.file("frozen (refused)"), std::ios::binary);
  EXPECT_TRUE(std::vector<u8>(std::istreambuf_iterator<char>(kept), {}) == image);
  EXPECT_EQ(saved_state(), STATE_Encode());

  std::filesystem::remove(folder.file("frozen"));
  std::filesystem::remove(folder.file("frozen (refused)"));
  std::filesystem::create_directory(folder.file("disks"));
  const gzFile gz = gzopen(folder.file("disks/packed").c_str(), "wb");
  gzwrite(gz, image.data(), unsigned(image.size()));
  gzclose(gz);
  std::filesystem::create_symlink("packed", folder.file("disks/inner.st.gz"));  // unpacked by this name
  folder.write("game.st", image);
  std::filesystem::create_symlink("disks", folder.file("frozen"));
  std::filesystem::create_symlink("frozen/packed", folder.file("b.st.gz"));
  testing::internal::CaptureStdout();
  ASSERT_EQ(DISKIMG_Insert(folder.file("game.st").c_str(), 'A'), 1u);
  ASSERT_EQ(DISKIMG_Insert(folder.file("b.st.gz").c_str(), 'B'), 1u);
  session("U\ng\n", 2);
  APP_OpenDocuments({folder.file("frozen/inner.st.gz")}, false);
  ASSERT_EQ(INPUT_PendingDisks(), 1u);
  text = session("F\ng\n", DISKIMG_SwapFrames + 2);
  testing::internal::GetCapturedStdout();
  EXPECT_NE(text.find("kept as FOLDER/frozen (refused)"), std::string::npos) << text;
  EXPECT_TRUE(DISKIMG_Holds(0, folder.file("frozen (refused)/inner.st.gz").c_str())) << DLG_LastAlertText();
  EXPECT_EQ(DISKIMG_NameOf(1), folder.file("b.st.gz"));  // no name under the new one unpacks it
  EXPECT_EQ(saved_state().size(), STATE_FileSize(MMU_RamSize));

  // Nor is a "frozen" set aside that hard disk C's image is found through: the next start would not find it.
  std::filesystem::remove(folder.file("frozen"));
  std::filesystem::create_symlink("disks", folder.file("frozen"));
  std::vector<u8> hdd(HDD_EmptyImageBytes, 0);
  HDD_BuildBootSector(hdd.data());
  folder.write("disks/hd.dmg", hdd);
  std::filesystem::create_symlink("frozen/hd.dmg", folder.file("HDD-C.dmg"));
  testing::internal::CaptureStdout();
  ASSERT_TRUE(HDD_OpenImages());
  testing::internal::GetCapturedStdout();
  text = session("U\nF\ng\n", 2);
  HDD_CloseImages();
  EXPECT_NE(text.find("Could not save the machine to FOLDER/frozen, which could not be restored and is kept: "
                      "hard disk C finds its image FOLDER/HDD-C.dmg through FOLDER/frozen"),
            std::string::npos) << text;
  EXPECT_EQ(std::filesystem::read_symlink(folder.file("frozen")), "disks");
}

// The ST of a restored machine has its pointer where it was when saved:
// where the host had followed it to is forgotten.
TEST_F(Debugger, ThawForgetsWhereTheStPointerWas) {
  IKBD_State.mouseMode = 1;
  INPUT_PollPointer({0, 0, false, false, true, 0, -400, 0, false});  // up to the top
  ASSERT_TRUE(INPUT_StPointerAtTop(0));
  session("F\nU\nq\n");
  EXPECT_FALSE(INPUT_StPointerAtTop(0));
}

}  // namespace
