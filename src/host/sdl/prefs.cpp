// Preferences of the windowed host: the file in the user's configuration
// folder (host/shared/prefs_file.h). Why a file that is there could not be
// read is kept from the load until the window can show it.
#include "host/dialogs.h"
#include "host/options.h"
#include "host/shared/prefs_file.h"

namespace {
std::string unread;
}

void PREFS_Load() { unread = PREFS_LoadFrom(PREFS_FolderPath()); }

void PREFS_TellWhyDefaults() {
  if (unread.empty()) return;
  DLG_SetAlertText(unread.c_str());
  DLG_Alert(18, 0);
  unread.clear();
}

bool PREFS_Save(std::string* why) { return PREFS_SaveTo(PREFS_FolderPath(), why); }
