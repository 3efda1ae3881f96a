// The window of the windowed host: the platform's window, whose texture
// takes the window picture whenever it changed and which is drawn again at
// every presentation, with the menu bar over it from the first opening on.
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
}  // namespace

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
    default: break;
  }
  PLATFORM_HandleWindowEvent(e);
}
