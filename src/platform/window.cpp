#include "platform/window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

u32 PLATFORM_ForcedDepth;

namespace {

struct WindowState {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int width = 0, height = 0;  // content size
  u32 depth = 32;
  bool fullScreen = false;
  PLATFORM_OverlayFn overlay = nullptr;
};
WindowState w;

void report(const char* what) { std::fprintf(stderr, "Vantorell: %s: %s\n", what, SDL_GetError()); }

int strip_height() { return w.fullScreen ? 0 : PLATFORM_MenuStripHeight; }

bool start_video() { return SDL_WasInit(SDL_INIT_VIDEO) || SDL_InitSubSystem(SDL_INIT_VIDEO) == 0; }

// A display to show the window on, or a video driver asked for by name:
// left to itself, SDL would otherwise open an invisible window.
bool display_or_driver_named() {
  const char* x = std::getenv("DISPLAY");
  const char* wl = std::getenv("WAYLAND_DISPLAY");
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  return (x && *x) || (wl && *wl) || (driver && *driver);
}

bool make_window(const char* title) {
  if (!display_or_driver_named()) {
    std::fprintf(stderr, "Vantorell: no display: DISPLAY and WAYLAND_DISPLAY are not set\n");
    return false;
  }
  if (!start_video()) {
    report("no video");
    return false;
  }
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
  w.window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 64, 64,
                              SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
  if (!w.window) {
    report("no window");
    return false;
  }
  w.renderer = SDL_CreateRenderer(w.window, -1, 0);
  if (!w.renderer) w.renderer = SDL_CreateRenderer(w.window, -1, SDL_RENDERER_SOFTWARE);
  if (!w.renderer) {
    report("no renderer");
    SDL_DestroyWindow(w.window);
    w.window = nullptr;
    return false;
  }
  return true;
}

}  // namespace

