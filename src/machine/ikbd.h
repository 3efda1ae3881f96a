// The keyboard processor behind the keyboard ACIA: its command interpreter,
// output queue, key translation, mouse, keyboard joysticks and time-of-day
// clock.
#pragma once

#include "common/types.h"

constexpr u32 IKBD_QueueSize = 16384;
extern u8 IKBD_Queue[IKBD_QueueSize];
extern u32 IKBD_QueueCount;  // bytes waiting
extern u32 IKBD_QueueHead;   // next write index
// Frame cycle and frame number of the last data read that took a byte.
extern u32 IKBD_LastRead[2];

// The keyboard processor's state words, in their saved order.
struct IKBD_StateWords {
  u32 mouseMode;       // 0 off, 1 relative, 3 keycode, 0x45 absolute after an interrogation
  u32 buttonsAsKeys;   // 0/1
  u32 buttonAction;    // 0-3
  u32 joystickMode;    // 0 off, 1 fire monitoring, 2 event reporting, 3 interrogation
  u32 outputEnabled;   // 0/1
  u32 yOriginTop;      // 0/1; 0 puts Y = 0 at the bottom
  u32 reserved;
  u32 paramsOutstanding;
  u32 keycodeDeltaX, keycodeDeltaY;
  u32 thresholdX, thresholdY;
  u32 command;         // the current command byte
  u32 params[8];       // one received byte each
};
extern IKBD_StateWords IKBD_State;
extern u32 IKBD_ParamIndex;
// Data bytes of a memory-load command still to be swallowed.
extern u32 IKBD_DataToSkip;

extern u32 IKBD_Buttons[3];      // left, right, spare; 1 = down
extern u32 IKBD_PrevButtons[3];  // as they were at the last absolute report
// Report origin X, Y and position X, Y of the button packet.
extern u32 IKBD_MotionWords[4];
// Counts the commands by which the ST sets its mouse afresh (relative,
// absolute or keycode mode, a loaded position, a reset): the ST's own
// pointer is put somewhere new then (the VDI centres it), so whoever
// follows it from the motion sent starts over when this changes. Never
// reset and not saved: only a change means anything.
extern u32 IKBD_MouseSetCount;

// The time the ST set with command 0x1b (year in full, month 1-12, ...),
// the day of the week, and whether it was set.
struct IKBD_ClockRecord {
  i16 year, month, day, hour, minute, second, dayOfWeek;
};
extern IKBD_ClockRecord IKBD_ClockRef;
extern u32 IKBD_ClockSet;
// Host microseconds when the clock was set.
extern u64 IKBD_ClockMark;
// The clock as it reads now: the time the ST set plus the host time since
// (the reference as it stands while the ST has set none).
IKBD_ClockRecord IKBD_ClockNow();

extern u32 IKBD_JoyState[2];
// Host virtual key codes: fire0, fire1, up1, up0, down1, down0, left1, left0,
// right0, right1.
extern u32 IKBD_JoyKeys[10];
extern u32 IKBD_JoyLayout;

void IKBD_QueueByte(u8 byte);
void IKBD_ReceiveCommandByte(u8 byte);
i32 IKBD_MacKeyToScancode(u32 code);
void IKBD_PostKey(u32 message, u32 down);
void IKBD_PostKeyAlways(u32 message, u32 down);
void IKBD_SendRelativeMouse(i32 dx, i32 dy);
void IKBD_ReportAbsoluteMouse();
void IKBD_MouseButton(u32 button, u32 down);
u32 IKBD_IsMacKeyDown(u32 code);
void IKBD_SetJoystickKeys();
// The state byte of stick 0 or 1 from the host keys.
u8 IKBD_JoystickByte(u32 stick);
// Puts the keyboard processor's state, queue and clock back to power-on.
void IKBD_PowerOn();

// Saved-state section of the keyboard (machine/sections.h): 16561 bytes.
constexpr u32 IKBD_StateBytes = 16561;
