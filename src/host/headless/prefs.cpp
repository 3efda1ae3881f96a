// Preferences of the windowless build: no file is kept, every start takes
// the defaults. The windowed host uses it too until it keeps a file.
#include "host/options.h"
#include "host/sound.h"

void PREFS_Load() {
  PREFS_SetDefaults();
  SOUND_Active = PREFS_SoundOn;
}
void PREFS_Save() {}
