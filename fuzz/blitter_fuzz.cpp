// Fuzz target of the Blitter: its saved-state section, the operations that
// 68000 code starts through its registers, and their stops for the host.
//
// The input is the 116-byte section (missing bytes read as 0), 132 bytes
// longer when its first word marks writes waiting for a stopped operation,
// then records of 6 bytes each:
//
//   [kind] [offset] [value: 4 bytes, big-endian]
//
// A record with kind & 0x10 speaks for the host (the last one holds): the
// operations ask it every 1 + (value & 0x3ff) words, its n-th answer is bit
// n % 16 of value >> 16 (1: stop between two lines), and with
// q = (value >> 10) & 0x3f not 0 every q-th stop is a quit, after which the
// machine is saved, restarted and restored, as at the application's next
// start. Every other record is a register write, one instruction of a
// program the machine runs from its ROM while the HBL, the VBL and Timer A
// interrupt it and log their frames' PCs: kind & 3 picks a long, word or
// byte write (3: a start of the control byte, by MOVE.B, BSET #7 or TAS as
// (value >> 8) % 3 says), kind & 4 the second window at 0xff7f30, offset
// % 0x3e the register (even for words and longs); kind & 0x40 traces the
// instruction. Records with kind & 8 join the write before in one MOVEM of
// its size (8 registers at most, inside the register block), downwards as
// -(An) writes, or upwards when the first record has kind & 0x20: their
// writes come after that write's start. X and Y counts are cut so that no
// operation moves more than 4,096 words.
//
// The section must be refused or restored. Run for a frame from the same
// state, with the host's stops and quits and without any, the machine must
// end the same:
// memory, registers, PC, SR and the Blitter's section. Every state saved at a
// quit must restore to itself.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "blitter/blitter.h"
#include "cpu/exceptions.h"
#include "cpu/registers.h"
#include "cpu/run_loop.h"
#include "fuzz_machine.h"
#include "host/events.h"
#include "machine/memory.h"
#include "machine/scheduler.h"
#include "machine/sections.h"
#include "machine/state.h"

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

// ---- The program ------------------------------------------------------------

constexpr u32 rom_entry = 0x30, log_start = 0x70000, log_end = 0x7fe00, stack = 0x7ff00;

struct Code {
  std::vector<u8> bytes;
  void w(u32 v) { bytes.push_back(u8(v >> 8)), bytes.push_back(u8(v)); }
  void l(u32 v) { w(v >> 16), w(v & 0xffff); }
};

// The handlers log their vector number and their frame's PC into RAM (A6 is
// the log's pointer, from its start again when full), one entry at a time;
// the trace handler clears the trace bit of the SR it returns to.
constexpr u32 handlers_at = 0xfc0034;
void handlers(Code& c) {
  c.w(0x0257), c.w(0x7fff);  // trace: andi.w #0x7fff,(sp)
  c.w(0x3f3c), c.w(9);       // move.w #9,-(sp)
  c.w(0x6010);               // bra.s log
  c.w(0x3f3c), c.w(26);      // hbl
  c.w(0x600a);
  c.w(0x3f3c), c.w(28);  // vbl
  c.w(0x6004);
  c.w(0x3f3c), c.w(0x4d);  // timer A
  c.w(0x46fc), c.w(0x2700);  // log: move.w #0x2700,sr
  c.w(0x3cdf);               // move.w (sp)+,(a6)+
  c.w(0x2cef), c.w(2);       // move.l 2(sp),(a6)+
  c.w(0xbdfc), c.l(log_end - 6);  // cmpa.l #end,a6
  c.w(0x6306);                    // bls.s done
  c.w(0x4df9), c.l(log_start);    // lea start,a6
  c.w(0x4e73);                    // done: rte
}
constexpr u32 trace_at = handlers_at, hbl_at = handlers_at + 10, vbl_at = hbl_at + 6,
              timer_at = vbl_at + 6;

// Supervisor, the vectors and the log; Timer A every 37 x 4 MFP ticks with
// automatic end of interrupt, the MFP's other channels off; the mask at 1.
void prologue(Code& c) {
  c.w(0x46fc), c.w(0x2700);
  c.w(0x4ff9), c.l(stack);
  c.w(0x4df9), c.l(log_start);
  for (const auto& [vector, at] : {std::pair{0x24u, trace_at}, {0x68u, hbl_at}, {0x70u, vbl_at}, {0x134u, timer_at}})
    c.w(0x21fc), c.l(at), c.w(vector);
  for (const auto& [reg, v] : {std::pair{0xfffa17u, 0x40u}, {0xfffa09u, 0}, {0xfffa07u, 0x20}, {0xfffa13u, 0x20},
                               {0xfffa1fu, 37}, {0xfffa19u, 1}})
    c.w(0x13fc), c.w(v), c.l(reg);
  c.w(0x46fc), c.w(0x2100);
}

