// Fuzz target of the saved-state reader.
//
// A real state file is mostly RAM, so the input is not the file itself but
// a list of edits applied to the state of a freshly started machine:
//
//   [op] [offset: 3 bytes, big-endian] [length] [length bytes]
//
// op & 3 = 0 overwrites bytes at offset (modulo the file size), 1 cuts the
// file at offset, 2 appends the bytes, 3 overwrites one u32 at a section
// boundary plus a small offset (offset's low byte picks the section, its
// next byte the distance into it). The reader must refuse or restore
// without touching memory out of bounds; a restored machine must save a
// file that it restores again.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_machine.h"
#include "machine/memory.h"
#include "machine/state.h"

namespace {

// Section starts of a file of `ram` bytes of RAM.
std::vector<u32> section_starts(u32 ram) {
  const u32 sizes[] = {16, 108, 16561, 116, 4, 209, 563, 4, 16395, 8, 6, 7, 480, 16 + ram + 131072, 84};
  std::vector<u32> at;
  u32 pos = 0;
  for (u32 s : sizes) {
    at.push_back(pos);
    pos += s;
  }
  return at;
}

struct Machine {
  std::vector<u8> base;
  std::vector<u32> starts;

  Machine() {
    fuzz_start_machine();
    base = STATE_Encode();
    starts = section_starts(MMU_RamSize);
  }
};

Machine& machine() {
  static Machine m;
  return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Machine& m = machine();
  std::vector<u8> file = m.base;
  size_t i = 0;
  while (i + 5 <= size && !file.empty()) {
    const u32 op = data[i] & 3;
    const u32 offset = (u32(data[i + 1]) << 16) | (u32(data[i + 2]) << 8) | data[i + 3];
    size_t len = data[i + 4];
    i += 5;
    if (len > size - i) len = size - i;
    const u8* bytes = data + i;
    i += len;
    switch (op) {
      case 0:
        for (size_t k = 0; k < len; ++k) file[(offset + k) % file.size()] = bytes[k];
        break;
      case 1: file.resize(offset % (file.size() + 1)); break;
      case 2: file.insert(file.end(), bytes, bytes + len); break;
      default: {
        const u32 at = m.starts[(offset & 0xff) % m.starts.size()] + ((offset >> 8) & 0xff);
        for (size_t k = 0; k < 4 && k < len && at + k < file.size(); ++k) file[at + k] = bytes[k];
        break;
      }
    }
  }
  if (STATE_Decode(file.data(), file.size()) == STATE_Result::Restored) {
    // What was restored saves a file that restores again.
    const std::vector<u8> again = STATE_Encode();
    if (STATE_Decode(again.data(), again.size()) != STATE_Result::Restored) std::abort();
    if (STATE_Decode(m.base.data(), m.base.size()) != STATE_Result::Restored) std::abort();
  }
  return 0;
}
