// Raw big-endian fields of saved-state sections. Every field is written as it
// lies in the ST's byte order; a read reports whether all its bytes came.
#pragma once

#include <cstdio>

#include "common/endian.h"
#include "common/types.h"

inline bool state_put32(std::FILE* f, u32 v) {
  u8 b[4];
  be_write32(b, v);
  return std::fwrite(b, 1, 4, f) == 4;
}
inline bool state_put16(std::FILE* f, u32 v) {
  u8 b[2];
  be_write16(b, v);
  return std::fwrite(b, 1, 2, f) == 2;
}
inline bool state_put_bytes(std::FILE* f, const u8* p, size_t n) {
  return std::fwrite(p, 1, n, f) == n;
}
inline bool state_get32(std::FILE* f, u32& v) {
  u8 b[4];
  if (std::fread(b, 1, 4, f) != 4) return false;
  v = be_read32(b);
  return true;
}
inline bool state_get16(std::FILE* f, u32& v) {
  u8 b[2];
  if (std::fread(b, 1, 2, f) != 2) return false;
  v = be_read16(b);
  return true;
}
inline bool state_get_bytes(std::FILE* f, u8* p, size_t n) { return std::fread(p, 1, n, f) == n; }
