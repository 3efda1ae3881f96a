// MIDI output: byte streams a test ROM sends through the MIDI ACIA, checked
// through a synthesizer that records every call; opening, closing, the menu
// and the preferences; synthesizers that cannot start; and FluidSynth's
// sound, measured from the samples it mixes in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/midi.h"
#include "host/options.h"
#include "host/shared/gm_synth.h"
#include "machine/memory.h"
#include "machine/state.h"
#include "support/machine_fixture.h"

namespace {

using Calls = std::vector<std::string>;
using Bytes = std::vector<u8>;

// ---- The recording synthesizer ----

Calls calls;
bool fail_start;
int fail_channel;

void rec(const char* text) { calls.push_back(text); }
template <typename... A>
void rec(const char* format, A... args) {
  char line[64];
  std::snprintf(line, sizeof line, format, args...);
  calls.push_back(line);
}

const QTMIDI_Synth recording = {
    []() -> i32 { rec("start"); return fail_start ? 1 : 0; },
    [] { rec("stop"); },
    []() -> i32 { rec("open"); return 0; },
    [] { rec("close"); },
    [](u32 c) -> i32 { rec("new %u", c); return int(c) == fail_channel ? -2 : 0; },
    [](u32 c) { rec("dispose %u", c); },
    [](u32 c, u32 note, u32 velocity) { rec("note %u %u %u", c, note, velocity); },
    [](u32 c, u32 n, i32 v) { rec("ctl %u %u %d", c, n, v); },
    [](u32 c, u32 i) { rec("instr %u %#x", c, i); },
    [](u32 c) { rec("reset %u", c); },
    [](u32 c, u32 v) { rec("vol %u %#x", c, v); },
};

Calls cat(std::initializer_list<Calls> parts) {
  Calls out;
  for (const Calls& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The calls `formats` make for each channel in turn.
Calls per_channel(std::initializer_list<const char*> formats) {
  Calls saved;
  std::swap(saved, calls);
  for (u32 c = 0; c < 16; ++c)
    for (const char* f : formats) rec(f, c);
  std::swap(saved, calls);
  return saved;
}

// A reset also lets go of pedals, bend and the other controllers.
const Calls reset_all = cat({per_channel({"reset %u", "instr %u 0x1", "ctl %u 7 23040", "ctl %u 1 0", "ctl %u 2 0",
                                          "ctl %u 4 0", "ctl %u 5 0", "ctl %u 8 0", "ctl %u 10 0", "ctl %u 64 0",
                                          "ctl %u 66 0", "ctl %u 67 0", "ctl %u 33 0", "ctl %u 32 0"}),
                             {"instr 9 0x4001"}});
const Calls opened = cat({{"open"}, per_channel({"new %u", "ctl %u 7 23040"}), {"instr 9 0x4001"}});
const Calls closed = cat({per_channel({"dispose %u"}), {"close"}});

class MidiOut : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    fail_start = false;
    fail_channel = -1;
    QTMIDI_SynthInUse = &recording;
    PREFS_MidiOutOpen = 0;  // the defaults leave it as the last test did
  }
  void TearDown() override {
    QTMIDI_Close();
    QTMIDI_SynthInUse = &QTMIDI_NullSynth;
    QTMIDI_Available = 0;
    PREFS_MidiOutOpen = 0;
  }
  template <typename F>
  static Calls calls_of(F action) {
    calls.clear();
    action();
    return calls;
  }
  // Items 1-6: checked or not, enabled or disabled.
  static std::string menu() {
    const QTMIDI_MenuItems m = QTMIDI_UpdateMenuItems();
    std::string s;
    for (u32 i = 1; i <= 6; ++i) s += std::string(m.item[i].checked ? "v" : "-") + (m.item[i].enabled ? "e " : "d ");
    return s;
  }
};

// ---- Streams from the ROM ----

// System-exclusive messages of every length up to 300 data bytes, each the
// start of a master-volume message and followed by a note: from seven bytes
// on the volume is set (past 249 the F7 is dropped), and the parser is in
// step after each.
void sysex_of_every_length(Bytes& bytes, Calls& expected) {
  const u8 start[6] = {0x7F, 0x7F, 0x04, 0x01, 0x00, 0x40};
  for (u32 n = 0; n <= 300; ++n) {
    bytes.push_back(0xF0);
    for (u32 i = 0; i < n; ++i) bytes.push_back(i < 6 ? start[i] : u8(i & 0x7F));
    bytes.insert(bytes.end(), {0xF7, 0x90, u8(n & 0x7F), 0x40});
    if (n >= 6) expected = cat({expected, per_channel({"vol %u 0x8000"})});
    expected.push_back("note 0 " + std::to_string(n & 0x7F) + " 64");
  }
}

class MidiRom : public MidiOut {
 protected:
  void SetUp() override {
    MidiOut::SetUp();
    machine_reset_globals();
    PREFS_MidiOutOpen = 1;  // open at start-up, as the preferences say
    folder.write("tos.img", load_test_rom("midi_stream"));
    machine_start(folder.path());
  }
  // The calls the ROM's sending of `bytes` makes after the processor's
  // reset, which resets MIDI output.
  Calls send(const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), MMU_RamBase + 0x1000);
    MMU_WriteL(0x800, u32(bytes.size()));
    MMU_WriteL(0x804, 1);
    MMU_WriteL(0x818, 0);
    calls.clear();
    machine_run_frames(2 + u32(bytes.size()) / 1000);
    EXPECT_EQ(MMU_ReadL(0x818), 1u) << "the ROM did not send the stream";
    const size_t n = std::min(calls.size(), reset_all.size());
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + n), reset_all);
    return Calls(calls.begin() + n, calls.end());
  }
  TempFolder folder;
};

