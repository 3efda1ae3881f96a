#include "machine/fdc.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

u32 FDC_Regs[6];
u32 DMA_Regs[4];
u32 DISKIMG_InsertedMask;
u8 DISKIMG_NameA[256], DISKIMG_NameB[256];

namespace {
std::string drive_image[2];
}

void FDC_Reset() {
  for (u32& r : FDC_Regs) r = 0;
  for (u32& r : DMA_Regs) r = 0;
}

// The controller's commands are not carried out yet: reads see an idle
// controller, writes are recorded.
u32 DMA_GetB(u32 addr) {
  std::printf("DMA_GetB %x\n", addr);
  return 0;
}
u32 DMA_GetW(u32 addr) {
  switch (addr) {
    case 0xff8604: return FDC_Regs[FDC_Status] & 0xff;
    case 0xff8606: return DMA_Regs[3] & 0xffff;
    default: std::printf("DMA_GetW %x\n", addr); return 0;
  }
}
u32 DMA_GetL(u32 addr) { return (DMA_GetW(addr) << 16) | DMA_GetW(addr + 2); }

void DMA_PutB(u32 addr, u32) { std::printf("DMA_PutB %x\n", addr); }
void DMA_PutW(u32 addr, u32 value) {
  switch (addr) {
    case 0xff8604: FDC_Regs[FDC_Command] = value & 0xff; break;
    case 0xff8606: DMA_Regs[0] = value; break;
    default: std::printf("DMA_PutW %x\n", addr); break;
  }
}
void DMA_PutL(u32 addr, u32 value) {
  DMA_PutW(addr, value >> 16);
  DMA_PutW(addr + 2, value & 0xffff);
}

u32 DISKIMG_Insert(const char* path, char drive) {
  const int d = drive == 'B' ? 1 : 0;
  drive_image[d] = path;
  DISKIMG_InsertedMask |= 1u << d;
  u8* name = d ? DISKIMG_NameB : DISKIMG_NameA;
  const size_t n = std::min<size_t>(std::strlen(path), 255);
  name[0] = u8(n);
  std::memcpy(name + 1, path, n);
  return 1;
}
