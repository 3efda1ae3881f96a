// The window of the windowless build: there is none. The shared screen code
// still converts every frame into the window picture, which tests read; the
// host's depth is a word that tests set.
#include "host/headless/headless.h"
#include "host/shared/screen_host.h"
#include "host/shared/screen_window.h"

u32 SCREEN_HeadlessDepth = 32;
u32 SCREEN_HeadlessShows;

u32 SCREEN_HostOpenWindow(u32, u32, u32, u32) { return 0; }
void SCREEN_HostShow(const SCREEN_Surface&, u32) { ++SCREEN_HeadlessShows; }
u32 SCREEN_HostReadDepth() { return SCREEN_HeadlessDepth; }
u32 SCREEN_HostWindowVisible() { return 1; }
