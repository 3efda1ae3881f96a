#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/handler_tables.h"
#include "cpu/registers.h"

namespace {

u32 fake_handler(u32) { return 4; }

// A table with one row per representative opcode of the admitted levels.
std::vector<m68k_handler_row> synthetic_table(u32 maxLevel) {
  std::vector<m68k_handler_row> rows;
  for (u32 op = 0; op < 65536; ++op) {
    const m68k_decode_rec& r = m68k_decode[op];
    if (r.mnemonic && r.handlerOpcode == m68k_no_handler && r.level() <= maxLevel)
      rows.push_back({fake_handler, 0, u16(op), 0});
  }
  rows.push_back({nullptr, 0, 0, 0});
  return rows;
}

u32 live_entries() {
  u32 n = 0;
  for (u32 op = 0; op < 65536; ++op)
    if (m68k_dispatch[op] != m68k_default_handler) ++n;
  return n;
}

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    m68k_registers_reset();
    m68k_decode_init();
  }
  void TearDown() override { m68k_registers_reset(); }
};

}  // namespace

TEST_F(Dispatch, CompleteTableFillsEveryOpcodeOfItsLevels) {
  const auto rows = synthetic_table(0);
  EXPECT_EQ(rows.size() - 1, 1584u);
  m68k_build_dispatch_from(rows.data(), true);
  EXPECT_EQ(live_entries(), 46334u);
  EXPECT_EQ(65536u - live_entries(), 19202u);
  EXPECT_EQ(m68k_dispatch[0x4AFC], m68k_default_handler);  // ILLEGAL
  EXPECT_EQ(m68k_dispatch[0x4E7A], m68k_default_handler);  // MOVEC is 68010
  EXPECT_EQ(m68k_dispatch[0xA000], m68k_default_handler);  // line A
  EXPECT_EQ(m68k_dispatch[0x3E07], fake_handler);
}

TEST_F(Dispatch, LaterModelsAdmitTheirLevels) {
  const u32 expected[5] = {1584, 1594, 1800, 1840, 1866};
  for (u32 level = 0; level <= 4; ++level) {
    m68k_model = level;
    const auto rows = synthetic_table(level);
    EXPECT_EQ(rows.size() - 1, expected[level]);
    m68k_build_dispatch_from(rows.data(), true);
    EXPECT_NE(m68k_dispatch[0x4E7A] == m68k_default_handler, level >= 1) << level;
  }
}

TEST_F(Dispatch, CompleteTableMissingARowAborts) {
  auto rows = synthetic_table(0);
  rows.erase(rows.begin() + 100);  // a class with many members
  EXPECT_DEATH(m68k_build_dispatch_from(rows.data(), true), "No handler for opcode");
}

TEST_F(Dispatch, IncompleteTableLeavesMissingClassesOnTheDefault) {
  auto rows = synthetic_table(0);
  const u16 removed = rows[5].base;
  rows.erase(rows.begin() + 5);
  m68k_build_dispatch_from(rows.data(), false);
  EXPECT_EQ(m68k_dispatch[removed], m68k_default_handler);
  u32 members = 1;
  for (u32 op = 0; op < 65536; ++op)
    if (m68k_decode[op].handlerOpcode == removed) {
      EXPECT_EQ(m68k_dispatch[op], m68k_default_handler);
      ++members;
    }
  EXPECT_EQ(live_entries(), 46334u - members);
}

TEST_F(Dispatch, ModelAndPrefetchChooseTheTable) {
  EXPECT_EQ(m68k_select_handler_table(0, 0), 4u);
  EXPECT_EQ(m68k_select_handler_table(0, 1), 5u);
  EXPECT_EQ(m68k_select_handler_table(1, 1), 3u);
  EXPECT_EQ(m68k_select_handler_table(2, 0), 2u);
  EXPECT_EQ(m68k_select_handler_table(3, 0), 1u);
  EXPECT_EQ(m68k_select_handler_table(4, 0), 0u);
  EXPECT_EQ(m68k_select_handler_table(7, 0), 4u);
}

// Each handler table holds exactly the representatives of the levels its
// model admits, or a subset while it is being filled. Lists what is missing.
TEST_F(Dispatch, HandlerTablesListOnlyRepresentatives) {
  for (u32 t = 0; t < m68k_handler_table_count; ++t) {
    const u32 level = m68k_handler_table_level(t);
    std::vector<bool> listed(65536, false);
    u32 rows = 0;
    for (const m68k_handler_row* row = m68k_handler_tables[t]; row->handler; ++row, ++rows) {
      const m68k_decode_rec& r = m68k_decode[row->base];
      EXPECT_NE(r.mnemonic, 0) << "table " << t << " row " << std::hex << row->base;
      EXPECT_EQ(r.handlerOpcode, m68k_no_handler) << "table " << t << " row " << std::hex << row->base;
      EXPECT_LE(r.level(), level) << "table " << t << " row " << std::hex << row->base;
      EXPECT_FALSE(listed[row->base]) << "table " << t << " lists " << std::hex << row->base << " twice";
      listed[row->base] = true;
      EXPECT_EQ(row->specific, 0u);
    }
    EXPECT_EQ(rows, m68k_handler_table_rows[t]);
    u32 missing = 0;
    std::string sample;
    for (u32 op = 0; op < 65536; ++op) {
      const m68k_decode_rec& r = m68k_decode[op];
      if (r.mnemonic && r.handlerOpcode == m68k_no_handler && r.level() <= level && !listed[op]) {
        if (missing < 16) {
          char buf[24];
          std::snprintf(buf, sizeof buf, " %04x:%s", op, m68k_mnemonic_name(r.mnemonic));
          sample += buf;
        }
        ++missing;
      }
    }
    if (m68k_handler_table_complete[t]) {
      EXPECT_EQ(missing, 0u) << "table " << t;
    } else if (missing) {
      std::printf("handler table %u: %u classes still on the default handler, e.g.%s\n", t,
                  missing, sample.c_str());
    }
  }
}

TEST_F(Dispatch, BuildsTheSelectedTableWithoutAborting) {
  m68k_build_dispatch();
  // Whatever rows exist are installed at their base opcodes.
  for (const m68k_handler_row* row = m68k_handlers_t4; row->handler; ++row)
    EXPECT_EQ(m68k_dispatch[row->base], row->handler);
}
