// Saved states and the user's disks, with EmuTOS. A program writes a file
// of 300,000 bytes to a floppy whose image lies outside the application's
// folder, or to the hard disk; states saved before, inside and after the
// write go on in another folder, at a start and through Load State, in a
// folder renamed since, in a folder with another disk of the same name,
// with the same images named on the command line, and each must leave the
// disk clean with the file whole; so must a disk put into the other drive
// meanwhile, and another disk named for the drive the write went to must
// stay whole. A state whose hard disk changed since (a file put on it by a
// host tool, or written by a session that ended without a quit), or an
// earlier build's with a hard disk, is refused, and nothing on the disk is
// touched.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "cpu/handler_tables.h"
#include "host/app.h"
#include "host/dialogs.h"
#include "host/options.h"
#include "host/shared/input.h"
#include "machine/diskimg.h"
#include "machine/hdd.h"
#include "machine/ikbd.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/state.h"
#include "support/floppy_images.h"
#include "support/machine_fixture.h"
#include "support/shell.h"
#include "support/testdata.h"

#ifdef FAT_TOOLS
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<u8>;

// What the programs write (disk_writer.inc).
Bytes expected_file() {
  Bytes b(300000);
  for (u32 i = 0; i < b.size(); ++i) b[i] = u8(i * 7 + (i >> 8));
  return b;
}
std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }
// A state as a build before the access block wrote it.
Bytes earlier_build(const Bytes& state) {
  return Bytes(state.begin(), state.end() - STATE_AccessBlockBytes - STATE_SensorBlockBytes);
}

class StateDisks : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!m68k_handler_table_complete[4]) GTEST_SKIP() << "needs the 68000 instruction handlers";
    REQUIRE_EMUTOS();
    for (const TempFolder* f : {&app, &other}) fs::copy_file(TESTDATA_DIR "/emutos/etos192uk.img", f->file("tos.img"));
  }
  void TearDown() override { HDD_CloseImages(); }

  // A fresh start from `folder` as the application starts, with 1 MB of RAM;
  // with `autoState` its run loop's first entry loads "Auto Saved State".
  void start(const std::string& folder, bool autoState) {
    machine_reset_globals();
    MMU_HostRamLimit = 0x100000;
    testing::internal::CaptureStderr();
    machine_start(folder);
    testing::internal::GetCapturedStderr();
    PREFS_AutoSaveOnQuit = autoState;
    SCHED_PollTick = SCHED_LastEventTick = HOST_TickCount();
    started = false;
  }
  void frame() {
    machine_run_quietly(1, started);
    started = true;
  }
  void run_to(u32 last) {
    while (SCHED_FrameCount < last) frame();
  }

  TempFolder app, other;
  bool started = false;
};

// ---- Floppies ----

constexpr u32 last_frame = 900;

struct Saved {
  u32 frame;
  Bytes state, work;
};

class StateFloppies : public StateDisks {
 protected:
  void SetUp() override {
    StateDisks::SetUp();
    if (IsSkipped()) return;
    ASSERT_EQ(fat_new_floppy(elsewhere.file("boot.st"), "BOOT"), "");
    ASSERT_EQ(fat_make_dir(elsewhere.file("boot.st"), "AUTO"), "");
    ASSERT_EQ(fat_copy_in(elsewhere.file("boot.st"), M68K_PROGRAM_DIR "/floppy_writer.bin", "AUTO/FLOPPY.PRG"), "");
    ASSERT_EQ(fat_new_floppy(elsewhere.file("work.st"), "WORK"), "");
    boot = read_file(elsewhere.file("boot.st"));
    work = read_file(elsewhere.file("work.st"));
  }
  // The two floppies of another folder, as a drop puts them in.
  void insert_disks() {
    testing::internal::CaptureStdout();
    ASSERT_EQ(DISKIMG_Insert(elsewhere.file("boot.st").c_str(), 'A'), 1u);
    ASSERT_EQ(DISKIMG_Insert(elsewhere.file("work.st").c_str(), 'B'), 1u);
    testing::internal::GetCapturedStdout();
  }
  void put_disks(const Bytes& b, const Bytes& w) {
    fs::remove(elsewhere.file("boot.st"));
    fs::remove(elsewhere.file("work.st"));
    elsewhere.write("boot.st", b);
    elsewhere.write("work.st", w);
  }
  // The work disk (or the image at `path`) when the run is over: clean, the
  // file whole and done.
  void expect_written(const std::string& what, const std::string& path = {}) {
    const std::string image = path.empty() ? elsewhere.file("work.st") : path;
    EXPECT_EQ(fat_check(image), "") << what;
    EXPECT_TRUE(fat_read(image, "OUT1.BIN").out == text(expected_file())) << what << ": OUT1.BIN is not whole";
    EXPECT_EQ(fat_read(image, "DONE1.TXT").out, "done") << what;
  }

