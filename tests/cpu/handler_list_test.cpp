// Judges the member list of opcode lines 0-4 against the decode tables:
// every representative opcode of those lines that a table's CPU model
// executes is listed exactly once in that table, by a handler whose name and
// table group follow the opcode's form.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/handler_tables.h"
#include "cpu/handlers/handler_declarations.h"
#include "cpu/registers.h"

namespace {

struct Member {
  const char* group;
  m68k_handler fn;
  u32 base;
};

const std::vector<Member>& members() {
  static const std::vector<Member> list = {
#define M68K_HANDLER(base, group, ...) {#group, &m68k_exec_##base##_##group, 0x##base},
#include "cpu/handlers/handler_list.inc"
#undef M68K_HANDLER
  };
  return list;
}

u8 group_bits(const std::string& g) {
  u8 bits = 0;
  for (size_t i = 1; i < g.size(); ++i) bits |= u8(1u << (g[i] - '0'));
  return bits;
}

bool indexed(const m68k_decode_rec& r) {
  auto ix = [](u32 m) { return m == m68k_mode_Ad8r || m == m68k_mode_PC8r; };
  return (r.srcPresent() && ix(r.srcMode())) || (r.dstPresent() && ix(r.dstMode()));
}

// The table groups whose handlers serve a representative, by its form.
std::vector<std::string> expected_groups(u32 op, const m68k_decode_rec& r) {
  const std::string name = m68k_mnemonic_name(r.mnemonic);
  const bool ix = indexed(r);
  if (name == "MVSR2" && r.size() == 1)  // MOVE from SR: free on the 68000
    return ix ? std::vector<std::string>{"t012", "t3", "t4"} : std::vector<std::string>{"t0123", "t4"};
  if (name == "MVSR2")  // MOVE from CCR, 68010 on
    return ix ? std::vector<std::string>{"t012", "t3"} : std::vector<std::string>{"t0123"};
  if (op == 0x4e73) return {"t0123", "t4"};  // RTE: frame formats from the 68010 on
  if (r.level() == 1) return {"t0123"};       // MOVEC
  if (r.level() == 2) return {"t012"};        // the 68020's own instructions
  if (ix) return {"t012", "t34"};
  return {"t01234"};
}

class HandlerList : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    m68k_registers_reset();
    m68k_decode_init();
  }
};

}  // namespace

TEST_F(HandlerList, EveryFormOfLines0To4HasItsHandlersUnderTheirGroups) {
  std::map<u32, std::vector<std::string>> listed;  // base -> groups
  for (const Member& m : members()) {
    // The prefetch table's own rows are judged by its own test.
    if (m.base >= 0x5000 || std::string(m.group) == "t5") continue;
    EXPECT_NE(m.fn, &m68k_exec_unassigned) << std::hex << m.base;
    listed[m.base].push_back(m.group);
  }
  u32 representatives = 0;
  for (u32 op = 0; op < 0x5000; ++op) {
    const m68k_decode_rec& r = m68k_decode[op];
    if (!r.mnemonic || r.handlerOpcode != m68k_no_handler) continue;
    ++representatives;
    std::vector<std::string> groups = listed[op];
    std::vector<std::string> want = expected_groups(op, r);
    std::sort(groups.begin(), groups.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(groups, want) << std::hex << op << " " << m68k_mnemonic_name(r.mnemonic);
    listed.erase(op);
  }
  EXPECT_TRUE(listed.empty()) << "handler for a non-representative " << std::hex << listed.begin()->first;
  EXPECT_EQ(representatives, 926u);
}

TEST_F(HandlerList, EachTableListsEveryRepresentativeOfItsLevelsOnce) {
  for (u32 t = 0; t < 5; ++t) {
    const u32 level = m68k_handler_table_level(t);
    std::map<u32, u32> count;
    for (const m68k_handler_row* row = m68k_handler_tables[t]; row->handler; ++row)
      if (row->base < 0x5000) ++count[row->base];
    u32 rows = 0;
    for (u32 op = 0; op < 0x5000; ++op) {
      const m68k_decode_rec& r = m68k_decode[op];
      if (!r.mnemonic || r.handlerOpcode != m68k_no_handler || r.level() > level) {
        EXPECT_EQ(count.count(op), 0u) << "table " << t << " " << std::hex << op;
        continue;
      }
      EXPECT_EQ(count[op], 1u) << "table " << t << " " << std::hex << op;
      ++rows;
    }
    u32 listedRows = 0;
    for (const auto& [op, n] : count) listedRows += n;
    EXPECT_EQ(listedRows, rows) << "table " << t;
    if (t == 4) {
      EXPECT_EQ(listedRows, 818u);
    }
  }
}

// The members a table lists come from the groups that name it, so a handler
// shared by several tables is one function.
TEST_F(HandlerList, GroupsDecideWhichTablesShareAHandler) {
  for (const Member& m : members()) {
    if (m.base >= 0x5000) continue;
    const u8 bits = group_bits(m.group);
    for (u32 t = 0; t < 5; ++t) {
      m68k_handler found = nullptr;
      for (const m68k_handler_row* row = m68k_handler_tables[t]; row->handler; ++row)
        if (row->base == m.base) found = row->handler;
      if (bits & (1u << t)) {
        EXPECT_EQ(found, m.fn) << m.group << " " << std::hex << m.base;
      } else {
        EXPECT_NE(found, m.fn) << m.group << " " << std::hex << m.base;
      }
    }
  }
}
