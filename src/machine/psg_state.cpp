// The sound chip's saved-state section: 6 bytes, the two spare bytes and the
// selected register.
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
    PSG_RegCopy.spare[0] = u8(s0);
    PSG_RegCopy.spare[1] = u8(s1);
    PSG_RegCopy.selected = select;
  }
  return true;
}