  // Takes `state` up at a start of the other folder, as its automatic
  // state: drive B writable, and the write completes on the image at
  // `path` (the work disk when empty).
  void expect_goes_on_at_start(const Bytes& state, const std::string& what, const std::string& path = {}) {
    other.write(APP_AutoStateName, state);
    start(other.path(), true);
    frame();
    EXPECT_EQ(APP_AutoStateRefused, 0u) << what;
    EXPECT_EQ(DISKIMG_WriteProtect[1], 0u) << what;
    run_to(last_frame);
    DISKIMG_Reset();
    expect_written(what, path);
    fs::remove(other.file(APP_AutoStateName));
  }
  // Runs the started machine until the image at `path` is being written
  // (changed twice): the state then, with the image.
  Saved inside_write(const std::string& path) {
    Saved s{};
    Bytes before = read_file(path);
    for (const Bytes first = before; SCHED_FrameCount < last_frame; run_to(SCHED_FrameCount + 8)) {
      frame();
      s.work = read_file(path);
      if (s.work != before && before != first) return {SCHED_FrameCount, STATE_Encode(), s.work};
      before = s.work;
    }
    return {};
  }

  TempFolder elsewhere;
  Bytes boot, work;
};

TEST_F(StateFloppies, AWriteToADiskOfAnotherFolderGoesOnFromEveryStateInAnotherFolder) {
  start(app.path(), false);
  insert_disks();
  std::vector<Saved> saved;
  while (SCHED_FrameCount < last_frame) {
    frame();
    if (SCHED_FrameCount >= 200 && SCHED_FrameCount % 16 == 0)
      saved.push_back({SCHED_FrameCount, STATE_Encode(), read_file(elsewhere.file("work.st"))});
  }
  expect_written("the run that never stopped");
  const Bytes final_work = read_file(elsewhere.file("work.st"));
  u32 inside = 0, runs = 0;
  for (const Saved& s : saved) inside += s.work != work && s.work != final_work;
  EXPECT_GE(inside, 5u);

  for (const Saved& s : saved) {
    SCOPED_TRACE("the state of frame " + std::to_string(s.frame));
    // At a start of another folder, as its automatic state.
    put_disks(boot, s.work);
    expect_goes_on_at_start(s.state, "loaded at a start");
    // Through Load State, in a machine of another folder that boots with
    // no disks.
    put_disks(boot, s.work);
    other.write("Frozen State", s.state);
    start(other.path(), false);
    for (u32 i = 0; i < 20; ++i) frame();
    testing::internal::CaptureStdout();
    ASSERT_TRUE(STATE_Read(other.file("Frozen State").c_str()));
    testing::internal::GetCapturedStdout();
    run_to(last_frame);
    expect_written("loaded with Load State");
    runs += 2;
  }
  std::printf("%zu states saved from frame 200 to %u, %u of them inside the write; %u runs, each with the "
              "file whole and the disk clean\n",
              saved.size(), last_frame, inside, runs);
}

// A start that takes up the automatic state, saved inside the write, with
// the same images named on its command line (shell history, a launcher):
// each restored drive keeps its image, and the file completes.
TEST_F(StateFloppies, TheSameImagesOnTheCommandLineLeaveTheRestoredWriteWhole) {
  start(app.path(), false);
  insert_disks();
  const Saved s = inside_write(elsewhere.file("work.st"));
  ASSERT_FALSE(s.state.empty());
  put_disks(boot, s.work);
  other.write(APP_AutoStateName, s.state);
  start(other.path(), true);
  frame();
  ASSERT_EQ(APP_AutoStateTakenUp, 1u);
  testing::internal::CaptureStdout();
  APP_OpenDocuments({elsewhere.file("boot.st"), elsewhere.file("work.st")}, false, true);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(DISKIMG_InsertedMask, 3u);
  EXPECT_EQ(INPUT_PendingDisks(), 0u);
  run_to(last_frame);
  expect_written("the same images on the command line");
}

