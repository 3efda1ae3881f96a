// The display modes, the window geometry, the pictures and caches, and the
// palette's host pixel values.
#include <cstring>

#include "host/app.h"
#include "host/events.h"
#include "host/menu.h"
#include "host/shared/menus.h"
#include "host/options.h"
#include "host/shared/screen_host.h"
#include "host/shared/screen_window.h"
#include "machine/shifter.h"

u32 SCREEN_ForceRedraw = 1;
u32 SCREEN_RedrawRequest;
u32 SCREEN_FrameBytes = 32000;
u32 SCREEN_HostPalette[16];
u32 SCREEN_BigScreen;
u32 SCREEN_Zoom;
u32 SCREEN_Height = 267;
u32 SCREEN_PresentCount;

u32 SCREEN_DisplayMode;
u32 SCREEN_HostDepth;
u32 SCREEN_Width = 384;
u32 SCREEN_PrevWidth, SCREEN_PrevHeight, SCREEN_PrevFullScreen;
u32 SCREEN_FullScreen;
SCREEN_Rect SCREEN_ImageRect, SCREEN_StatusRect, SCREEN_FpsRect, SCREEN_SkipRect;
SCREEN_Rect SCREEN_MessageRect, SCREEN_PictureRect;
i32 EVENTS_CaptureCentreH, EVENTS_CaptureCentreV;

SCREEN_Surface SCREEN_WindowPicture;
SCREEN_Surface SCREEN_Offscreen;
u32 SCREEN_WindowChanged;

u8 SCREEN_PrevVideo[SCREEN_PrevVideoBytes];
u32 SCREEN_Shadow32[SCREEN_Shadow32Pixels];
u16 SCREEN_Shadow16[SCREEN_Shadow16Pixels];
u32 SCREEN_DirectBorderCache[SCREEN_BorderCacheLines];
u32 SCREEN_LineBorderCache[SCREEN_BorderCacheLines];
u32 SCREEN_DirectLineShown[SCREEN_BorderCacheLines];
u32 SCREEN_RedrawAll;
u32 SCREEN_DirectCopyStale = 1;

void SCREEN_Surface::allocate(u32 w, u32 h, u32 d) {
  const u32 bytes = d == 16 ? 2 : 4;
  width = w;
  height = h;
  depth = d;
  pitch = (w * bytes + 3) & ~3u;
  storage.assign(size_t(pitch) * h / 4, 0);
  pixels = reinterpret_cast<u8*>(storage.data());
}

namespace {

struct ModeGeometry {
  u32 width, height, zoom;
};
constexpr ModeGeometry mode_geometry[5] = {
    {384, 267, 0}, {768, 534, 0}, {640, 400, 0}, {640, 400, 0}, {768, 534, 1}};

// The ST picture inside the content, by mode: its top-left corner and size.
constexpr SCREEN_Rect picture_at[5] = {
    {30, 33, 230, 353}, {59, 65, 459, 705}, {1, 1, 400, 641}, {1, 1, 400, 641}, {59, 65, 459, 705}};

void reset_buffers() {
  std::memset(SCREEN_PrevVideo, 0xff, 128000);
  std::memset(SCREEN_Shadow32, 0xff, 369000 * sizeof(u32));
  std::memset(SCREEN_Shadow16, 0, 369000 * sizeof(u16));
  std::memset(SHIFTER_PaletteRows, 0, sizeof SHIFTER_PaletteRows);
  SCREEN_InvalidateLines();
  SCREEN_DirectCopyStale = 1;
}

void set_rects() {
  const i32 w = i32(SCREEN_Width), h = i32(SCREEN_Height);
  SCREEN_ImageRect = {0, 0, h, w};
  SCREEN_StatusRect = {h, 0, h + 12, w};
  SCREEN_FpsRect = {h + 1, 298, h + 20, 320};
  SCREEN_SkipRect = {h + 1, 260, h + 20, 270};
  // Its right edge stays left of the frame counter in every mode.
  SCREEN_MessageRect = {h + 1, 235, h + 20, 298};
  // The picture lies where the mode puts it whether or not a status line
  // follows it.
  SCREEN_PictureRect = picture_at[SCREEN_DisplayMode];
}

}  // namespace

void SCREEN_InitHook() {}

u32 SCREEN_Init() {
  SCREEN_InitHook();
  MENU_Build();
  SCREEN_UpdateGeometry();
  SCREEN_ClearCaches();
  return 0;
}

void SCREEN_UpdateGeometry() {
  const u32 depth = SCREEN_HostReadDepth();
  if (depth != SCREEN_HostDepth) {
    SCREEN_HostDepth = depth;
    // Every picture is made anew at the new depth, whatever the size.
    SCREEN_PrevWidth = 0;
    SCREEN_OpenWindow();
  }
}

