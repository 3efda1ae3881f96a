// Big-screen mode: a 640 x 400 picture in 16 colours (4 planes, 128,000 bytes
// of screen memory) that our own hard-disk driver asks for through the
// hard-disk port, with the Line-A and VDI variables of TOS set to match.
#pragma once

#include "common/types.h"

constexpr u32 SCREEN_BigScreenBytes = 128000;

// Remembers D0 as the Line-A base on the driver's first call.
void SCREEN_NoteLineABase();
// Switches to big-screen mode: window, Line-A geometry, memory and base.
void SCREEN_EnterBigScreen();
// Writes a screen geometry into the Line-A variables.
void SCREEN_WriteLineAGeometry(u32 width, u32 height, u32 planes);
// Moves the top of memory down for the big screen and points the base there.
void SCREEN_ReserveBigScreenRam();
