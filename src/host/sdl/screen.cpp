// The window of the windowed host: the platform's window, whose texture
// takes the window picture whenever it changed and which is drawn again at
// every presentation, with the menu bar over it from the first opening on.
#include "host/shared/screen_host.h"
#include "host/shared/screen_window.h"
#include "host/sdl/sdl_host.h"
#include "platform/window.h"

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
