// The sound chip's register interface, its printer port and the sample ring.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "host/app.h"
#include "host/options.h"
#include "host/shared/menus.h"
#include "host/sound.h"
#include "machine/diskimg.h"
#include "machine/memory.h"
#include "machine/mfp.h"
#include "machine/psg.h"
#include "machine/scheduler.h"
#include "machine/sections.h"
#include "support/full_disk.h"
#include "support/machine_fixture.h"
#include "support/state_section.h"

namespace {

std::vector<u8> rest_of(std::ifstream& in) {
  return std::vector<u8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class SoundChip : public ::testing::Test {
 protected:
  TempFolder folder;
  void SetUp() override {
    machine_reset_globals();
    APP_FolderOverride = folder.path();
    PRINTER_Close();
    PSG_Init(2000000, 44100, 50, 160256, nullptr);
  }
  void TearDown() override { PRINTER_Close(); }
  static void set(u32 r, u32 v) {
    PSG_PutB(0xff8800, r);
    PSG_PutB(0xff8802, v);
  }
  static u32 get(u32 r) {
    PSG_PutB(0xff8800, r);
    return PSG_GetB(0xff8800);
  }
  std::vector<u8> printed() const {
    PRINTER_Flush();
    std::ifstream in(folder.file("Printer Output"), std::ios::binary);
    return rest_of(in);
  }
  // What is said when the file lost its name and a new one is begun.
  std::string begun_again() const {
    return folder.file("Printer Output") + " was removed or renamed: printing into a new file\n";
  }
};

TEST_F(SoundChip, RegisterCopiesKeepTheirWidths) {
  const u32 expected[14] = {0xff, 0x0f, 0xff, 0x0f, 0xff, 0x0f, 0x1f,
                            0xff, 0x1f, 0x1f, 0x1f, 0xff, 0xff, 0x0f};
  for (u32 r = 0; r < 14; ++r) {
    set(r, 0xff);
    EXPECT_EQ(get(r), expected[r]) << r;
  }
  set(1, 0x1f);
  EXPECT_EQ(get(1), 0x0fu);
  // The select register keeps four bits: 0x18 selects R8.
  set(0x18, 0x03);
  EXPECT_EQ(get(8), 0x03u);
}

TEST_F(SoundChip, PortsReadBackAsThePortsWork) {
  set(14, 0x05);
  EXPECT_EQ(get(14), 0x05u);
  EXPECT_EQ(PSG_PortA, 0x05u);
  set(15, 0x41);
  EXPECT_EQ(get(15), 0u);
  EXPECT_EQ(PSG_RegCopy.r15, 0x41u);
}

TEST_F(SoundChip, WordAndLongAccesses) {
  PSG_PutL(0xff8800, 0x07000000 | (0x3f << 8));
  EXPECT_EQ(PSG_RegCopy.selected, 7u);
  EXPECT_EQ(get(7), 0x3fu);
  PSG_PutW(0xff8800, 0x0800);
  PSG_PutW(0xff8802, 0x0c00);
  EXPECT_EQ(get(8), 0x0cu);
  PSG_PutL(0xff8802, 0x09000100);  // not a long-word boundary: ignored
  EXPECT_EQ(PSG_RegCopy.selected, 8u);
  EXPECT_EQ(PSG_GetW(0xff8800), 0x0c00u);
  EXPECT_EQ(PSG_GetW(0xff8802), 0u);
  EXPECT_EQ(PSG_GetL(0xff8800), 0u);
  EXPECT_EQ(PSG_GetB(0xff8802), 0u);
  PSG_PutB(0xff8801, 3);  // odd addresses do nothing
  EXPECT_EQ(PSG_RegCopy.selected, 8u);
}

TEST_F(SoundChip, WritesReachTheSynthesisAtTheirFrameCycleOnlyWithSoundOn) {
  PREFS_SoundOn = 0;
  SCHED_FrameCycle = 80128;
  set(8, 15);
  EXPECT_EQ(PSG_State.rendered, 0u);
  EXPECT_EQ(PSG_State.regs[8], 0u);
  EXPECT_EQ(get(8), 15u);
  PREFS_SoundOn = 1;
  set(8, 14);
  EXPECT_EQ(PSG_State.rendered, 441u);
  EXPECT_EQ(PSG_State.regs[8], 14u);
  EXPECT_EQ(PSG_State.selected, 8u);
}

TEST_F(SoundChip, PrintedBytesLandInTheFileAndFreeTheBusyLine) {
  PREFS_SoundOn = 0;
  MFP_GPI = 0xff;
  set(15, 'O');
  EXPECT_EQ(MFP_GPI, 0xfe);
  PSG_PutB(0xff8802, 'K');
  EXPECT_EQ(printed(), (std::vector<u8>{'O', 'K'}));
}

TEST_F(SoundChip, APrintRunReplacesAnOlderLongerFile) {
  folder.write("Printer Output", std::vector<u8>(1000, 'x'));
  set(15, 'A');
  PSG_PutB(0xff8802, 'B');
  EXPECT_EQ(printed(), (std::vector<u8>{'A', 'B'}));
}

// "Printer Output" is our file: a symbolic link of that name is not followed
// to truncate what it points at; the bytes are lost, and that is said once.
TEST_F(SoundChip, APrinterFileThatIsNoPlainFileIsLeftAlone) {
  folder.write("target", {'k', 'e', 'e', 'p'});
  std::filesystem::create_symlink(folder.file("target"), folder.file("Printer Output"));
  testing::internal::CaptureStderr();
  set(15, 'A');
  PSG_PutB(0xff8802, 'B');
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, folder.file("Printer Output") + " is a symbolic link: printed bytes are lost\n");
  EXPECT_EQ(PRINTER_Fd, -1);
  std::ifstream in(folder.file("target"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
            "keep");
}

// Printed bytes are gathered, not written one system call each; a file
// that has other names is not emptied under them.
TEST_F(SoundChip, PrintedBytesAreGatheredAndAHardLinkIsLeftAlone) {
  set(15, 'A');
  PSG_PutB(0xff8802, 'B');
  EXPECT_EQ(std::filesystem::file_size(folder.file("Printer Output")), 0u);
  EXPECT_EQ(printed(), (std::vector<u8>{'A', 'B'}));
  PRINTER_Close();
  folder.write("mine", {'k'});
  std::filesystem::remove(folder.file("Printer Output"));
  std::filesystem::create_hard_link(folder.file("mine"), folder.file("Printer Output"));
  testing::internal::CaptureStderr();
  set(15, 'C');
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            folder.file("Printer Output") + " has other names (hard links): printed bytes are lost\n");
  EXPECT_EQ(printed(), (std::vector<u8>{'k'}));
}

TEST_F(SoundChip, AnUnwritableFolderLosesTheBytesWithOneMessage) {
  APP_FolderOverride = folder.file("missing");
  testing::internal::CaptureStderr();
  set(15, 'A');
  set(15, 'B');
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            folder.file("missing/Printer Output") +
                " can't be created (its folder does not exist): printed bytes are lost\n");
  EXPECT_EQ(PRINTER_Fd, -1);
  EXPECT_EQ(PSG_RegCopy.r15, u32('B'));
}

