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
// next byte the distance into it). With bit 7 of the first byte set the
// edits start from a state whose Blitter operation stopped for the host with
// register writes waiting for it (a file 132 bytes longer). The reader must
// refuse or restore without touching memory out of bounds; a restored
// machine with a stopped operation runs on for a few frames, with the host
// breaking in; a restored machine must save a file that it restores again.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "blitter/blitter.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "fuzz_machine.h"
#include "host/events.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/sections.h"
#include "machine/state.h"

namespace {

// Section starts of a file of `ram` bytes of RAM, with `waiting` bytes of
// Blitter writes waiting.
std::vector<u32> section_starts(u32 ram, u32 waiting) {
  const u32 sizes[] = {16, 108, 16561, 116 + waiting, 4, 209, 563, 4,
                       16395, 8, 6, 7, 480, 16 + ram + 131072, 84, STATE_ExtensionBytes};
  std::vector<u32> at;
  u32 pos = 0;
  for (u32 s : sizes) {
    at.push_back(pos);
    pos += s;
  }
  return at;
}

u32 polls;

// The host stops every other operation's stretch of 4,096 words and asks
// for the quit at its sixteenth answer.
bool host_answer() {
  if (++polls >= 16) APP_StopFlag = 1;
  return polls & 1;
}

void with_host_breaks(bool on) {
  BLITTER_PollWords = BLITTER_WordsToPoll = on ? 4096 : 1 << 18;
  EVENTS_BusyHook = on ? host_answer : nullptr;
  polls = 0;
}

// A copy of 64 words by 64 lines stopped for the host, then HOP/OP and the
// counts written by the same instruction.
std::vector<u8> stopped_blitter_state() {
  PREFS_BlitterEnabled = 1;
  m68k_regfile.s = 1;
  BLITTER_PollWords = BLITTER_WordsToPoll = 100;
  EVENTS_BusyHook = [] { return true; };
  MMU_WriteL(BLITTER_SRC_ADDR, 0x10000);
  MMU_WriteL(BLITTER_DST_ADDR, 0x20000);
  MMU_WriteL(BLITTER_SRC_XINC, 0x00020002);
  MMU_WriteL(BLITTER_DST_XINC, 0x00020002);
  MMU_WriteL(BLITTER_XCOUNT, 0x00400040);
  MMU_WriteW(BLITTER_HOP, 0x0203);
  MMU_WriteW(BLITTER_LINE_CTL, 0x8000);
  MMU_WriteW(BLITTER_HOP, 0x0206);
  MMU_WriteL(BLITTER_XCOUNT, 0x00100010);
  with_host_breaks(false);
  if (!BLITTER_Stopped || BLITTER_WaitingCount != 2) std::abort();
  return STATE_Encode();
}

struct Machine {
  std::vector<u8> base, stopped;
  std::vector<u32> base_starts, stopped_starts;

  Machine() {
    fuzz_start_machine();
    APP_AutoStateLoaded = 1;
    base = STATE_Encode();
    stopped = stopped_blitter_state();
    base_starts = section_starts(MMU_RamSize, 0);
    stopped_starts = section_starts(MMU_RamSize, BLITTER_WaitingStateBytes);
    if (STATE_Decode(base.data(), base.size()) != STATE_Result::Restored) std::abort();
  }
};

// A few frames of the restored machine, from the stopped operation on.
void run_on() {
  with_host_breaks(true);
  APP_StopFlag = 0;
  SCHED_StopAfterFrames = 3;
  m68k_running = 1;
  for (int i = 0; i < 8 && !APP_StopFlag; ++i) m68k_run_loop();
  m68k_running = 0;
  SCHED_StopAfterFrames = 0;
  APP_StopFlag = 0;
  with_host_breaks(false);
}

Machine& machine() {
  static Machine m;
  return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Machine& m = machine();
  const bool from_stopped = size && (data[0] & 0x80);
  std::vector<u8> file = from_stopped ? m.stopped : m.base;
  const std::vector<u32>& starts = from_stopped ? m.stopped_starts : m.base_starts;
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
        const u32 at = starts[(offset & 0xff) % starts.size()] + ((offset >> 8) & 0xff);
        for (size_t k = 0; k < 4 && k < len && at + k < file.size(); ++k) file[at + k] = bytes[k];
        break;
      }
    }
  }
  if (STATE_Decode(file.data(), file.size()) == STATE_Result::Restored) {
    if (BLITTER_Stopped) run_on();
    // What was restored saves a file that restores again.
    const std::vector<u8> again = STATE_Encode();
    if (STATE_Decode(again.data(), again.size()) != STATE_Result::Restored) std::abort();
    if (STATE_Decode(m.base.data(), m.base.size()) != STATE_Result::Restored) std::abort();
  }
  return 0;
}
