#include "support/recording_synth.h"

#include <cstdio>

#include "host/options.h"

std::vector<std::string> RecordingSynth::calls;
bool RecordingSynth::failStart;
int RecordingSynth::failChannel = -1;

namespace {

template <typename... Args>
void record(const char* format, Args... args) {
  char line[64];
  std::snprintf(line, sizeof line, format, args...);
  RecordingSynth::calls.push_back(line);
}

i32 rec_start() {
  record("start");
  return RecordingSynth::failStart ? 1 : 0;
}
void rec_stop() { record("stop"); }
i32 rec_open() {
  record("open");
  return 0;
}
void rec_close() { record("close"); }
i32 rec_new_channel(u32 c) {
  record("new %u", c);
  return int(c) == RecordingSynth::failChannel ? -2 : 0;
}
void rec_dispose(u32 c) { record("dispose %u", c); }
void rec_note(u32 c, u32 note, u32 velocity) { record("note %u %u %u", c, note, velocity); }
void rec_controller(u32 c, u32 n, i32 v) { record("ctl %u %u %d", c, n, v); }
void rec_instrument(u32 c, u32 i) { record("instr %u %#x", c, i); }
void rec_reset(u32 c) { record("reset %u", c); }
void rec_volume(u32 c, u32 v) { record("vol %u %#x", c, v); }

}  // namespace

const QTMIDI_Synth RecordingSynth::ops = {rec_start,      rec_stop,       rec_open,   rec_close,
                                          rec_new_channel, rec_dispose,   rec_note,   rec_controller,
                                          rec_instrument, rec_reset,      rec_volume};

void RecordingSynth::install() {
  calls.clear();
  failStart = false;
  failChannel = -1;
  QTMIDI_SynthInUse = &ops;
}

void RecordingSynth::uninstall() {
  QTMIDI_Close();
  QTMIDI_SynthInUse = &QTMIDI_NullSynth;
  QTMIDI_Available = 0;
  PREFS_MidiOutOpen = 0;
}