// A start that takes up the automatic state, saved inside the write to B,
// whose image another disk has replaced under its name since, with that
// name on the command line: the restore leaves B empty, and the other disk
// goes in only once the restored ST has seen the drive empty. The ST's
// write fails instead of landing on the other disk: its file stays whole
// and its file system clean, and the ST then reads it (REREAD.PRG copies
// its NEW.TXT to SEEN.TXT there).
TEST_F(StateFloppies, AnotherDiskUnderTheStatesNameGoesInOnlyOnceTheStSawTheDriveEmpty) {
  const std::string reread = elsewhere.file("reread.st"), user = elsewhere.file("user.st");
  ASSERT_EQ(fat_new_floppy(reread, "BOOT"), "");
  ASSERT_EQ(fat_make_dir(reread, "AUTO"), "");
  ASSERT_EQ(fat_copy_in(reread, M68K_PROGRAM_DIR "/floppy_reread_b.bin", "AUTO/REREAD.PRG"), "");
  Bytes mine(60000);
  for (u32 i = 0; i < mine.size(); ++i) mine[i] = u8(i * 11 + (i >> 7));
  const std::string note = "on the new disk.";
  elsewhere.write("mine.bin", mine);
  elsewhere.write("new.txt", Bytes(note.begin(), note.end()));
  ASSERT_EQ(fat_new_floppy(user, "USER"), "");
  ASSERT_EQ(fat_copy_in(user, elsewhere.file("mine.bin"), "MINE.BIN"), "");
  ASSERT_EQ(fat_copy_in(user, elsewhere.file("new.txt"), "NEW.TXT"), "");

  start(app.path(), false);
  testing::internal::CaptureStdout();
  ASSERT_EQ(DISKIMG_Insert(reread.c_str(), 'A'), 1u);
  ASSERT_EQ(DISKIMG_Insert(elsewhere.file("work.st").c_str(), 'B'), 1u);
  testing::internal::GetCapturedStdout();
  const Saved s = inside_write(elsewhere.file("work.st"));
  ASSERT_FALSE(s.state.empty());
  fs::remove(elsewhere.file("work.st"));
  fs::copy_file(user, elsewhere.file("work.st"));
  other.write(APP_AutoStateName, s.state);
  start(other.path(), true);
  frame();
  ASSERT_EQ(APP_AutoStateTakenUp, 1u);
  EXPECT_EQ(DISKIMG_InsertedMask, 1u);
  testing::internal::CaptureStdout();
  APP_OpenDocuments({reread, elsewhere.file("work.st")}, false, true);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(DISKIMG_InsertedMask, 1u);
  EXPECT_EQ(INPUT_PendingDisks(), 2u);
  run_to(SCHED_FrameCount + 400);
  DISKIMG_Reset();
  const std::string work = elsewhere.file("work.st");
  EXPECT_EQ(fat_check(work), "");
  EXPECT_TRUE(fat_read(work, "MINE.BIN").out == text(mine)) << "MINE.BIN is not whole";
  EXPECT_EQ(fat_read(work, "SEEN.TXT").out, note);
}

// A state saved while drive B held the folder's own disk2.st, taken up in
// another folder whose own disk2.st is another disk: the image the state
// names is its disk, and the write completes there; the other folder's
// disk stays as it was.
TEST_F(StateFloppies, AnotherFoldersDiskOfTheSameNameLeavesTheWriteToTheStatesDisk) {
  fs::copy_file(elsewhere.file("boot.st"), app.file("disk1.st"));
  fs::copy_file(elsewhere.file("work.st"), app.file("disk2.st"));
  start(app.path(), false);
  const Saved s = inside_write(app.file("disk2.st"));
  ASSERT_FALSE(s.state.empty());
  ASSERT_EQ(fat_new_floppy(other.file("disk2.st"), "OTHER"), "");
  const Bytes others = read_file(other.file("disk2.st"));
  fs::remove(app.file("disk2.st"));
  app.write("disk2.st", s.work);
  expect_goes_on_at_start(s.state, "the state's disk of another folder", app.file("disk2.st"));
  EXPECT_TRUE(read_file(other.file("disk2.st")) == others);
}

