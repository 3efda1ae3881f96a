// What the shared screen code (host/shared/screen_window.h) asks of the
// host's window. Each host defines these: the windowless one keeps no window
// at all, the SDL one has a real window over the platform layer.
#pragma once

#include "common/types.h"

struct SCREEN_Surface;

// Builds the window, or resizes it, for a content of width x height host
// pixels at `depth` bits a pixel (the ST picture and, when windowed, the
// status line below it). Returns 0, or the fatal start-up code of what could
// not be made: 1 the window, 8 the picture it shows.
u32 SCREEN_HostOpenWindow(u32 width, u32 height, u32 depth, u32 fullScreen);
// Shows the window picture; `changed` tells whether its pixels changed since
// the last call.
void SCREEN_HostShow(const SCREEN_Surface& picture, u32 changed);
// The host's pixel depth in bits.
u32 SCREEN_HostReadDepth();
// 1 while the window is wholly visible and in front.
u32 SCREEN_HostWindowVisible();
