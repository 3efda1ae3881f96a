// Shifts and rotates run from assembled code against a model that shifts one
// bit at a time, for the counts where the closed forms change case.
#include <array>

#include "support/cpu_fixture_lines5f.h"

namespace {

enum Kind { AS, LS, ROX, RO };

struct Model {
  u32 value, c, v, x;
};

// One bit at a time, as the instruction definitions describe them.
Model shift_by_steps(Kind k, bool left, u32 w, u32 v, u32 n, u32 x) {
  const u32 mask = w == 32 ? 0xffffffffu : (1u << w) - 1;
  const u32 msb = 1u << (w - 1);
  v &= mask;
  Model m{v, k == ROX ? x : 0, 0, x};
  for (u32 i = 0; i < n; ++i) {
    const u32 out = left ? (v & msb ? 1 : 0) : v & 1;
    u32 in = 0;
    if (k == AS && !left) in = v & msb ? 1 : 0;
    if (k == RO) in = out;
    if (k == ROX) in = m.x;
    const u32 before = v & msb;
    v = left ? ((v << 1) | in) & mask : (v >> 1) | (in ? msb : 0);
    if (k == AS && left && (v & msb) != before) m.v = 1;
    m.c = out;
    if (k != RO) m.x = out;
  }
  m.value = v;
  return m;
}

constexpr Kind kinds[4] = {AS, LS, ROX, RO};
const char* const kind_names[4] = {"AS", "LS", "ROX", "RO"};

class Shifts : public CpuLines5F {
 protected:
  void SetUp() override {
    CpuLines5F::SetUp();
    load("l5f_shifts");
  }

  // Runs form `index` on d0 with d1 = count and checks it against the model.
  void check(u32 index, Kind k, bool left, u32 size, u32 operand, u32 count, u32 x) {
    const u32 w = 8 * size;
    const u32 mask = w == 32 ? 0xffffffffu : (1u << w) - 1;
    d(0) = operand;
    d(1) = count;
    set_ccr(x ? kX | kZ : kN | kV | kC);
    const u32 cycles = step_at(2 * index);
    const u32 n = count & 63;
    const Model m = shift_by_steps(k, left, w, operand, n, x);
    const std::string what = std::string(kind_names[k]) + (left ? "L." : "R.") + "bwl"[size >> 1] +
                             " count " + std::to_string(count) + " of " +
                             std::to_string(operand) + " X=" + std::to_string(x);
    EXPECT_EQ(d(0), (operand & ~mask) | m.value) << what;
    const u32 n_flag = (m.value >> (w - 1)) & 1;
    const u32 z_flag = m.value == 0;
    EXPECT_EQ(ccr(), (m.x << 4) | (n_flag << 3) | (z_flag << 2) | (m.v << 1) | m.c) << what;
    EXPECT_EQ(cycles, (size == 4 ? 8 : 6) + 2 * n) << what;
    EXPECT_EQ(pc(), 2 * index + 2);
  }
};

const u32 operands[] = {0x00000000, 0xffffffff, 0x80000001, 0x40000000, 0x12345678,
                        0x80000000, 0x00000001, 0x7fffffff, 0xc0a05081, 0x00008080};

}  // namespace

TEST_F(Shifts, RegisterCountsAtEveryCaseBoundary) {
  u32 index = 0;
  for (const Kind k : kinds)
    for (const bool left : {false, true})
      for (const u32 size : {1u, 2u, 4u}) {
        const u32 w = 8 * size;
        const std::array<u32, 10> counts = {0, 1, w - 1, w, w + 1, 32, 33, 63, 64, 0x101};
        for (const u32 count : counts)
          for (const u32 operand : operands)
            for (const u32 x : {0u, 1u}) check(index, k, left, size, operand, count, x);
        ++index;
      }
}

TEST_F(Shifts, ImmediateCountEight) {
  u32 index = 24;
  for (const Kind k : kinds)
    for (const bool left : {false, true})
      for (const u32 size : {1u, 2u, 4u}) {
        for (const u32 operand : operands) {
          for (const u32 x : {0u, 1u}) {
            // The count register is not looked at: field 0 means 8.
            d(0) = operand;
            d(1) = 3;
            set_ccr(x ? kX : 0);
            const u32 cycles = step_at(2 * index);
            const u32 w = 8 * size;
            const u32 mask = w == 32 ? 0xffffffffu : (1u << w) - 1;
            const Model m = shift_by_steps(k, left, w, operand, 8, x);
            EXPECT_EQ(d(0), (operand & ~mask) | m.value) << index;
            EXPECT_EQ(ccr() & (kX | kV | kC), (m.x << 4) | (m.v << 1) | m.c) << index;
            EXPECT_EQ(cycles, (size == 4 ? 8 : 6) + 16);
          }
        }
        ++index;
      }
}

TEST_F(Shifts, MemoryFormsShiftOneWordInPlace) {
  u32 index = 48;
  for (const Kind k : kinds)
    for (const bool left : {false, true}) {
      for (const u32 operand : {0x8001u, 0x4000u, 0x0001u, 0xffffu, 0x0000u}) {
        for (const u32 x : {0u, 1u}) {
          // Table 4 takes an odd address unchecked; table 5 an even one.
          const u32 at = m68k_prefetch_mode ? 0x3000 : 0x3001;
          a(0) = at;
          ww(at, operand);
          set_ccr(x ? kX : 0);
          EXPECT_EQ(step_at(2 * index), 12u);
          const Model m = shift_by_steps(k, left, 16, operand, 1, x);
          EXPECT_EQ(rw(at), m.value) << kind_names[k] << left << " " << operand;
          EXPECT_EQ(ccr(), (m.x << 4) | ((m.value >> 15) << 3) | ((m.value == 0) << 2) |
                               (m.v << 1) | m.c)
              << kind_names[k] << left << " " << operand;
          EXPECT_EQ(a(0), at);
        }
      }
      ++index;
    }
}

// The count register is read before the destination is written.
TEST_F(Shifts, CountRegisterEqualToDestinationUsesTheOldValue) {
  code_at(0x1000, {0xe1a8});  // lsl.l d0,d0
  d(0) = 4;
  EXPECT_EQ(step(), 16u);
  EXPECT_EQ(d(0), 0x40u);
}

TEST_F(Shifts, SpotValuesOfTheDefinition) {
  // asr.b #8,d0 of 0x81: all ones, C = X = 1, 22 cycles.
  code_at(0x1000, {0xe000});
  d(0) = 0x12345681;
  EXPECT_EQ(step(), 22u);
  EXPECT_EQ(d(0), 0x123456ffu);
  EXPECT_EQ(ccr(), kX | kN | kC);
  // asl.l d1,d0 by 32 of 1: 0 with Z, V, C and X; by 33: V only.
  code_at(0x1000, {0xe3a0});
  d(0) = 1;
  d(1) = 32;
  EXPECT_EQ(step(), 72u);
  EXPECT_EQ(d(0), 0u);
  EXPECT_EQ(ccr(), kX | kZ | kV | kC);
  m68k_jump_to(0x1000);
  d(0) = 1;
  d(1) = 33;
  step();
  EXPECT_EQ(ccr(), kZ | kV);
  // asr.l d1,d0 with count 63 costs 134 cycles.
  code_at(0x1000, {0xe2a0});
  d(0) = 0x80000000;
  d(1) = 63;
  EXPECT_EQ(step(), 134u);
  EXPECT_EQ(d(0), 0xffffffffu);
}