// The folder's own disks follow the folder: renamed between the quit and
// the next start, it has them under its new name, and a write the quit
// interrupted completes there (also from a state of the build before the
// access was kept, whose digests tell the disks).
TEST_F(StateFloppies, TheFoldersOwnDisksComeBackInARenamedFolder) {
  TempFolder holder;
  const std::string first = holder.file("Vantorell"), renamed = holder.file("Vantorell ST");
  fs::create_directory(first);
  fs::copy_file(app.file("tos.img"), first + "/tos.img");
  fs::copy_file(elsewhere.file("boot.st"), first + "/disk1.st");
  fs::copy_file(elsewhere.file("work.st"), first + "/disk2.st");
  // Three states inside the write.
  std::vector<Saved> saved;
  start(first, false);
  for (Bytes before = work; SCHED_FrameCount < last_frame && saved.size() < 3; run_to(SCHED_FrameCount + 8)) {
    frame();
    const Bytes now = read_file(first + "/disk2.st");
    if (now != before) saved.push_back({SCHED_FrameCount, STATE_Encode(), now});
    before = now;
  }
  ASSERT_EQ(saved.size(), 3u);
  const Bytes boot_disk = read_file(first + "/disk1.st");
  for (const Saved& s : saved) {
    for (const bool older : {false, true}) {
      SCOPED_TRACE("the state of frame " + std::to_string(s.frame) + (older ? ", of the build before" : ""));
      fs::remove(first + "/disk2.st");
      std::ofstream(first + "/disk2.st", std::ios::binary).write(reinterpret_cast<const char*>(s.work.data()), s.work.size());
      const Bytes state = older ? earlier_build(s.state) : s.state;
      std::ofstream(first + "/" + APP_AutoStateName, std::ios::binary)
          .write(reinterpret_cast<const char*>(state.data()), state.size());
      fs::rename(first, renamed);
      start(renamed, true);
      frame();
      EXPECT_EQ(APP_AutoStateRefused, 0u);
      EXPECT_EQ(DISKIMG_InsertedMask, 3u);
      run_to(last_frame);
      DISKIMG_Reset();
      EXPECT_EQ(fat_check(renamed + "/disk2.st"), "");
      EXPECT_TRUE(fat_read(renamed + "/disk2.st", "OUT1.BIN").out == text(expected_file()));
      EXPECT_EQ(fat_read(renamed + "/disk2.st", "DONE1.TXT").out, "done");
      EXPECT_EQ(read_file(renamed + "/disk1.st"), boot_disk);
      fs::rename(renamed, first);
    }
  }
}

// ---- A disk put into the other drive ----

// A program writes its file to one drive while a floppy is dropped on the
// window for the other (which stands empty a while, then takes it): the
// write goes on to its end and the disk stays clean; the program then
// reads the new disk in the other drive.
TEST_F(StateDisks, ADiskPutIntoOneDriveLeavesTheOtherDrivesWriteWhole) {
  for (const char writes : {'B', 'A'}) {
    SCOPED_TRACE(std::string("writing to drive ") + writes);
    TempFolder disks;
    const std::string boot = disks.file("boot.st"), second = disks.file("second.st"), fresh = disks.file("new.st");
    ASSERT_EQ(fat_new_floppy(boot, "BOOT"), "");
    ASSERT_EQ(fat_make_dir(boot, "AUTO"), "");
    const std::string program = writes == 'B' ? "/floppy_swap_b.bin" : "/floppy_swap_a.bin";
    ASSERT_EQ(fat_copy_in(boot, M68K_PROGRAM_DIR + program, "AUTO/SWAP.PRG"), "");
    ASSERT_EQ(fat_new_floppy(second, "SECOND"), "");
    ASSERT_EQ(fat_new_floppy(fresh, "NEW"), "");
    const std::string note = "on the new disk.";  // the 16 bytes the program copies
    disks.write("new.txt", Bytes(note.begin(), note.end()));
    ASSERT_EQ(fat_copy_in(fresh, disks.file("new.txt"), "NEW.TXT"), "");
    const std::string written = writes == 'B' ? second : boot;

    start(app.path(), false);
    testing::internal::CaptureStdout();
    ASSERT_EQ(DISKIMG_Insert(boot.c_str(), 'A'), 1u);
    ASSERT_EQ(DISKIMG_Insert(second.c_str(), 'B'), 1u);
    testing::internal::GetCapturedStdout();
    const Bytes before = read_file(written);
    while (read_file(written) == before && SCHED_FrameCount < 900) run_to(SCHED_FrameCount + 4);
    ASSERT_LT(SCHED_FrameCount, 900u) << "the write never began";
    APP_OpenDocuments({fresh}, writes == 'A');  // with Command held, for drive B
    run_to(SCHED_FrameCount + DISKIMG_SwapFrames + 2);
    EXPECT_EQ(DISKIMG_InsertedMask, 3u);
    run_to(1400);
    DISKIMG_Reset();
    EXPECT_EQ(fat_check(written), "");
    EXPECT_TRUE(fat_read(written, "OUT1.BIN").out == text(expected_file())) << "OUT1.BIN is not whole";
    EXPECT_EQ(fat_read(written, "DONE1.TXT").out, "done");
    EXPECT_EQ(fat_read(written, "SEEN.TXT").out, note);
    EXPECT_EQ(fat_check(fresh), "");
  }
}

