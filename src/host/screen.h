// The screen as the machine sees it: the host's window, picture and status
// line, which the machine asks to convert each ST line, present each frame
// and show the drive lights; and the frame words the machine keeps, which
// the host reads to draw.
#pragma once

#include "common/types.h"

// ---- Kept by the host -------------------------------------------------------

extern u32 SCREEN_ForceRedraw;
extern u32 SCREEN_RedrawRequest;
extern u32 SCREEN_FrameBytes;
extern u32 SCREEN_HostPalette[16];
extern u32 SCREEN_BigScreen;
extern u32 SCREEN_Zoom;
extern u32 SCREEN_Height;
extern u32 SCREEN_PresentCount;  // pictures presented since start-up
// A drive light is on, and the presentations since it was last set: the
// sixth puts it out, and until then each reads the floppy's motor as
// stopped (the controller's status bit 7), which the ST sees. A saved state
// keeps them.
extern u32 SCREEN_DriveLightOn, SCREEN_DriveLightFrames;

// Host screen start-up; returns the number of errors.
u32 SCREEN_Init();
// Called by the start-up of the screen; a place for a host's own set-up
// (none needs one now).
void SCREEN_InitHook();
void SCREEN_OpenWindow();
void SCREEN_InvalidateLines();
void SCREEN_ConvertLine(u32 line);
void SCREEN_UpdatePalette();
void SCREEN_Present();
void SCREEN_DrawStatusLine();
void SCREEN_DrawSpeedCounters();
void SCREEN_SetDriveLight(u32 light, u32 state);
// Shows `text` in the status line's message area (the floppy code's
// progress) and the window with it at once.
void SCREEN_ShowProgress(const char* text);
void SCREEN_CheckWindowVisible();
// Host pixel value of a colour with 16-bit components; the windowless build
// packs it as 0xAARRGGBB from the components' high bytes.
u32 SCREEN_Color2Index(u16 red, u16 green, u16 blue);

// ---- Kept by the machine ------------------------------------------------------

// ST address of the displayed screen memory, latched at each frame end, and
// the mark that RAM writes inside it and Shifter writes leave.
extern u32 SCREEN_FrameBase;
extern u32 SCREEN_VideoWritten;

// Frame flags of the frame end.
extern u32 SCREEN_FrameDirty;
extern u32 SCREEN_UseShadow;
extern u32 SCREEN_FramesSinceDraw;
extern u32 SCREEN_FirstLine;     // first picture line
extern u32 SCREEN_DisplayLines;  // number of picture lines

// ST address of the Line-A variables; 0 until the hard-disk driver reports it.
extern u32 SCREEN_LineABase;
