#include "machine/acia.h"

#include <cstdio>

#include "host/host.h"
#include "machine/mfp.h"
#include "machine/scheduler.h"

u8 ACIA_KbdRegs[4];
u8 IKBD_Queue[16384];
u32 IKBD_QueueCount;
u32 IKBD_QueueHead;
u32 IKBD_JoyLayout = 1;
u8 MIDI_Acia[4];
u32 MIDI_RxCount;

namespace {
constexpr i32 byte_gap = 500;  // cycles between two keyboard bytes
}

void ACIA_Reset() {
  ACIA_KbdRegs[0] = 0;
  ACIA_KbdRegs[1] = 0x02;
  ACIA_KbdRegs[2] = 0;
  ACIA_KbdRegs[3] = 0;
  MIDI_Acia[1] = 0x02;
  IKBD_QueueCount = 0;
  IKBD_QueueHead = 0;
}

void ACIA_RaiseKeyboardIRQ() {
  if (IKBD_QueueCount == 0) {
    SCHED_EventTimes[SCHED_Keyboard] = SCHED_KeyboardIdle;
    return;
  }
  ACIA_KbdRegs[1] |= 0x81;
  MFP_GPI &= u8(~0x10);
  MFP_RaiseACIA();
}

void IKBD_QueueByte(u8 byte) {
  IKBD_Queue[IKBD_QueueHead] = byte;
  IKBD_QueueHead = (IKBD_QueueHead + 1) & 16383;
  if (IKBD_QueueCount < 16384) ++IKBD_QueueCount;
  if (SCHED_EventTimes[SCHED_Keyboard] >= SCHED_KeyboardIdle)
    SCHED_EventTimes[SCHED_Keyboard] = SCHED_Rearm(byte_gap);
  SCHED_ComputeNextEvent();
}

void IKBD_SetJoystickKeys() {}

u32 ACIA_GetB(u32 addr) {
  switch (addr) {
    case 0xfffc00: return ACIA_KbdRegs[1];
    case 0xfffc02:
      if (IKBD_QueueCount) {
        ACIA_KbdRegs[3] = IKBD_Queue[(IKBD_QueueHead - IKBD_QueueCount) & 16383];
        --IKBD_QueueCount;
      }
      ACIA_KbdRegs[1] &= u8(~0x81);
      MFP_GPI |= 0x10;
      if (IKBD_QueueCount) SCHED_EventTimes[SCHED_Keyboard] = SCHED_Rearm(byte_gap);
      SCHED_ComputeNextEvent();
      return ACIA_KbdRegs[3];
    default: return 0xff;
  }
}
u32 ACIA_GetW(u32 addr) { return ACIA_GetB(addr) << 8; }
u32 ACIA_GetL(u32) {
  std::printf("ACIA GetL returning 0 ");
  return 0;
}
void ACIA_PutB(u32 addr, u32 value) {
  if (addr == 0xfffc00) ACIA_KbdRegs[0] = u8(value);
}
void ACIA_PutW(u32 addr, u32 value) { ACIA_PutB(addr, (value >> 8) & 0xff); }
void ACIA_PutL(u32 addr, u32 value) { ACIA_PutW(addr, value >> 16); }

u32 MIDI_GetB(u32 addr) {
  switch (addr) {
    case 0xfffc04: return MIDI_Acia[1];
    case 0xfffc06: return MIDI_Acia[3];
    default: return 0xff;
  }
}
u32 MIDI_GetW(u32 addr) { return MIDI_GetB(addr) << 8; }
u32 MIDI_GetL(u32 addr) {
  std::printf("midi GetL %x \n", addr);
  return 0;
}
void MIDI_PutB(u32 addr, u32 value) {
  if (addr == 0xfffc04) {
    MIDI_Acia[0] = u8(value);
  } else if (addr == 0xfffc06) {
    MIDI_Acia[2] = u8(value);
    QTMIDI_Driver.writeByte(u8(value));
  }
}
void MIDI_PutW(u32 addr, u32 value) { MIDI_PutB(addr, (value >> 8) & 0xff); }
void MIDI_PutL(u32 addr, u32 value) { MIDI_PutW(addr, value >> 16); }
