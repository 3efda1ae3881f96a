#include "machine/holders.h"

#include "machine/diskimg.h"
#include "machine/hdd.h"
#include "machine/psg.h"

std::string HOLDERS_Of(const char* path, u32 kinds) {
  for (u32 d = 0; d < 2; ++d) {
    if ((kinds & HOLDERS_Drives) && DISKIMG_Holds(d, path))
      return std::string("drive ") + (d ? 'B' : 'A') + " holds " + path + " as its disk";
    if ((kinds & HOLDERS_HardDisks) && HDD_Holds(d, path))
      return std::string("hard disk ") + (d ? 'D' : 'C') + " holds " + path + " as its image";
  }
  if ((kinds & HOLDERS_Printer) && PRINTER_Holds(path))
    return std::string("the printer writes ") + path + " as its output";
  return {};
}
