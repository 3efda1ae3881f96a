// SDL's keys as the ST gets them: each physical key (an SDL scancode, which
// names a key by its place on the keyboard) to the original platform's
// virtual key code of the key in the same place, which the keyboard
// processor turns into an ST scan code. Keys the original platform's
// keyboards had no code for but the ST has map to the ST key itself
// (host/shared/input.h, INPUT_StKey). Modifier keys mark the key map;
// Shift, Control and Option are also queued like keys, Caps Lock and
// Command are read by the per-frame poll.
//
// Right Alt is Command (menu shortcuts, letting the captured pointer go,
// Option-Command clicks, drive B for a dropped disk); so are the Super keys,
// where the desktop passes them on. Left Alt is Option, the ST's Alternate.
#pragma once

#include <SDL.h>

#include "common/types.h"

struct EVENTS_Key {
  u32 code;       // virtual key code, or INPUT_StKey + an ST scan code
  bool modifier;  // only marks the key map
  bool bound;     // false: the key means nothing to the ST
};
EVENTS_Key EVENTS_KeyOf(SDL_Scancode scancode);