// A reset or menu command looks at the file's name again before the next write, even within a frame
// that has looked already.
TEST_F(SoundChip, ARetryLooksAtTheFileAgain) {
  set(15, 0);
  for (u32 i = 1; i < 8192; ++i) PSG_PutB(0xff8802, 0);  // a full buffer: written and looked at
  std::filesystem::remove(folder.file("Printer Output"));
  PRINTER_Retry();
  testing::internal::CaptureStderr();
  PSG_PutB(0xff8802, 'Z');
  EXPECT_EQ(printed(), (std::vector<u8>{'Z'}));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), begun_again());
}

TEST_F(SoundChip, SavedSectionHoldsTheSpareBytesAndTheSelection) {
  PSG_RegCopy.spare[0] = 0x12;
  PSG_RegCopy.spare[1] = 0x34;
  PSG_PutB(0xff8800, 11);
  const std::vector<u8> raw = saved(PSG_SaveState);
  ASSERT_EQ(raw.size(), 6u);
  EXPECT_EQ(raw[0], 0x12);
  EXPECT_EQ(raw[1], 0x34);
  EXPECT_EQ(raw[5], 11);
  PSG_PutB(0xff8800, 2);
  EXPECT_EQ(restored(raw, PSG_RestoreState), 1u);
  EXPECT_EQ(PSG_RegCopy.selected, 11u);
  // A selection past the sixteen registers, or a short section, is refused.
  std::vector<u8> bad = raw;
  bad[5] = 16;
  EXPECT_EQ(restored(bad, PSG_RestoreState), 0u);
  EXPECT_EQ(restored(std::vector<u8>(raw.begin(), raw.end() - 1), PSG_RestoreState), 0u);
  EXPECT_EQ(PSG_RegCopy.selected, 11u);
}

