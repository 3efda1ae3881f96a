// The Blitter's saved-state section: 116 bytes, every field big-endian in the
// order of `fields` below, which both the writer and the reader walk.
//
// The first word is 0, or for an operation stopped between two lines (a
// quit during a long operation) 0x10000 plus the source word it carries into
// its next line; the registers hold its progress, and it goes on before the
// restored machine's first instruction. With register writes waiting for it
// the word also has 0x20000 set, and the section goes on with them: their
// count, then sixteen slots of a word (access size << 8 | offset) and the
// value, the unused ones 0.
#include <algorithm>
#include <type_traits>

#include "blitter/blitter.h"
#include "common/endian.h"
#include "machine/sections.h"

namespace {

struct Fields {
  u32 running;
  u16 snap[16];
  u16 halftone[16];
  u16 mask1, mask2, mask3;
  u8 nfsr, fxsr;
  u16 xcount, ycount;
  u8 hop, op, linectl, skew;
  u32 dst, src, line;
  i32 step, src_x, src_y, dst_x, dst_y;
};

// Calls f on every field in the file's order.
template <class F>
void fields(Fields& s, F f) {
  f(s.running);
  for (u16& h : s.snap) f(h);
  for (u16& h : s.halftone) f(h);
  f(s.mask1), f(s.mask2), f(s.mask3);
  f(s.nfsr), f(s.fxsr);
  f(s.xcount), f(s.ycount);
  f(s.hop), f(s.op), f(s.linectl), f(s.skew);
  f(s.dst), f(s.src), f(s.line);
  f(s.step), f(s.src_x), f(s.src_y), f(s.dst_x), f(s.dst_y);
}

constexpr u32 stopped_mark = 0x10000, waiting_mark = 0x20000;
static_assert(4 + 8 * BLITTER_MaxWaiting == BLITTER_WaitingStateBytes);

Fields current() {
  u32 running = BLITTER_Stopped ? stopped_mark | BLITTER_CarryWord : 0;
  if (BLITTER_Stopped && BLITTER_WaitingCount) running |= waiting_mark;
  Fields s{running, {}, {}, BLITTER_EndMask1, BLITTER_EndMask2, BLITTER_EndMask3,
           BLITTER_Nfsr, BLITTER_Fxsr, BLITTER_XCount, BLITTER_YCount, BLITTER_Hop,
           BLITTER_Op, BLITTER_LineCtl, BLITTER_Skew, BLITTER_DstAddr, BLITTER_SrcAddr,
           BLITTER_HalftoneLine, BLITTER_LineStep, BLITTER_SrcXInc, BLITTER_SrcYInc,
           BLITTER_DstXInc, BLITTER_DstYInc};
  for (u32 i = 0; i < 16; ++i) {
    s.snap[i] = BLITTER_HalftoneSnap[i];
    s.halftone[i] = BLITTER_Halftone[i];
  }
  return s;
}

}  // namespace

void BLITTER_Save(StateWriter& w) {
  Fields s = current();
  fields(s, [&](auto& v) {
    if constexpr (sizeof v == 1) w.u8v(v);
    else if constexpr (sizeof v == 2) w.u16v(v);
    else w.u32v(u32(v));
  });
  if (!(s.running & waiting_mark)) return;
  w.u32v(BLITTER_WaitingCount);
  for (u32 i = 0; i < BLITTER_MaxWaiting; ++i) {
    const BLITTER_Write e = i < BLITTER_WaitingCount ? BLITTER_Waiting[i] : BLITTER_Write{};
    w.u32v(u32(e.size) << 8 | e.offset);
    w.u32v(e.value);
  }
}

namespace {

// A write the I/O page can hand the registers: a byte, word or long that
// starts inside them, its value as wide as the access. Unused slots are 0.
bool acceptable(const BLITTER_Write& e, bool used) {
  if (!used) return e.size == 0 && e.offset == 0 && e.value == 0;
  return e.offset <= 0x3d && e.size <= 2 && (e.size == 0 || e.value >> (e.size == 1 ? 16 : 8) == 0);
}

}  // namespace

bool BLITTER_Restore(StateReader& r) {
  Fields s;
  fields(s, [&](auto& v) {
    using T = std::remove_reference_t<decltype(v)>;
    if constexpr (sizeof v == 1) v = T(r.u8v());
    else if constexpr (sizeof v == 2) v = T(r.u16v());
    else v = T(r.u32v());
  });
  // A state is saved between instructions: an operation in it is one
  // stopped between two lines, which has lines left. The halftone line
  // indexes the sixteen halftone words.
  const u32 marks = s.running >> 16;
  const bool stopped = marks != 0;
  if (!r.ok() || (s.running != 0 && !((marks == 1 || marks == 3) && s.ycount != 0)) || s.line > 15)
    return false;
  BLITTER_Write waiting[BLITTER_MaxWaiting] = {};
  u32 count = 0;
  if (marks == 3) {
    count = r.u32v();
    bool fine = count >= 1 && count <= BLITTER_MaxWaiting;
    for (u32 i = 0; i < BLITTER_MaxWaiting; ++i) {
      const u32 where = r.u32v();
      waiting[i] = {u8(where), u8(where >> 8), r.u32v()};
      fine = fine && where <= 0xffff && acceptable(waiting[i], i < count);
    }
    if (!r.ok() || !fine) return false;
  }
  if (!r.applying()) return true;
  // Whatever else the file holds is taken as the registers' writes would
  // cut it: the operation-table index, the skew byte and its two flags, and
  // increments of 16 bits.
  BLITTER_Hop = s.hop & 3;
  BLITTER_Op = s.op & 15;
  BLITTER_Skew = s.skew & 0xcf;
  BLITTER_Fxsr = (s.skew & BLITTER_FxsrBit) ? 1 : 0;
  BLITTER_Nfsr = (s.skew & BLITTER_NfsrBit) ? 1 : 0;
  BLITTER_SrcXInc = i32(sext16(u32(s.src_x)));
  BLITTER_SrcYInc = i32(sext16(u32(s.src_y)));
  BLITTER_DstXInc = i32(sext16(u32(s.dst_x)));
  BLITTER_DstYInc = i32(sext16(u32(s.dst_y)));
  for (u32 i = 0; i < 16; ++i) {
    BLITTER_HalftoneSnap[i] = s.snap[i];
    BLITTER_Halftone[i] = s.halftone[i];
  }
  BLITTER_EndMask1 = s.mask1;
  BLITTER_EndMask2 = s.mask2;
  BLITTER_EndMask3 = s.mask3;
  BLITTER_XCount = s.xcount;
  BLITTER_YCount = s.ycount;
  BLITTER_LineCtl = s.linectl;
  BLITTER_DstAddr = s.dst;
  BLITTER_SrcAddr = s.src;
  BLITTER_HalftoneLine = s.line;
  BLITTER_LineStep = s.step;
  BLITTER_Stopped = stopped ? 1 : 0;
  BLITTER_CarryWord = u16(s.running);
  BLITTER_WaitingCount = count;
  std::copy(waiting, waiting + BLITTER_MaxWaiting, BLITTER_Waiting);
  return true;
}
