// The menus of the windowless build: there are none. The windowed host uses
// it too until it has its menu strip.
#include "host/menu.h"

void MENU_UpdateChecks() {}
