// Operation templates of the 68020 bit-field instructions of line E:
// BFTST, BFEXTU, BFCHG, BFEXTS, BFCLR, BFFFO, BFSET and BFINS on a data
// register (the field wraps round the register) and on memory (the field
// lies in the 40 bits of the long at the field's first byte and the byte
// after it).
#pragma once

#include "cpu/handlers/common/line5f_support.h"

namespace m68k_ops::l5f {

// The eight instructions, in the order of opcode bits 10-8.
enum BfOp : u32 { BfTst, BfExtu, BfChg, BfExts, BfClr, BfFfo, BfSet, BfIns };

// Sets the flags from the field (w bits, right-aligned) and returns the new
// field value for the instructions that change it; writes the extension
// word's register for those that load it.
template <BfOp Op>
M68K_INLINE u32 bitfield_apply(u32 field, u32 w, i32 offset, u32 ext, u32 insert) {
  m68k_regs& r = m68k_regfile;
  m68k_flags& f = m68k_ccflags;
  const u32 mask = w == 32 ? 0xffffffffu : (1u << w) - 1;
  const u32 top = 1u << (w - 1);
  const u32 flags_from = Op == BfIns ? insert & mask : field;
  f.n = (flags_from & top) ? 1 : 0;
  f.z = flags_from == 0 ? 1 : 0;
  f.v = 0;
  f.c = 0;
  u32& dest = r.d[(ext >> 12) & 7];
  if constexpr (Op == BfExtu) {
    if (!m68k_faulted()) dest = field;
  } else if constexpr (Op == BfExts) {
    if (!m68k_faulted()) dest = (field & top) ? field | ~mask : field;
  } else if constexpr (Op == BfFfo) {
    u32 k = 0;
    while (k < w && !(field & (top >> k))) ++k;
    if (!m68k_faulted()) dest = u32(offset) + k;
  }
  if constexpr (Op == BfChg) return field ^ mask;
  else if constexpr (Op == BfClr) return 0;
  else if constexpr (Op == BfSet) return mask;
  else if constexpr (Op == BfIns) return insert & mask;
  else return field;
}

template <BfOp Op>
constexpr bool bitfield_writes = Op == BfChg || Op == BfClr || Op == BfSet || Op == BfIns;

// Cycles by mode, the same for all eight instructions.
template <Mode M>
constexpr u32 bitfield_cycles() {
  switch (M) {
    case Dreg: case Aind: return 8;
    case Ad8r: case PC8r: return 14;
    case absl: return 16;
    default: return 12;
  }
}

// BFxxx <ea>{offset:width}. Offset and width come from the extension word
// or from data registers; every register the extension word names is read
// before any is written. A register offset is used whole: on memory it is
// signed, so a negative one reaches below the operand's address.
template <BfOp Op, Mode M, Index X = Ix000>
M68K_INLINE u32 bitfield(u32 opcode) {
  m68k_regs& r = m68k_regfile;
  Stream st;
  const u32 ext = st.word();
  const i32 offset = i32(ext & 0x800 ? r.d[(ext >> 6) & 7] : (ext >> 6) & 31);
  const u32 w = (((ext & 0x20 ? r.d[ext & 7] : ext) - 1) & 31) + 1;
  const u32 insert = r.d[(ext >> 12) & 7];
  const u32 mask = w == 32 ? 0xffffffffu : (1u << w) - 1;
  if constexpr (M == Dreg) {
    // Rotated so that the field starts at bit 31.
    u32& dn = r.d[opcode & 7];
    const u32 o = u32(offset) & 31;
    const u32 rotated = o ? (dn << o) | (dn >> (32 - o)) : dn;
    const u32 shift = 32 - w;
    const u32 field = (rotated >> shift) & mask;
    const u32 value = bitfield_apply<Op>(field, w, offset, ext, insert);
    if constexpr (bitfield_writes<Op>) {
      const u32 next = (rotated & ~(mask << shift)) | (value << shift);
      dn = o ? (next >> o) | (next << (32 - o)) : next;
    }
    r.pcHost += 4;
  } else {
    const Ea<M, B, X> ea(opcode & 7, st);
    const u32 at = ea.addr + u32(offset >> 3);
    const u32 b = u32(offset) & 7;
    const u64 data = (u64(MMU_ReadL(at)) << 8) | MMU_ReadB(at + 4);
    const u32 shift = 40 - b - w;
    const u32 field = u32(data >> shift) & mask;
    const u32 value = bitfield_apply<Op>(field, w, offset, ext, insert);
    if constexpr (bitfield_writes<Op>) {
      const u64 next = (data & ~(u64(mask) << shift)) | (u64(value) << shift);
      MMU_WriteL(at, u32(next >> 8));
      if (b + w > 32) MMU_WriteB(at + 4, u32(next) & 0xff);
    }
    st.finish();
  }
  return bitfield_cycles<M>();
}

}  // namespace m68k_ops::l5f
