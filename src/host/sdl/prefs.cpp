// Preferences of the windowed host: the file in the user's configuration
// folder (host/shared/prefs_file.h).
#include "host/options.h"
#include "host/shared/prefs_file.h"

void PREFS_Load() { PREFS_LoadFrom(PREFS_FolderPath()); }
void PREFS_Save() { PREFS_SaveTo(PREFS_FolderPath()); }
