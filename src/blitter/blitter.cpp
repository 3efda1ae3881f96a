#include "blitter/blitter.h"

#include <algorithm>
#include <array>

#include "common/endian.h"
#include "cpu/registers.h"
#include "host/events.h"
#include "machine/memory.h"

u16 BLITTER_Halftone[16];
i32 BLITTER_SrcXInc, BLITTER_SrcYInc, BLITTER_DstXInc, BLITTER_DstYInc;
u32 BLITTER_SrcAddr, BLITTER_DstAddr;
u16 BLITTER_EndMask1, BLITTER_EndMask2, BLITTER_EndMask3;
u16 BLITTER_XCount, BLITTER_YCount;
u8 BLITTER_Hop, BLITTER_Op, BLITTER_LineCtl, BLITTER_Skew, BLITTER_Fxsr, BLITTER_Nfsr;
u16 BLITTER_HalftoneSnap[16];
u32 BLITTER_HalftoneLine;
i32 BLITTER_LineStep;
u32 BLITTER_Running;
u32 BLITTER_Stopped;
u16 BLITTER_CarryWord;
u32 BLITTER_BreakAsked;
BLITTER_Write BLITTER_Waiting[BLITTER_MaxWaiting];
u32 BLITTER_WaitingCount;
i32 BLITTER_PollWords = 1 << 18;
i32 BLITTER_WordsToPoll = 1 << 18;