// ---- The hard disk ----

// EmuTOS, our hard-disk driver and a hard disk whose AUTO program waits 4
// seconds (from about frame 230), then writes C:\OUTn.BIN.
class StateHardDisk : public StateDisks {
 protected:
  void SetUp() override {
    StateDisks::SetUp();
    if (IsSkipped()) return;
    fs::copy_file(CART_IMAGE, app.file("cart.img"));
    const std::string hdd = app.file("HDD-C.dmg");
    ASSERT_EQ(shell(std::string(MKFS_FAT) + " -C -F 16 -S 512 -s 1 " + shell_quote(hdd) + " 2200").status, 0);
    ASSERT_EQ(fat_make_dir(hdd, "AUTO"), "");
    ASSERT_EQ(fat_copy_in(hdd, M68K_PROGRAM_DIR "/hdd_writer.bin", "AUTO/HDD.PRG"), "");
    // A state saved in the wait, and the disk then.
    start(app.path(), false);
    run_to(saved_at);
    state = STATE_Encode();
    disk = read_file(hdd);
    run_to(done_by);
    HDD_CloseImages();
    written = read_file(hdd);
    ASSERT_TRUE(fat_read(hdd, "OUT1.BIN").out == text(expected_file()));
  }
  std::string hdd() const { return app.file("HDD-C.dmg"); }
  void put_disk(const Bytes& b) {
    fs::remove(hdd());
    app.write("HDD-C.dmg", b);
  }
  // Starts with `file` (else `state`) as the automatic state, written now
  // unless it is there: refused, the ST starts afresh and its program writes
  // OUT`n`.BIN beside what is there.
  void expect_refused_at_start(u32 n, const Bytes* file = nullptr,
                               const char* said = "HDD-C.dmg changed since the state was saved",
                               u32 why = STATE_RefusedHardDisk) {
    if (!fs::exists(app.file(APP_AutoStateName))) app.write(APP_AutoStateName, file ? *file : state);
    start(app.path(), true);
    frame();
    fs::remove(app.file(APP_AutoStateName));
    EXPECT_EQ(APP_AutoStateRefused, why);
    EXPECT_NE(DLG_LastAlertText().find(said), std::string::npos) << DLG_LastAlertText();
    run_to(done_by + 50);
    HDD_CloseImages();
    EXPECT_EQ(fat_check(hdd()), "");
    EXPECT_TRUE(fat_read(hdd(), "OUT" + std::to_string(n) + ".BIN").out == text(expected_file()));
  }

  // The disk as saved with BIG.BIN (`bytes` bytes) put on it by a host tool
  // since: the file's bytes, and the disk then.
  std::pair<Bytes, Bytes> disk_with_a_file_added(u32 bytes) {
    Bytes big(bytes);
    for (u32 i = 0; i < big.size(); ++i) big[i] = u8(i * 13 + (i >> 11));
    app.write("BIG.BIN", big);
    put_disk(disk);
    EXPECT_EQ(fat_copy_in(hdd(), app.file("BIG.BIN"), "BIG.BIN"), "");
    return {big, read_file(hdd())};
  }

