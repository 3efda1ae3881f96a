#include "cpu/effective_address.h"

#include "cpu/bus.h"


namespace {

// A displacement of the full format at pcHost: size code 2 a word, 3 a long,
// anything else none.
u32 read_displacement(u32 sizeCode) {
  m68k_regs& r = m68k_regfile;
  if (sizeCode == 2) {
    const u32 v = sext16(be_read16(r.pcHost));
    r.pcHost += 2;
    return v;
  }
  if (sizeCode == 3) {
    const u32 v = be_read32(r.pcHost);
    r.pcHost += 4;
    return v;
  }
  return 0;
}

}  // namespace

u32 m68k_ea_indexed020(u32 base, u32 ext) {
  const u32 scale = (ext >> 9) & 3;
  if (!(ext & 0x100)) return base + sext8(ext) + (m68k_ea_index_value(ext) << scale);

  const u32 index = (ext & 0x40) ? 0 : m68k_ea_index_value(ext) << scale;
  if (ext & 0x80) base = 0;
  const u32 baseDisp = read_displacement((ext >> 4) & 3);
  const u32 outer = read_displacement(ext & 3);
  if ((ext & 3) == 0) return base + baseDisp + index;
  if (ext & 4) {  // post-indexed
    const u32 pointer = MMU_ReadL(base + baseDisp);
    return pointer + index + outer;
  }
  const u32 pointer = MMU_ReadL(base + baseDisp + index);  // pre-indexed
  return pointer + outer;
}
