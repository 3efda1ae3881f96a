#include "machine/holders.h"

#include <sys/stat.h>

#include "machine/diskimg.h"
#include "machine/hdd.h"
#include "machine/memory.h"
#include "machine/psg.h"

namespace {

std::string waits(u32 d, const std::string& path) {
  return std::string("drive ") + (d ? 'B' : 'A') + " waits for " + path + " as its disk";
}

}  // namespace

std::string HOLDERS_OfFile(const FILES_Id& id, const std::string& path, u32 kinds) {
  for (u32 d = 0; d < 2; ++d) {
    if ((kinds & HOLDERS_Drives) && (DISKIMG_InsertedMask & (1u << d)) && DISKIMG_Source[d] == id)
      return std::string("drive ") + (d ? 'B' : 'A') + " holds " + path + " as its disk";
    // A floppy waiting for its drive is looked at where it lies: it goes in
    // by its path, whatever file that names then.
    if ((kinds & HOLDERS_Drives) && !DISKIMG_Waiting[d].empty() &&
        FILES_IdOf(DISKIMG_Waiting[d].c_str()) == id)
      return waits(d, path);
    if ((kinds & HOLDERS_HardDisks) && HDD_Holds(d, id))
      return std::string("hard disk ") + (d ? 'D' : 'C') + " holds " + path + " as its image";
  }
  return {};
}

std::string HOLDERS_Of(const char* path, u32 kinds) {
  if (const auto id = FILES_IdOf(path)) {
    std::string held = HOLDERS_OfFile(*id, path, kinds);
    if (!held.empty()) return held;
  }
  // A waiting floppy's name also while nothing is there, and for a
  // symbolic link every place it leads through to its file: whatever is
  // put there goes into the drive.
  for (u32 d = 0; d < 2 && (kinds & HOLDERS_Drives); ++d)
    if (!DISKIMG_Waiting[d].empty() && FILES_LeadsThrough(DISKIMG_Waiting[d].c_str(), path))
      return waits(d, path);
  if ((kinds & HOLDERS_Printer) && PRINTER_Holds(path))
    return std::string("the printer writes ") + path + " as its output";
  return {};
}

std::string HOLDERS_Through(const char* path) {
  struct stat st;
  for (u32 d = 0; d < 2; ++d)
    if (const std::string name = HDD_ImagePath(d);
        stat(name.c_str(), &st) == 0 && FILES_PassesThrough(name.c_str(), path))
      return std::string("hard disk ") + (d ? 'D' : 'C') + " finds its image " + name + " through " + path;
  if (const std::string cart = CART_ImagePath();
      stat(cart.c_str(), &st) == 0 && FILES_PassesThrough(cart.c_str(), path))
    return "the cartridge port finds its image " + cart + " through " + path;
  return {};
}
