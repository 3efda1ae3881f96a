// Host events of the windowed host: SDL's event queue is served at every
// host poll; the pointer is read in content coordinates. Keys and mouse
// buttons do not reach the ST yet.
#include <cstring>

#include "cpu/bus.h"
#include "host/app.h"
#include "host/events.h"
#include "host/screen.h"
#include "host/sdl/sdl_host.h"
#include "platform/window.h"

bool (*SDL_HostEventFilter)(const SDL_Event& e);

void SDL_HostPumpEvents() {
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    if (SDL_HostEventFilter && SDL_HostEventFilter(e)) continue;
    if (e.type == SDL_QUIT) APP_StopFlag = 1;
    if (e.type == SDL_WINDOWEVENT) PLATFORM_HandleWindowEvent(e.window);
  }
}

void EVENTS_DoEvent(i32) { SDL_HostPumpEvents(); }

void EVENTS_PollMouse() { ++EVENTS_PollCount; }

void EVENTS_GetMouse(i32& h, i32& v) {
  int x = 0, y = 0;
  SDL_GetMouseState(&x, &y);
  PLATFORM_WindowToContent(x, y, h, v);
}

void EVENTS_GetKeys(u8 map[16]) { std::memset(map, 0, 16); }

// Paused: the veiled picture is shown and the window served until the pause
// ends or the emulation stops.
void EVENTS_PauseLoop() {
  while (EVENTS_Paused == 1 && APP_StopFlag == 0) {
    SCREEN_Present();
    SDL_HostPumpEvents();
    HOST_Sleep(20000);
  }
}
