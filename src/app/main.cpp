// Vantorell: an Atari ST emulator. Everything it needs lies in the
// application's folder; the files named on the command line are opened as
// if dropped on the window (a TOS image, or floppy images for drives A and
// B). The exit status is 0 when the quit saved all it keeps for the next
// start (the automatic state, the preferences), else 1.
#include <string>
#include <vector>

#include "common/console.h"
#include "host/midi.h"
#include "host/sdl/sdl_host.h"
#include "host/shared/gm_synth.h"
#include "machine/machine.h"

int main(int argc, char** argv) {
  CONSOLE_ClaimStandardFiles();
  APP_StartUp();
  QTMIDI_SynthInUse = &GMSYNTH_Synth;
  APP_InitMachine();
  SDL_HostOpenLater(std::vector<std::string>(argv + 1, argv + argc));
  APP_Run();
  return APP_ShutDown();
}
