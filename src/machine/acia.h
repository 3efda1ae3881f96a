// The two ACIAs: the keyboard ACIA, with the keyboard processor behind it
// (machine/ikbd.h), and the MIDI ACIA.
#pragma once

#include <cstdio>

#include "common/types.h"

// ---- Keyboard ACIA ----

// Control, status, spare, receive data.
extern u8 ACIA_KbdRegs[4];

void ACIA_Reset();
u8 ACIA_ReadKeyboardData();
void ACIA_RaiseKeyboardIRQ();

u32 ACIA_GetB(u32 addr);
u32 ACIA_GetW(u32 addr);
u32 ACIA_GetL(u32 addr);
void ACIA_PutB(u32 addr, u32 value);
void ACIA_PutW(u32 addr, u32 value);
void ACIA_PutL(u32 addr, u32 value);

// ---- MIDI ACIA ----

// Control, status, transmit data, receive data.
extern u8 MIDI_Acia[4];
constexpr u32 MIDI_RingSize = 16384;
extern u8 MIDI_RxRing[MIDI_RingSize];
extern u32 MIDI_RxCount;
extern u32 MIDI_RxIndex;

u32 MIDI_GetB(u32 addr);
u32 MIDI_GetW(u32 addr);
u32 MIDI_GetL(u32 addr);
void MIDI_PutB(u32 addr, u32 value);
void MIDI_PutW(u32 addr, u32 value);
void MIDI_PutL(u32 addr, u32 value);

// Saved-state section of the MIDI ACIA (machine/sections.h): 16395 bytes.
constexpr u32 MIDI_StateBytes = 16395;
