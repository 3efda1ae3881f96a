// Preferences of the windowless build: no file is kept, every start takes
// the defaults, so tests and runs never read or write the user's settings.
#include "host/options.h"
#include "host/sound.h"

void PREFS_Load() {
  PREFS_SetDefaults();
  SOUND_Active = PREFS_SoundOn;
}
void PREFS_TellWhyDefaults() {}
bool PREFS_Save(std::string*) { return true; }