namespace {

// ---- Breaks for the host ---------------------------------------------------

bool may_stop = true;

// Whether the operation must stop for the host after this line (unless it
// was the last): the host has something to act on, which the run loop lets
// it do as soon as the instruction ends, before anything else.
[[gnu::noinline]] bool host_break() {
  BLITTER_WordsToPoll = BLITTER_PollWords;
  if (!may_stop || !EVENTS_BusyPoll()) return false;
  BLITTER_BreakAsked = 1;
  m68k_pend_set(m68k_pend_blitter);
  return true;
}

// ---- Memory ----------------------------------------------------------------

// The Blitter is a bus master of its own: none of its accesses may raise the
// processor's bus error. Reads take what the bank answers (the I/O page
// answers its own address while an operation runs); writes into the ROM and
// the cartridge window are dropped, as the I/O page drops its own.
inline u32 read_word(u32 addr) { return MMU_ReadW(addr); }

inline bool drops_writes(const MMU_Bank* bank) { return bank == &MMU_RomBank || bank == &CART_Bank; }

// A word at an odd address that ends a bank is two bytes, each for its own
// bank: the last RAM bank's record would write its second byte past RAM.
[[gnu::cold]] void write_across(u32 addr, u32 value) {
  for (u32 i = 0; i < 2; ++i) {
    const u32 at = addr + i;
    const MMU_Bank* bank = MMU_BankOf(at);
    if (!drops_writes(bank)) bank->putB(at & MMU_AddressMask, (value >> (8 - 8 * i)) & 0xff);
  }
}

inline void write_word(u32 addr, u32 value) {
  if (MMU_CrossesBank(addr, 2)) [[unlikely]] return write_across(addr, value);
  const MMU_Bank* bank = MMU_BankOf(addr);
  if (drops_writes(bank)) return;
  bank->putW(addr & MMU_AddressMask, value);
}

// ---- One operation -----------------------------------------------------------

// Result of logic operation Op on source term s and destination word d.
template <u32 Op>
inline u32 logic(u32 s, u32 d) {
  if constexpr (Op == 0) return 0;
  else if constexpr (Op == 1) return s & d;
  else if constexpr (Op == 2) return s & ~d;
  else if constexpr (Op == 3) return s;
  else if constexpr (Op == 4) return ~s & d;
  else if constexpr (Op == 5) return d;
  else if constexpr (Op == 6) return s ^ d;
  else if constexpr (Op == 7) return s | d;
  else if constexpr (Op == 8) return ~s & ~d;
  else if constexpr (Op == 9) return ~s ^ d;
  else if constexpr (Op == 10) return ~d;
  else if constexpr (Op == 11) return s | ~d;
  else if constexpr (Op == 12) return ~s;
  else if constexpr (Op == 13) return ~s | d;
  else if constexpr (Op == 14) return ~s | ~d;
  else return 0xffff;
}

// Whether an operation's result depends on the source buffer: only then does
// the direction in which the buffer fills matter.
constexpr bool uses_source(u32 hop, u32 op) {
  return hop >= 2 && op != 0 && op != 5 && op != 10 && op != 15;
}

// One whole operation. Hop and Op select the source term and the logic
// operation; Down the descending source buffer, in which a new word enters
// the upper half (the source is read towards lower addresses); Smudge (HOP 1
// and 3) the halftone word of each destination word by the low four bits of
// its skewed source instead of by the line. The per-word code has no test of
// any of them.
template <bool Down, u32 Hop, u32 Op, bool Smudge>
void run() {
  constexpr bool reads_source = Hop >= 2;
  constexpr bool halftone = (Hop & 1) != 0;

  // A stopped operation goes on where it stopped: its halftone snapshot and
  // line stand, and the buffer holds the word carried into the next line.
  const bool resuming = BLITTER_Stopped != 0;
  BLITTER_Stopped = 0;
  if (halftone && !resuming) {
    for (u32 i = 0; i < 16; ++i) BLITTER_HalftoneSnap[i] = BLITTER_Halftone[i];
    BLITTER_HalftoneLine =
        (BLITTER_LineCtl & BLITTER_Smudge) ? BLITTER_Skew & 15u : BLITTER_LineCtl & 15u;
    BLITTER_LineStep = BLITTER_DstYInc < 0 ? -1 : 1;
  }

  // Plain 32-bit address sums; each access keeps 24 bits of them.
  u32 src = BLITTER_SrcAddr, dst = BLITTER_DstAddr;
  const u32 src_x = u32(BLITTER_SrcXInc), src_y = u32(BLITTER_SrcYInc);
  const u32 dst_x = u32(BLITTER_DstXInc), dst_y = u32(BLITTER_DstYInc);
  const u32 skew = BLITTER_Skew & 15u;
  const u32 mask1 = BLITTER_EndMask1, mask2 = BLITTER_EndMask2, mask3 = BLITTER_EndMask3;
  const u32 xcount = BLITTER_XCount;
  const bool fxsr = BLITTER_Fxsr != 0, nfsr = BLITTER_Nfsr != 0;
  u32 line = BLITTER_HalftoneLine & 15u;
  const u32 line_step = u32(BLITTER_LineStep);
  u32 buffer = !resuming ? 0 : Down ? u32(BLITTER_CarryWord) << 16 : BLITTER_CarryWord;
  const i32 line_words = i32(xcount) + 1;

  const auto shift_in = [&](u32 addr) {
    if constexpr (!reads_source) return;
    const u32 w = read_word(addr);
    buffer = Down ? (buffer >> 16) | (w << 16) : (buffer << 16) | w;
  };
  const auto shift_in_empty = [&] {
    if constexpr (reads_source) buffer = Down ? buffer >> 16 : buffer << 16;
  };
  const auto merge = [&](u32 addr) {
    if constexpr (!reads_source) return;
    const u32 w = read_word(addr);
    buffer |= Down ? w << 16 : w;
  };
  // Combines the destination word with the source term under mask m.
  const auto process = [&](u32 pattern, u32 m) {
    const u32 skewed = buffer >> skew;
    u32 s = Smudge ? BLITTER_HalftoneSnap[skewed & 15] : pattern;
    if constexpr (reads_source) s &= skewed;
    const u32 d = read_word(dst);
    write_word(dst, ((d & ~m) | (logic<Op>(s, d) & m)) & 0xffff);
  };

  u32 lines = BLITTER_YCount;
  while (lines != 0) {
    const u32 pattern = halftone ? BLITTER_HalftoneSnap[line] : 0xffff;
    if (fxsr) {
      shift_in(src);
      src += src_x;
    }
    shift_in(src);
    process(pattern, mask1);
    if (xcount >= 2) {
      for (u32 i = xcount - 2; i != 0; --i) {
        src += src_x;
        dst += dst_x;
        shift_in(src);
        process(pattern, mask2);
      }
      dst += dst_x;
      shift_in_empty();
      if (!nfsr) {
        src += src_x;
        merge(src);
      }
      process(pattern, mask3);
    }
    src += src_y;
    dst += dst_y;
    if constexpr (halftone) line = (line + line_step) & 15;
    --lines;
    if ((BLITTER_WordsToPoll -= line_words) < 0) [[unlikely]] {
      if (host_break() && lines != 0) break;
    }
  }

  BLITTER_YCount = u16(lines);
  if (lines != 0) {
    // Stopped for the host, with the half of the buffer the next line keeps.
    BLITTER_Stopped = 1;
    BLITTER_CarryWord = u16(Down ? buffer >> 16 : buffer);
  }
  if constexpr (halftone) BLITTER_HalftoneLine = line;
  BLITTER_SrcAddr = src;
  BLITTER_DstAddr = dst;
}

// A member: a descending one whose result does not depend on the source
// buffer runs as its ascending twin; with a halftone, SMUDGE chooses the
// variant once per operation.
template <bool Down, u32 Hop, u32 Op>
void member() {
  constexpr bool down = Down && uses_source(Hop, Op);
  if constexpr ((Hop & 1) != 0) {
    if (BLITTER_LineCtl & BLITTER_Smudge) return run<down, Hop, Op, true>();
  }
  run<down, Hop, Op, false>();
}

constexpr bool down_Pos = false, down_Neg = true;

}  // namespace