void SCREEN_OpenWindow() {
  SCREEN_DisplayMode = SHIFTER_Mode > 2 ? 2 : SHIFTER_Mode;
  MENU_UpdateChecks();
  if ((SHIFTER_MixedRes == 1 || PREFS_DoubleSize) && SHIFTER_Mode == 0)
    SCREEN_DisplayMode = SCREEN_ModeLowZoom;
  if (SCREEN_BigScreen) SCREEN_DisplayMode = SCREEN_ModeBig;
  const ModeGeometry& g = mode_geometry[SCREEN_DisplayMode];
  SCREEN_Width = g.width;
  SCREEN_Height = g.height;
  SCREEN_Zoom = g.zoom;
  SCREEN_FrameBytes = SCREEN_BigScreen ? 128000 : 32000;
  if (SCREEN_Width == SCREEN_PrevWidth && SCREEN_Height == SCREEN_PrevHeight &&
      SCREEN_FullScreen == SCREEN_PrevFullScreen)
    return;
  SCREEN_PrevWidth = SCREEN_Width;
  SCREEN_PrevHeight = SCREEN_Height;
  SCREEN_PrevFullScreen = SCREEN_FullScreen;
  reset_buffers();
  set_rects();
  const u32 rows = SCREEN_Height + (SCREEN_FullScreen ? 0 : SCREEN_StatusRows);
  const u32 failed = SCREEN_HostOpenWindow(SCREEN_Width, rows, SCREEN_HostDepth, SCREEN_FullScreen);
  if (failed) APP_Fatal(i32(failed));
  SCREEN_WindowPicture.allocate(SCREEN_Width, rows, SCREEN_HostDepth);
  SCREEN_Offscreen.allocate(SCREEN_Width, SCREEN_Height, SCREEN_HostDepth);
  SCREEN_WindowChanged = 1;
  SCREEN_UpdatePalette();
  SCREEN_DrawStatusLine();
  SCREEN_UpdateWindowOrigin();
}

void SCREEN_UpdateWindowOrigin() {
  i32 h = 192, v = 129;
  if ((SHIFTER_Mode == 0 && SCREEN_Zoom) || SHIFTER_Mode == 1) h = 384, v = 258;
  if (SHIFTER_Mode == 2 || SCREEN_BigScreen) h = 320, v = 200;
  EVENTS_CaptureCentreH = h;
  EVENTS_CaptureCentreV = v;
}

void SCREEN_CheckWindowVisible() { EVENTS_WindowObscured = SCREEN_HostWindowVisible() ? 0 : 1; }

u32 SCREEN_Color2Index(u16 red, u16 green, u16 blue) {
  if (SCREEN_HostDepth == 16) return u32(red >> 11) << 10 | u32(green >> 11) << 5 | u32(blue >> 11);
  return 0xff000000u | (u32(red >> 8) << 16) | (u32(green >> 8) << 8) | u32(blue >> 8);
}

void SCREEN_UpdatePalette() {
  for (u32 i = 0; i < 16; ++i) {
    const SHIFTER_Rgb16 c = SHIFTER_HostComponents(SHIFTER_Palette[i]);
    SCREEN_HostPalette[i] = SCREEN_Color2Index(c.red, c.green, c.blue);
  }
}

bool SCREEN_MonoInkIsBlack(u32 colour0) { return colour0 & 1; }

void SCREEN_ClearCaches() { reset_buffers(); }

void SCREEN_InvalidateLines() {
  for (u32 i = 0; i < SCREEN_BorderCacheLines; ++i) {
    SCREEN_DirectBorderCache[i] = SCREEN_BorderUnknown;
    SCREEN_LineBorderCache[i] = SCREEN_BorderUnknown;
    SCREEN_DirectLineShown[i] = 0;
  }
}

void SCREEN_ForgetDirectFrame() {
  for (u32 i = 0; i < SCREEN_BorderCacheLines; ++i) {
    SCREEN_DirectBorderCache[i] = SCREEN_BorderUnknown;
    SCREEN_DirectLineShown[i] = 0;
  }
  SCREEN_DirectCopyStale = 1;
}

void SCREEN_SetPictureLines(u32 first, u32 count) {
  if (first < SCREEN_FirstVisibleLine) first = SCREEN_FirstVisibleLine;
  if (first > SCREEN_LastVisibleLine + 1) first = SCREEN_LastVisibleLine + 1;
  const u32 room = SCREEN_LastVisibleLine + 1 - first;
  SCREEN_FirstLine = first;
  SCREEN_DisplayLines = count < room ? count : room;
}
