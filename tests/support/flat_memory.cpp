#include "support/flat_memory.h"

#include <cstring>
#include <memory>

#include "common/endian.h"
#include "cpu/bus.h"

namespace {

constexpr u32 guard_bytes = 64;
constexpr u32 page_count = FLAT_Size >> FLAT_PageShift;

std::unique_ptr<u8[]> memory;

// Written pages: a flag per page and the list of flagged pages.
std::unique_ptr<u8[]> page_touched;
std::unique_ptr<u32[]> touched_list;
u32 touched_count;

inline void touch(u32 a) {
  const u32 page = (a & MMU_AddressMask) >> FLAT_PageShift;
  if (!page_touched[page]) {
    page_touched[page] = 1;
    touched_list[touched_count++] = page;
  }
}

u32 getL(u32 a) {
  return (u32(memory[a]) << 24) | (u32(memory[(a + 1) & MMU_AddressMask]) << 16) |
         (u32(memory[(a + 2) & MMU_AddressMask]) << 8) | memory[(a + 3) & MMU_AddressMask];
}
u32 getW(u32 a) { return (u32(memory[a]) << 8) | memory[(a + 1) & MMU_AddressMask]; }
u32 getB(u32 a) { return memory[a]; }
void putL(u32 a, u32 v) {
  touch(a);
  touch(a + 3);
  memory[a] = u8(v >> 24);
  memory[(a + 1) & MMU_AddressMask] = u8(v >> 16);
  memory[(a + 2) & MMU_AddressMask] = u8(v >> 8);
  memory[(a + 3) & MMU_AddressMask] = u8(v);
}
void putW(u32 a, u32 v) {
  touch(a);
  touch(a + 1);
  memory[a] = u8(v >> 8);
  memory[(a + 1) & MMU_AddressMask] = u8(v);
}
void putB(u32 a, u32 v) {
  touch(a);
  memory[a] = u8(v);
}
u8* hostPtr(u32 a) { return memory.get() + (a & MMU_AddressMask); }
u32 check(u32, u32) { return 1; }

constexpr MMU_Bank flat_bank = {getL, getW, getB, putL, putW, putB, hostPtr, check};

}  // namespace

void FLAT_Install() {
  if (!memory) {
    memory = std::make_unique<u8[]>(FLAT_Size + guard_bytes);
    page_touched = std::make_unique<u8[]>(page_count);
    touched_list = std::make_unique<u32[]>(page_count);
  }
  std::memset(memory.get(), 0, FLAT_Size);
  std::memset(page_touched.get(), 0, page_count);
  touched_count = 0;
  for (u32 i = 0; i < guard_bytes; i += 2) be_write16(memory.get() + FLAT_Size + i, 0x4afc);
  for (auto& b : MMU_bankTable) b = &flat_bank;
  // No range of the test map is forbidden to the PC.
  m68k_jump_guard_off = 1;
}

u8* FLAT_Memory() { return memory.get(); }

void FLAT_Touch(u32 address, u32 length) {
  if (length == 0) return;
  if (length >= FLAT_Size) length = FLAT_Size;
  const u32 first = address >> FLAT_PageShift;
  const u32 pages = ((address & ((1u << FLAT_PageShift) - 1)) + length - 1) >> FLAT_PageShift;
  for (u32 i = 0; i <= pages && i < page_count; ++i) touch((first + i) << FLAT_PageShift);
}

u32 FLAT_TouchedPages(const u32** pages) {
  *pages = touched_list.get();
  return touched_count;
}

void FLAT_ClearTouched() {
  for (u32 i = 0; i < touched_count; ++i) {
    const u32 page = touched_list[i];
    std::memset(memory.get() + (page << FLAT_PageShift), 0, 1u << FLAT_PageShift);
    page_touched[page] = 0;
  }
  touched_count = 0;
}

bool FLAT_Installed() { return MMU_bankTable[0] == &flat_bank; }
