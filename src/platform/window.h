// The platform's window, our thin layer over SDL2: one window with one
// renderer and one streaming texture that shows a picture of host pixels
// (XRGB8888, or RGB555 at depth 16). A strip of PLATFORM_MenuStripHeight
// rows at the top of a windowed window is kept for the menu bar; the
// picture, the window's content, lies below it, and every content
// coordinate is relative to the picture's top-left pixel.
//
// The window is made once and lives until PLATFORM_Shutdown: a new content
// size resizes it and makes a new texture. A window the user resizes, and a
// full-screen one, show the content scaled to fit with its proportions kept.
// Nothing here waits for the display's refresh: the machine paces itself.
#pragma once

#include <SDL.h>

#include "common/types.h"

struct PLATFORM_Rect {
  int x, y, w, h;
};

// Window pixels kept above the content for the menu bar (Dear ImGui's main
// menu bar with its default 13-pixel font: 13 + 2 x 3). Not kept in full
// screen.
constexpr int PLATFORM_MenuStripHeight = 19;

// Failure codes of PLATFORM_OpenWindow.
enum : u32 { PLATFORM_Ok = 0, PLATFORM_NoWindow = 1, PLATFORM_NoTexture = 8 };

// Makes the window (first call) or resizes it for a content of width x
// height pixels at `depth` bits, and makes the texture anew. Returns
// PLATFORM_Ok, or what could not be made (the reason is on standard error).
u32 PLATFORM_OpenWindow(const char* title, int width, int height, u32 depth, bool fullScreen);
// Destroys texture, renderer and window and leaves SDL's video.
void PLATFORM_Shutdown();

SDL_Window* PLATFORM_Window();
SDL_Renderer* PLATFORM_Renderer();

// Copies a picture of the content's size and depth into the texture.
void PLATFORM_UploadPicture(const void* pixels, int pitch);
// Draws the frame into the renderer's back buffer: the menu strip, the
// content, then the overlay; PLATFORM_PresentFrame shows it.
void PLATFORM_RenderFrame();
void PLATFORM_PresentFrame();

// Drawn over everything else in every frame, before it is shown (the menu
// bar's draw lists, later). Null for none.
using PLATFORM_OverlayFn = void (*)(SDL_Renderer*);
void PLATFORM_SetOverlay(PLATFORM_OverlayFn overlay);

// Where the content lies in the renderer's output, in output pixels.
PLATFORM_Rect PLATFORM_ContentRect();
// A window position (as SDL's mouse events give it) in content pixels;
// false when it lies outside the content.
bool PLATFORM_WindowToContent(int wx, int wy, i32& cx, i32& cy);

// The window position over the middle of a content pixel (the content
// need not hold it); false without a window.
bool PLATFORM_ContentToWindow(i32 cx, i32 cy, int& wx, int& wy);

// Whether a window position lies on the menu strip (never in full screen).
bool PLATFORM_InMenuStrip(int wx, int wy);

// Follows a window event: a resize lays the content out anew, an uncovered
// window is drawn again.
void PLATFORM_HandleWindowEvent(const SDL_WindowEvent& e);

// The display's pixel depth in bits (PLATFORM_ForcedDepth when non-zero).
u32 PLATFORM_DisplayDepth();
extern u32 PLATFORM_ForcedDepth;
// False while the window is hidden or minimised.
bool PLATFORM_WindowVisible();

// Whether a display is there to show a window on: DISPLAY or WAYLAND_DISPLAY
// is set and SDL's video driver is not the dummy or offscreen one.
bool PLATFORM_DisplayAvailable();
// Shows an error message box over the window when a display is available;
// false when none could be shown.
bool PLATFORM_ShowError(const char* title, const char* message);

// Reads the content as the renderer draws it, one 0xAARRGGBB value a pixel
// (w x h, rows packed). Draws the frame first; does not present it.
bool PLATFORM_ReadContent(u32* out, int w, int h);
