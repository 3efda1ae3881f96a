// The registers of the keyboard ACIA and the MIDI ACIA, the keyboard
// processor's output queue with its byte spacing, and the saved-state
// sections of both.
#include "machine/acia.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/endian.h"
#include "host/host.h"
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

void keyboard_master_reset() {
  ACIA_KbdRegs[kReceive] = 0;
  ACIA_KbdRegs[kStatus] = 0x83;
  ACIA_KbdRegs[kControl] = 0;
  ACIA_KbdRegs[kSpare] = 0;
}

}  // namespace

void ACIA_Reset() { keyboard_master_reset(); }

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
    if (value & 1) keyboard_master_reset();
  } else if (addr == 0xfffc02) {
    IKBD_ReceiveCommandByte(u8(value));
  }
}
void ACIA_PutW(u32 addr, u32 value) {
  ACIA_PutB(addr, (value >> 8) & 0xff);
  ACIA_PutB(addr + 1, value & 0xff);
}
void ACIA_PutL(u32 addr, u32 value) {
  ACIA_PutW(addr, (value >> 16) & 0xffff);
  ACIA_PutW(addr + 2, value & 0xffff);
}

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
  std::printf("midi GetL %x \n", addr);
  return 0;
}

void MIDI_PutB(u32 addr, u32 value) {
  if (addr == 0xfffc04) {
    MIDI_Acia[0] = u8(value);
    if (value & 1) {
      MIDI_Acia[3] = 0;
      MIDI_Acia[1] = 0x83;
      MIDI_Acia[0] = 0;
      MIDI_Acia[2] = 0;
    }
  } else if (addr == 0xfffc06) {
    MIDI_Acia[2] = u8(value);
    QTMIDI_Driver.writeByte(u8(value));
  }
}
void MIDI_PutW(u32 addr, u32 value) {
  MIDI_PutB(addr, (value >> 8) & 0xff);
  MIDI_PutB(addr + 1, value & 0xff);
}
void MIDI_PutL(u32 addr, u32 value) {
  MIDI_PutW(addr, (value >> 16) & 0xffff);
  MIDI_PutW(addr + 2, value & 0xffff);
}

// ---- Saved-state sections ----

namespace {

// Field-by-field big-endian image of a section, written or read in order.
struct Cursor {
  u8* p;
  void put32(u32 v) { be_write32(p, v); p += 4; }
  void put16(u32 v) { be_write16(p, v); p += 2; }
  void put(const u8* src, size_t n) { std::memcpy(p, src, n); p += n; }
  u32 get32() { const u32 v = be_read32(p); p += 4; return v; }
  i16 get16() { const i16 v = i16(be_read16(p)); p += 2; return v; }
  void get(u8* dst, size_t n) { std::memcpy(dst, p, n); p += n; }
};

}  // namespace

u32 IKBD_SaveState(std::FILE* f) {
  std::vector<u8> buf(IKBD_StateBytes);
  Cursor c{buf.data()};
  const IKBD_StateWords& s = IKBD_State;
  c.put(ACIA_KbdRegs, 4);
  for (u32 v : {s.mouseMode, s.buttonsAsKeys, s.buttonAction, s.joystickMode, s.outputEnabled,
                s.yOriginTop, s.reserved, s.paramsOutstanding, IKBD_ParamIndex, IKBD_DataToSkip,
                s.keycodeDeltaX, s.keycodeDeltaY, s.thresholdX, s.thresholdY, s.command})
    c.put32(v);
  for (u32 v : s.params) c.put32(v);
  c.put(IKBD_Queue, IKBD_QueueSize - 1);
  c.put32(IKBD_QueueCount);
  c.put32(IKBD_QueueHead);
  c.put32(IKBD_LastRead[0]);
  c.put32(IKBD_LastRead[1]);
  for (u32 v : IKBD_Buttons) c.put32(v);
  for (u32 v : IKBD_PrevButtons) c.put32(v);
  for (u32 v : IKBD_MotionWords) c.put32(v);
  const IKBD_ClockRecord& r = IKBD_ClockRef;
  for (i16 v : {r.year, r.month, r.day, r.hour, r.minute, r.second, r.dayOfWeek}) c.put16(u16(v));
  c.put32(IKBD_ClockSet);
  c.put32(IKBD_JoyState[0]);
  c.put32(IKBD_JoyState[1]);
  return std::fwrite(buf.data(), 1, buf.size(), f) == buf.size() ? 1 : 0;
}

