#include "cpu/handler_tables.h"

#include <array>
#include <cstddef>

#include "cpu/exceptions.h"
#include "cpu/handlers/handler_declarations.h"

namespace {

// While table 5 is being built, a row it does not have yet runs the 68000
// table's handler and then reloads the prefetch register from where that
// handler left the PC, so the next table-5 handler finds it as it expects.
template <m68k_handler H>
u32 table4_fallback(u32 opcode) {
  const u32 cycles = H(opcode);
  m68k_reload_prefetch();
  return cycles;
}

// The fallback of a table-4 handler (null for the handlers of other tables).
template <u8 Tables, m68k_handler H>
constexpr m68k_handler fallback_of() {
  if constexpr ((Tables & M68K_GROUP_t4) != 0) return &table4_fallback<H>;
  else return nullptr;
}

struct member {
  m68k_handler fn;
  m68k_handler fallback;
  u16 base;
  u8 tables;
};

constexpr member members[] = {
#define M68K_HANDLER(base, group, ...)                                                     \
  {&m68k_exec_##base##_##group, fallback_of<M68K_GROUP_##group, &m68k_exec_##base##_##group>(), \
   0x##base, M68K_GROUP_##group},
#include "cpu/handlers/handler_list.inc"
#undef M68K_HANDLER
    {nullptr, nullptr, 0, 0},  // keeps the list non-empty; lists no table
};

constexpr size_t rows_in(u8 tableBit) {
  size_t n = 0;
  for (const member& m : members)
    if (m.tables & tableBit) ++n;
  return n;
}

template <u32 Table>
constexpr auto build_table() {
  constexpr u8 bit = u8(1u << Table);
  std::array<m68k_handler_row, rows_in(bit) + 1> rows{};
  size_t i = 0;
  for (const member& m : members)
    if (m.tables & bit) rows[i++] = m68k_handler_row{m.fn, 0, m.base, 0};
  rows[i] = m68k_handler_row{nullptr, 0, 0, 0};
  return rows;
}

// Table 5: its own rows, then a fallback row for every table-4 base it does
// not list yet. The fallback goes once table 5 has all its rows.
struct t5_bases {
  bool own[65536];
};
constexpr t5_bases t5_own_bases() {
  t5_bases b{};
  for (const member& m : members)
    if (m.tables & M68K_GROUP_t5) b.own[m.base] = true;
  return b;
}

constexpr size_t t5_fallback_rows() {
  const t5_bases own = t5_own_bases();
  size_t n = 0;
  for (const member& m : members)
    if ((m.tables & M68K_GROUP_t4) && !own.own[m.base]) ++n;
  return n;
}

constexpr auto build_table5() {
  constexpr u8 bit = M68K_GROUP_t5;
  std::array<m68k_handler_row, rows_in(bit) + t5_fallback_rows() + 1> rows{};
  const t5_bases own = t5_own_bases();
  size_t i = 0;
  for (const member& m : members)
    if (m.tables & bit) rows[i++] = m68k_handler_row{m.fn, 0, m.base, 0};
  for (const member& m : members)
    if ((m.tables & M68K_GROUP_t4) && !own.own[m.base]) rows[i++] = m68k_handler_row{m.fallback, 0, m.base, 0};
  rows[i] = m68k_handler_row{nullptr, 0, 0, 0};
  return rows;
}

constexpr auto table0 = build_table<0>();
constexpr auto table1 = build_table<1>();
constexpr auto table2 = build_table<2>();
constexpr auto table3 = build_table<3>();
constexpr auto table4 = build_table<4>();
constexpr auto table5 = build_table5();

// Rows each model needs: one per representative opcode of the levels it admits.
constexpr u32 rows_needed[m68k_handler_table_count] = {1866, 1840, 1800, 1594, 1584, 1584};

}  // namespace

const m68k_handler_row* const m68k_handlers_t0 = table0.data();
const m68k_handler_row* const m68k_handlers_t1 = table1.data();
const m68k_handler_row* const m68k_handlers_t2 = table2.data();
const m68k_handler_row* const m68k_handlers_t3 = table3.data();
const m68k_handler_row* const m68k_handlers_t4 = table4.data();
const m68k_handler_row* const m68k_handlers_t5 = table5.data();

const u32 m68k_handlers_t5_own = u32(rows_in(M68K_GROUP_t5));

const m68k_handler_row* const m68k_handler_tables[m68k_handler_table_count] = {
    table0.data(), table1.data(), table2.data(), table3.data(), table4.data(), table5.data()};

const u32 m68k_handler_table_rows[m68k_handler_table_count] = {
    u32(table0.size() - 1), u32(table1.size() - 1), u32(table2.size() - 1),
    u32(table3.size() - 1), u32(table4.size() - 1), u32(table5.size() - 1)};

const bool m68k_handler_table_complete[m68k_handler_table_count] = {
    table0.size() - 1 == rows_needed[0], table1.size() - 1 == rows_needed[1],
    table2.size() - 1 == rows_needed[2], table3.size() - 1 == rows_needed[3],
    table4.size() - 1 == rows_needed[4], table5.size() - 1 == rows_needed[5]};

u32 m68k_select_handler_table(u32 model, u32 prefetchMode) {
  switch (model) {
    case 4: return 0;
    case 3: return 1;
    case 2: return 2;
    case 1: return 3;
    default: return prefetchMode ? 5 : 4;
  }
}

u32 m68k_handler_table_level(u32 table) {
  static const u32 levels[m68k_handler_table_count] = {4, 3, 2, 1, 0, 0};
  return levels[table];
}
