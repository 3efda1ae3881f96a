// The registers of the keyboard ACIA and the MIDI ACIA, the keyboard
// processor's output queue with its byte spacing, and the saved-state
// sections of both.
#include "machine/acia.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/console.h"
#include "common/endian.h"
#include "host/midi.h"
#include "machine/ikbd.h"
#include "machine/mfp.h"
#include "machine/scheduler.h"

u8 ACIA_KbdRegs[4];
u8 IKBD_Queue[IKBD_QueueSize];
u32 IKBD_QueueCount;
u32 IKBD_QueueHead;
u32 IKBD_LastRead[2] = {0, 0xffffffff};

u8 MIDI_Acia[4];
u8 MIDI_RxRing[MIDI_RingSize];
u32 MIDI_RxCount;
u32 MIDI_RxIndex;

namespace {

constexpr i32 byte_gap = 500;        // cycles between two keyboard bytes
constexpr u32 reread_window = 100;   // cycles in which a second read repeats the byte
constexpr u32 ring_mask = IKBD_QueueSize - 1;

enum { kControl, kStatus, kSpare, kReceive };

void acia_interrupt() {
  ACIA_KbdRegs[kStatus] |= 0x81;
  MFP_GPI &= u8(~0x10);  // the interrupt input is active low
  MFP_RaiseACIA();
}

// Both ACIAs keep their registers in the same order.
void master_reset(u8 (&regs)[4]) {
  regs[kReceive] = 0;
  regs[kStatus] = 0x83;
  regs[kControl] = 0;
  regs[kSpare] = 0;
}

// A word or long access is two accesses of half its size, the high half first.
template <void (*Put)(u32, u32), u32 Bits>
inline void put_halves(u32 addr, u32 value) {
  constexpr u32 mask = (1u << Bits) - 1;
  Put(addr, (value >> Bits) & mask);
  Put(addr + Bits / 8, value & mask);
}

}  // namespace

void ACIA_Reset() { master_reset(ACIA_KbdRegs); }

void ACIA_RaiseKeyboardIRQ() { acia_interrupt(); }

void IKBD_QueueByte(u8 byte) {
  if (IKBD_QueueCount < IKBD_QueueSize) {
    IKBD_Queue[IKBD_QueueHead] = byte;
    IKBD_QueueCount += 1;
    IKBD_QueueHead = (IKBD_QueueHead + 1) & ring_mask;
  }
  if (IKBD_QueueCount) acia_interrupt();
}

u8 ACIA_ReadKeyboardData() {
  const u32 now = u32(SCHED_FrameCycle);
  if (now - IKBD_LastRead[0] + reread_window <= 2 * reread_window &&
      SCHED_FrameCount == IKBD_LastRead[1])
    return ACIA_KbdRegs[kReceive];
  IKBD_LastRead[0] = now;
  IKBD_LastRead[1] = SCHED_FrameCount;
  const u32 count = IKBD_QueueCount;
  if (count == 0) {
    ACIA_KbdRegs[kStatus] &= 0x7e;
    MFP_GPI |= 0x10;
    MFP_IPERB &= u8(~0x40);
    return ACIA_KbdRegs[kReceive];
  }
  IKBD_QueueCount = count - 1;
  ACIA_KbdRegs[kReceive] = IKBD_Queue[(IKBD_QueueHead - count) & ring_mask];
  ACIA_KbdRegs[kStatus] &= 0x7e;
  MFP_GPI |= 0x10;
  if (IKBD_QueueCount == 0) {
    MFP_IPERB &= u8(~0x40);
    SCHED_EventTimes[SCHED_Keyboard] = SCHED_KeyboardIdle;
  } else {
    SCHED_EventTimes[SCHED_Keyboard] = SCHED_Rearm(byte_gap);
  }
  SCHED_ComputeNextEvent();
  return ACIA_KbdRegs[kReceive];
}

u32 ACIA_GetB(u32 addr) {
  switch (addr) {
    case 0xfffc00: ACIA_KbdRegs[kStatus] |= 0x02; return ACIA_KbdRegs[kStatus];
    case 0xfffc02: return ACIA_ReadKeyboardData();
    default: return 0;
  }
}
u32 ACIA_GetW(u32 addr) { return (ACIA_GetB(addr) << 8) | ACIA_GetB(addr + 1); }
u32 ACIA_GetL(u32) {
  std::printf("ACIA GetL returning 0 ");
  return 0;
}

void ACIA_PutB(u32 addr, u32 value) {
  if (addr == 0xfffc00) {
    ACIA_KbdRegs[kControl] = u8(value);
    if (value & 1) master_reset(ACIA_KbdRegs);
  } else if (addr == 0xfffc02) {
    IKBD_ReceiveCommandByte(u8(value));
  }
}
void ACIA_PutW(u32 addr, u32 value) { put_halves<ACIA_PutB, 8>(addr, value); }
void ACIA_PutL(u32 addr, u32 value) { put_halves<ACIA_PutW, 16>(addr, value); }

// ---- MIDI ACIA ----

u32 MIDI_GetB(u32 addr) {
  switch (addr) {
    case 0xfffc04:
      MIDI_Acia[1] ^= 0x02;  // transmit-empty toggles on every read
      return MIDI_Acia[1];
    case 0xfffc06: {
      const u32 count = MIDI_RxCount;
      if (count == 0) {
        MIDI_Acia[1] &= 0x7e;
        MFP_GPI |= 0x10;
        MFP_IPERB &= u8(~0x40);
        return MIDI_Acia[3];
      }
      MIDI_RxCount = count - 1;
      MIDI_Acia[3] = MIDI_RxRing[(MIDI_RxIndex - count) & (MIDI_RingSize - 1)];
      MFP_GPI |= 0x10;
      if (MIDI_RxCount) {
        MFP_IPERB |= 0x40;
      } else {
        MIDI_Acia[1] &= 0x7e;
        MFP_IPERB &= u8(~0x40);
      }
      return MIDI_Acia[3];
    }
    default: return 0;
  }
}
u32 MIDI_GetW(u32 addr) { return (MIDI_GetB(addr) << 8) | MIDI_GetB(addr + 1); }
u32 MIDI_GetL(u32 addr) {
  CONSOLE_Line("midi GetL %x ", addr);
  return 0;
}

void MIDI_PutB(u32 addr, u32 value) {
  if (addr == 0xfffc04) {
    MIDI_Acia[kControl] = u8(value);
    if (value & 1) master_reset(MIDI_Acia);
  } else if (addr == 0xfffc06) {
    MIDI_Acia[2] = u8(value);
    QTMIDI_Driver.writeByte(u8(value));
  }
}
void MIDI_PutW(u32 addr, u32 value) { put_halves<MIDI_PutB, 8>(addr, value); }
void MIDI_PutL(u32 addr, u32 value) { put_halves<MIDI_PutW, 16>(addr, value); }
