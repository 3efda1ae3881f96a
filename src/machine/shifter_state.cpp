// The Shifter's saved-state section (108 bytes) and its part of the extension.
#include "machine/sections.h"
#include "machine/shifter.h"

void SHIFTER_SaveState(StateWriter& w) {
  w.u32v(SHIFTER_VideoAddress);
  w.u32v(SHIFTER_Mode);
  w.u32v(SHIFTER_ChangePending);
  w.u32v(SHIFTER_BottomBorderOpen);
  w.u32v(SHIFTER_Sync60Line);
  w.u32v(SHIFTER_SyncSwitchLog[1]);
  w.u32v(SHIFTER_SyncSwitchLog[0]);
  w.u32v(SHIFTER_SyncSwitchLog[2]);
  w.u32v(SHIFTER_SyncSwitchLog[3]);
  // The register block, 72 bytes.
  w.u8v(SHIFTER_BaseHigh);
  w.u8v(SHIFTER_BaseMid);
  for (u8 c : SHIFTER_Counter) w.u8v(c);
  w.u8v(SHIFTER_Sync);
  w.u16v(SHIFTER_Resolution);
  for (u32 p : SHIFTER_Palette) w.u32v(p);
}

bool SHIFTER_RestoreState(StateReader& r) {
  const u32 address = r.u32v();
  const u32 mode = r.u32v(), pending = r.u32v(), bottom = r.u32v();
  const u32 line60 = r.u32v();
  u32 log[4];
  log[1] = r.u32v();
  log[0] = r.u32v();
  log[2] = r.u32v();
  log[3] = r.u32v();
  const u32 high = r.u8v(), mid = r.u8v();
  u8 counter[3];
  r.bytes(counter, 3);
  const u32 sync = r.u8v(), resolution = r.u16v();
  u32 palette[16];
  for (u32& p : palette) p = r.u32v();
  if (!r.ok()) return false;
  // The mode picks the screen converter and the window size; a palette entry
  // is the 16-bit word written to its register.
  if (mode > 2 || resolution > 2 || bottom > 1) return false;
  for (u32 p : palette)
    if (p > 0xffff) return false;
  if (!r.applying()) return true;
  SHIFTER_VideoAddress = address;
  SHIFTER_Mode = mode;
  SHIFTER_ChangePending = pending;
  SHIFTER_BottomBorderOpen = bottom;
  SHIFTER_Sync60Line = line60;
  for (u32 i = 0; i < 4; ++i) SHIFTER_SyncSwitchLog[i] = log[i];
  SHIFTER_BaseHigh = u8(high);
  SHIFTER_BaseMid = u8(mid);
  SHIFTER_LoadBase = (high << 16) | (mid << 8);
  for (u32 i = 0; i < 3; ++i) SHIFTER_Counter[i] = counter[i];
  SHIFTER_Sync = u8(sync);
  SHIFTER_Resolution = u16(resolution);
  for (u32 i = 0; i < 16; ++i) SHIFTER_Palette[i] = palette[i];
  return true;
}

void SHIFTER_SaveExtension(StateWriter& w) { w.u32v(SHIFTER_TopBorderOpen); }

bool SHIFTER_RestoreExtension(StateReader& r) {
  const u32 top = r.u32v();
  if (!r.ok() || top > 1) return false;
  if (r.applying()) SHIFTER_TopBorderOpen = top;
  return true;
}
