#include "blitter/blitter.h"

u32 BLITTER_Running;
u8 BLITTER_Regs[0x3e];

namespace {
inline bool in_block(u32 addr) { return addr - 0xff8a00 < sizeof BLITTER_Regs; }
}

// The registers hold what is written; no operation is started yet.
u32 BLITTER_GetB(u32 addr) { return in_block(addr) ? BLITTER_Regs[addr - 0xff8a00] : 0; }
u32 BLITTER_GetW(u32 addr) { return (BLITTER_GetB(addr) << 8) | BLITTER_GetB(addr + 1); }
u32 BLITTER_GetL(u32 addr) { return (BLITTER_GetW(addr) << 16) | BLITTER_GetW(addr + 2); }
void BLITTER_PutB(u32 addr, u32 value) {
  if (in_block(addr)) BLITTER_Regs[addr - 0xff8a00] = u8(value);
}
void BLITTER_PutW(u32 addr, u32 value) {
  BLITTER_PutB(addr, value >> 8);
  BLITTER_PutB(addr + 1, value);
}
void BLITTER_PutL(u32 addr, u32 value) {
  BLITTER_PutW(addr, value >> 16);
  BLITTER_PutW(addr + 2, value);
}