TEST_F(MidiRom, StreamsThroughTheAciaPlayOnTheSynthesizer) {
  ASSERT_EQ(calls, cat({{"start"}, opened}));
  Bytes every_length;
  Calls every_length_calls;
  sysex_of_every_length(every_length, every_length_calls);
  const struct {
    const char* name;
    Bytes bytes;
    Calls calls;
  } cases[] = {
      {"running status", {0x90, 0x3C, 0x40, 0x3E, 0x40, 0x80, 0x3C, 0x00, 0x3C, 0x7F, 0x95, 0x30, 0x00},
       {"note 0 60 64", "note 0 62 64", "note 0 60 0", "note 0 60 0", "note 5 48 0"}},
      {"system-common messages end running status",
       {0x92, 0x3C, 0x40, 0xF2, 0x00, 0x00, 0x3E, 0x40, 0xF6, 0x3E, 0x40, 0xF7, 0x3E, 0xF1, 0x01, 0x3E},
       {"note 2 60 64"}},
      {"real-time bytes inside messages",
       {0x90, 0xF8, 0x3C, 0xFA, 0x40, 0xFE, 0x3E, 0xF9, 0xFC, 0x40, 0xB0, 0xF8, 0x07, 0xFD, 0x64},
       {"note 0 60 64", "note 0 62 64", "ctl 0 7 25600"}},
      {"0xFF resets and ends the message", {0x91, 0x3C, 0xFF, 0x40, 0x3C, 0x40}, reset_all},
      {"master volume",
       {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x40, 0xF7,              // half
        0xF0, 0x7F, 0x7F, 0x04, 0x01, 0xF7,                          // short: not the last one's bytes
        0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0xF7,                    // short: not F7
        0xF0, 0x7F, 0xF8, 0x7F, 0x04, 0x01, 0x00, 0xFE, 0x20, 0xF7,  // real time inside
        0xF0, 0x7E, 0x7F, 0x04, 0x01, 0x00, 0x40, 0xF7,              // another message
        0xF0, 0x01, 0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x7F, 0x7F,        // F0 starts anew,
        0x90, 0x3C, 0x40},                                           // a status ends it
       cat({per_channel({"vol %u 0x8000"}), per_channel({"vol %u 0x4000"}), per_channel({"vol %u 0xfffc"}),
            {"note 0 60 64"}})},
      {"system-exclusive messages of every length", every_length, every_length_calls},
      {"controllers",
       {0xB3, 0x01, 0x10, 0x21, 0x05, 0x02, 0x7F, 0x22, 0x7F, 0x04, 0x01, 0x24, 0x01, 0x05, 0x40,
        0x25, 0x00, 0x08, 0x40, 0x28, 0x7F,              // 14-bit controllers
        0x07, 0x64, 0x0B, 0x40, 0x2B, 0x00, 0x27, 0x7F,  // volume and expression
        0x0A, 0x40, 0x2A, 0x00,                          // pan
        0x40, 0x40, 0x40, 0x3F, 0x42, 0x7F, 0x43, 0x00,  // switches
        0x41, 0x40, 0x41, 0x3F, 0x5B, 0x28, 0x5F, 0x7F,  // portamento, effects
        0x00, 0x05, 0x03, 0x01, 0x09, 0x01, 0x20, 0x01, 0x23, 0x01, 0x29, 0x01, 0x3F, 0x01, 0x44,
        0x01, 0x5A, 0x01, 0x66, 0x01, 0x77, 0x01, 0x7A, 0x01, 0x7F, 0x01,  // ignored
        0x06, 0x0C, 0x60, 0x00,                          // data entry, no parameter selected
        0x78, 0x00, 0x7B, 0x00, 0x79, 0x00, 0x07, 0x64,  // sound off, notes off, reset
        0xD3, 0x40, 0xA3, 0x3C, 0x40},
       {"ctl 3 1 4096",  "ctl 3 1 4106",   "ctl 3 2 32512",  "ctl 3 2 32766", "ctl 3 4 256",
        "ctl 3 4 258",   "ctl 3 5 16384",  "ctl 3 5 16384",  "ctl 3 8 16384", "ctl 3 8 16638",
        "ctl 3 7 25600", "ctl 3 7 12998",  "ctl 3 7 12800",  "ctl 3 7 12926", "ctl 3 10 384",
        "ctl 3 10 256",  "ctl 3 64 1",     "ctl 3 64 0",     "ctl 3 66 1",    "ctl 3 67 0",
        "ctl 3 5 16384", "ctl 3 5 0",      "ctl 3 91 10240", "ctl 3 95 32512", "reset 3",
        "reset 3",       "ctl 3 1 0",      "ctl 3 2 0",      "ctl 3 4 0",     "ctl 3 5 0",
        "ctl 3 8 0",     "ctl 3 10 0",     "ctl 3 7 23040",  "ctl 3 33 0",    "ctl 3 32 0",
        "ctl 3 7 25600", "ctl 3 33 16384"}},
      {"bend range",
       {0xE0, 0x7F, 0x7F, 0x00, 0x00, 0x00, 0x40,        // 2 semitones
        0xB0, 0x65, 0x00, 0x64, 0x00, 0x06, 0x0C,        // 12
        0xE0, 0x7F, 0x7F, 0x01, 0x00, 0xE1, 0x7F, 0x7F,  // on channel 1 still 2
        0xB0, 0x26, 0x40, 0x60, 0x00, 0x60, 0x00, 0x61, 0x00, 0xE0, 0x7F, 0x7F,
        0xB0, 0x63, 0x00, 0x06, 0x01, 0xE0, 0x7F, 0x7F,  // another parameter selected
        0xB0, 0x65, 0x00, 0x64, 0x00, 0x06, 0x00, 0x26, 0x00, 0x61, 0x00, 0xE0, 0x7F, 0x7F,
        0xB0, 0x06, 0x7F, 0x26, 0x7F, 0x60, 0x00, 0xE0, 0x00, 0x00},
       {"ctl 0 32 511", "ctl 0 32 -512", "ctl 0 32 0", "ctl 0 32 3071", "ctl 0 32 -3071",
        "ctl 1 32 511", "ctl 0 32 3136", "ctl 0 32 3136", "ctl 0 32 0", "ctl 0 32 -32640"}},
      {"programs and drums",
       {0xC0, 0x00, 0xC0, 0x7F, 0xC9, 0x00, 0xC9, 0x19, 0x99, 0x24, 0x64, 0x89, 0x24, 0x00, 0xCA, 0x05},
       {"instr 0 0x1", "instr 0 0x80", "instr 9 0x4001", "instr 9 0x401a", "note 9 36 100",
        "note 9 36 0", "instr 10 0x6"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(send(c.bytes), c.calls);
  }
}

TEST_F(MidiRom, ARestoredStateStopsTheNotesPlayingBeforeIt) {
  EXPECT_EQ(send({0x90, 0x3C, 0x40}), Calls{"note 0 60 64"});
  const std::vector<u8> state = STATE_Encode();
  EXPECT_EQ(calls_of([&] { EXPECT_EQ(STATE_Decode(state.data(), state.size()), STATE_Result::Restored); }),
            per_channel({"reset %u"}));
}

// ---- Open, close, the menu and the preferences ----

TEST_F(MidiOut, OpensClosesAndKeepsItsStateInThePreferences) {
  EXPECT_EQ(calls_of([] { EXPECT_EQ(QTMIDI_CheckQuickTime(), 0); }), Calls{"start"});
  EXPECT_EQ(calls_of(QTMIDI_OpenIfEnabled), Calls{});  // the preferences say closed
  EXPECT_EQ(menu(), "ve -e -d -d -d -d ");
  EXPECT_EQ(calls_of(QTMIDI_MenuOpen), opened);
  EXPECT_EQ(menu(), "-e ve -d -d -d -d ");
  EXPECT_EQ(calls_of(QTMIDI_MenuOpen), Calls{});  // already open
  EXPECT_EQ(calls_of(QTMIDI_MenuAllNotesOff), per_channel({"reset %u"}));
  EXPECT_EQ(calls_of(QTMIDI_MenuClose), closed);
  EXPECT_EQ(menu(), "ve -e -d -d -d -d ");
  EXPECT_EQ(calls_of([] {  // closed: only empty slots
              QTMIDI_MenuClose();
              QTMIDI_MenuAllNotesOff();
              for (const u8 b : {0x90, 0x3C, 0x40}) QTMIDI_Driver.writeByte(b);
              QTMIDI_Driver.reset();
            }),
            Calls{});
  // The state at exit is the state at the next start.
  EXPECT_EQ(calls_of(QTMIDI_Shutdown), Calls{"stop"});
  EXPECT_EQ(PREFS_MidiOutOpen, 0u);
  QTMIDI_CheckQuickTime();
  QTMIDI_MenuOpen();
  EXPECT_EQ(calls_of(QTMIDI_Shutdown), cat({closed, {"stop"}}));
  EXPECT_EQ(PREFS_MidiOutOpen, 1u);
  QTMIDI_CheckQuickTime();
  EXPECT_EQ(calls_of(QTMIDI_OpenIfEnabled), opened);

  // A channel that cannot be made: the others are released.
  QTMIDI_Close();
  fail_channel = 2;
  EXPECT_EQ(calls_of([] { EXPECT_EQ(QTMIDI_OpenNoteChannels(), -2); }),
            (Calls{"open", "new 0", "ctl 0 7 23040", "new 1", "ctl 1 7 23040", "new 2", "dispose 1",
                   "dispose 0", "close"}));
  EXPECT_EQ(menu(), "ve -e -d -d -d -d ");
}

TEST_F(MidiOut, ASynthesizerThatCannotStartLeavesMidiUnavailable) {
  fail_start = true;
  GMSYNTH_SoundFont = "/nonexistent/font.sf2";
  PREFS_MidiOutOpen = 1;
  for (const QTMIDI_Synth* synth : {&recording, &GMSYNTH_Synth}) {
    QTMIDI_SynthInUse = synth;
    EXPECT_EQ(QTMIDI_CheckQuickTime(), 4);
    EXPECT_EQ(QTMIDI_SynthInUse, &QTMIDI_NullSynth);
    QTMIDI_OpenIfEnabled();
    QTMIDI_MenuOpen();
    EXPECT_EQ(QTMIDI_Driver.open, 0u);
    EXPECT_EQ(menu(), "ve -d -d -d -d -d ");  // item 2 disabled
  }
  GMSYNTH_SoundFont.clear();
}

// ---- FluidSynth ----

// Root mean square of one channel over frames [from, to) of what the
// synthesizer added to a buffer that held 1000 in every sample.
double level(const std::vector<i16>& mixed, u32 channel, size_t from, size_t to) {
  double sum = 0;
  for (size_t f = from; f < to; ++f) sum += std::pow(mixed[2 * f + channel] - 1000.0, 2);
  return std::sqrt(sum / double(to - from));
}

TEST(GmSynth, ANoteSoundsUntilReleasedAndThenDecays) {
  if (GMSYNTH_DefaultSoundFont().empty()) {
    if (std::getenv("CI")) FAIL() << "no General MIDI sound font (fluid-soundfont-gm)";
    GTEST_SKIP() << "no General MIDI sound font";
  }
  QTMIDI_SynthInUse = &GMSYNTH_Synth;
  ASSERT_EQ(QTMIDI_CheckQuickTime(), 0);
  ASSERT_EQ(QTMIDI_OpenNoteChannels(), 0);
  constexpr size_t tenth = GMSYNTH_SampleRate / 10;
  const struct {
    const char* name;
    Bytes on, off;
  } notes[] = {
      {"organ", {0xC0, 0x13, 0x90, 0x45, 0x7F}, {0x80, 0x45, 0x00}},
      {"drum kit", {0xC9, 0x00, 0x99, 0x26, 0x7F, 0x2A, 0x7F}, {0x89, 0x26, 0x00, 0x2A, 0x00}},
      // The sustain pedal left down by the program before a reset holds no note.
      {"pedal before a reset", {0xB0, 0x40, 0x7F, 0x90, 0x45, 0x7F, 0xFF, 0xC0, 0x13, 0x90, 0x45, 0x7F},
       {0x80, 0x45, 0x00}},
  };
  for (const auto& n : notes) {
    SCOPED_TRACE(n.name);
    // Half a second before the note, half a second held, two released.
    std::vector<i16> mixed(2 * 30 * tenth, 1000);
    GMSYNTH_MixInto(mixed.data(), u32(5 * tenth));
    for (const u8 b : n.on) QTMIDI_Driver.writeByte(b);
    GMSYNTH_MixInto(&mixed[2 * 5 * tenth], u32(5 * tenth));
    for (const u8 b : n.off) QTMIDI_Driver.writeByte(b);
    GMSYNTH_MixInto(&mixed[2 * 10 * tenth], u32(20 * tenth));
    for (u32 ch = 0; ch < 2; ++ch) {
      const double held = level(mixed, ch, 5 * tenth, 6 * tenth);
      EXPECT_GT(held, 300.0);
      EXPECT_LT(level(mixed, ch, 0, 5 * tenth), held / 100);
      EXPECT_LT(level(mixed, ch, 29 * tenth, 30 * tenth), held / 30);
    }
  }
  QTMIDI_Shutdown();
  QTMIDI_SynthInUse = &QTMIDI_NullSynth;
  std::vector<i16> after(2 * tenth, 1000);  // closed, it adds nothing
  GMSYNTH_MixInto(after.data(), u32(tenth));
  EXPECT_EQ(level(after, 0, 0, tenth), 0.0);
}

}  // namespace
