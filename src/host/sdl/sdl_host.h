// What the windowed host offers beyond the interface headers: the pump of
// SDL's events, which the host poll and the pause loop run; the filter the
// menus put before it; and the modal loop in which the menus and every
// dialog run.
#pragma once

#include <SDL.h>

#include "common/types.h"

// Serves every SDL event waiting: a closed window stops the emulation, an
// uncovered or resized one is drawn again.
void SDL_HostPumpEvents();

// Called with every SDL event before the host takes it: true when the menus
// (Dear ImGui) use it, which the ST then does not see. None until the menus
// install one.
extern bool (*SDL_HostEventFilter)(const SDL_Event& e);

// Dear ImGui on the window, the menu bar drawn over the picture, and the
// filter that opens the menus at a click on the bar; once the window exists.
void SDL_MenusStart();
void SDL_MenusStop();

// The modal loop: while `frame` draws a conversation into each Dear ImGui
// frame and returns true, the emulation and sound wait, the window keeps
// showing the last ST picture under it, and SDL's events go to Dear ImGui
// (the quit request, the close box and key and button releases are kept for
// the host until the loop ends).
using SDL_ModalFrame = bool (*)(void* context);
void SDL_RunModal(SDL_ModalFrame frame, void* context);
template <typename F>
void SDL_Modal(F&& frame) {
  SDL_RunModal([](void* c) { return (*static_cast<std::remove_reference_t<F>*>(c))(); }, &frame);
}
// Whether a modal loop runs.
bool SDL_InModal();
// Called at the start of every turn of a modal loop with the turn's number
// (tests put their events in).
extern void (*SDL_ModalTurnHook)(u32 turn);

// The menus' own modal loop, after a click on the bar: the choice made
// (menu << 16 | item), or 0.
i32 SDL_MenuSelect();
// Where the bar last drew a menu's title (item 0) or an item, in window
// coordinates; false when it has not drawn it.
bool SDL_MenuItemRect(u32 menu, u32 item, SDL_Rect& rect);
