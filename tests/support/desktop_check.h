// Reading a GEM desktop off a screenshot, from the picture alone: the menu
// bar (light, with dark titles on its left and a dark line under it), the
// desktop's pattern (the colour each position of a 16 x 16 tile mostly
// shows) and what stands out of it (icons, the mouse pointer). A black,
// crashed or half-drawn screen fails one of the checks; nothing is compared
// with a stored picture.
#pragma once

#include <string>

#include "common/types.h"
#include "host/shared/screen_convert.h"

struct DesktopReport {
  std::string problem;  // empty when the picture shows a desktop
  u32 barLine = 0;      // the row of the line under the menu bar
  u32 titles = 0;       // words in the menu bar
  u32 patternPercent = 0;  // of the desktop's pixels that show its pattern
  u32 iconsTop = 0;     // icons in the band below the menu bar
  u32 iconsBottom = 0;  // icons in the band at the bottom
};

DesktopReport check_desktop(const SCREEN_Image& picture);

struct PixelBox {
  u32 x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // inclusive
  u32 pixels = 0;
};

// Where the desktop of `before` and `after` (one desktop at two moments)
// differs and each shows something else than the desktop's pattern: the
// thing that moved, as it was and as it is.
void find_moved(const SCREEN_Image& before, const SCREEN_Image& after, PixelBox& was,
                PixelBox& is);