u32 PLATFORM_OpenWindow(const char* title, int width, int height, u32 depth, bool fullScreen) {
  if (!w.window && !make_window(title)) return PLATFORM_NoWindow;
  w.width = width;
  w.height = height;
  w.depth = depth;
  w.fullScreen = fullScreen;
  SDL_SetWindowFullscreen(w.window, fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  // A maximised window keeps filling the display: the picture scales to it.
  if (!fullScreen && !(SDL_GetWindowFlags(w.window) & SDL_WINDOW_MAXIMIZED)) {
    SDL_SetWindowMinimumSize(w.window, width / 2, height / 2 + PLATFORM_MenuStripHeight);
    SDL_SetWindowSize(w.window, width, height + PLATFORM_MenuStripHeight);
    SDL_SetWindowPosition(w.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
  }
  if (w.texture) SDL_DestroyTexture(w.texture);
  const u32 format = depth == 16 ? SDL_PIXELFORMAT_RGB555 : SDL_PIXELFORMAT_RGB888;
  w.texture = SDL_CreateTexture(w.renderer, format, SDL_TEXTUREACCESS_STREAMING, width, height);
  if (!w.texture) {
    report("no picture texture");
    return PLATFORM_NoTexture;
  }
  SDL_ShowWindow(w.window);
  PLATFORM_RenderFrame();
  PLATFORM_PresentFrame();
  return PLATFORM_Ok;
}

void PLATFORM_Shutdown() {
  if (w.texture) SDL_DestroyTexture(w.texture);
  if (w.renderer) SDL_DestroyRenderer(w.renderer);
  if (w.window) SDL_DestroyWindow(w.window);
  w = WindowState{};
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  SDL_Quit();
}

SDL_Window* PLATFORM_Window() { return w.window; }
SDL_Renderer* PLATFORM_Renderer() { return w.renderer; }

void PLATFORM_UploadPicture(const void* pixels, int pitch) {
  if (w.texture) SDL_UpdateTexture(w.texture, nullptr, pixels, pitch);
}

PLATFORM_Rect PLATFORM_ContentRect() {
  int ow = 0, oh = 0;
  if (w.renderer) SDL_GetRendererOutputSize(w.renderer, &ow, &oh);
  if (w.width <= 0 || w.height <= 0) return {0, 0, 0, 0};
  const int top = strip_height(), room_h = oh - top > 1 ? oh - top : 1;
  // The largest size of the content's proportions that fits, centred.
  int cw = ow, ch = int(i64(cw) * w.height / w.width);
  if (ch > room_h) {
    ch = room_h;
    cw = int(i64(ch) * w.width / w.height);
  }
  return {(ow - cw) / 2, top + (room_h - ch) / 2, cw, ch};
}

bool PLATFORM_WindowToContent(int wx, int wy, i32& cx, i32& cy) {
  int ww = 0, wh = 0, ow = 0, oh = 0;
  if (!w.window || !w.renderer) return false;
  SDL_GetWindowSize(w.window, &ww, &wh);
  SDL_GetRendererOutputSize(w.renderer, &ow, &oh);
  if (ww <= 0 || wh <= 0) return false;
  // Window points to output pixels (they differ on high-density displays).
  const i64 ox = i64(wx) * ow / ww, oy = i64(wy) * oh / wh;
  const PLATFORM_Rect r = PLATFORM_ContentRect();
  if (r.w <= 0 || r.h <= 0) return false;
  const i64 x = ox - r.x, y = oy - r.y;
  cx = i32(x >= 0 ? x * w.width / r.w : -1);
  cy = i32(y >= 0 ? y * w.height / r.h : -1);
  return x >= 0 && y >= 0 && cx < w.width && cy < w.height;
}

bool PLATFORM_ContentToWindow(i32 cx, i32 cy, int& wx, int& wy) {
  int ww = 0, wh = 0, ow = 0, oh = 0;
  if (!w.window || !w.renderer) return false;
  SDL_GetWindowSize(w.window, &ww, &wh);
  SDL_GetRendererOutputSize(w.renderer, &ow, &oh);
  const PLATFORM_Rect r = PLATFORM_ContentRect();
  if (ow <= 0 || oh <= 0 || r.w <= 0 || r.h <= 0) return false;
  const i64 ox = r.x + (2 * i64(cx) + 1) * r.w / (2 * w.width);
  const i64 oy = r.y + (2 * i64(cy) + 1) * r.h / (2 * w.height);
  wx = int(ox * ww / ow);
  wy = int(oy * wh / oh);
  return true;
}

bool PLATFORM_InMenuStrip(int wx, int wy) {
  int ww = 0, wh = 0, ow = 0, oh = 0;
  if (!w.window || !w.renderer || strip_height() == 0) return false;
  SDL_GetWindowSize(w.window, &ww, &wh);
  SDL_GetRendererOutputSize(w.renderer, &ow, &oh);
  if (ww <= 0 || wh <= 0) return false;
  const i64 oy = i64(wy) * oh / wh;
  return wx >= 0 && wx < ww && oy >= 0 && oy < strip_height();
}

void PLATFORM_RenderFrame() {
  if (!w.renderer) return;
  SDL_SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
  SDL_RenderClear(w.renderer);
  int ow = 0, oh = 0;
  SDL_GetRendererOutputSize(w.renderer, &ow, &oh);
  if (strip_height()) {
    const SDL_Rect strip = {0, 0, ow, strip_height()};
    SDL_SetRenderDrawColor(w.renderer, 60, 60, 60, 255);
    SDL_RenderFillRect(w.renderer, &strip);
  }
  if (w.texture) {
    const PLATFORM_Rect r = PLATFORM_ContentRect();
    const SDL_Rect dst = {r.x, r.y, r.w, r.h};
    SDL_RenderCopy(w.renderer, w.texture, nullptr, &dst);
  }
  if (w.overlay) w.overlay(w.renderer);
}

void PLATFORM_PresentFrame() {
  if (w.renderer) SDL_RenderPresent(w.renderer);
}

void PLATFORM_SetOverlay(PLATFORM_OverlayFn overlay) { w.overlay = overlay; }

void PLATFORM_HandleWindowEvent(const SDL_WindowEvent& e) {
  switch (e.event) {
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_RESTORED:
      PLATFORM_RenderFrame();
      PLATFORM_PresentFrame();
      break;
    default: break;
  }
}

u32 PLATFORM_DisplayDepth() {
  if (PLATFORM_ForcedDepth) return PLATFORM_ForcedDepth;
  u32 format = SDL_PIXELFORMAT_UNKNOWN;
  if (w.window) format = SDL_GetWindowPixelFormat(w.window);
  SDL_DisplayMode mode;
  if (format == SDL_PIXELFORMAT_UNKNOWN && display_or_driver_named() && start_video() &&
      SDL_GetDesktopDisplayMode(0, &mode) == 0)
    format = mode.format;
  // Without a display to ask, the usual desktop depth.
  if (format == SDL_PIXELFORMAT_UNKNOWN) return 32;
  return SDL_BYTESPERPIXEL(format) * 8;
}

bool PLATFORM_WindowVisible() {
  if (!w.window) return false;
  return !(SDL_GetWindowFlags(w.window) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED));
}

bool PLATFORM_DisplayAvailable() {
  const char* x = std::getenv("DISPLAY");
  const char* wl = std::getenv("WAYLAND_DISPLAY");
  if (!(x && *x) && !(wl && *wl)) return false;
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver) driver = std::getenv("SDL_VIDEODRIVER");
  return !driver || (std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "offscreen") != 0);
}

bool PLATFORM_ShowError(const char* title, const char* message) {
  if (!PLATFORM_DisplayAvailable()) return false;
  return SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, message, w.window) == 0;
}

bool PLATFORM_ReadContent(u32* out, int width, int height) {
  if (!w.renderer) return false;
  PLATFORM_RenderFrame();
  const PLATFORM_Rect r = PLATFORM_ContentRect();
  if (r.w != width || r.h != height) return false;
  const SDL_Rect rect = {r.x, r.y, r.w, r.h};
  return SDL_RenderReadPixels(w.renderer, &rect, SDL_PIXELFORMAT_ARGB8888, out, width * 4) == 0;
}
