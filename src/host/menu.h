// The host's menus as the machine sees them: the option items' check marks
// follow the option words, and the floppy code disables the drive items
// while it expands an image.
#pragma once

#include "common/types.h"

// Sets the check marks and enabled states of the option menu items from the
// option words.
void MENU_UpdateChecks();
// Enables or disables item `item` of menu `menu` (ids 128-138, items from 1).
void MENU_SetItemEnabled(u32 menu, u32 item, u32 enabled);