  static constexpr u32 saved_at = 330, done_by = 1000;
  Bytes state, disk, written;
};

TEST_F(StateHardDisk, AnUnchangedDiskRestoresSilentlyAndGoesOnAsTheRunThatNeverStopped) {
  put_disk(disk);
  app.write(APP_AutoStateName, state);
  DLG_SetAlertText("");
  start(app.path(), true);
  frame();
  EXPECT_EQ(APP_AutoStateRefused, 0u);
  EXPECT_EQ(DLG_LastAlertText(), "");
  run_to(done_by);
  HDD_CloseImages();
  EXPECT_TRUE(read_file(hdd()) == written);
}

// A file put on the disk by a host tool after the quit survives the start
// that would have put the old ST back, and Load State of the old state too.
TEST_F(StateHardDisk, AFileAHostToolAddedSurvivesTheRestore) {
  const auto [big, changed] = disk_with_a_file_added(500000);
  expect_refused_at_start(1);
  EXPECT_TRUE(fat_read(hdd(), "BIG.BIN").out == text(big));

  // Load State from the menu, in a running machine: refused, the machine
  // untouched.
  put_disk(changed);
  app.write("Frozen State", state);
  start(app.path(), false);
  run_to(100);
  const Bytes before = STATE_Encode();
  EXPECT_FALSE(STATE_Read(app.file("Frozen State").c_str()));
  EXPECT_EQ(STATE_Refusal, u32(STATE_RefusedHardDisk));
  EXPECT_TRUE(STATE_Encode() == before);
  run_to(done_by);
  HDD_CloseImages();
  EXPECT_EQ(fat_check(hdd()), "");
  EXPECT_TRUE(fat_read(hdd(), "BIG.BIN").out == text(big));
}

// An earlier build's state (the newest block cut off) keeps no record of the
// hard disk, and the files' times can't stand in for one: on a disk a host
// tool changed, it is refused when the image was put back with its old time
// (cp -p, rsync -a, tar) and when the state file was copied after the
// change. The file put on the disk stays as it was.
TEST_F(StateHardDisk, AnEarlierBuildsStateIsRefusedWhateverTheFilesTimesSay) {
  const Bytes older = earlier_build(state);
  const auto [big, changed] = disk_with_a_file_added(200000);
  for (const bool oldTime : {true, false}) {
    SCOPED_TRACE(oldTime ? "the disk put back with its old time" : "the state copied after the change");
    put_disk(changed);
    app.write(APP_AutoStateName, older);
    if (oldTime)
      fs::last_write_time(hdd(), fs::last_write_time(app.file(APP_AutoStateName)) - std::chrono::hours(1));
    expect_refused_at_start(1, nullptr, "saved by an earlier version, which can't show that the hard disk "
                                          "HDD-C.dmg is unchanged", STATE_RefusedEarlierHardDisk);
    EXPECT_TRUE(fat_read(hdd(), "BIG.BIN").out == text(big));
  }
}

// A session that took up the automatic state and ended without a quit
// (killed) wrote KEY1.BIN, a key having been pressed in the wait; the next
// start takes that state up again: refused, and KEY1.BIN stays as that
// session wrote it (the ST put back would write its OUT1.BIN into the same
// clusters, its FAT being the one before).
TEST_F(StateHardDisk, AFileASessionWroteAfterTheStateSurvivesTheRestore) {
  put_disk(disk);
  app.write(APP_AutoStateName, state);
  start(app.path(), true);
  frame();
  ASSERT_EQ(APP_AutoStateRefused, 0u);
  run_to(saved_at + 5);
  IKBD_PostKey(0, 1);  // A, down and up
  run_to(saved_at + 7);
  IKBD_PostKey(0, 0);
  run_to(done_by);
  HDD_CloseImages();
  const std::string key = fat_read(hdd(), "KEY1.BIN").out;
  ASSERT_TRUE(key == text(expected_file()));
  expect_refused_at_start(1);
  EXPECT_TRUE(fat_read(hdd(), "KEY1.BIN").out == key);
}

}  // namespace
#endif
