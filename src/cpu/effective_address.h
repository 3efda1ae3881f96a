// Indexed effective addresses of the 68000 and 68020 families.
#pragma once

#include "common/endian.h"
#include "common/types.h"
#include "cpu/registers.h"

// Index register chosen by extension bits 15-12 (D0-D7, A0-A7), whole when
// bit 11 is set, else its low word sign-extended.
inline u32 m68k_ea_index_value(u32 ext) {
  const u32 n = (ext >> 12) & 15;
  const u32 v = n < 8 ? m68k_regfile.d[n] : m68k_regfile.a[n - 8];
  return (ext & 0x800) ? v : sext16(v);
}

// 68000 brief format: base + signed 8-bit displacement + index; bits 10-8
// are ignored. A plain 32-bit sum; reads no memory.
inline u32 m68k_ea_indexed000(u32 base, u32 ext) {
  return base + sext8(ext) + m68k_ea_index_value(ext);
}

// 68020 brief and full formats. The full format reads its base and outer
// displacements at pcHost and advances it past them; memory-indirect forms
// read their pointer through the bank table.
u32 m68k_ea_indexed020(u32 base, u32 ext);
