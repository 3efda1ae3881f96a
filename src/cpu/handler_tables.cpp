#include "cpu/handler_tables.h"

#include <array>
#include <cstddef>

#include "cpu/handlers/handler_declarations.h"

namespace {

struct member {
  m68k_handler fn;
  u16 base;
  u8 tables;
};

constexpr member members[] = {
#define M68K_HANDLER(base, group, ...) {&m68k_exec_##base##_##group, 0x##base, M68K_GROUP_##group},
#include "cpu/handlers/handler_list.inc"
#undef M68K_HANDLER
    {nullptr, 0, 0},  // keeps the list non-empty; lists no table
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

constexpr auto table0 = build_table<0>();
constexpr auto table1 = build_table<1>();
constexpr auto table2 = build_table<2>();
constexpr auto table3 = build_table<3>();
constexpr auto table4 = build_table<4>();
constexpr auto table5 = build_table<5>();

// Rows each model needs: one per representative opcode of the levels it admits.
constexpr u32 rows_needed[m68k_handler_table_count] = {1866, 1840, 1800, 1594, 1584, 1584};

}  // namespace

const m68k_handler_row* const m68k_handlers_t0 = table0.data();
const m68k_handler_row* const m68k_handlers_t1 = table1.data();
const m68k_handler_row* const m68k_handlers_t2 = table2.data();
const m68k_handler_row* const m68k_handlers_t3 = table3.data();
const m68k_handler_row* const m68k_handlers_t4 = table4.data();
const m68k_handler_row* const m68k_handlers_t5 = table5.data();

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
