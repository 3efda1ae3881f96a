// MIDI output behind the driver record: the byte parser that rebuilds MIDI
// messages from what the ST sends (running status, system-exclusive messages,
// real-time bytes anywhere), and the interpreter that plays them on the
// sixteen channels of the host's synthesizer, MIDI channel 10 a drum kit.
#include <initializer_list>

#include "host/midi.h"
#include "host/options.h"

u32 PREFS_MidiOutOpen;
u8 QTMIDI_Available;
QTMIDI_MessageRecord QTMIDI_Message;
u8 QTMIDI_InSysEx;
i16 QTMIDI_ExpectedLength;
u16 QTMIDI_ChannelControls[16][12];
u16 QTMIDI_RpnSelect[16];
u16 QTMIDI_BendRange[16];

// ---- The empty operations: the closed driver's and the null synthesizer's ----

void QTMIDI_NullSlot() {}
void QTMIDI_NullWrite(u8) {}

namespace {
i32 null_start() { return 4; }
i32 null_open() { return -1; }
i32 null_new_channel(u32) { return -1; }
void null_channel(u32) {}
void null_note(u32, u32, u32) {}
void null_controller(u32, u32, i32) {}
void null_value(u32, u32) {}
}  // namespace

const QTMIDI_Synth QTMIDI_NullSynth = {null_start,      QTMIDI_NullSlot,  null_open,
                                       QTMIDI_NullSlot, null_new_channel, null_channel,
                                       null_note,       null_controller,  null_value,
                                       null_channel,    null_value};
const QTMIDI_Synth* QTMIDI_SynthInUse = &QTMIDI_NullSynth;

// ---- The driver record ----

