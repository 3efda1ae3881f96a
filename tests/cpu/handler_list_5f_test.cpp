// The member list of the lines 5-F handlers against the decode tables: every
// representative opcode of lines 5-F that a table's levels admit is served
// by exactly one lines 5-F handler of that table.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cpu/decode.h"
#include "cpu/handler_tables.h"
#include "cpu/registers.h"

namespace {

struct listed {
  u32 base;
  u8 tables;
  const char* group;
};

const listed lines_5_f[] = {
#define M68K_HANDLER(base, group, ...) {0x##base, M68K_GROUP_##group, #group},
#include "cpu/handlers/lines_5_f.inc"
#undef M68K_HANDLER
};

class HandlerList5F : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    m68k_registers_reset();
    m68k_decode_init();
  }
};

bool is_representative(u32 op) {
  const m68k_decode_rec& r = m68k_decode[op];
  return r.mnemonic && r.handlerOpcode == m68k_no_handler;
}

}  // namespace

TEST_F(HandlerList5F, EveryRepresentativeIsListedOncePerTable) {
  for (u32 t = 0; t < 5; ++t) {
    const u32 level = m68k_handler_table_level(t);
    const u8 bit = u8(1u << t);
    std::vector<u32> count(65536, 0);
    for (const listed& h : lines_5_f)
      if (h.tables & bit) ++count[h.base];
    for (u32 op = 0x5000; op < 0x10000; ++op) {
      if (!is_representative(op) || m68k_decode[op].level() > level) {
        EXPECT_EQ(count[op], 0u) << "table " << t << " lists " << std::hex << op;
        continue;
      }
      EXPECT_EQ(count[op], 1u) << "table " << t << " " << std::hex << op << " "
                               << m68k_mnemonic_name(m68k_decode[op].mnemonic);
    }
  }
}

// The rows the 68000 table takes from this list: every lines 5-F class of
// level 0, with the twins of the indexed forms and of the byte-0xFF branches
// split between the tables 0-2 and tables 3-4 members.
TEST_F(HandlerList5F, The68000TableRowsOfLines5F) {
  u32 t4 = 0, t012 = 0, t34 = 0, level0 = 0;
  for (const listed& h : lines_5_f) {
    if (h.tables & M68K_GROUP_t4) ++t4;
    if (std::strcmp(h.group, "t012") == 0) ++t012;
    if (std::strcmp(h.group, "t34") == 0) ++t34;
  }
  for (u32 op = 0x5000; op < 0x10000; ++op)
    if (is_representative(op) && m68k_decode[op].level() == 0) ++level0;
  EXPECT_EQ(t4, level0);
  EXPECT_EQ(t4, 766u);
  EXPECT_EQ(t34, 110u);  // 95 indexed forms and 15 byte-0xFF branches
  EXPECT_EQ(t012, t34 + 108u);  // and TRAPcc, PACK, UNPK and the bit fields
  u32 rows5f = 0;
  for (const m68k_handler_row* row = m68k_handlers_t4; row->handler; ++row)
    if (row->base >= 0x5000) ++rows5f;
  EXPECT_EQ(rows5f, 766u);
}

// Table 4 filled, the dispatch of lines 5-F covers every 68000 opcode there
// and leaves the others on the default handler.
TEST_F(HandlerList5F, DispatchOfLines5FOnThe68000Table) {
  m68k_build_dispatch_from(m68k_handlers_t4, false);
  u32 live = 0;
  for (u32 op = 0x5000; op < 0x10000; ++op) {
    const m68k_decode_rec& r = m68k_decode[op];
    const bool defined = r.mnemonic && r.level() == 0;
    EXPECT_EQ(m68k_dispatch[op] != m68k_default_handler, defined) << std::hex << op;
    live += m68k_dispatch[op] != m68k_default_handler;
  }
  EXPECT_GT(live, 0u);
  EXPECT_EQ(m68k_dispatch[0x4AFC], m68k_default_handler);  // ILLEGAL
  EXPECT_EQ(m68k_dispatch[0x7100], m68k_default_handler);  // bit 8 set: not MOVEQ
  EXPECT_EQ(m68k_dispatch[0x56FA], m68k_default_handler);  // TRAPNE.W is 68020
  EXPECT_EQ(m68k_dispatch[0x8140], m68k_default_handler);  // PACK is 68020
  EXPECT_NE(m68k_dispatch[0x61FF], m68k_default_handler);  // BSR.L on every table
  EXPECT_NE(m68k_dispatch[0x67FF], m68k_default_handler);  // the odd one-word branch
  // Once lines 0-4 are complete, the whole table has its final shape.
  if (m68k_handler_table_complete[4]) {
    EXPECT_EQ(m68k_handler_table_rows[4], 1584u);
    u32 all = 0;
    for (u32 op = 0; op < 65536; ++op) all += m68k_dispatch[op] != m68k_default_handler;
    EXPECT_EQ(all, 46334u);
    EXPECT_EQ(65536u - all, 19202u);
  }
}