// The 128 members, named by direction, HOP and OP.
#define BLITTER_DEFINE_MEMBER(Dir, h, x, op) \
  void BLITTER_Op##Dir##h##x() { member<down_##Dir, h, op>(); }
BLITTER_FOR_MEMBERS(BLITTER_DEFINE_MEMBER, Pos)
BLITTER_FOR_MEMBERS(BLITTER_DEFINE_MEMBER, Neg)
#undef BLITTER_DEFINE_MEMBER

#define BLITTER_TABLE_ENTRY(Dir, h, x, op) BLITTER_Op##Dir##h##x,
const std::array<std::array<BLITTER_OpFn, 64>, 2> BLITTER_OpTables = {
    {{BLITTER_FOR_MEMBERS(BLITTER_TABLE_ENTRY, Neg)}, {BLITTER_FOR_MEMBERS(BLITTER_TABLE_ENTRY, Pos)}}};
#undef BLITTER_TABLE_ENTRY

// ---- Registers ----------------------------------------------------------------

namespace {

inline bool in_halftone(u32 addr) { return addr - BLITTER_HALFTONE <= 0x1e; }
inline u16& halftone_word(u32 addr) { return BLITTER_Halftone[(addr - BLITTER_HALFTONE) >> 1]; }

void run_member() {
  BLITTER_Running = 1;
  BLITTER_OpTables[BLITTER_SrcXInc < 0 ? 0 : 1][(BLITTER_Hop & 3u) * 16 + (BLITTER_Op & 15u)]();
  BLITTER_Running = 0;
}

// A start, on a byte write of v to the control register. The operation runs
// once the write that holds the byte has put all of its bytes in place
// (write()), so that nothing of that write comes after the operation or
// while it is stopped for the host.
bool start_due;
void start(u32 v) {
  if (BLITTER_YCount == 0 || !(v & BLITTER_Busy)) return;
  BLITTER_SrcAddr &= ~1u;
  BLITTER_DstAddr &= ~1u;
  BLITTER_LineCtl = u8(v);
  start_due = !BLITTER_Running;
}

void put_b(u32 addr, u32 value) {
  switch (addr) {
    case BLITTER_HOP: BLITTER_Hop = u8(value & 3); break;
    case BLITTER_OP: BLITTER_Op = u8(value & 15); break;
    case BLITTER_LINE_CTL: start(value & 0xff); break;
    case BLITTER_SKEW:
      BLITTER_Fxsr = (value & BLITTER_FxsrBit) ? 1 : 0;
      BLITTER_Nfsr = (value & BLITTER_NfsrBit) ? 1 : 0;
      BLITTER_Skew = u8(value & 0xcf);
      break;
    default: break;  // the other registers take words only
  }
}

void put_w(u32 addr, u32 value) {
  if (in_halftone(addr)) {
    halftone_word(addr) = u16(value);
    return;
  }
  switch (addr) {
    case BLITTER_SRC_XINC: BLITTER_SrcXInc = i32(sext16(value)); return;
    case BLITTER_SRC_YINC: BLITTER_SrcYInc = i32(sext16(value)); return;
    case BLITTER_DST_XINC: BLITTER_DstXInc = i32(sext16(value)); return;
    case BLITTER_DST_YINC: BLITTER_DstYInc = i32(sext16(value)); return;
    case BLITTER_ENDMASK1: BLITTER_EndMask1 = u16(value); return;
    case BLITTER_ENDMASK2: BLITTER_EndMask2 = u16(value); return;
    case BLITTER_ENDMASK3: BLITTER_EndMask3 = u16(value); return;
    case BLITTER_XCOUNT: BLITTER_XCount = u16(value); return;
    case BLITTER_YCOUNT: BLITTER_YCount = u16(value); return;
    case BLITTER_HOP:
      BLITTER_Hop = u8((value >> 8) & 3);
      BLITTER_Op = u8(value & 15);
      return;
    case BLITTER_LINE_CTL:
      put_b(BLITTER_SKEW, value & 0xff);
      put_b(BLITTER_LINE_CTL, (value >> 8) & 0xff);
      return;
    default:
      // The address registers among them: they take longs only.
      put_b(addr + 1, value & 0xff);
      put_b(addr, (value >> 8) & 0xff);
      return;
  }
}

void put_l(u32 addr, u32 value) {
  if (addr == BLITTER_SRC_ADDR) {
    BLITTER_SrcAddr = value & MMU_AddressMask;
  } else if (addr == BLITTER_DST_ADDR) {
    BLITTER_DstAddr = value & MMU_AddressMask;
  } else if (in_halftone(addr)) {
    // The word that holds the address, then the next one: after halftone
    // word 15 that is the source X increment.
    const u32 word = addr & ~1u;
    put_w(word, value >> 16);
    put_w(word + 2, value & 0xffff);
  } else {
    put_w(addr, value >> 16);
    put_w(addr + 2, value & 0xffff);
  }
}

// One write as the I/O page hands it over, then the operation it started.
void write(const BLITTER_Write& w) {
  const u32 addr = BLITTER_HALFTONE + w.offset;
  switch (w.size) {
    case 0: put_l(addr, w.value); break;
    case 1: put_w(addr, w.value); break;
    default: put_b(addr, w.value); break;
  }
  if (!start_due) return;
  start_due = false;
  run_member();
}

// A write through the I/O page. While an operation is stopped for the host
// it comes from the instruction that started it (or from the host
// meanwhile): it waits for the operation's end. When no more can wait, the
// operation and the writes before this one are done at once, with no stop.
void put(u32 addr, u32 size, u32 value) {
  const BLITTER_Write w = {u8(addr - BLITTER_HALFTONE), u8(size), value};
  if (!BLITTER_Stopped) [[likely]] return write(w);
  if (BLITTER_WaitingCount < BLITTER_MaxWaiting) {
    BLITTER_Waiting[BLITTER_WaitingCount++] = w;
    return;
  }
  BLITTER_Settle();
  write(w);
}

}  // namespace