// A drive that takes the printer's open file as its disk, also in the middle of a frame that wrote to it
// already, or a floppy dropped on a drive that waits for it, has it to itself for the rest of the run: the
// printer neither prints on at its end nor empties it, and says so once (again only after it printed into
// another file meanwhile).
TEST_F(SoundChip, AFileADriveTookIsNoLongerPrintedInto) {
  enum Way { InTheDrive, Waits, UnderASecondName };  // the last: the printer opens it afresh
  for (const Way way : {InTheDrive, Waits, UnderASecondName}) {
    SCOPED_TRACE(way);
    machine_reset_globals();
    for (u32 i = 0; i < 300000; ++i) set(15, u8(i));  // full buffers written in this frame, the rest waits
    const std::string file = folder.file("Printer Output"), kept = folder.file("kept.st");
    if (way == UnderASecondName) {
      PRINTER_Close();
      std::filesystem::create_hard_link(file, kept);
    }
    std::ifstream in(file, std::ios::binary);
    const std::vector<u8> disk = rest_of(in);
    testing::internal::CaptureStdout();
    if (way == Waits) DISKIMG_Waiting[0] = file;
    else ASSERT_EQ(DISKIMG_Insert((way == UnderASecondName ? kept : file).c_str(), 'A'), 1u);
    testing::internal::GetCapturedStdout();
    const std::string held = file + ": drive A " + (way == Waits ? "waits for " : "holds ") + file +
                             " as its disk: printed bytes are lost\n";
    EXPECT_EQ(stderr_of([] { set(15, 'Z'), PRINTER_Flush(), set(15, 'Z'), PRINTER_Flush(); }), held);
    EXPECT_EQ(printed(), disk);
    if (way == InTheDrive) {
      // Renamed, it leaves the name to a new printout; put back over that while still in the drive,
      // its holder is named again.
      std::filesystem::rename(file, kept);
      PRINTER_Retry();
      EXPECT_EQ(stderr_of([] { set(15, 'N'), PRINTER_Flush(); }), "");
      std::filesystem::rename(kept, file);
      EXPECT_EQ(stderr_of([] { set(15, 'Z'), PRINTER_Flush(); }), held);
    }
    // Nor once the drive let it go (and its other name is gone): the bytes stay lost, as was said.
    DISKIMG_Eject('A');
    DISKIMG_Waiting[0].clear();
    std::filesystem::remove(kept);
    PRINTER_Retry();
    EXPECT_EQ(stderr_of([] { set(15, 'Z'), PRINTER_Flush(); }), "");
    EXPECT_EQ(printed(), disk);
    // Renamed, it leaves the name to a new printout; put back over that, it is said again.
    std::filesystem::rename(file, kept);
    PRINTER_Retry();
    EXPECT_EQ(stderr_of([] { set(15, 'N'), PRINTER_Flush(); }), "");
    EXPECT_EQ(printed(), std::vector<u8>{'N'});
    std::filesystem::rename(kept, file);
    EXPECT_EQ(stderr_of([] { set(15, 'Z'), PRINTER_Flush(); }),
              file + " was held as a disk earlier in this run: printed bytes are lost\n");
    EXPECT_EQ(printed(), disk);
  }
}

// ---- A guest that prints: the printer test ROM ----

class PrintingGuest : public SoundChip {
 protected:
  void SetUp() override {
    SoundChip::SetUp();
    folder.write("tos.img", load_test_rom("printer_loop"));
    machine_start(folder.path());
  }
  std::string file() const { return folder.file("Printer Output"); }
  static u32 count() { return MMU_ReadL(0x800); }  // the bytes printed since the reset
};

// On a full disk the failed write is said once with its reason, and the file keeps what reached it: not
// a byte more once there is room again, until a reset, which goes on at its end.
TEST_F(PrintingGuest, AFullDiskIsSaidOnceAndTheFileLeftAsItIs) {
  FullDisk full(folder.path(), 20480);  // the ROM is read already
  const std::string told = stderr_of([] { machine_run_frames(20); });
  full.room();
  EXPECT_GT(count(), 40000u);
  EXPECT_EQ(told, file() + ": " + full.reason() + ": printed bytes are lost\n");
  const std::vector<u8> kept = printed();
  ASSERT_TRUE(kept.size() >= 8192 && kept.size() <= 20480) << kept.size();
  for (u32 i = 0; i < kept.size(); ++i) ASSERT_EQ(kept[i], u8(i)) << i;

  const u32 before = count();
  EXPECT_EQ(stderr_of([] { machine_continue_frames(5); }), "");
  EXPECT_GT(count(), before);
  EXPECT_EQ(printed(), kept);

  machine_run_frames(2);  // the reset starts the guest again
  std::vector<u8> want = kept;
  for (u32 i = 0; i < count(); ++i) want.push_back(u8(i));
  EXPECT_EQ(printed(), want);
}

