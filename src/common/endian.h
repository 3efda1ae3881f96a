// Big-endian access to emulated memory and saved records.
//
// The ST is big-endian and the host is not: every read or write of an
// emulated word or long, and every field of a saved-state file, goes through
// these helpers.
#pragma once

#include <cstring>

#include "common/types.h"

inline u32 be_read16(const u8* p) { return (u32(p[0]) << 8) | p[1]; }

inline u32 be_read32(const u8* p) {
  return (u32(p[0]) << 24) | (u32(p[1]) << 16) | (u32(p[2]) << 8) | p[3];
}

inline void be_write16(u8* p, u32 v) {
  p[0] = u8(v >> 8);
  p[1] = u8(v);
}

inline void be_write32(u8* p, u32 v) {
  p[0] = u8(v >> 24);
  p[1] = u8(v >> 16);
  p[2] = u8(v >> 8);
  p[3] = u8(v);
}

// Sign extension of byte and word operands to 32 bits.
inline u32 sext8(u32 v) { return u32(i32(i8(u8(v)))); }
inline u32 sext16(u32 v) { return u32(i32(i16(u16(v)))); }
