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
// the drag has ended.
bool snap_wanted;
// Our own last move, when SDL saw the window land elsewhere: the window
// manager's report of where it put the window is due, and one within the
// same 8 pixels is taken as it stands rather than asked again (which a
// window manager that places windows its own way would answer for ever).
bool answer_due;
int asked_x;

// SDL's position of the window's content, its decorations left out.
void window_position(int& x, int& y) {
  x = y = 0;
  if (SDL_Window* w = PLATFORM_Window()) SDL_GetWindowPosition(w, &x, &y);
}

void window_moved() {
  if (SCREEN_FullScreen) return;
  const bool answer = answer_due;
  answer_due = false;
  if (!EVENTS_Paused) {
    snap_wanted = false;
    SCREEN_UpdateWindowOrigin();
    SCREEN_RedrawRequest = 1;
    return;
  }
  int x, y;
  window_position(x, y);
  if (answer && (x & ~7) == asked_x) {
    SCREEN_UpdateWindowOrigin();
    return;
  }
  snap_wanted = true;
  SDL_ScreenSnapAfterDrag();
}
}  // namespace

void SDL_ScreenSnapAfterDrag() {
  SDL_Window* w = PLATFORM_Window();
  if (!snap_wanted || !w || SCREEN_FullScreen) return;
  // A button still held is the drag going on (the window manager holds the
  // pointer meanwhile and moves the window live).
  if (SDL_GetGlobalMouseState(nullptr, nullptr) != 0) return;
  snap_wanted = false;
  int x, y;
  window_position(x, y);
  // Rounded down, also left of the screen's edge.
  const int snapped = x & ~7;
  if (snapped != x) {
    SDL_SetWindowPosition(w, snapped, y);
    asked_x = snapped;
    window_position(x, y);
    answer_due = x != snapped;
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
