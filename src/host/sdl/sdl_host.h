// What the windowed host offers beyond the interface headers: the
// translation of SDL's events into the host's own input and requests, the
// hook through which the menus take events first, and the documents named
// on the command line.
#pragma once

#include <SDL.h>

#include <string>
#include <vector>

#include "common/types.h"

// Takes one SDL event into the host's state: the key map, the pointer,
// Caps Lock, and the queue of events the host poll serves one at a time
// (keys, buttons, focus, the window's close box and the desktop's quit
// request, dropped files). Every event SDL_PollEvent gives goes through it.
void SDL_HostTakeEvent(const SDL_Event& e);
// Every SDL event waiting, each through the menus' hook and then
// SDL_HostTakeEvent.
void SDL_HostPumpEvents();
// Host events waiting to be served.
u32 SDL_HostQueuedEvents();

// Called with every SDL event before the host takes it: true when the menus
// (Dear ImGui) use it, which the ST then does not see. None until the menus
// install one.
extern bool (*SDL_HostEventFilter)(const SDL_Event& e);

// Documents to open, as if dropped on the window, served by the host poll
// (the first one comes after a saved state is restored).
void SDL_HostOpenLater(const std::vector<std::string>& paths);

// Whether the pointer is held by the window (relative mouse mode).
bool SDL_HostPointerCaptured();

// The sound chip's samples are dropped while set: before the first start,
// and while sound is off, paused or held stopped.
extern u32 SOUND_Muted;
