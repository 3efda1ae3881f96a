// One saved-state section written to memory and read back the way the file
// reader does it.
#pragma once

#include <vector>

#include "machine/state_io.h"

// Bytes a section writes.
template <class F>
std::vector<u8> saved(F save) {
  std::vector<u8> bytes;
  StateWriter w(bytes);
  save(w);
  return bytes;
}

// A checking pass, then, when it accepted, the storing pass; the section must
// take every byte. 1 when restored, 0 when refused (nothing changed then).
template <class F>
u32 restored(const std::vector<u8>& bytes, F restore) {
  StateReader check(bytes.data(), bytes.size(), false);
  if (!restore(check) || !check.ok() || check.left() != 0) return 0;
  StateReader apply(bytes.data(), bytes.size(), true);
  return restore(apply) ? 1 : 0;
}
