#include "machine/flat_memory.h"

#include <cstring>
#include <memory>

#include "common/endian.h"
#include "machine/memory.h"

namespace {

constexpr u32 guard_bytes = 64;
std::unique_ptr<u8[]> memory;

u32 getL(u32 a) {
  return (u32(memory[a]) << 24) | (u32(memory[(a + 1) & MMU_AddressMask]) << 16) |
         (u32(memory[(a + 2) & MMU_AddressMask]) << 8) | memory[(a + 3) & MMU_AddressMask];
}
u32 getW(u32 a) { return (u32(memory[a]) << 8) | memory[(a + 1) & MMU_AddressMask]; }
u32 getB(u32 a) { return memory[a]; }
void putL(u32 a, u32 v) {
  memory[a] = u8(v >> 24);
  memory[(a + 1) & MMU_AddressMask] = u8(v >> 16);
  memory[(a + 2) & MMU_AddressMask] = u8(v >> 8);
  memory[(a + 3) & MMU_AddressMask] = u8(v);
}
void putW(u32 a, u32 v) {
  memory[a] = u8(v >> 8);
  memory[(a + 1) & MMU_AddressMask] = u8(v);
}
void putB(u32 a, u32 v) { memory[a] = u8(v); }
u8* hostPtr(u32 a) { return memory.get() + (a & MMU_AddressMask); }
u32 check(u32, u32) { return 1; }

constexpr MMU_Bank flat_bank = {getL, getW, getB, putL, putW, putB, hostPtr, check};

}  // namespace

void FLAT_Install() {
  if (!memory) memory = std::make_unique<u8[]>(FLAT_Size + guard_bytes);
  std::memset(memory.get(), 0, FLAT_Size);
  for (u32 i = 0; i < guard_bytes; i += 2) be_write16(memory.get() + FLAT_Size + i, 0x4afc);
  for (auto& b : MMU_bankTable) b = &flat_bank;
}

u8* FLAT_Memory() { return memory.get(); }

bool FLAT_Installed() { return MMU_bankTable[0] == &flat_bank; }
