// Saved-state sections of the keyboard ACIA with the keyboard processor
// (16561 bytes) and of the MIDI ACIA (16395 bytes).
#include "host/app.h"
#include "host/midi.h"
#include "machine/acia.h"
#include "machine/ikbd.h"
#include "machine/sections.h"

namespace {
constexpr u32 saved_ring = IKBD_QueueSize - 1;  // the ring's last byte is in the extension
constexpr u32 param_words = 8;
static_assert(MIDI_RingSize == IKBD_QueueSize);

// The keyboard processor's words between the registers and the parameters,
// in the file's order.
u32* const ikbd_words[] = {
    &IKBD_State.mouseMode,     &IKBD_State.buttonsAsKeys,     &IKBD_State.buttonAction,
    &IKBD_State.joystickMode,  &IKBD_State.outputEnabled,     &IKBD_State.yOriginTop,
    &IKBD_State.reserved,      &IKBD_State.paramsOutstanding, &IKBD_ParamIndex,
    &IKBD_DataToSkip,          &IKBD_State.keycodeDeltaX,     &IKBD_State.keycodeDeltaY,
    &IKBD_State.thresholdX,    &IKBD_State.thresholdY,        &IKBD_State.command,
};
constexpr u32 word_count = sizeof ikbd_words / sizeof ikbd_words[0];
enum : u32 { w_outstanding = 7, w_index = 8, w_skip = 9 };

i16* const clock_fields[] = {&IKBD_ClockRef.year,   &IKBD_ClockRef.month,  &IKBD_ClockRef.day,
                             &IKBD_ClockRef.hour,   &IKBD_ClockRef.minute, &IKBD_ClockRef.second,
                             &IKBD_ClockRef.dayOfWeek};
}  // namespace

void IKBD_SaveState(StateWriter& w) {
  w.bytes(ACIA_KbdRegs, 4);
  for (const u32* v : ikbd_words) w.u32v(*v);
  for (u32 v : IKBD_State.params) w.u32v(v);
  w.bytes(IKBD_Queue, saved_ring);
  w.u32v(IKBD_QueueCount);
  w.u32v(IKBD_QueueHead);
  w.u32v(IKBD_LastRead[0]);
  w.u32v(IKBD_LastRead[1]);
  for (u32 v : IKBD_Buttons) w.u32v(v);
  for (u32 v : IKBD_PrevButtons) w.u32v(v);
  for (u32 v : IKBD_MotionWords) w.u32v(v);
  // The clock as it reads at the save, which the restore runs on from: a
  // state brings the time back, not the moment the ST set it.
  const IKBD_ClockRecord now = IKBD_ClockNow();
  for (const i16 v : {now.year, now.month, now.day, now.hour, now.minute, now.second, now.dayOfWeek})
    w.u16v(u16(v));
  w.u32v(IKBD_ClockSet);
  w.u32v(IKBD_JoyState[0]);
  w.u32v(IKBD_JoyState[1]);
}

bool IKBD_RestoreState(StateReader& r) {
  u8 regs[4];
  r.bytes(regs, 4);
  u32 words[word_count];
  for (u32& v : words) v = r.u32v();
  u32 params[param_words];
  for (u32& v : params) v = r.u32v();
  const u8* queue = r.view(saved_ring);
  const u32 count = r.u32v(), head = r.u32v();
  const u32 lastRead0 = r.u32v(), lastRead1 = r.u32v();
  u32 buttons[3], prev[3], motion[4];
  for (u32& v : buttons) v = r.u32v();
  for (u32& v : prev) v = r.u32v();
  for (u32& v : motion) v = r.u32v();
  i16 clock[7];
  for (i16& v : clock) v = i16(r.u16v());
  const u32 clockSet = r.u32v();
  const u32 joy0 = r.u32v(), joy1 = r.u32v();
  if (!r.ok()) return false;
  // The parameter index and the parameters still expected address the eight
  // parameter words; a parameter is one received byte, and the bytes still to
  // be swallowed come from one; the queue's count and head address the ring.
  const u32 index = words[w_index], outstanding = words[w_outstanding];
  if (index > param_words || outstanding > param_words - index) return false;
  if (words[w_skip] > 0xff) return false;
  for (u32 v : params)
    if (v > 0xff) return false;
  if (count > IKBD_QueueSize || head >= IKBD_QueueSize) return false;
  // A clock the ST has set holds a real date and time: the clock command only
  // ever stores one, and the report counts on it.
  if (clockSet > 1) return false;
  if (clockSet && (clock[1] < 1 || clock[1] > 12 || clock[2] < 1 || clock[2] > 31 ||
                   clock[3] < 0 || clock[3] > 23 || clock[4] < 0 || clock[4] > 59 ||
                   clock[5] < 0 || clock[5] > 59))
    return false;
  if (!r.applying()) return true;
  for (u32 i = 0; i < 4; ++i) ACIA_KbdRegs[i] = regs[i];
  for (u32 i = 0; i < word_count; ++i) *ikbd_words[i] = words[i];
  for (u32 i = 0; i < param_words; ++i) IKBD_State.params[i] = params[i];
  for (u32 i = 0; i < saved_ring; ++i) IKBD_Queue[i] = queue[i];
  IKBD_QueueCount = count;
  IKBD_QueueHead = head;
  IKBD_LastRead[0] = lastRead0;
  IKBD_LastRead[1] = lastRead1;
  for (u32 i = 0; i < 3; ++i) {
    IKBD_Buttons[i] = buttons[i];
    IKBD_PrevButtons[i] = prev[i];
  }
  for (u32 i = 0; i < 4; ++i) IKBD_MotionWords[i] = motion[i];
  for (u32 i = 0; i < 7; ++i) *clock_fields[i] = clock[i];
  IKBD_ClockSet = clockSet;
  // The clock runs on from the moment of the restore.
  IKBD_ClockMark = HOST_Microseconds();
  IKBD_JoyState[0] = joy0;
  IKBD_JoyState[1] = joy1;
  return true;
}

void MIDI_SaveState(StateWriter& w) {
  w.bytes(MIDI_Acia, 4);
  w.bytes(MIDI_RxRing, saved_ring);
  w.u32v(MIDI_RxCount);
  w.u32v(MIDI_RxIndex);
}

bool MIDI_RestoreState(StateReader& r) {
  u8 regs[4];
  r.bytes(regs, 4);
  const u8* ring = r.view(saved_ring);
  const u32 count = r.u32v(), index = r.u32v();
  // Count and index address the receive ring.
  if (!r.ok() || count > MIDI_RingSize || index >= MIDI_RingSize) return false;
  if (r.applying()) {
    for (u32 i = 0; i < 4; ++i) MIDI_Acia[i] = regs[i];
    for (u32 i = 0; i < saved_ring; ++i) MIDI_RxRing[i] = ring[i];
    MIDI_RxCount = count;
    MIDI_RxIndex = index;
    // Notes the program was playing before the restore have no note-off to come.
    QTMIDI_Driver.allNotesOff();
  }
  return true;
}

void IKBD_SaveExtension(StateWriter& w) { w.u8v(IKBD_Queue[saved_ring]); }

bool IKBD_RestoreExtension(StateReader& r) {
  const u32 last = r.u8v();
  if (r.ok() && r.applying()) IKBD_Queue[saved_ring] = u8(last);
  return r.ok();
}
