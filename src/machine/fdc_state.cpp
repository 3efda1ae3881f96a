// The floppy controller's saved-state section: 563 bytes. The images are not
// in the file: their paths are, and the restore inserts them again.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "machine/diskimg.h"
#include "machine/fdc.h"
#include "machine/psg.h"
#include "machine/sections.h"

namespace {
// The path stored in a name field: at most its length byte's count of
// characters, and never past a NUL.
std::string stored_path(const u8* name) {
  std::string path;
  for (u32 i = 1; i <= name[0] && name[i] != 0; ++i) path += char(name[i]);
  return path;
}

// Only an existing regular file is inserted again: a state file must not be
// able to point the controller at a device or a directory.
bool reinsertable(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

void DISKIMG_SaveState(StateWriter& w) {
  for (u32 r : DMA_Regs) w.u32v(r);
  for (u32 r : FDC_Regs) w.u32v(r);
  w.u32v(PSG_PortA);
  w.bytes(DMA_Address, 3);
  w.u32v(DISKIMG_InsertedMask);
  w.bytes(DISKIMG_NameA, 256);
  w.bytes(DISKIMG_NameB, 256);
}

bool DISKIMG_RestoreState(StateReader& r) {
  u32 dma[4], fdc[6];
  for (u32& v : dma) v = r.u32v();
  for (u32& v : fdc) v = r.u32v();
  const u32 portA = r.u32v();
  u8 address[3];
  r.bytes(address, 3);
  const u32 mask = r.u32v();
  const u8* names[2] = {r.view(256), r.view(256)};
  if (!r.ok()) return false;
  // The mask's bits pick drives; the DMA registers are 16-bit words and the
  // sector count, which sizes a transfer, one byte; port A is one byte.
  if (mask > 3 || portA > 0xff) return false;
  for (u32 v : dma)
    if (v > 0xffff) return false;
  if (dma[DMA_Count] > 0xff) return false;
  if (!r.applying()) return true;
  for (u32 i = 0; i < 4; ++i) DMA_Regs[i] = dma[i];
  for (u32 i = 0; i < 6; ++i) FDC_Regs[i] = fdc[i];
  PSG_PortA = portA;
  for (u32 i = 0; i < 3; ++i) DMA_Address[i] = address[i];
  for (u32 d = 0; d < 2; ++d) {
    // A drive that already holds an image keeps it.
    if (!(mask & (1u << d)) || (DISKIMG_InsertedMask & (1u << d))) continue;
    const std::string path = stored_path(names[d]);
    if (!reinsertable(path)) continue;
    // The normal insertion: the drive's write protection stays as the user
    // set it.
    if (DISKIMG_Insert(path.c_str(), d ? 'B' : 'A'))
      std::puts(d ? "Restored drive B" : "Restored drive A");
  }
  return true;
}
