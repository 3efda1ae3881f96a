// A quick hash of a file's bytes that tells one version of the file from
// another (not a cryptographic one): four lanes of eight bytes hashed side
// by side with FNV-1a steps. The bytes come in pieces; each piece's tail
// short of 32 bytes counts as zeros.
#pragma once

#include <cstddef>
#include <cstring>

#include "common/types.h"

struct LaneHash {
  u64 lane[4] = {0xcbf29ce484222325, 1, 2, 3};

  void add(const u8* data, size_t n) {
    u64 group[4];
    for (; n >= 32; data += 32, n -= 32) {
      std::memcpy(group, data, 32);
      mix(group);
    }
    if (n == 0) return;
    std::memset(group, 0, sizeof group);
    std::memcpy(group, data, n);
    mix(group);
  }
  u64 value() const { return lane[0] ^ (lane[1] * 3) ^ (lane[2] * 5) ^ (lane[3] * 7); }

 private:
  void mix(const u64* group) {
    for (u32 k = 0; k < 4; ++k) lane[k] = (lane[k] ^ group[k]) * 0x100000001b3;
  }
};
