// Decode tables built at start-up from the opcode definition rows, the
// handler tables of the CPU models and the 65,536-entry dispatch table.
#pragma once

#include <array>

#include "common/types.h"

// An instruction handler: takes the opcode, returns the 68000 cycles taken.
using m68k_handler = u32 (*)(u32 opcode);

// One opcode definition row.
struct m68k_opdef {
  u32 fixedBits;      // the fixed opcode bits
  u32 varCount;       // number of varying bits
  u8 fieldCodes[16];  // field code of each varying bit, highest bit first
  u32 mask;           // 1 for each fixed bit
  u32 level;          // 0 68000, 1 68010, 2 68020, 3 FPU, 4 68040
  u32 priv;           // 0 never, 1 from the 68010 on, 2 always privileged
  u32 flagInfo[5];    // X N Z V C: bits 31-29 use code, 28-26 set code
  const char* text;   // mnemonic, size and operands
};

// Field codes of the definition rows.
enum : u8 {
  m68k_field_c = 2, m68k_field_C = 3, m68k_field_f = 4, m68k_field_i = 5,
  m68k_field_I = 6, m68k_field_j = 7, m68k_field_J = 8, m68k_field_k = 9,
  m68k_field_K = 10, m68k_field_s = 11, m68k_field_S = 12, m68k_field_d = 13,
  m68k_field_D = 14, m68k_field_r = 15, m68k_field_R = 16, m68k_field_z = 17,
  m68k_field_p = 18,
};

// Addressing-mode numbers of the decode records.
enum : u32 {
  m68k_mode_Dreg = 0, m68k_mode_Areg, m68k_mode_Aind, m68k_mode_Aipi, m68k_mode_Apdi,
  m68k_mode_Ad16, m68k_mode_Ad8r, m68k_mode_absw, m68k_mode_absl, m68k_mode_PC16,
  m68k_mode_PC8r, m68k_mode_Immd, m68k_mode_imm0, m68k_mode_imm1, m68k_mode_imm2,
  m68k_mode_inline, m68k_mode_none, m68k_mode_invalid,
};

constexpr u32 m68k_opdef_count = 179;
extern const std::array<m68k_opdef, m68k_opdef_count> m68k_opdefs;

struct m68k_mnemonic {
  u32 id;
  const char* name;
};
extern const m68k_mnemonic m68k_mnemonics[];  // ended by {0, ""}
extern const char* const m68k_cond_names[16];

// One decode record per opcode.
struct m68k_decode_rec {
  u32 handlerOpcode;  // representative whose handler serves this opcode, or 0xFFFFFFFF
  u8 dstReg;
  u8 srcReg;
  u8 dstPos;
  u8 srcPos;
  u8 flagsSet;
  u8 flagsUsed;
  u8 mnemonic;  // 0: undefined
  u32 packed;   // condition, privilege, size, modes, field kind, present bits, level

  u32 cond() const { return packed >> 28; }
  u32 priv() const { return (packed >> 26) & 3; }
  u32 size() const { return (packed >> 24) & 3; }
  u32 srcMode() const { return (packed >> 19) & 31; }
  u32 srcKind() const { return (packed >> 16) & 7; }
  u32 dstMode() const { return (packed >> 11) & 31; }
  bool srcPresent() const { return (packed >> 10) & 1; }
  bool dstPresent() const { return (packed >> 9) & 1; }
  u32 level() const { return (packed >> 5) & 7; }
  bool flagsUnknown() const { return (packed >> 4) & 1; }
};

constexpr u32 m68k_no_handler = 0xFFFFFFFF;

extern m68k_decode_rec* m68k_decode;  // 65,536 records
extern u32 m68k_handler_opcode_count;

// MOVEM and FMOVEM register-mask tables.
extern u32 m68k_movem_first[256];
extern u32 m68k_movem_first_rev[256];
extern u32 m68k_movem_rest[256];
extern u32 m68k_movem_last[256];
extern u32 m68k_movem_last_rev[256];
extern u32 m68k_movem_prev[256];

extern const u32 m68k_an_byte_step[8];
extern const u32 m68k_quick_data[8];

// One row of a handler table; a row whose handler is null ends the table.
struct m68k_handler_row {
  m68k_handler handler;
  u32 specific;
  u16 base;
  u16 zero;
};

extern m68k_handler m68k_dispatch[65536];
extern const m68k_handler m68k_default_handler;

u32 m68k_decode_mode_number(u32 mode, u32 reg);
void m68k_decode_init();
void m68k_decode_expand_all();
void m68k_decode_expand_row(u32 row);
void m68k_decode_merge_all();
void m68k_decode_merge_opcode(u32 opcode);

// Fills m68k_dispatch from the handler table that m68k_model and
// m68k_prefetch_mode select.
void m68k_build_dispatch();

// Fills m68k_dispatch from one handler table. A table declared complete must
// serve every defined opcode of the admitted levels; the build aborts if it
// does not. An incomplete table leaves opcodes without a row on the default
// handler.
void m68k_build_dispatch_from(const m68k_handler_row* table, bool complete);

// Finds the first mnemonic row with this name, or null.
const m68k_mnemonic* m68k_find_mnemonic(const char* name);
// The name of mnemonic id, or null.
const char* m68k_mnemonic_name(u32 id);