namespace {

constexpr QTMIDI_DriverRecord closed_driver = {0,         QTMIDI_NullSlot,  QTMIDI_NullWrite, QTMIDI_NullSlot,
                                               QTMIDI_NullSlot, QTMIDI_NullSlot, QTMIDI_NullSlot};
constexpr QTMIDI_DriverRecord open_driver = {1,
                                             QTMIDI_Close,
                                             QTMIDI_WriteByte,
                                             QTMIDI_AllNotesOff,
                                             QTMIDI_ResetAll,
                                             QTMIDI_NullSlot,
                                             QTMIDI_NullSlot};

constexpr u32 channels = 16;
constexpr u32 drum_channel = 9;  // MIDI channel 10
constexpr u32 first_drum_kit = 0x4001;
constexpr u16 no_rpn = 16383;
constexpr u16 full_expression = 16383;
constexpr u16 default_volume = 0x2D00;  // 90 x 128
constexpr u16 default_bend_range = 512;  // 2 semitones

// Entries of QTMIDI_ChannelControls, by controller number.
enum Control : u32 {
  modulation = 1, breath = 2, foot = 4, portamento_time = 5,
  volume = 7, balance = 8, pan = 10, expression = 11,
};
// Controllers of the synthesizer beyond the MIDI ones.
constexpr u32 pitch_bend = 32;
constexpr u32 after_touch = 33;

// Data bytes that follow a status: channel messages by the high nibble,
// system-common ones (0xF0-0xF7) by the low nibble.
constexpr u8 QTMIDI_DataLengths[2][8] = {{2, 2, 2, 2, 1, 1, 2, 0}, {0, 1, 2, 1, 0, 0, 0, 0}};
// The start of a universal master-volume message.
constexpr u8 QTMIDI_MasterVolumeSysEx[5] = {0xF0, 0x7F, 0x7F, 0x04, 0x01};

const QTMIDI_Synth& synth() { return *QTMIDI_SynthInUse; }

// Volume and expression as a new channel has them, the volume sent.
void reset_volume(u32 c) {
  QTMIDI_ChannelControls[c][expression] = full_expression;
  QTMIDI_ChannelControls[c][volume] = default_volume;
  synth().setController(c, volume, default_volume * 2);
}

// The channel's controls as a new or reset channel has them.
void default_controls(u32 c) {
  for (u16& v : QTMIDI_ChannelControls[c]) v = 0;
  reset_volume(c);
  QTMIDI_BendRange[c] = default_bend_range;
  QTMIDI_RpnSelect[c] = no_rpn;
}

// What a reset leaves of the last program's playing: pedals up, pressure and
// bend at rest, and the 14-bit controllers and pan at zero, so that no note
// is held and the next program is heard in tune.
void release_controllers(u32 c) {
  for (const u32 n : {modulation, breath, foot, portamento_time, balance, pan}) synth().setController(c, n, 0);
  for (const u32 n : {64u, 66u, 67u, after_touch, pitch_bend}) synth().setController(c, n, 0);
}

void clear_status() {
  QTMIDI_Message.bytes[0] = 0;
  QTMIDI_Message.count = 0;
}

// Controller n sets bits 13-7 of the stored value, n + 32 bits 6-0.
u16 update_control(u32 c, u32 number, u8 value) {
  u16& v = QTMIDI_ChannelControls[c][number & 31];
  v = number < 32 ? u16((v & 0x7F) | (value << 7)) : u16((v & 0x3F80) | value);
  return v;
}

void send_volume(u32 c) {
  const u32 v = u32(QTMIDI_ChannelControls[c][volume]) * QTMIDI_ChannelControls[c][expression];
  synth().setController(c, volume, i32(v / full_expression * 2));
}

void reset_all_controllers(u32 c) {
  for (const u32 n : {modulation, breath, foot, portamento_time, balance, pan}) {
    QTMIDI_ChannelControls[c][n] = 0;
    synth().setController(c, n, 0);
  }
  reset_volume(c);
  QTMIDI_RpnSelect[c] = no_rpn;
  synth().setController(c, after_touch, 0);
  synth().setController(c, pitch_bend, 0);
}

void control_change(u32 c, u8 number, u8 value) {
  u16& range = QTMIDI_BendRange[c];
  const bool bend_range_selected = QTMIDI_RpnSelect[c] == 0;
  switch (number) {
    case 1: case 2: case 4: case 5: case 8:
    case 33: case 34: case 36: case 37: case 40:
      synth().setController(c, number & 31, update_control(c, number, value) * 2);
      break;
    case 7: case 11: case 39: case 43:
      update_control(c, number, value);
      send_volume(c);
      break;
    case 10: case 42:
      synth().setController(c, pan, value * 2 + 256);
      break;
    case 6:
      if (bend_range_selected) range = u16((range & 0xFF) | (value << 8));
      break;
    case 38:
      if (bend_range_selected) range = u16((range & 0xFF00) | value);
      break;
    case 64: case 66: case 67:
      synth().setController(c, number, value >= 64 ? 1 : 0);
      break;
    case 65:
      synth().setController(
          c, portamento_time, value & 0x40 ? QTMIDI_ChannelControls[c][portamento_time] * 2 : 0);
      break;
    case 91: case 92: case 93: case 94: case 95:
      synth().setController(c, number, value * 256);
      break;
    case 96:
      if (bend_range_selected && range != 32767) ++range;
      break;
    case 97:
      if (bend_range_selected && range > 0) --range;
      break;
    case 98: case 99:
      QTMIDI_RpnSelect[c] = no_rpn;
      break;
    case 100:
      QTMIDI_RpnSelect[c] = u16((QTMIDI_RpnSelect[c] & 0x3F80) | value);
      break;
    case 101:
      QTMIDI_RpnSelect[c] = u16((QTMIDI_RpnSelect[c] & 0x7F) | (value << 7));
      break;
    case 120: case 123:
      synth().resetChannel(c);
      break;
    case 121:
      reset_all_controllers(c);
      break;
    default:
      break;
  }
}

// A master-volume message needs the five bytes that open it and two volume
// bytes behind them; anything shorter is ignored, so that neither its F7 nor
// bytes left from an earlier message are taken for the volume.
void end_sysex() {
  const QTMIDI_MessageRecord& m = QTMIDI_Message;
  bool volume = m.count >= 7 && m.bytes[5] < 0x80 && m.bytes[6] < 0x80;
  for (u32 i = 0; i < 5 && volume; ++i) volume = m.bytes[i] == QTMIDI_MasterVolumeSysEx[i];
  if (volume) QTMIDI_SetMasterVolume((u32(m.bytes[6]) * 128 + m.bytes[5]) * 4);
  clear_status();
  QTMIDI_InSysEx = 0;
}

void append(u8 byte) { QTMIDI_Message.bytes[QTMIDI_Message.count++] = byte; }

}  // namespace

QTMIDI_DriverRecord QTMIDI_Driver = closed_driver;

// ---- Start, open and close ----

i32 QTMIDI_CheckQuickTime() {
  if (synth().start() != 0) {
    QTMIDI_SynthInUse = &QTMIDI_NullSynth;
    QTMIDI_Available = 0;
    return 4;
  }
  QTMIDI_Available = 1;
  return 0;
}

void QTMIDI_OpenIfEnabled() {
  if (PREFS_MidiOutOpen == 1 && QTMIDI_Available) QTMIDI_OpenNoteChannels();
}

