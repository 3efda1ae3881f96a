// Saved-state sections of the keyboard ACIA with the keyboard processor
// (16561 bytes) and of the MIDI ACIA (16395 bytes).
#include "machine/acia.h"
#include "machine/sections.h"

namespace {
constexpr u32 ring_size = 16384;
constexpr u32 saved_ring = ring_size - 1;  // the ring's last byte is not in the file
constexpr u32 param_words = 8;
}  // namespace

// The keyboard processor's command state, mouse, clock and joystick words are
// not kept by this build yet: they are written as zeros and, on reading,
// checked where they would index something and read past.
void IKBD_SaveState(StateWriter& w) {
  w.bytes(ACIA_KbdRegs, 4);
  w.zeros(7 * 4);  // mouse mode .. reserved word
  w.u32v(0);       // parameters outstanding
  w.u32v(0);       // parameter index
  w.u32v(0);       // reserved
  w.zeros(4 * 4);  // keycode deltas and thresholds
  w.u32v(0);       // current command
  w.zeros(param_words * 4);
  w.bytes(IKBD_Queue, saved_ring);
  w.u32v(IKBD_QueueCount);
  w.u32v(IKBD_QueueHead);
  w.zeros(8);       // last read cycle and frame
  w.zeros(12 + 12);  // buttons now and at the last report
  w.zeros(16);      // motion words
  w.zeros(14 + 4);  // clock record and clock-set flag
  w.zeros(8);       // joystick states
}

bool IKBD_RestoreState(StateReader& r) {
  u8 regs[4];
  r.bytes(regs, 4);
  r.skip(7 * 4);
  const u32 outstanding = r.u32v(), index = r.u32v();
  r.skip(4 + 16 + 4 + param_words * 4);
  const u8* queue = r.view(saved_ring);
  const u32 count = r.u32v(), head = r.u32v();
  r.skip(8 + 24 + 16 + 18 + 8);
  if (!r.ok()) return false;
  // The parameter index and count address the eight parameter words; the
  // queue's count and head address the ring.
  if (index > param_words || outstanding > param_words) return false;
  if (count > ring_size || head >= ring_size) return false;
  if (!r.applying()) return true;
  for (u32 i = 0; i < 4; ++i) ACIA_KbdRegs[i] = regs[i];
  for (u32 i = 0; i < saved_ring; ++i) IKBD_Queue[i] = queue[i];
  IKBD_QueueCount = count;
  IKBD_QueueHead = head;
  return true;
}

// The MIDI receive ring is never filled in this machine: it is written as
// zeros with its write index 0.
void MIDI_SaveState(StateWriter& w) {
  w.bytes(MIDI_Acia, 4);
  w.zeros(saved_ring);
  w.u32v(MIDI_RxCount);
  w.u32v(0);
}

bool MIDI_RestoreState(StateReader& r) {
  u8 regs[4];
  r.bytes(regs, 4);
  r.skip(saved_ring);
  const u32 count = r.u32v(), index = r.u32v();
  if (!r.ok() || count > ring_size || index >= ring_size) return false;
  if (r.applying()) {
    for (u32 i = 0; i < 4; ++i) MIDI_Acia[i] = regs[i];
    MIDI_RxCount = count;
  }
  return true;
}
