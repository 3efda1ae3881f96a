// The sound chip's saved-state section: 6 bytes, the two spare bytes and the
// selected register; the registers' copies, which the ST reads back, are in
// the extension.
#include "host/options.h"
#include "machine/psg.h"
#include "machine/sections.h"

void PSG_SaveState(StateWriter& w) {
  w.u8v(PSG_RegCopy.spare[0]);
  w.u8v(PSG_RegCopy.spare[1]);
  w.u32v(PSG_RegCopy.selected);
}

bool PSG_RestoreState(StateReader& r) {
  const u32 s0 = r.u8v(), s1 = r.u8v(), select = r.u32v();
  // The selection indexes the sixteen registers.
  if (!r.ok() || select > 15) return false;
  if (r.applying()) {
    PRINTER_KeepOutput();
    PSG_RegCopy.spare[0] = u8(s0);
    PSG_RegCopy.spare[1] = u8(s1);
    PSG_RegCopy.selected = select;
  }
  return true;
}

void PSG_SaveExtension(StateWriter& w) {
  for (u32 reg = 0; reg < 14; ++reg) w.u8v(PSG_CopyOf(reg));
}

bool PSG_RestoreExtension(StateReader& r) {
  u8 regs[14];
  r.bytes(regs, sizeof regs);
  if (!r.ok()) return false;
  for (u32 reg = 0; reg < 14; ++reg)
    if (regs[reg] & ~PSG_RegisterMask[reg]) return false;
  if (!r.applying()) return true;
  for (u32 reg = 0; reg < 14; ++reg) {
    PSG_SetCopy(reg, regs[reg]);
    // The synthesis plays on from the same registers.
    if (PREFS_SoundOn) PSG_WriteReg(reg, regs[reg]);
  }
  if (PREFS_SoundOn) PSG_Select(PSG_RegCopy.selected);
  return true;
}
