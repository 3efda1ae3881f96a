// The host side of the ST's display, the same in every host: the display
// modes and the window geometry they give, the host pixel values of the ST
// palette, the window picture (what the window shows under its menu strip:
// the ST picture and the status line), the shadow pictures and caches behind
// it, the per-line converters, the whole-frame converters, the frame
// presentation and the status line with its drive lights and counters.
//
// Every coordinate here is relative to the window's content, the top-left
// pixel of the ST picture being (0, 0); the menu strip above it is the
// host's own. A host supplies only the window (host/shared/screen_host.h).
#pragma once

#include <cstddef>
#include <vector>

#include "common/types.h"
#include "host/screen.h"

// ---- Display modes and geometry -------------------------------------------

enum : u32 {
  SCREEN_ModeLow = 0,      // 384 x 267
  SCREEN_ModeMedium = 1,   // 768 x 534
  SCREEN_ModeHigh = 2,     // 640 x 400, monochrome monitor
  SCREEN_ModeBig = 3,      // 640 x 400 in 16 colours
  SCREEN_ModeLowZoom = 4,  // low resolution doubled, 768 x 534
};

constexpr u32 SCREEN_StatusRows = 12;
// ST lines 35..301 are the visible ones: one host row each in low
// resolution, two in medium and doubled low resolution.
constexpr u32 SCREEN_FirstVisibleLine = 35;
constexpr u32 SCREEN_LastVisibleLine = 301;
constexpr u32 SCREEN_LinesPerFrame = 313;

extern u32 SCREEN_DisplayMode;
extern u32 SCREEN_HostDepth;  // 32 and 16 are drawn; 0 until the first geometry reading
extern u32 SCREEN_Width;      // picture width; SCREEN_Height (host/screen.h) its height
extern u32 SCREEN_PrevWidth, SCREEN_PrevHeight, SCREEN_PrevFullScreen;
extern u32 SCREEN_FullScreen;  // no status line; the host fills its display

// Rectangles in content coordinates; bottom and right lie outside.
struct SCREEN_Rect {
  i32 top, left, bottom, right;
  bool operator==(const SCREEN_Rect&) const = default;
};
extern SCREEN_Rect SCREEN_ImageRect, SCREEN_StatusRect, SCREEN_FpsRect, SCREEN_SkipRect;
extern SCREEN_Rect SCREEN_MessageRect;  // the floppy code's progress text
extern SCREEN_Rect SCREEN_PictureRect;  // the ST picture without its borders
// Where the pointer is held while the mouse is captured: the picture's centre.
extern i32 EVENTS_CaptureCentreH, EVENTS_CaptureCentreV;

// ---- Pictures ----------------------------------------------------------------

// Host pixels, `depth` 32 (one u32 a pixel) or 16 (one u16, RGB555), rows of
// `pitch` bytes.
struct SCREEN_Surface {
  u8* pixels = nullptr;
  u32 width = 0, height = 0, pitch = 0, depth = 0;
  std::vector<u32> storage;
  // (Re)allocates for width x height at depth (16 or 32; other depths keep
  // 32-bit rows, which nothing draws into) and clears to 0.
  void allocate(u32 w, u32 h, u32 d);
  template <typename Pixel>
  Pixel* row(u32 y) const {
    return reinterpret_cast<Pixel*>(pixels + std::size_t(y) * pitch);
  }
};

// What the window shows: SCREEN_Width x (SCREEN_Height + 12) windowed,
// SCREEN_Width x SCREEN_Height in full screen. The direct path draws into
// it; the shadow path copies into it.
extern SCREEN_Surface SCREEN_WindowPicture;
// The whole-frame converters' shadow picture (640 x 400).
extern SCREEN_Surface SCREEN_Offscreen;
// Set by whatever changes SCREEN_WindowPicture; the host clears it when it
// has shown the change.
extern u32 SCREEN_WindowChanged;
// Has the host show the window picture as it is now.
void SCREEN_ShowWindow();

// Shadow pictures of the line converters, rows packed (384 or 768 pixels),
// and the copy of the last drawn frame's screen memory (same offsets as the
// ST's) by which the direct path skips unchanged 32-pixel units.
constexpr u32 SCREEN_PrevVideoBytes = 240000;
constexpr u32 SCREEN_Shadow32Pixels = 800000;
constexpr u32 SCREEN_Shadow16Pixels = 500000;
extern u8 SCREEN_PrevVideo[SCREEN_PrevVideoBytes];
extern u32 SCREEN_Shadow32[SCREEN_Shadow32Pixels];
extern u16 SCREEN_Shadow16[SCREEN_Shadow16Pixels];
// The border value last drawn on each ST line, by the direct path and by the
// shadow path.
constexpr u32 SCREEN_BorderCacheLines = 330;
constexpr u32 SCREEN_BorderUnknown = 998098;
extern u32 SCREEN_DirectBorderCache[SCREEN_BorderCacheLines];
extern u32 SCREEN_LineBorderCache[SCREEN_BorderCacheLines];
// What each ST line's row last showed on the direct path: its picture
// line's offset in the screen memory + 1, and in bits 24 up the x where the
// picture starts (0 for a border row). A row that is to show another line
// (the top border opened or closed) or to start elsewhere (the left border)
// has no unit to skip.
extern u32 SCREEN_DirectLineShown[SCREEN_BorderCacheLines];

extern u32 SCREEN_RedrawAll;  // draw every unit of this frame
// Set once the window picture shows something other than the direct path
// last drew (a frame of the shadow path, new buffers): the copy of the last
// frame no longer tells which units the window shows, so the next whole
// frame on the direct path draws every unit.
extern u32 SCREEN_DirectCopyStale;
// The window picture took a frame of the shadow path: the direct path
// forgets what it drew (SCREEN_DirectCopyStale, and each line's row and
// border), so that no unit it skips keeps the shadow frame's pixels.
void SCREEN_ForgetDirectFrame();

// ---- Window and palette --------------------------------------------------------

// Re-reads the host's depth; a change rebuilds window and pictures.
void SCREEN_UpdateGeometry();
// Recomputes the capture centre of the current mode.
void SCREEN_UpdateWindowOrigin();
// Resets the copy of the last frame, the shadow pictures, the Shifter's
// palette rows and both border caches.
void SCREEN_ClearCaches();
// The first picture line and the number of picture lines, kept within the
// visible lines 35..301 (for the debugger, which can set any first line).
void SCREEN_SetPictureLines(u32 first, u32 count);
// Host pixel value of a monochrome picture's set and clear bits: a set bit 0
// in colour 0 shows black ink on white, a clear one white ink on black.
bool SCREEN_MonoInkIsBlack(u32 colour0);

// ---- Conversion and presentation ------------------------------------------------

void SCREEN_ConvertLine32(i32 line);
void SCREEN_ConvertLine16(i32 line);
// End of a line-converted frame: the shadow picture into the window, then
// the host shows the window.
void SCREEN_FlushToWindow();
void SCREEN_RedrawFrame32();
void SCREEN_RedrawFrame16();

// ---- Status line -----------------------------------------------------------------

// Draws `text` with the status line's font, the baseline at y, starting at
// x; returns the x after it. Pixels outside the window picture are dropped.
i32 SCREEN_DrawText(i32 x, i32 y, const char* text, u32 pixel);
// Fills a rectangle of the window picture, clipped to it.
void SCREEN_FillRect(const SCREEN_Rect& r, u32 pixel);
