// What the windowed host offers beyond the interface headers: the
// translation of SDL's events into the host's own input and requests, the
// hook through which the menus take events first, the documents named on
// the command line, and the menu bar with the modal loop in which the menus
// and every dialog run.
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

// Whether a termination signal asked to quit: the next host poll takes the
// quit path, and a modal loop ends at once (its conversation cancelled).
bool SDL_HostQuitRequested();

// Whether the pointer is held by the window (relative mouse mode). It is
// taken where the ST's pointer is (INPUT_StPointerInContent); held, it is
// let go at the next poll once it is on the menu bar and the ST's pointer
// on its top row (INPUT_StPointerAtTop).
bool SDL_HostPointerCaptured();
// Where the pointer is at a button event, in window coordinates: while it
// is held, where it really is (the event then tells SDL's own sum of its
// motion); free, where it really is when that is on the menu bar and the
// event's own position is not and no motion event came after the click's
// (it jumped there without one).
void SDL_HostPointerAt(const SDL_MouseButtonEvent& b, int& x, int& y);
// Lets go of the pointer and shows it (a dialog or the pause needs it); the
// pointer's poll may take it again once the emulation runs.
void SDL_HostReleasePointer();

// The sound chip's samples are dropped while set: before the first start,
// and while sound is off, paused or held stopped.
extern u32 SOUND_Muted;
// The audio device's callback (on the audio thread): `len` bytes of signed
// 16-bit stereo from the sample ring, the MIDI synthesizer mixed in.
void SOUND_RenderCallback(void* user, u8* stream, int len);
// The callback SOUND_Open gives the device: SOUND_RenderCallback.
extern void (*const SOUND_RenderProc)(void* user, u8* stream, int len);
// The audio device; 0 until SOUND_Open has opened one.
extern SDL_AudioDeviceID SOUND_OutputUnit;

// Dear ImGui on the window, the menu bar drawn over the picture, and the
// filter that opens the menus at a click on the bar; once the window exists.
void SDL_MenusStart();
void SDL_MenusStop();

// The modal loop: while `frame` draws a conversation into each Dear ImGui
// frame and returns true, the emulation and sound wait, the window keeps
// showing the last ST picture under it, and SDL's events go to Dear ImGui
// (the quit request, the close box, drops, key and button releases and the
// Command key's presses are kept for the host until the loop ends). A
// termination signal ends it too.
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

// A window event: an uncovered or resized window re-reads the display's
// depth (SCREEN_UpdateGeometry) and is drawn again; maximising it while the
// emulation runs toggles Double Size, as the Options menu's item does, and
// restoring it toggles it back. A move (the user's drag of the window) asks
// for the next frame to be drawn whole; while paused, once the drag has
// ended, the window is moved left to the nearest multiple of 8 instead.
// Nothing of this in full screen.
void SDL_ScreenWindowEvent(const SDL_WindowEvent& e);
// The paused window's move to a multiple of 8, once a drag that moved it has
// ended (no button held), once a drag; the pause loop calls it at every
// turn.
void SDL_ScreenSnapAfterDrag();
// A button went down in the window: the window's next move is a drag again.
void SDL_ScreenButtonPressed();

// What the open file chooser lists, in its order (a folder's name ends
// with "/"); the last listing once it has closed.
extern std::vector<std::string> SDL_ChooserListing;

// The menus' own modal loop, after a click on the bar: the choice made
// (menu << 16 | item), or 0.
i32 SDL_MenuSelect();
// Where the bar last drew a menu's title (item 0) or an item, in window
// coordinates; false when it has not drawn it.
bool SDL_MenuItemRect(u32 menu, u32 item, SDL_Rect& rect);
