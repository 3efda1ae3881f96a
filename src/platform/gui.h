// Dear ImGui on the platform's window: its context with the font texture on
// the window's renderer, SDL's events handed to it, and its frames drawn
// over the picture with SDL_RenderGeometry (the platform's overlay draws
// them; see window.h). Coordinates are the window's. Nothing is saved to
// disk (no imgui.ini), and the pointer's look is left to the host.
#pragma once

#include <SDL.h>

// Makes the context for the window (which must exist); false when it
// could not. Again after a start: nothing.
bool PLATFORM_GuiStart();
void PLATFORM_GuiStop();
bool PLATFORM_GuiStarted();

// Every SDL event, so that Dear ImGui knows the keys, buttons, text and the
// pointer's last position.
void PLATFORM_GuiEvent(const SDL_Event& e);

// Begins a frame. A live frame takes the pointer and the keys; any other
// only draws (nothing in it can be hovered or clicked).
void PLATFORM_GuiBeginFrame(bool live);
// Ends the frame begun last; PLATFORM_GuiDraw draws it until the next one.
void PLATFORM_GuiEndFrame();
void PLATFORM_GuiDraw(SDL_Renderer* renderer);
