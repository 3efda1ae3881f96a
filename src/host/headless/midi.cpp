// MIDI output of the windowless build: every slot of the driver record is an
// empty function. The windowed host uses it too until it has a synthesizer.
#include "host/midi.h"

namespace {
void midi_none() {}
void midi_byte_none(u8) {}
}  // namespace

QTMIDI_DriverRecord QTMIDI_Driver = {0, midi_none, midi_byte_none, midi_none, midi_none, midi_none, midi_none};

void QTMIDI_CheckQuickTime() {}
void QTMIDI_OpenIfEnabled() {}
void QTMIDI_Shutdown() { QTMIDI_Driver.close(); }
