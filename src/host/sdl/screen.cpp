// The window of the windowed host: the platform's window, whose texture
// takes the window picture whenever it changed and which is drawn again at
// every presentation, with the menu bar over it from the first opening on.
// The window's moves are the drag of the window's title bar: the window
// manager carries them out, we follow.
#include "host/events.h"
#include "host/options.h"
#include "host/shared/menus.h"
#include "host/shared/screen_host.h"
#include "host/shared/screen_window.h"
#include "host/sdl/sdl_host.h"
#include "machine/diskimg.h"
#include "platform/window.h"

namespace {
bool zoomed;  // the window's maximise turned Double Size on

// Paused, a moved window is put with its left edge on a multiple of 8 once
// the drag has ended, once a drag: after our own move every report of the
// window manager's (at once or late, wherever it put the window) is taken
// as it stands until a button goes down again, which starts the next drag.
// Asked again, a window manager that places windows its own way would be
// answered for ever, or walk the window off 8 pixels at a time.
bool snap_wanted;
bool snapped;  // our own move was asked, no button has gone down since

// SDL's position of the window's content, its decorations left out.
void window_position(int& x, int& y) {
  x = y = 0;
  if (SDL_Window* w = PLATFORM_Window()) SDL_GetWindowPosition(w, &x, &y);
}

void window_moved() {
  if (SCREEN_FullScreen) return;
  if (!EVENTS_Paused) {
    snap_wanted = snapped = false;
    SCREEN_UpdateWindowOrigin();
    SCREEN_RedrawRequest = 1;
    return;
  }
  if (snapped && SDL_GetGlobalMouseState(nullptr, nullptr) == 0) {
    SCREEN_UpdateWindowOrigin();
    return;
  }
  snap_wanted = true;
  SDL_ScreenSnapAfterDrag();
}
}  // namespace

void SDL_ScreenButtonPressed() { snapped = false; }

void SDL_ScreenSnapAfterDrag() {
  SDL_Window* w = PLATFORM_Window();
  if (!w || SCREEN_FullScreen) return;
  // A button held is a drag going on or starting (the window manager holds
  // the pointer meanwhile and moves the window live).
  if (SDL_GetGlobalMouseState(nullptr, nullptr) != 0) {
    snapped = false;
    return;
  }
  if (!snap_wanted) return;
  snap_wanted = false;
  int x, y;
  window_position(x, y);
  // Rounded down, also left of the screen's edge.
  const int to = x & ~7;
  if (to != x) {
    SDL_SetWindowPosition(w, to, y);
    snapped = true;
  }
  SCREEN_UpdateWindowOrigin();
}

u32 SCREEN_HostOpenWindow(u32 width, u32 height, u32 depth, u32 fullScreen) {
  const u32 failed =
      PLATFORM_OpenWindow("Vantorell: AtariST Screen", int(width), int(height), depth, fullScreen != 0);
  if (!failed) SDL_MenusStart();
  return failed;
}

void SCREEN_HostShow(const SCREEN_Surface& picture, u32 changed) {
  if (changed) PLATFORM_UploadPicture(picture.pixels, int(picture.pitch));
  PLATFORM_RenderFrame();
  PLATFORM_PresentFrame();
}

u32 SCREEN_HostReadDepth() { return PLATFORM_DisplayDepth(); }
u32 SCREEN_HostWindowVisible() { return PLATFORM_WindowVisible() ? 1 : 0; }

void SDL_ScreenWindowEvent(const SDL_WindowEvent& e) {
  const bool running = !EVENTS_Paused && !SDL_InModal() && !SCREEN_FullScreen && !DISKIMG_Expanding;
  switch (e.event) {
    case SDL_WINDOWEVENT_MAXIMIZED:
      // The zoom box: Double Size toggles as with its menu item.
      if (running) {
        MENU_Command(MENU_OptionsId << 16 | 4);
        zoomed = true;
      }
      break;
    case SDL_WINDOWEVENT_RESTORED:
      if (zoomed && running) MENU_Command(MENU_OptionsId << 16 | 4);
      zoomed = false;
      SCREEN_UpdateGeometry();
      break;
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SIZE_CHANGED: SCREEN_UpdateGeometry(); break;
    case SDL_WINDOWEVENT_MOVED: window_moved(); break;
    default: break;
  }
  PLATFORM_HandleWindowEvent(e);
}
