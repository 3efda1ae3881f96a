// The floppy controller's saved-state section: 563 bytes. The images are not
// in the file: their paths are, and the restore inserts them again.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "machine/fdc.h"
#include "machine/sections.h"

namespace {
// The transfer buffer holds this many whole sectors.
constexpr u32 max_dma_sectors = 100000 / 512;

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
  w.u32v(0);     // port A copy of the sound chip: not kept by this build
  w.zeros(3);    // DMA address high, mid, low: likewise
  w.u32v(DISKIMG_InsertedMask);
  w.bytes(DISKIMG_NameA, 256);
  w.bytes(DISKIMG_NameB, 256);
}

bool DISKIMG_RestoreState(StateReader& r) {
  u32 dma[4], fdc[6];
  for (u32& v : dma) v = r.u32v();
  for (u32& v : fdc) v = r.u32v();
  r.skip(4 + 3);
  const u32 mask = r.u32v();
  const u8* names[2] = {r.view(256), r.view(256)};
  if (!r.ok() || mask > 3) return false;
  for (u32 v : dma)
    if (v > 0xffff) return false;
  for (u32 v : fdc)
    if (v > 0xffff) return false;
  // The sector count sizes a transfer through the shared sector buffer.
  if ((dma[1] & 0xff) > max_dma_sectors) return false;
  if (!r.applying()) return true;
  for (u32 i = 0; i < 4; ++i) DMA_Regs[i] = dma[i];
  for (u32 i = 0; i < 6; ++i) FDC_Regs[i] = fdc[i];
  for (u32 d = 0; d < 2; ++d) {
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
