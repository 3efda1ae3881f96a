// Fuzz target of the Blitter's saved-state section and of the operations it
// leaves ready to run.
//
// The input is the 116-byte section (missing bytes read as 0), then register
// writes of 6 bytes each through the I/O page:
//
//   [kind] [offset] [value: 4 bytes, big-endian]
//
// kind & 3 picks a byte, word or long write (3: a byte write of the control
// register, which may start an operation), kind & 4 the second window at
// 0xff7f30; offset % 0x3e is the register. Counts are cut so that no
// operation moves more than 4,096 words. The section must be refused or
// restored; an operation must raise no bus error and end; and the section
// saved afterwards must restore to itself.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "blitter/blitter.h"
#include "cpu/registers.h"
#include "fuzz_machine.h"
#include "machine/memory.h"
#include "machine/sections.h"

namespace {

constexpr size_t SectionSize = 116;

bool restore(const std::vector<u8>& bytes) {
  StateReader check(bytes.data(), bytes.size(), false);
  if (!BLITTER_Restore(check) || check.left() != 0) return false;
  StateReader apply(bytes.data(), bytes.size(), true);
  return BLITTER_Restore(apply);
}

std::vector<u8> save() {
  std::vector<u8> bytes;
  StateWriter w(bytes);
  BLITTER_Save(w);
  return bytes;
}

// At most 4,096 words an operation.
void cut_counts() {
  if (BLITTER_XCount > 4096) BLITTER_XCount = 4096;
  const u32 words = BLITTER_XCount ? BLITTER_XCount : 1;
  if (BLITTER_YCount * words > 4096) BLITTER_YCount = u16(4096 / words);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (fuzz_start_machine(), true);
  (void)started;
  std::vector<u8> section(SectionSize, 0);
  std::memcpy(section.data(), data, size < SectionSize ? size : SectionSize);
  if (!restore(section)) return 0;
  std::memset(MMU_RamBase, 0, MMU_RamSize);
  PREFS_BlitterEnabled = 1;
  m68k_regfile.s = 1;
  const u32 faults = MMU_BusErrorCount;
  for (size_t i = SectionSize; i + 6 <= size; i += 6) {
    const u32 kind = data[i];
    const u32 window = (kind & 4) ? 0xff7f30 : 0xff8a00;
    const u32 addr = window + ((kind & 3) == 3 ? 0x3c : data[i + 1] % 0x3e);
    const u32 value = (u32(data[i + 2]) << 24) | (u32(data[i + 3]) << 16) |
                      (u32(data[i + 4]) << 8) | data[i + 5];
    cut_counts();
    switch (kind & 3) {
      case 0: MMU_WriteL(addr, value); break;
      case 1: MMU_WriteW(addr, value); break;
      default: MMU_WriteB(addr, value); break;
    }
  }
  if (MMU_BusErrorCount != faults || BLITTER_Running != 0) std::abort();
  const std::vector<u8> after = save();
  if (!restore(after) || save() != after) std::abort();
  return 0;
}