u32 IKBD_RestoreState(std::FILE* f) {
  std::vector<u8> buf(IKBD_StateBytes);
  if (std::fread(buf.data(), 1, buf.size(), f) != buf.size()) return 0;
  Cursor c{buf.data()};
  IKBD_StateWords& s = IKBD_State;
  c.get(ACIA_KbdRegs, 4);
  for (u32* v : {&s.mouseMode, &s.buttonsAsKeys, &s.buttonAction, &s.joystickMode,
                 &s.outputEnabled, &s.yOriginTop, &s.reserved, &s.paramsOutstanding,
                 &IKBD_ParamIndex, &IKBD_DataToSkip, &s.keycodeDeltaX, &s.keycodeDeltaY,
                 &s.thresholdX, &s.thresholdY, &s.command})
    *v = c.get32();
  for (u32& v : s.params) v = c.get32();
  c.get(IKBD_Queue, IKBD_QueueSize - 1);
  IKBD_QueueCount = c.get32();
  IKBD_QueueHead = c.get32();
  IKBD_LastRead[0] = c.get32();
  IKBD_LastRead[1] = c.get32();
  for (u32& v : IKBD_Buttons) v = c.get32();
  for (u32& v : IKBD_PrevButtons) v = c.get32();
  for (u32& v : IKBD_MotionWords) v = c.get32();
  IKBD_ClockRecord& r = IKBD_ClockRef;
  for (i16* v : {&r.year, &r.month, &r.day, &r.hour, &r.minute, &r.second, &r.dayOfWeek})
    *v = c.get16();
  IKBD_ClockSet = c.get32();
  IKBD_JoyState[0] = c.get32();
  IKBD_JoyState[1] = c.get32();
  // A file can hold anything: keep the ring and parameter indexes in range.
  if (IKBD_QueueCount > IKBD_QueueSize) IKBD_QueueCount = IKBD_QueueSize;
  IKBD_QueueHead &= ring_mask;
  if (IKBD_ParamIndex > 8) IKBD_ParamIndex = 8;
  if (s.paramsOutstanding > 8 - IKBD_ParamIndex) s.paramsOutstanding = 8 - IKBD_ParamIndex;
  if (IKBD_DataToSkip > 255) IKBD_DataToSkip = 255;
  IKBD_ClockMark = HOST_Microseconds();
  return 1;
}

u32 MIDI_SaveState(std::FILE* f) {
  std::vector<u8> buf(MIDI_StateBytes);
  Cursor c{buf.data()};
  c.put(MIDI_Acia, 4);
  c.put(MIDI_RxRing, MIDI_RingSize - 1);
  c.put32(MIDI_RxCount);
  c.put32(MIDI_RxIndex);
  return std::fwrite(buf.data(), 1, buf.size(), f) == buf.size() ? 1 : 0;
}

u32 MIDI_RestoreState(std::FILE* f) {
  std::vector<u8> buf(MIDI_StateBytes);
  if (std::fread(buf.data(), 1, buf.size(), f) != buf.size()) return 0;
  Cursor c{buf.data()};
  c.get(MIDI_Acia, 4);
  c.get(MIDI_RxRing, MIDI_RingSize - 1);
  MIDI_RxCount = c.get32();
  MIDI_RxIndex = c.get32() & (MIDI_RingSize - 1);
  if (MIDI_RxCount > MIDI_RingSize) MIDI_RxCount = MIDI_RingSize;
  return 1;
}