struct Write {
  u32 kind, offset, value;
};

// One instruction of a group of writes (the first, then the ones joined to
// it), each record's value cut as the register it lands on.
void instruction(Code& c, const std::vector<Write>& group) {
  const Write& first = group[0];
  // The second window takes writes only: a BSET or TAS reads the first.
  const bool reads = (first.kind & 3) == 3 && group.size() == 1 && (first.value >> 8) % 3 != 0;
  const u32 base = (first.kind & 4) && !reads ? 0xff7f30 : 0xff8a00;
  const u32 size = group.size() > 1 ? ((first.kind & 3) == 0 ? 4 : 2) : (first.kind & 3) == 0 ? 4 : (first.kind & 3) == 1 ? 2 : 1;
  const bool up = (first.kind & 0x20) != 0;
  const u32 start = (first.kind & 3) == 3 && group.size() == 1 ? 0x3c : first.offset % 0x3e & (size > 1 ? ~1u : ~0u);
  const auto at = [&](size_t j) { return up ? start + u32(j) * size : start - u32(j) * size; };
  const u32 trace = (first.kind & 0x40) ? 0xa100 : 0;
  if (group.size() == 1) {
    const u32 value = cut_written_counts(start, size, first.value);
    if (trace) c.w(0x46fc), c.w(trace);
    if ((first.kind & 3) == 3 && (first.value >> 8) % 3 == 1) {
      c.w(0x08f9), c.w(7), c.l(base + start);  // bset #7
    } else if ((first.kind & 3) == 3 && (first.value >> 8) % 3 == 2) {
      c.w(0x4af9), c.l(base + start);  // tas
    } else {
      c.w(size == 4 ? 0x23fc : size == 2 ? 0x33fc : 0x13fc);
      size == 4 ? c.l(value) : c.w(value & (size == 2 ? 0xffff : 0xff));
      c.l(base + start);
    }
    return;
  }
  // MOVEM: register d<j> holds the j-th write's value (upwards), or d<n-1-j>
  // (downwards, where the highest register goes first).
  const u32 n = u32(group.size());
  for (u32 j = 0; j < n; ++j) {
    const u32 reg = up ? j : n - 1 - j;
    c.w(0x203c | reg << 9), c.l(cut_written_counts(at(j), size, group[j].value));
  }
  c.w(0x41f9), c.l(base + (up ? start : start + size));  // lea ...,a0
  if (trace) c.w(0x46fc), c.w(trace);
  const u32 mask = (1u << n) - 1;
  if (up) {
    c.w(size == 4 ? 0x48d0 : 0x4890), c.w(mask);
  } else {
    u32 reversed = 0;  // -(An) takes D0 as bit 15
    for (u32 b = 0; b < n; ++b) reversed |= ((mask >> b) & 1) << (15 - b);
    c.w(size == 4 ? 0x48e0 : 0x48a0), c.w(reversed);
  }
}

// The program of the input's writes, and the host's settings it holds.
struct Input {
  std::vector<u8> program;
  u32 poll_words = 1 << 18, answer_bits = 0, quit_every = 0;
};

Input parse(const uint8_t* data, size_t size, size_t from) {
  Input in;
  Code c;
  c.w(0x6000), c.w(u32(handlers_at + 0x40 - (0xfc0000 + rom_entry + 2)));  // bra.w over the handlers
  handlers(c);
  c.bytes.resize(handlers_at + 0x40 - 0xfc0000 - rom_entry, 0);
  prologue(c);
  std::vector<Write> group;
  const auto flush = [&] {
    if (!group.empty()) instruction(c, group);
    group.clear();
  };
  for (size_t i = from; i + 6 <= size && c.bytes.size() < 0x8000; i += 6) {
    const Write w = {data[i], data[i + 1], (u32(data[i + 2]) << 24) | (u32(data[i + 3]) << 16) | (u32(data[i + 4]) << 8) | data[i + 5]};
    if (w.kind & 0x10) {
      in.poll_words = 1 + (w.value & 0x3ff);
      in.quit_every = (w.value >> 10) & 0x3f;
      in.answer_bits = w.value >> 16;
      continue;
    }
    // A write joins a MOVEM while its register lies inside the block.
    bool joins = (w.kind & 8) && !group.empty() && group.size() < 8;
    if (joins) {
      const Write& first = group[0];
      const u32 size = (first.kind & 3) == 0 ? 4 : 2;
      const u32 start = first.offset % 0x3e & ~1u, j = u32(group.size());
      joins = (first.kind & 0x20) ? start + (j + 1) * size <= 0x3e : start >= j * size;
    }
    if (!joins) flush();
    group.push_back(w);
  }
  flush();
  c.w(0x60fe);  // bra.s *
  in.program = std::move(c.bytes);
  return in;
}

