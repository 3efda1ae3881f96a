// The synthesizer of the MIDI tests: it records every call MIDI output makes
// as one line of text, and can be told to fail its start or a channel.
#pragma once

#include <string>
#include <vector>

#include "host/midi.h"

struct RecordingSynth {
  static const QTMIDI_Synth ops;
  // "start", "open", "new 3", "note 0 60 100", "ctl 0 7 23040",
  // "instr 9 0x4001", "reset 5", "vol 2 0x8000", "dispose 3", "close", "stop".
  static std::vector<std::string> calls;
  static bool failStart;
  static int failChannel;  // the channel whose creation fails, -1 none
  // Clears the record and the failures, and makes this the synthesizer in use.
  static void install();
  // Closes MIDI output and puts the null synthesizer back.
  static void uninstall();
};