// An operation starts only at the end of a write, so a write whose start
// stops leaves nothing of itself undone.
void BLITTER_Resume() {
  if (!BLITTER_Stopped || BLITTER_Running) return;
  run_member();
  u32 done = 0;
  while (!BLITTER_Stopped && done < BLITTER_WaitingCount) write(BLITTER_Waiting[done++]);
  if (done == 0) return;
  std::copy(BLITTER_Waiting + done, BLITTER_Waiting + BLITTER_WaitingCount, BLITTER_Waiting);
  BLITTER_WaitingCount -= done;
}

void BLITTER_Settle() {
  may_stop = false;
  BLITTER_Resume();
  may_stop = true;
}

void BLITTER_Abandon() {
  BLITTER_Stopped = 0;
  BLITTER_WaitingCount = 0;
}

void BLITTER_PutB(u32 addr, u32 value) { put(addr, 2, value); }
void BLITTER_PutW(u32 addr, u32 value) { put(addr, 1, value); }
void BLITTER_PutL(u32 addr, u32 value) { put(addr, 0, value); }

// Addresses that name no readable field answer with their own low bits.
u32 BLITTER_GetB(u32 addr) {
  switch (addr) {
    case BLITTER_HOP: return BLITTER_Hop;
    case BLITTER_OP: return BLITTER_Op;
    case BLITTER_LINE_CTL: return BLITTER_LineCtl & 0x3fu;  // BUSY and HOG read 0
    case BLITTER_SKEW: return BLITTER_Skew;
    default: return addr & 0xff;
  }
}

u32 BLITTER_GetW(u32 addr) {
  if (in_halftone(addr)) return halftone_word(addr);
  switch (addr) {
    case BLITTER_SRC_XINC: return u32(BLITTER_SrcXInc) & 0xffff;
    case BLITTER_SRC_YINC: return u32(BLITTER_SrcYInc) & 0xffff;
    case BLITTER_DST_XINC: return u32(BLITTER_DstXInc) & 0xffff;
    case BLITTER_DST_YINC: return u32(BLITTER_DstYInc) & 0xffff;
    case BLITTER_ENDMASK1: return BLITTER_EndMask1;
    case BLITTER_ENDMASK2: return BLITTER_EndMask2;
    case BLITTER_ENDMASK3: return BLITTER_EndMask3;
    case BLITTER_XCOUNT: return BLITTER_XCount;
    case BLITTER_YCOUNT: return BLITTER_YCount;
    case BLITTER_LINE_CTL: return ((BLITTER_LineCtl & 0x3fu) << 8) | BLITTER_Skew;
    default: return addr & 0xffff;
  }
}

u32 BLITTER_GetL(u32 addr) {
  if (addr == BLITTER_SRC_ADDR) return BLITTER_SrcAddr;
  if (addr == BLITTER_DST_ADDR) return BLITTER_DstAddr;
  return (BLITTER_GetW(addr) << 16) | (BLITTER_GetW(addr + 2) & 0xffff);
}
