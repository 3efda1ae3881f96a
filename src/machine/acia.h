// The keyboard ACIA with the keyboard processor's output queue, and the MIDI
// ACIA, as far as the machine core needs them.
#pragma once

#include "common/types.h"

// Control, status, spare, receive data.
extern u8 ACIA_KbdRegs[4];
extern u8 IKBD_Queue[16384];
extern u32 IKBD_QueueCount;
extern u32 IKBD_QueueHead;
extern u32 IKBD_JoyLayout;
// Control, status, transmit data, receive data.
extern u8 MIDI_Acia[4];
extern u32 MIDI_RxCount;

void ACIA_Reset();
void ACIA_RaiseKeyboardIRQ();
void IKBD_QueueByte(u8 byte);
void IKBD_SetJoystickKeys();

u32 ACIA_GetB(u32 addr);
u32 ACIA_GetW(u32 addr);
u32 ACIA_GetL(u32 addr);
void ACIA_PutB(u32 addr, u32 value);
void ACIA_PutW(u32 addr, u32 value);
void ACIA_PutL(u32 addr, u32 value);
u32 MIDI_GetB(u32 addr);
u32 MIDI_GetW(u32 addr);
u32 MIDI_GetL(u32 addr);
void MIDI_PutB(u32 addr, u32 value);
void MIDI_PutW(u32 addr, u32 value);
void MIDI_PutL(u32 addr, u32 value);