// The opens since the last call of the file the watch `fd` is on (closes are watched too: two alike
// events in a row would be merged).
u32 opens(int fd) {
  inotify_event e[64];  // a file's own events carry no name
  u32 n = 0;
  for (ssize_t got; (got = read(fd, e, sizeof e)) > 0;)
    for (size_t i = 0; i < size_t(got) / sizeof *e; ++i) n += (e[i].mask & IN_OPEN) != 0;
  return n;
}

// A refused printer file (a FIFO) is tried once, not once a byte, and again after a reset or menu command; it is
// never opened.
TEST_F(PrintingGuest, ARefusedFileIsTriedOncePerResetOrMenuCommand) {
  ASSERT_EQ(mkfifo(file().c_str(), 0600), 0);
  const int watch = inotify_init1(IN_NONBLOCK);
  inotify_add_watch(watch, file().c_str(), IN_OPEN | IN_CLOSE);
  const std::string refused = file() + " is a FIFO: printed bytes are lost\n";
  const struct {
    void (*run)();
    u32 refusals;  // the message
  } steps[] = {{[] { machine_run_frames(3); }, 1},
               {[] { machine_continue_frames(2); }, 0},
               {[] { machine_run_frames(2); }, 1},  // a reset, then a menu command (the counters)
               {[] { MENU_Command(i32(MENU_OptionsId << 16 | 7)), machine_continue_frames(2); }, 1}};
  for (const auto& step : steps) {
    SCOPED_TRACE(&step - steps);
    EXPECT_EQ(stderr_of(step.run), step.refusals ? refused : "");
    EXPECT_EQ(opens(watch), 0u);
    EXPECT_GT(count(), 5000u);
  }
  EXPECT_EQ(PRINTER_Fd, -1);
  close(watch);
}

// "Printer Output" removed or renamed while the guest prints: a new file of that name takes every byte
// printed after, in order, and that is said once; the old file keeps what it had, nothing twice.
TEST_F(PrintingGuest, ARemovedOrRenamedFileIsBegunAgain) {
  const struct {
    const char* how;
    void (*take)(const std::string& file, const std::string& aside);
  } ways[] = {{"rm", [](const std::string& f, const std::string&) { std::filesystem::remove(f); }},
              {"mv", [](const std::string& f, const std::string& a) { std::filesystem::rename(f, a); }}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.how);
    PRINTER_Close();  // each way from a fresh run
    machine_run_frames(4);
    std::ifstream old(file(), std::ios::binary);  // still readable once its name is gone
    const u32 before = count();
    way.take(file(), folder.file("aside"));
    EXPECT_EQ(stderr_of([] { machine_continue_frames(4); }), begun_again());
    const std::vector<u8> now = printed(), kept = rest_of(old);
    EXPECT_GE(now.size(), count() - before);
    ASSERT_EQ(kept.size() + now.size(), count());
    for (u32 i = 0; i < count(); ++i)
      ASSERT_EQ(i < kept.size() ? kept[i] : now[i - kept.size()], u8(i)) << i;
  }
}

// ---- A long write sequence, sample for sample ----

u64 stream_hash;
u64 stream_samples;
void hash_sample(i32 s) {
  stream_hash = (stream_hash ^ u32(s)) * 0x100000001b3ull;  // FNV-1a, one sample a step
  ++stream_samples;
}

struct Xorshift {
  u32 s;
  u32 next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
  u32 below(u32 n) { return next() % n; }
};

// A value for register r, leaning towards what music writes: low coarse
// periods, silent or enveloped channels, fast envelopes; every shape.
u32 value_for(Xorshift& g, u32 r) {
  switch (r) {
    case 1: case 3: case 5: case 12: return g.below(3) ? g.below(3) : g.next() & 0xff;
    case 8: case 9: case 10: {
      const u32 k = g.below(4);
      return k == 0 ? 0 : k == 1 ? 0x10 : g.next() & 0xff;
    }
    default: return g.next() & 0xff;
  }
}

