// Vantorell: an Atari ST emulator. The program reads no arguments: everything
// it needs lies in the application's folder.
#include "machine/machine.h"

int main() {
  APP_StartUp();
  APP_InitMachine();
  APP_Run();
  APP_ShutDown();
  return 0;
}
