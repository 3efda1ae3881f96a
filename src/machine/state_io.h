// The one serializer of the saved-state file: every field of every section
// goes through these two classes, big-endian, field by field.
//
// A section pair looks like this:
//
//   void CHIP_SaveState(StateWriter& w) { w.u32v(CHIP_Word); ... }
//   bool CHIP_RestoreState(StateReader& r) {
//     const u32 word = r.u32v(); ...
//     if (!r.ok() || word > limit) return false;   // refuse: nothing changed
//     if (r.applying()) CHIP_Word = word;           // second pass only
//     return true;
//   }
//
// The file is read twice from memory: a first pass in which every section
// only parses and checks its fields, and, when all of them accepted the file,
// a second pass that stores them. So a file is either restored whole or not
// at all.
#pragma once

#include <cstddef>
#include <cstring>
#include <vector>

#include "common/endian.h"
#include "common/types.h"

class StateWriter {
 public:
  explicit StateWriter(std::vector<u8>& out) : out_(out) {}

  void u8v(u32 v) { out_.push_back(u8(v)); }
  void u16v(u32 v) {
    u8 b[2];
    be_write16(b, v);
    out_.insert(out_.end(), b, b + 2);
  }
  void u32v(u32 v) {
    u8 b[4];
    be_write32(b, v);
    out_.insert(out_.end(), b, b + 4);
  }
  void i32v(i32 v) { u32v(u32(v)); }
  void bytes(const u8* p, size_t n) { out_.insert(out_.end(), p, p + n); }

  size_t size() const { return out_.size(); }

 private:
  std::vector<u8>& out_;
};

class StateReader {
 public:
  StateReader(const u8* data, size_t size, bool apply)
      : p_(data), left_(size), apply_(apply) {}

  // False once a read ran past the end; every later read yields zeros.
  bool ok() const { return ok_; }
  // True in the pass that stores the fields.
  bool applying() const { return apply_; }
  size_t left() const { return left_; }

  u32 u8v() { return take(1) ? last_[0] : 0; }
  u32 u16v() { return take(2) ? be_read16(last_) : 0; }
  u32 u32v() { return take(4) ? be_read32(last_) : 0; }
  i32 i32v() { return i32(u32v()); }
  // n bytes into dst (zeros when the file is short).
  void bytes(u8* dst, size_t n) {
    if (take(n)) std::memcpy(dst, last_, n);
    else std::memset(dst, 0, n);
  }
  // A view of the next n bytes inside the file, or null when it is short.
  const u8* view(size_t n) { return take(n) ? last_ : nullptr; }
  void skip(size_t n) { take(n); }

 private:
  bool take(size_t n) {
    if (!ok_ || n > left_) {
      ok_ = false;
      left_ = 0;
      return false;
    }
    last_ = p_;
    p_ += n;
    left_ -= n;
    return true;
  }

  const u8* p_;
  const u8* last_ = nullptr;
  size_t left_;
  bool apply_;
  bool ok_ = true;
};
