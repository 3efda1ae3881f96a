#include "cpu/effective_address.h"

#include "machine/memory.h"

u32 m68k_ea_indexed020(u32 base, u32 ext) {
  m68k_regs& r = m68k_regfile;
  const u32 scale = (ext >> 9) & 3;
  if (!(ext & 0x100)) return base + sext8(ext) + (m68k_ea_index_value(ext) << scale);

  const u32 index = (ext & 0x40) ? 0 : m68k_ea_index_value(ext) << scale;
  if (ext & 0x80) base = 0;
  u32 baseDisp = 0;
  switch ((ext >> 4) & 3) {
    case 2:
      baseDisp = sext16(be_read16(r.pcHost));
      r.pcHost += 2;
      break;
    case 3:
      baseDisp = be_read32(r.pcHost);
      r.pcHost += 4;
      break;
    default: break;
  }
  u32 outer = 0;
  switch (ext & 3) {
    case 2:
      outer = sext16(be_read16(r.pcHost));
      r.pcHost += 2;
      break;
    case 3:
      outer = be_read32(r.pcHost);
      r.pcHost += 4;
      break;
    default: break;
  }
  if ((ext & 3) == 0) return base + baseDisp + index;
  if (ext & 4) {  // post-indexed
    const u32 pointer = MMU_ReadL(base + baseDisp);
    return pointer + index + outer;
  }
  const u32 pointer = MMU_ReadL(base + baseDisp + index);  // pre-indexed
  return pointer + outer;
}
