// Building the ST machine in tests: temporary application folders, TOS
// images, an injected host clock, and booting through the real start-up.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/types.h"

// A fresh folder under the system's temporary directory, removed at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::vector<u8>& bytes) const;

 private:
  std::string path_;
};

// A TOS image of `size` bytes (0: the whole ROM its version bytes call
// for) with version bytes v0 v1 at offset 2, the ROM's version word at
// offset 2 as well, and `emuTos` marking byte 0x2c. The code at offset 0x30
// is a branch to itself.
std::vector<u8> make_tos_image(u8 v0, u8 v1, u32 size = 0, bool emuTos = false);

// A test ROM that the build assembled from tests/roms.
std::vector<u8> load_test_rom(const std::string& name);

// The host clock the tests drive: microseconds advance only when told to
// (and by the sleeps the machine asks for); the local time is fixed.
struct FakeClock {
  static u64 now;
  static u64 slept;
  static u32 sleeps;
  static i32 date[6];  // year, month, day, hour, minute, second
  static void install();
};

// Thrown by the host's exit in tests.
struct ProcessExit {
  int code;
};

// Puts the machine's global state back to its power-on values, with default
// options, unthrottled, sound off, the fake clock installed and exits thrown
// as ProcessExit.
void machine_reset_globals();

// Builds the memory map from `folder` (which must hold a tos.img), quietly.
void machine_build_memory(const std::string& folder);

// Start-up of the whole machine from `folder` as main does it; returns what it
// printed on standard output.
std::string machine_start(const std::string& folder);

// Runs the started machine through the run loop until `frames` frames have
// ended. Like the application's run, it begins with the processor's restart,
// which resets the chips and the machine's frame count: every call starts
// the guest again and counts from there (a guest's own restarts do not start
// the count again).
void machine_run_frames(u32 frames);

// Goes on running a machine that machine_run_frames ran until `frames` more
// frames have ended, without the restart.
void machine_continue_frames(u32 frames);

// Either of the two with what the machine prints swallowed (an operating
// system's probes of absent hardware are reported on the console).
void machine_run_quietly(u32 frames, bool goOn = false);
// A removed file in `folder` this process still holds open, or empty.
std::string held_removed_file(const std::string& folder);

// Supervisor state with the stack at 0x8000 and every vector v (2-255)
// pointing at vector_target(v) in RAM, so a taken exception shows in the PC;
// the PC at machine_idle_pc.
void machine_point_vectors();
constexpr u32 machine_idle_pc = 0x9000;

// What the run loop does when an instruction ends: a bus or address error
// the accesses since the last call latched gets its frame and the PC its
// handler. Tests that make bank accesses directly call it between accesses
// that stand for separate instructions (within one, the first fault silences
// the rest). Returns whether a fault was taken.
bool machine_end_instruction();

// Every byte waiting in the keyboard processor's queue, which is emptied.
std::vector<u8> ikbd_take();

// What `run` writes on standard error.
template <typename Run>
std::string stderr_of(Run run) {
  testing::internal::CaptureStderr();
  run();
  return testing::internal::GetCapturedStderr();
}
constexpr u32 vector_target(u32 v) { return 0x10000 + 4 * v; }

// The base of the tests that work on the memory map: default globals and the
// map built from a folder holding a TOS 1.04 image.
class MachineMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_reset_globals();
    folder.write("tos.img", make_tos_image(1, 4));
    machine_build_memory(folder.path());
  }
  TempFolder folder;
};
