// Fuzz target of the Blitter's saved-state section, of the operations it
// leaves ready to run and of their breaks for the host.
//
// The input is the 116-byte section (missing bytes read as 0), 132 bytes
// longer when its first word marks writes waiting for a stopped operation,
// then records of 6 bytes each:
//
//   [kind] [offset] [value: 4 bytes, big-endian]
//
// A record with kind & 0x10 speaks for the host: from then on the operations
// ask it every 1 + (value & 0x3ff) words, and its n-th answer is bit n % 16
// of value >> 16 (1: stop between two lines). Any other record is a register
// write through the I/O page: kind & 3 picks a long, word or byte write (3:
// a byte write of the control register, which may start an operation),
// kind & 4 the second window at 0xff7f30; offset % 0x3e is the register.
// Each write stands for an instruction, after which a stopped operation is
// finished as the scheduler does, unless kind & 8 makes it part of the same
// instruction as the write before (a MOVEM), whose writes then wait for it.
// X and Y counts are cut so that no operation moves more than 4,096 words.
//
// The section must be refused or restored; no operation may raise a bus
// error; every stopped operation's section must restore to itself; and the
// memory and section at the end must be those of a run whose operations
// never stopped.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "blitter/blitter.h"
#include "cpu/registers.h"
#include "fuzz_machine.h"
#include "host/events.h"
#include "machine/memory.h"
#include "machine/sections.h"

namespace {

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

// A written count word below 64 (so 64 x 64 words at most), whichever write
// carries it: offset is where the write's bytes start.
u32 cut_written_counts(u32 offset, u32 bytes, u32 value) {
  for (u32 count : {0x36u, 0x38u}) {
    if (count < offset || count + 2 > offset + bytes) continue;
    const u32 shift = 8 * (offset + bytes - count - 2);
    value &= ~(0xffc0u << shift);
  }
  return value;
}

// At most 4,096 words an operation, for the section as restored, the writes
// that wait in it included.
void cut_counts() {
  if (BLITTER_XCount > 4096) BLITTER_XCount = 4096;
  const u32 words = BLITTER_XCount ? BLITTER_XCount : 1;
  if (BLITTER_YCount * words > 4096) BLITTER_YCount = u16(4096 / words);
  for (u32 i = 0; i < BLITTER_WaitingCount; ++i) {
    BLITTER_Write& w = BLITTER_Waiting[i];
    w.value = cut_written_counts(w.offset, 4 >> w.size, w.value);
  }
}

u32 answers, answer_bits;
bool host_answer() { return (answer_bits >> (answers++ % 16)) & 1; }

// As the scheduler does before the next instruction; a stopped operation's
// section restores to itself.
void finish() {
  while (BLITTER_Stopped) {
    const std::vector<u8> stopped = save();
    if (!restore(stopped) || save() != stopped) std::abort();
    BLITTER_Resume();
  }
  BLITTER_BreakAsked = 0;
  m68k_regfile.pending = 0;
}

// Memory and section after the input's writes, with the host's breaks or
// without any.
std::vector<u8> run(const std::vector<u8>& section, const uint8_t* data, size_t size, bool breaks) {
  restore(section);
  cut_counts();
  std::memset(MMU_RamBase, 0, MMU_RamSize);
  BLITTER_PollWords = BLITTER_WordsToPoll = 1 << 18;
  EVENTS_BusyHook = nullptr;
  answers = 0;
  const u32 faults = MMU_BusErrorCount;
  for (size_t i = section.size(); i + 6 <= size; i += 6) {
    const u32 kind = data[i];
    u32 value = (u32(data[i + 2]) << 24) | (u32(data[i + 3]) << 16) | (u32(data[i + 4]) << 8) | data[i + 5];
    if (kind & 0x10) {
      if (!breaks) continue;
      BLITTER_PollWords = BLITTER_WordsToPoll = i32(1 + (value & 0x3ff));
      answer_bits = value >> 16;
      EVENTS_BusyHook = host_answer;
      continue;
    }
    if (!(kind & 8)) finish();
    const u32 offset = (kind & 3) == 3 ? 0x3c : data[i + 1] % 0x3e;
    const u32 addr = ((kind & 4) ? 0xff7f30 : 0xff8a00) + offset;
    switch (kind & 3) {
      case 0: MMU_WriteL(addr, cut_written_counts(offset, 4, value)); break;
      case 1: MMU_WriteW(addr, cut_written_counts(offset, 2, value & 0xffff)); break;
      default: MMU_WriteB(addr, value); break;
    }
  }
  finish();
  EVENTS_BusyHook = nullptr;
  if (MMU_BusErrorCount != faults || BLITTER_Running != 0) std::abort();
  std::vector<u8> out(MMU_RamBase, MMU_RamBase + MMU_RamSize);
  const std::vector<u8> after = save();
  if (!restore(after) || save() != after) std::abort();
  out.insert(out.end(), after.begin(), after.end());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (fuzz_start_machine(), true);
  (void)started;
  const size_t section_size = 116 + (size > 1 && (data[1] & 2) ? BLITTER_WaitingStateBytes : 0);
  std::vector<u8> section(section_size, 0);
  std::memcpy(section.data(), data, size < section_size ? size : section_size);
  if (!restore(section)) return 0;
  PREFS_BlitterEnabled = 1;
  m68k_regfile.s = 1;
  if (run(section, data, size, true) != run(section, data, size, false)) std::abort();
  return 0;
}
