// What the windowed host offers beyond the interface headers: the pump of
// SDL's events, which the host poll and the pause loop run.
#pragma once

// Serves every SDL event waiting: a closed window stops the emulation, an
// uncovered or resized one is drawn again.
void SDL_HostPumpEvents();
