// MIDI output: the driver record whose slots receive every byte the ST sends
// on its MIDI port, the parser and interpreter behind it that play General
// MIDI on a host synthesizer, the synthesizer interface each host fills in,
// and what the menus read and call.
#pragma once

#include "common/types.h"

// ---- What the machine calls ------------------------------------------------

// A u32 state (0 closed, 1 open), then six operation slots. While closed
// every slot is an empty function and the bytes are dropped.
struct QTMIDI_DriverRecord {
  u32 open;
  void (*close)();
  void (*writeByte)(u8 byte);
  void (*allNotesOff)();
  void (*reset)();
  void (*spare1)();
  void (*spare2)();
};
extern QTMIDI_DriverRecord QTMIDI_Driver;

// Starts the synthesizer in use and records whether MIDI output is usable in
// QTMIDI_Available. Returns 0 when it is, 4 when there is no synthesizer.
i32 QTMIDI_CheckQuickTime();
// Opens MIDI output when the preferences say it was open at the last exit.
void QTMIDI_OpenIfEnabled();
// Stores the open state in PREFS_MidiOutOpen, closes, and releases the
// synthesizer.
void QTMIDI_Shutdown();

// ---- The synthesizer -------------------------------------------------------

// A General MIDI synthesizer with sixteen note channels. Values follow the
// conventions of the controllers sent below: a 14-bit MIDI value v arrives as
// v x 2 (8.8 fixed point, the 7-bit value in the integer byte), a 7-bit value
// d as d x 256, switches as 0 or 1; controller 10 (pan) is 256 left to 512
// right, 32 (pitch bend) a signed 8.8 number of semitones, 33 after-touch.
// Instruments are General MIDI numbers 1-128, or 0x4001 + n for drum kit n.
// Volumes are 16.16 fixed point (0x10000 full). All calls come from the
// emulation thread.
struct QTMIDI_Synth {
  i32 (*start)();  // makes it ready to open: 0, or non-zero when it cannot run
  void (*stop)();  // releases what start took
  i32 (*open)();   // 0, or an error code
  void (*close)();
  i32 (*newChannel)(u32 channel);  // 0, or an error code
  void (*disposeChannel)(u32 channel);
  void (*playNote)(u32 channel, u32 note, u32 velocity);  // velocity 0 stops the note
  void (*setController)(u32 channel, u32 controller, i32 value);
  void (*setInstrument)(u32 channel, u32 instrument);
  void (*resetChannel)(u32 channel);  // every note of the channel stops
  void (*setVolume)(u32 channel, u32 volume);
};

// The synthesizer that never starts: MIDI output stays unavailable.
extern const QTMIDI_Synth QTMIDI_NullSynth;
// The synthesizer MIDI output plays on. The host chooses it before start-up
// (the null one until then); when it fails to start, the null one replaces it.
extern const QTMIDI_Synth* QTMIDI_SynthInUse;

// ---- The parser and the channels --------------------------------------------

extern u8 QTMIDI_Available;  // 1 when the synthesizer started

constexpr u32 QTMIDI_MessageMax = 249;
struct QTMIDI_MessageRecord {
  u16 count;
  u8 bytes[QTMIDI_MessageMax];  // status first; status 0 means none is set
};
extern QTMIDI_MessageRecord QTMIDI_Message;
extern u8 QTMIDI_InSysEx;
extern i16 QTMIDI_ExpectedLength;
// Per channel, per controller 0-11: bits 13-7 from controller n, 6-0 from n+32.
extern u16 QTMIDI_ChannelControls[16][12];
extern u16 QTMIDI_RpnSelect[16];  // selected registered parameter, 16383 none
extern u16 QTMIDI_BendRange[16];  // semitones, 8.8 fixed point

i32 QTMIDI_OpenNoteChannels();
// The closed driver's operations (and the spare slots'): they do nothing.
void QTMIDI_NullSlot();
void QTMIDI_NullWrite(u8 byte);
void QTMIDI_Close();
void QTMIDI_WriteByte(u8 byte);
void QTMIDI_DoMessage(const QTMIDI_MessageRecord& message);
void QTMIDI_ResetAll();
void QTMIDI_AllNotesOff();
void QTMIDI_SetMasterVolume(u32 volume);  // 16.16 fixed point

// ---- The MIDI menu ----------------------------------------------------------

// Items 1 (output closed), 2 (open: enabled only while the synthesizer is
// available) and 8 (all notes off) of the MIDI menu.
void QTMIDI_MenuClose();
void QTMIDI_MenuOpen();
void QTMIDI_MenuAllNotesOff();

// Check marks and enabled states of the MIDI menu's items 1-6 (index 0
// unused) from the output's state. Item 3 would be another output driver,
// which this system does not have. Called with the other menu updates; like
// them, it re-installs the empty slots while the output is closed.
struct QTMIDI_MenuItem {
  bool checked;
  bool enabled;
};
struct QTMIDI_MenuItems {
  QTMIDI_MenuItem item[7];
};
QTMIDI_MenuItems QTMIDI_UpdateMenuItems();
