// The Blitter's saved-state section: 116 bytes. The register fields are
// taken from and put back into the register block; the halftone snapshot,
// the current halftone line and the line step are the operation's own
// working values.
#include "blitter/blitter.h"
#include "common/endian.h"
#include "machine/sections.h"

u16 BLITTER_HalftoneSnap[16];
u32 BLITTER_HalftoneLine;
u32 BLITTER_LineStep;

namespace {
// Offsets in the register block at 0xff8a00.
constexpr u32 halftone = 0x00, src_xinc = 0x20, src_yinc = 0x22, src_addr = 0x24;
constexpr u32 endmask1 = 0x28, endmask2 = 0x2a, endmask3 = 0x2c, dst_xinc = 0x2e;
constexpr u32 dst_yinc = 0x30, dst_addr = 0x32, xcount = 0x36, ycount = 0x38;
constexpr u32 hop = 0x3a, op = 0x3b, linectl = 0x3c, skew = 0x3d;

u32 reg16(u32 off) { return be_read16(BLITTER_Regs + off); }
u32 reg32(u32 off) { return be_read32(BLITTER_Regs + off); }
}  // namespace

void BLITTER_Save(StateWriter& w) {
  w.u32v(BLITTER_Running);
  for (u16 h : BLITTER_HalftoneSnap) w.u16v(h);
  for (u32 i = 0; i < 16; ++i) w.u16v(reg16(halftone + 2 * i));
  w.u16v(reg16(endmask1));
  w.u16v(reg16(endmask2));
  w.u16v(reg16(endmask3));
  w.u8v((BLITTER_Regs[skew] >> 6) & 1);  // no final source read
  w.u8v((BLITTER_Regs[skew] >> 7) & 1);  // force extra source read
  w.u16v(reg16(xcount));
  w.u16v(reg16(ycount));
  w.u8v(BLITTER_Regs[hop]);
  w.u8v(BLITTER_Regs[op]);
  w.u8v(BLITTER_Regs[linectl]);
  w.u8v(BLITTER_Regs[skew]);
  w.u32v(reg32(dst_addr));
  w.u32v(reg32(src_addr));
  w.u32v(BLITTER_HalftoneLine);
  w.u32v(BLITTER_LineStep);
  w.u32v(sext16(reg16(src_xinc)));
  w.u32v(sext16(reg16(src_yinc)));
  w.u32v(sext16(reg16(dst_xinc)));
  w.u32v(sext16(reg16(dst_yinc)));
}

bool BLITTER_Restore(StateReader& r) {
  const u32 running = r.u32v();
  u16 snap[16];
  for (u16& h : snap) h = u16(r.u16v());
  u8 regs[sizeof BLITTER_Regs] = {};
  for (u32 i = 0; i < 16; ++i) be_write16(regs + halftone + 2 * i, r.u16v());
  be_write16(regs + endmask1, r.u16v());
  be_write16(regs + endmask2, r.u16v());
  be_write16(regs + endmask3, r.u16v());
  r.skip(2);  // the two skew flags travel in the skew byte as well
  be_write16(regs + xcount, r.u16v());
  be_write16(regs + ycount, r.u16v());
  regs[hop] = u8(r.u8v());
  regs[op] = u8(r.u8v());
  regs[linectl] = u8(r.u8v());
  regs[skew] = u8(r.u8v());
  be_write32(regs + dst_addr, r.u32v());
  be_write32(regs + src_addr, r.u32v());
  const u32 line = r.u32v(), step = r.u32v();
  be_write16(regs + src_xinc, r.u32v());
  be_write16(regs + src_yinc, r.u32v());
  be_write16(regs + dst_xinc, r.u32v());
  be_write16(regs + dst_yinc, r.u32v());
  // A saved machine is between instructions: no operation can be running.
  // The halftone line indexes the sixteen halftone words.
  if (!r.ok() || running != 0 || line > 15) return false;
  if (!r.applying()) return true;
  for (u32 i = 0; i < 16; ++i) BLITTER_HalftoneSnap[i] = snap[i];
  for (u32 i = 0; i < sizeof regs; ++i) BLITTER_Regs[i] = regs[i];
  BLITTER_HalftoneLine = line;
  BLITTER_LineStep = step;
  return true;
}