i32 QTMIDI_OpenNoteChannels() {
  if (!QTMIDI_Available || QTMIDI_Driver.open == 1) return 0;
  QTMIDI_Driver.close();
  if (const i32 err = synth().open()) return err;
  for (u32 c = 0; c < channels; ++c) {
    if (const i32 err = synth().newChannel(c)) {
      while (c > 0) synth().disposeChannel(--c);
      synth().close();
      return err;
    }
    default_controls(c);
  }
  synth().setInstrument(drum_channel, first_drum_kit);
  clear_status();
  QTMIDI_Driver = open_driver;
  return 0;
}

void QTMIDI_Close() {
  if (QTMIDI_Driver.open == 1) {
    for (u32 c = 0; c < channels; ++c) synth().disposeChannel(c);
    synth().close();
  }
  QTMIDI_Driver = closed_driver;
}

void QTMIDI_Shutdown() {
  PREFS_MidiOutOpen = QTMIDI_Driver.open;
  QTMIDI_Driver.close();
  synth().stop();
  QTMIDI_Available = 0;
}

// ---- The parser ----

void QTMIDI_WriteByte(u8 b) {
  QTMIDI_MessageRecord& m = QTMIDI_Message;
  if (b >= 0xF8) {
    if (b == 0xFF) QTMIDI_ResetAll();
    return;
  }
  if (b == 0xF0) {
    QTMIDI_InSysEx = 1;
    m.bytes[0] = 0xF0;
    m.count = 1;
    return;
  }
  if (QTMIDI_InSysEx) {
    if (b < 0x80) {
      if (m.count < QTMIDI_MessageMax) append(b);
      return;
    }
    if (b == 0xF7 && m.count < QTMIDI_MessageMax) append(b);
    end_sysex();
    if (b == 0xF7) return;
  }
  if (b >= 0x80) {
    m.bytes[0] = b;
    m.count = 1;
    QTMIDI_ExpectedLength = i16(1 + (b < 0xF0 ? QTMIDI_DataLengths[0][(b >> 4) - 8]
                                              : QTMIDI_DataLengths[1][b & 7]));
  } else if (m.bytes[0] != 0 && m.count < QTMIDI_ExpectedLength) {
    append(b);
  } else {
    return;
  }
  if (m.count == QTMIDI_ExpectedLength) {
    QTMIDI_DoMessage(m);
    if (m.bytes[0] < 0xF0) {
      m.count = 1;
    } else {
      clear_status();
    }
  }
}

void QTMIDI_DoMessage(const QTMIDI_MessageRecord& m) {
  const u32 c = m.bytes[0] & 15;
  const u8 d1 = m.bytes[1];
  const u8 d2 = m.bytes[2];
  switch (m.bytes[0] >> 4) {
    case 0x8: synth().playNote(c, d1, 0); break;
    case 0x9: synth().playNote(c, d1, d2); break;
    case 0xB: control_change(c, d1, d2); break;
    case 0xC:
      synth().setInstrument(c, c == drum_channel ? first_drum_kit + d1 : d1 + 1u);
      break;
    case 0xD: synth().setController(c, after_touch, d1 * 256); break;
    case 0xE: {
      const i32 v = (d2 * 128 + d1) - 8192;
      synth().setController(c, pitch_bend, v * QTMIDI_BendRange[c] / 8192);
      break;
    }
    default: break;  // poly pressure, system messages
  }
}

// ---- Resets, volume and the menu ----

void QTMIDI_ResetAll() {
  for (u32 c = 0; c < channels; ++c) {
    synth().resetChannel(c);
    synth().setInstrument(c, 1);
    default_controls(c);
    release_controllers(c);
  }
  synth().setInstrument(drum_channel, first_drum_kit);
  clear_status();
}

void QTMIDI_AllNotesOff() {
  for (u32 c = 0; c < channels; ++c) synth().resetChannel(c);
}

void QTMIDI_SetMasterVolume(u32 v) {
  for (u32 c = 0; c < channels; ++c) synth().setVolume(c, v);
}

void QTMIDI_MenuClose() { QTMIDI_Driver.close(); }
void QTMIDI_MenuOpen() { QTMIDI_OpenNoteChannels(); }
void QTMIDI_MenuAllNotesOff() { QTMIDI_Driver.allNotesOff(); }

QTMIDI_MenuItems QTMIDI_UpdateMenuItems() {
  const u32 state = QTMIDI_Driver.open;
  if (state == 0) QTMIDI_Close();
  QTMIDI_MenuItems m{};
  for (u32 i = 1; i <= 3; ++i) m.item[i].checked = state == i - 1;
  m.item[1].enabled = true;
  m.item[2].enabled = QTMIDI_Available != 0;
  m.item[3].enabled = false;  // no other output driver
  m.item[5].enabled = m.item[6].enabled = state == 2;  // item 4 is a separator
  return m;
}