// Every sample the synthesis gives for a varied sequence of writes through
// the register interface: tones, noise, every envelope shape, volumes changed
// mid-frame, sample playback on the volume registers, the printer port, a
// reset, and long silent stretches whose noise keeps running. The sum was
// taken from the sample-by-sample synthesis: a faster one must give the same
// stream.
TEST_F(SoundChip, AVariedWriteSequenceKeepsItsSampleStream) {
  PREFS_SoundOn = 1;
  stream_hash = 0xcbf29ce484222325ull;
  stream_samples = 0;
  PSG_Init(2000000, 44100, 50, 160256, hash_sample);
  Xorshift g{0x2149u};
  auto at = [](i32 cycle, u32 r, u32 v) {
    SCHED_FrameCycle = cycle;
    set(r, v);
  };
  for (u32 frame = 0; frame < 400; ++frame) {
    const u32 kind = frame < 4 ? 0 : g.below(8);
    if (frame == 200) PSG_Reset();
    if (frame == 120 || frame == 300) {
      // Noise on every channel, all silent for three frames, then heard.
      at(0, 7, 0x07);
      for (u32 r = 8; r <= 10; ++r) at(0, r, 0);
      for (u32 f = 0; f < 3; ++f) PSG_EndFrame();
      at(1000, 8, 15);
      at(90000, 9, 0x10);
      at(90000, 13, frame == 120 ? 0x0e : 0x08);
    } else if (kind >= 1 && kind <= 4) {
      i32 cycle = 0;
      for (u32 n = 1 + g.below(12); n > 0; --n) {
        cycle += i32(g.below(30000));
        const u32 r = g.below(14);
        at(cycle, r, value_for(g, r));
      }
      if (kind == 4) at(i32(g.below(160256)), 13, frame & 15);
    } else if (kind == 5) {
      // Sample playback: tones and noise off, a volume every 180 cycles.
      at(0, 7, 0x3f | (g.next() & 0xc0));
      for (i32 cycle = 0, v = 0; cycle < 160256; cycle += 180, ++v) at(cycle, 8 + (v & 1), v >> 3);
    } else if (kind == 6) {
      // Printing between volume changes; the ports never render.
      for (i32 i = 0, cycle = 0; i < 8; ++i, cycle += 19000) {
        at(cycle, 15, 'a' + i);
        at(cycle + 50, 14, g.next() & 0xff);
        at(cycle + 100, 10, g.below(16));
      }
    } else if (kind == 7) {
      // Long writes select and write: the tone periods.
      for (i32 i = 0, cycle = 5000; i < 6; ++i, cycle += 24000) {
        SCHED_FrameCycle = cycle;
        PSG_PutL(0xff8800, (u32(i) << 24) | (value_for(g, u32(i)) << 8));
      }
      at(160256 + 40, 6, g.next() & 0xff);  // past the frame's end
    }
    PSG_EndFrame();
  }
  EXPECT_EQ(stream_samples, 400u * 882 + 6 * 882);
  EXPECT_EQ(stream_hash, 0xee73da597d626203ull) << std::hex << stream_hash;
  PREFS_SoundOn = 0;
}

// ---- The sample ring ----

TEST(SoundRing, HoldsOneLessThanItsSizeAndFillsUnderrunsWithSilence) {
  SOUND_RingClear();
  for (u32 i = 0; i < SOUND_RingSize + 10; ++i) SOUND_RingPut(i16(i));
  EXPECT_EQ(SOUND_RingCount(), SOUND_RingSize - 1);
  std::vector<i16> out(SOUND_RingSize + 5, 7);
  EXPECT_EQ(SOUND_RingTake(out.data(), u32(out.size())), SOUND_RingSize - 1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[SOUND_RingSize - 2], i16(SOUND_RingSize - 2));
  EXPECT_EQ(out[SOUND_RingSize - 1], 0);
  EXPECT_EQ(SOUND_RingCount(), 0u);
  SOUND_RingClear();
}

// One writer thread and one reader thread, as the synthesis and the audio
// output use it: every sample arrives once and in order.
TEST(SoundRing, OneWriterAndOneReaderWithoutALock) {
  SOUND_RingClear();
  constexpr u32 total = 400000;
  std::thread writer([] {
    for (u32 i = 0; i < total;)
      if (SOUND_RingPut(i16(i & 0x7fff))) ++i;
  });
  u32 expected = 0;
  bool inOrder = true;
  i16 chunk[256];
  while (expected < total) {
    const u32 n = SOUND_RingTake(chunk, 256);
    for (u32 i = 0; i < n; ++i, ++expected)
      if (chunk[i] != i16(expected & 0x7fff)) inOrder = false;
  }
  writer.join();
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(SOUND_RingCount(), 0u);
  SOUND_RingClear();
}

}  // namespace