// ---- Two runs ---------------------------------------------------------------

u32 answers, stops, answer_bits, quit_every;
bool quitting;
bool host_answer() {
  if (!((answer_bits >> (answers++ % 16)) & 1)) return false;
  if (quit_every && ++stops % quit_every == 0) quitting = true, APP_StopFlag = 1;
  return true;
}

u64 still_clock() { return 0; }

// The machine from a restart with the section's registers and RAM cleared,
// as a state: both runs start from it.
std::vector<u8> start(const std::vector<u8>& section) {
  m68k_restart();
  SCHED_ResetFrame();
  SCHED_CycleBefore = 0;
  restore(section);
  cut_counts();
  // An operation stopped in the section ends before the first instruction.
  if (BLITTER_Stopped) m68k_pend_set(m68k_pend_blitter);
  std::memset(MMU_RamBase, 0, MMU_RamSize);
  return STATE_Encode();
}

// The machine's memory, registers, PC, SR and Blitter section after a
// frames from `state`, with the host's stops and quits or without any.
std::vector<u8> run(const std::vector<u8>& state, const Input& in, bool breaks) {
  if (STATE_Decode(state.data(), state.size()) != STATE_Result::Restored) std::abort();
  SCHED_FrameCount = 0;
  BLITTER_BreakAsked = 0;
  BLITTER_PollWords = BLITTER_WordsToPoll = i32(breaks ? in.poll_words : 1 << 18);
  answers = stops = 0;
  answer_bits = in.answer_bits;
  quit_every = in.quit_every;
  EVENTS_BusyHook = breaks ? host_answer : nullptr;
  for (const u64 end = SCHED_FramesEnded + 1; SCHED_FramesEnded < end;) {
    APP_StopFlag = 0;
    SCHED_StopAfterFrames = u32(end - SCHED_FramesEnded);
    m68k_running = 1;
    while (!APP_StopFlag) m68k_run_loop();
    m68k_running = 0;
    if (!quitting) continue;
    quitting = false;
    const std::vector<u8> saved = STATE_Encode();
    m68k_restart();
    if (STATE_Decode(saved.data(), saved.size()) != STATE_Result::Restored || STATE_Encode() != saved) std::abort();
  }
  SCHED_StopAfterFrames = 0;
  APP_StopFlag = 0;
  EVENTS_BusyHook = nullptr;
  std::vector<u8> out(MMU_RamBase, MMU_RamBase + MMU_RamSize);
  m68k_regs& r = m68k_regfile;
  m68k_sr_compose();
  for (u32 v : r.d) out.insert(out.end(), {u8(v >> 24), u8(v >> 16), u8(v >> 8), u8(v)});
  for (u32 v : {r.a[0], r.a[1], r.a[2], r.a[3], r.a[4], r.a[5], r.a[6], r.a[7], r.usp, r.isp,
                m68k_get_pc(), u32(r.sr)})
    out.insert(out.end(), {u8(v >> 24), u8(v >> 16), u8(v >> 8), u8(v)});
  const std::vector<u8> blitter = save();
  out.insert(out.end(), blitter.begin(), blitter.end());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = [] {
    fuzz_start_machine();
    HOST_Clock.microseconds = still_clock;  // no host tick passes: nothing of the host differs
    APP_AutoStateLoaded = 1;
    PREFS_BlitterEnabled = 1;
    return true;
  }();
  (void)started;
  const size_t section_size = 116 + (size > 1 && (data[1] & 2) ? BLITTER_WaitingStateBytes : 0);
  std::vector<u8> section(section_size, 0);
  std::memcpy(section.data(), data, size < section_size ? size : section_size);
  if (!restore(section)) return 0;
  const Input in = parse(data, size, section.size());
  std::memcpy(MMU_RomBuffer + rom_entry, in.program.data(), in.program.size());
  const std::vector<u8> state = start(section);
  if (run(state, in, true) != run(state, in, false) || BLITTER_Running) std::abort();
  return 0;
}
