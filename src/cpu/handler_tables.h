// The six handler tables, one per CPU model, built from the handler member
// lists. Each handler is listed once, with the group of tables that share it.
#pragma once

#include "cpu/decode.h"

// Table groups: bit n set means table n lists the handler.
enum : u8 {
  M68K_GROUP_t01234 = 0x1f,
  M68K_GROUP_t0123 = 0x0f,
  M68K_GROUP_t012 = 0x07,
  M68K_GROUP_t34 = 0x18,
  M68K_GROUP_t01 = 0x03,
  M68K_GROUP_t0 = 0x01,
  M68K_GROUP_t3 = 0x08,
  M68K_GROUP_t4 = 0x10,
  M68K_GROUP_t5 = 0x20,
};

constexpr u32 m68k_handler_table_count = 6;

// Rows of each table, ended by a row whose handler is null.
extern const m68k_handler_row* const m68k_handlers_t0;  // 68040 with FPU
extern const m68k_handler_row* const m68k_handlers_t1;  // 68020/68030 with FPU
extern const m68k_handler_row* const m68k_handlers_t2;  // 68020
extern const m68k_handler_row* const m68k_handlers_t3;  // 68010
extern const m68k_handler_row* const m68k_handlers_t4;  // 68000
extern const m68k_handler_row* const m68k_handlers_t5;  // 68000 with prefetch and address checks

extern const m68k_handler_row* const m68k_handler_tables[m68k_handler_table_count];
// Number of rows in each table.
extern const u32 m68k_handler_table_rows[m68k_handler_table_count];
// Whether each table holds every handler its CPU model needs.
extern const bool m68k_handler_table_complete[m68k_handler_table_count];

// Index of the table that the model and prefetch settings select.
u32 m68k_select_handler_table(u32 model, u32 prefetchMode);

// The highest CPU level (decode record level) a table admits.
u32 m68k_handler_table_level(u32 table);
