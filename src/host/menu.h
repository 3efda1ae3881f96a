// The host's menus as the machine sees them: the option items' check marks
// follow the option words.
#pragma once

// Sets the check marks and enabled states of the option menu items from the
// option words.
void MENU_UpdateChecks();
