#include "machine/memory.h"

namespace {

// Until the memory map is built every bank reads as all ones and ignores writes.
u32 open_get(u32) { return 0xffffffff; }
void open_put(u32, u32) {}
u8* open_host(u32) { return nullptr; }
u32 open_check(u32, u32) { return 0; }

constexpr MMU_Bank open_bank = {open_get, open_get, open_get, open_put,
                                open_put, open_put, open_host, open_check};

}  // namespace

const MMU_Bank* MMU_bankTable[256] = {};

void MMU_ResetBanks() {
  for (auto& b : MMU_bankTable) b = &open_bank;
}
