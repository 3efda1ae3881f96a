// The sound chip's saved-state section: 6 bytes, the two spare bytes and the
// selected register.
#include "machine/psg.h"
#include "machine/sections.h"

namespace {
u8 spare[2];
}

void PSG_SaveState(StateWriter& w) {
  w.u8v(spare[0]);
  w.u8v(spare[1]);
  w.u32v(PSG_Select);
}

bool PSG_RestoreState(StateReader& r) {
  const u32 s0 = r.u8v(), s1 = r.u8v(), select = r.u32v();
  // The selection indexes the sixteen register copies.
  if (!r.ok() || select > 15) return false;
  if (r.applying()) {
    spare[0] = u8(s0);
    spare[1] = u8(s1);
    PSG_Select = select;
  }
  return true;
}
