#include "machine/hdd.h"

#include "host/host.h"

// The port's commands are not served yet: the images are only looked for.
u32 HDD_OpenImages() {
  if (!PREFS_HardDiskOn) return 0;
  return APP_FindFile("HDD-C.dmg").empty() ? 0 : 1;
}
u32 HDD_PortGet(u32) { return 0; }
void HDD_PortPutB(u32, u32) {}
void HDD_PortPutW(u32, u32) {}
void HDD_PortPutL(u32, u32) {}
