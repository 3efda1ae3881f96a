#include "cpu/decode.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <array>
#include <memory>
#include <utility>

#include "cpu/exceptions.h"
#include "cpu/handler_tables.h"
#include "cpu/registers.h"

namespace {

struct opdef_source {
  const char* pattern;
  u32 level;
  u32 priv;
  u32 set[5];
  u32 use[5];
  const char* text;
};

constexpr opdef_source opdef_sources[] = {
#include "cpu/opcode_definitions.inc"
};
static_assert(sizeof opdef_sources / sizeof opdef_sources[0] == m68k_opdef_count);

constexpr u8 field_code_of(char c) {
  switch (c) {
    case 'c': return m68k_field_c;
    case 'C': return m68k_field_C;
    case 'f': return m68k_field_f;
    case 'i': return m68k_field_i;
    case 'I': return m68k_field_I;
    case 'j': return m68k_field_j;
    case 'J': return m68k_field_J;
    case 'k': return m68k_field_k;
    case 'K': return m68k_field_K;
    case 's': return m68k_field_s;
    case 'S': return m68k_field_S;
    case 'd': return m68k_field_d;
    case 'D': return m68k_field_D;
    case 'r': return m68k_field_r;
    case 'R': return m68k_field_R;
    case 'z': return m68k_field_z;
    case 'p': return m68k_field_p;
    default: return 0;
  }
}

constexpr m68k_opdef make_opdef(const opdef_source& src) {
  m68k_opdef row{};
  u32 bit = 15;
  for (const char* p = src.pattern; *p; ++p) {
    const char c = *p;
    if (c == ' ') continue;
    if (c == '0' || c == '1') {
      row.mask |= 1u << bit;
      if (c == '1') row.fixedBits |= 1u << bit;
    } else {
      row.fieldCodes[row.varCount++] = field_code_of(c);
    }
    --bit;
  }
  row.level = src.level;
  row.priv = src.priv;
  for (int i = 0; i < 5; ++i) row.flagInfo[i] = (src.use[i] << 29) | (src.set[i] << 26);
  row.text = src.text;
  return row;
}

template <size_t... I>
constexpr auto make_opdefs(std::index_sequence<I...>) {
  return std::array<m68k_opdef, sizeof...(I)>{make_opdef(opdef_sources[I])...};
}

}  // namespace

constexpr std::array<m68k_opdef, m68k_opdef_count> m68k_opdefs =
    make_opdefs(std::make_index_sequence<m68k_opdef_count>{});

const m68k_mnemonic m68k_mnemonics[] = {
    {0, "ILLEGAL"},
    {1, "OR"},
    {80, "CHK"},
    {81, "CHK2"},
    {2, "AND"},
    {3, "EOR"},
    {4, "ORSR"},
    {5, "ANDSR"},
    {6, "EORSR"},
    {7, "SUB"},
    {8, "SUBA"},
    {9, "SUBX"},
    {10, "SBCD"},
    {11, "ADD"},
    {12, "ADDA"},
    {13, "ADDX"},
    {14, "ABCD"},
    {15, "NEG"},
    {16, "NEGX"},
    {17, "NBCD"},
    {18, "CLR"},
    {19, "NOT"},
    {20, "TST"},
    {21, "BTST"},
    {22, "BCHG"},
    {23, "BCLR"},
    {24, "BSET"},
    {25, "CMP"},
    {26, "CMPM"},
    {27, "CMPA"},
    {28, "MVPRM"},
    {29, "MVPMR"},
    {30, "MOVE"},
    {31, "MOVEA"},
    {32, "MVSR2"},
    {33, "MV2SR"},
    {34, "SWAP"},
    {35, "EXG"},
    {36, "EXT"},
    {37, "MVMEL"},
    {38, "MVMLE"},
    {39, "TRAP"},
    {40, "MVR2USP"},
    {41, "MVUSP2R"},
    {43, "NOP"},
    {42, "RESET"},
    {45, "RTE"},
    {46, "RTD"},
    {47, "LINK"},
    {48, "UNLK"},
    {49, "RTS"},
    {44, "STOP"},
    {50, "TRAPV"},
    {51, "RTR"},
    {52, "JSR"},
    {53, "JMP"},
    {54, "BSR"},
    {55, "Bcc"},
    {56, "LEA"},
    {57, "PEA"},
    {58, "DBcc"},
    {59, "Scc"},
    {60, "DIVU"},
    {61, "DIVS"},
    {62, "MULU"},
    {63, "MULS"},
    {64, "ASR"},
    {65, "ASL"},
    {66, "LSR"},
    {67, "LSL"},
    {68, "ROL"},
    {69, "ROR"},
    {70, "ROXL"},
    {71, "ROXR"},
    {72, "ASRW"},
    {73, "ASLW"},
    {74, "LSRW"},
    {75, "LSLW"},
    {76, "ROLW"},
    {77, "RORW"},
    {78, "ROXLW"},
    {79, "ROXRW"},
    {83, "MOVE2C"},
    {82, "MOVEC2"},
    {84, "CAS"},
    {85, "CAS2"},
    {87, "MULL"},
    {86, "DIVL"},
    {88, "BFTST"},
    {89, "BFEXTU"},
    {90, "BFCHG"},
    {91, "BFEXTS"},
    {92, "BFCLR"},
    {93, "BFFFO"},
    {94, "BFSET"},
    {95, "BFINS"},
    {96, "PACK"},
    {97, "UNPK"},
    {98, "TAS"},
    {99, "BKPT"},
    {100, "CALLM"},
    {101, "RTM"},
    {102, "TRAPcc"},
    {103, "MOVES"},
    {104, "FPP"},
    {105, "FDBcc"},
    {106, "FScc"},
    {107, "FTRAPcc"},
    {108, "FBcc"},
    {108, "FBcc"},
    {109, "FSAVE"},
    {110, "FRESTORE"},
    {111, "CINVL"},
    {112, "CINVP"},
    {113, "CINVA"},
    {114, "CPUSHL"},
    {115, "CPUSHP"},
    {116, "CPUSHA"},
    {117, "MOVE16"},
    {118, "MMUOP"},
    {0, ""},
};

const char* const m68k_cond_names[16] = {"T ", "F ", "HI", "LS", "CC", "CS", "NE", "EQ",
                                         "VC", "VS", "PL", "MI", "GE", "LT", "GT", "LE"};

const u32 m68k_an_byte_step[8] = {1, 1, 1, 1, 1, 1, 1, 2};
const u32 m68k_quick_data[8] = {8, 1, 2, 3, 4, 5, 6, 7};

u32 m68k_movem_first[256];
u32 m68k_movem_first_rev[256];
u32 m68k_movem_rest[256];
u32 m68k_movem_last[256];
u32 m68k_movem_last_rev[256];
u32 m68k_movem_prev[256];

m68k_decode_rec* m68k_decode;
u32 m68k_handler_opcode_count;

m68k_handler m68k_dispatch[65536];
const m68k_handler m68k_default_handler = m68k_exec_unassigned;

namespace {

std::unique_ptr<m68k_decode_rec[]> decode_storage;

[[noreturn]] void table_fault(const char* what, const char* text) {
  std::fprintf(stderr, "Bad opcode definition (%s): %s\n", what, text);
  std::abort();
}

void build_movem_tables() {
  for (u32 v = 0; v < 256; ++v) {
    u32 l = 8;
    for (u32 b = 0; b < 8; ++b)
      if (v & (1u << b)) {
        l = b;
        break;
      }
    m68k_movem_first[v] = l;
    m68k_movem_first_rev[v] = 7 - l;
    m68k_movem_rest[v] = l < 8 ? v & ~(1u << l) : v;
    i32 h = -1;
    for (i32 b = 7; b >= 0; --b)
      if (v & (1u << b)) {
        h = b;
        break;
      }
    m68k_movem_prev[v] = h >= 0 ? v & ~(1u << h) : v;
    m68k_movem_last_rev[v] = u32(7 - h);
    m68k_movem_last[v] = u32(h);
  }
}

// Value, width and position of the lowest bit of one field in one opcode.
struct field_value {
  u32 value = 0;
  u32 width = 0;
  u32 pos = 255;
  bool present() const { return width != 0; }
};

constexpr u32 field_slots = 19;

const char* const mode_names[12] = {"Dreg", "Areg", "Aind", "Aipi", "Apdi", "Ad16",
                                    "Ad8r", "absw", "absl", "PC16", "PC8r", "Immd"};

u32 mode_by_name(const char* p, size_t len, const char* text) {
  for (u32 m = 0; m < 12; ++m)
    if (std::strlen(mode_names[m]) == len && std::strncmp(mode_names[m], p, len) == 0) return m;
  table_fault("mode name", text);
}

// A parsed operand.
struct operand {
  u32 mode = m68k_mode_none;
  u32 reg = 255;
  u32 pos = 255;
  u32 kind = 0;
};

struct row_context {
  const m68k_opdef* def;
  const field_value* fields;  // indexed by field code
  u32 size;                   // 0 byte, 1 word, 2 long
};

// Applies a bracket of mode names to an effective-address mode number.
// Returns false when the mode is not admitted; may substitute the mode.
bool apply_bracket(const char*& p, u32& mode, const char* text) {
  if (*p != '[') return true;
  ++p;
  bool exclude = false;
  if (*p == '!') {
    exclude = true;
    ++p;
  }
  bool listed = false;
  bool admitted = true;
  u32 substituted = mode;
  while (*p && *p != ']') {
    const char* start = p;
    while (*p && *p != ',' && *p != ']' && *p != '-') ++p;
    const u32 named = mode_by_name(start, size_t(p - start), text);
    if (*p == '-') {
      ++p;
      const char* s2 = p;
      while (*p && *p != ',' && *p != ']') ++p;
      const u32 recorded = mode_by_name(s2, size_t(p - s2), text);
      if (named == mode) {
        listed = true;
        substituted = recorded;
      }
    } else if (named == mode) {
      listed = true;
    }
    if (*p == ',') ++p;
  }
  if (*p != ']') table_fault("bracket", text);
  ++p;
  admitted = exclude ? !listed : listed;
  if (admitted) mode = substituted;
  return admitted;
}

// Parses one operand at p. Returns false when this opcode is to be skipped.
bool parse_operand(const char*& p, bool dest, const row_context& ctx, operand& out) {
  const char* text = ctx.def->text;
  const field_value* f = ctx.fields;
  const char c = *p;
  if (c == 's' || c == 'd') {
    ++p;
    const field_value& mf = f[c == 's' ? m68k_field_s : m68k_field_d];
    const field_value& rf = f[c == 's' ? m68k_field_S : m68k_field_D];
    u32 mode = m68k_decode_mode_number(mf.value, rf.value);
    if (mode == m68k_mode_invalid) return false;
    out.reg = rf.value;
    if (mode <= m68k_mode_Ad8r) out.pos = rf.pos;
    if (!apply_bracket(p, mode, text)) return false;
    if (c == 'd' && (mode == m68k_mode_PC16 || mode == m68k_mode_PC8r || mode == m68k_mode_Immd))
      return false;
    out.mode = mode;
  } else if ((c == 'A' || c == 'D') && (p[1] == 'r' || p[1] == 'R' || (c == 'A' && p[1] == 'x'))) {
    const char which = p[1];
    p += 2;
    u32 mode = c == 'D' ? m68k_mode_Dreg : m68k_mode_Areg;
    if (c == 'A') {
      if (*p == 'P') {
        mode = m68k_mode_Aipi;
        ++p;
      } else if (*p == 'p') {
        mode = m68k_mode_Apdi;
        ++p;
      }
    }
    out.mode = mode;
    if (which == 'x') {
      if (!dest) table_fault("operand", text);
      out.reg = 0;
    } else {
      const field_value& rf = f[which == 'r' ? m68k_field_r : m68k_field_R];
      if (dest && !rf.present()) table_fault("register field", text);
      out.reg = rf.value;
      out.pos = rf.pos;
    }
  } else if (c == '#') {
    const char k = p[1];
    p += 2;
    switch (k) {
      case '0': out.mode = m68k_mode_imm0; break;
      case '1': out.mode = m68k_mode_imm1; break;
      case '2': out.mode = m68k_mode_imm2; break;
      case 'z': out.mode = m68k_mode_Immd; break;
      default: {
        u32 code = 0;
        switch (k) {
          case 'i': code = m68k_field_i; out.kind = 1; break;
          case 'J': code = m68k_field_J; out.kind = 2; break;
          case 'j': code = m68k_field_j; out.kind = 3; break;
          case 'k': code = m68k_field_k; out.kind = 4; break;
          case 'K': code = m68k_field_K; out.kind = 5; break;
          case 'p': code = m68k_field_p; out.kind = 7; break;
          default: table_fault("operand", text);
        }
        out.mode = m68k_mode_inline;
        out.reg = f[code].value;
        if (!dest) out.pos = f[code].pos;
        break;
      }
    }
  } else if (c == 'L') {
    ++p;
    out.mode = m68k_mode_absl;
  } else {
    table_fault("operand", text);
  }
  if (out.mode == m68k_mode_Areg && ctx.size == 0) return false;
  if (dest) {
    if (out.mode > m68k_mode_Ad8r) out.pos = 255;
    out.kind = 0;
  } else if (out.mode > m68k_mode_Ad8r && out.mode != m68k_mode_inline) {
    out.pos = 255;
  }
  return true;
}

}  // namespace

u32 m68k_decode_mode_number(u32 mode, u32 reg) {
  if (mode > 7 || reg > 7) std::abort();
  if (mode < 7) return mode;
  return reg <= 4 ? 7 + reg : m68k_mode_invalid;
}

const m68k_mnemonic* m68k_find_mnemonic(const char* name) {
  for (const m68k_mnemonic* m = m68k_mnemonics; m->name[0]; ++m)
    if (std::strcmp(m->name, name) == 0) return m;
  return nullptr;
}

const char* m68k_mnemonic_name(u32 id) {
  for (const m68k_mnemonic* m = m68k_mnemonics; m->name[0]; ++m)
    if (m->id == id) return m->name;
  return nullptr;
}

void m68k_decode_expand_row(u32 rowIndex) {
  const m68k_opdef& def = m68k_opdefs[rowIndex];
  const char* text = def.text;

  // Flag masks.
  u32 setMask = 0, usedMask = 0;
  bool unknown = false;
  for (u32 i = 0; i < 5; ++i) {
    const u32 set = (def.flagInfo[i] >> 26) & 7;
    if (set == 0 || set == 2 || set == 3 || set == 4) {
      setMask |= 1u << i;
    } else if (set == 5) {
      unknown = true;
      setMask = 0xFF;
      break;
    } else if (set == 6 || set == 7) {
      unknown = true;
    }
  }
  for (u32 i = 0; i < 5; ++i) {
    const u32 use = def.flagInfo[i] >> 29;
    if (use == 0) {
      usedMask |= 1u << i;
    } else if (use == 2 || use == 3 || use == 4) {
      usedMask |= 1u << i;
      unknown = true;
    }
  }

  // Mnemonic part: name and size.
  char name[16] = {};
  size_t nameLen = 0;
  bool nameHasF = false;
  int sizeSpec = 2;  // long unless a suffix says otherwise; -1 from the z field
  const char* p = text;
  while (*p && *p != ' ') {
    if (*p == '.') {
      switch (p[1]) {
        case 'B': sizeSpec = 0; break;
        case 'W': sizeSpec = 1; break;
        case 'L': sizeSpec = 2; break;
        case 'z': sizeSpec = -1; break;
        default: table_fault("size", text);
      }
      p += 2;
      continue;
    }
    if (*p == 'f') nameHasF = true;
    if (nameLen + 1 >= sizeof name) table_fault("mnemonic", text);
    name[nameLen++] = *p++;
  }
  while (*p == ' ') ++p;
  const char* operands = p;

  const m68k_mnemonic* rowMnemonic = nullptr;
  if (!nameHasF) {
    rowMnemonic = m68k_find_mnemonic(name);
    if (!rowMnemonic) table_fault("mnemonic", text);
  }

  const u32 count = 1u << def.varCount;
  for (u32 n = 0; n < count; ++n) {
    // Build the opcode and collect its fields.
    field_value fields[field_slots];
    u32 opcode = def.fixedBits;
    u32 vi = 0;
    for (i32 bit = 15; bit >= 0; --bit) {
      if (def.mask & (1u << bit)) continue;
      const u32 b = (n >> (def.varCount - 1 - vi)) & 1;
      opcode |= b << bit;
      field_value& fv = fields[def.fieldCodes[vi]];
      fv.value = (fv.value << 1) | b;
      fv.width++;
      fv.pos = u32(bit);
      ++vi;
    }

    if (fields[m68k_field_j].present() && fields[m68k_field_j].value == 0) fields[m68k_field_j].value = 8;
    if (fields[m68k_field_z].present() && fields[m68k_field_z].value == 3) continue;
    if (fields[m68k_field_C].present() && fields[m68k_field_C].value == 1) continue;
    if (fields[m68k_field_I].present()) {
      if (fields[m68k_field_I].value == 0 || fields[m68k_field_I].value == 255) continue;
      fields[m68k_field_i] = fields[m68k_field_I];
    }
    if (fields[m68k_field_C].present()) fields[m68k_field_c] = fields[m68k_field_C];

    const u32 size = sizeSpec >= 0 ? u32(sizeSpec) : fields[m68k_field_z].value;

    const m68k_mnemonic* mn = rowMnemonic;
    if (nameHasF) {
      char actual[16];
      for (size_t i = 0; i <= nameLen; ++i)
        actual[i] = name[i] == 'f' ? (fields[m68k_field_f].value ? 'L' : 'R') : name[i];
      mn = m68k_find_mnemonic(actual);
      if (!mn) table_fault("mnemonic", text);
    }

    row_context ctx{&def, fields, size};
    operand src, dst;
    bool srcPresent = false, dstPresent = false;
    const char* q = operands;
    if (*q) {
      srcPresent = true;
      if (!parse_operand(q, false, ctx, src)) continue;
      if (*q == ',') {
        ++q;
        dstPresent = true;
        if (!parse_operand(q, true, ctx, dst)) continue;
      }
      if (*q) table_fault("operand", text);
    }

    m68k_decode_rec& rec = m68k_decode[opcode];
    if (rec.mnemonic != 0) std::fprintf(stderr, "Double match: %x: %s\n", opcode, text);

    u32 recSize = size;
    if (mn->id >= 21 && mn->id <= 24) recSize = dst.mode == m68k_mode_Dreg ? 2 : 0;

    rec.mnemonic = u8(mn->id);
    rec.srcReg = u8(src.reg);
    rec.dstReg = u8(dst.reg);
    rec.srcPos = u8(src.pos);
    rec.dstPos = u8(dst.pos);
    rec.flagsSet = u8(setMask);
    rec.flagsUsed = u8(usedMask);
    const u32 cond = fields[m68k_field_c].value & 15;
    rec.packed = (cond << 28) | ((def.priv & 3) << 26) | ((recSize & 3) << 24) |
                 ((src.mode & 31) << 19) | ((src.kind & 7) << 16) | ((dst.mode & 31) << 11) |
                 (u32(srcPresent) << 10) | (u32(dstPresent) << 9) | ((def.level & 7) << 5) |
                 (u32(unknown) << 4);
  }
}

void m68k_decode_expand_all() {
  if (!decode_storage) decode_storage = std::make_unique<m68k_decode_rec[]>(65536);
  m68k_decode = decode_storage.get();
  for (u32 op = 0; op < 65536; ++op) {
    m68k_decode[op] = m68k_decode_rec{};
    m68k_decode[op].handlerOpcode = m68k_no_handler;
    m68k_decode[op].mnemonic = 0;
  }
  for (u32 row = 0; row < m68k_opdef_count; ++row) m68k_decode_expand_row(row);
}

void m68k_decode_merge_opcode(u32 opcode) {
  const m68k_decode_rec& rep = m68k_decode[opcode];
  u32 srcWidth = 0;
  if (rep.srcPos != 255) {
    switch (rep.srcKind()) {
      case 0: case 3: case 4: srcWidth = 3; break;
      case 1: srcWidth = 8; break;
      case 2: srcWidth = 4; break;
      case 5: srcWidth = 6; break;
      case 7: srcWidth = 2; break;
      default: std::abort();
    }
  }
  const u32 dstWidth = rep.dstPos != 255 ? 3 : 0;
  const u32 srcMask = ((1u << srcWidth) - 1) << (rep.srcPos & 31);
  const u32 dstMask = ((1u << dstWidth) - 1) << (rep.dstPos & 31);

  for (u32 sv = 0; sv < (1u << srcWidth); ++sv) {
    for (u32 dv = 0; dv < (1u << dstWidth); ++dv) {
      u32 variant = opcode;
      if (srcWidth) variant = (variant & ~srcMask) | (sv << rep.srcPos);
      if (dstWidth) variant = (variant & ~dstMask) | (dv << rep.dstPos);
      variant &= 0xFFFF;
      if (variant == opcode) continue;
      m68k_decode_rec& v = m68k_decode[variant];
      if (v.mnemonic != rep.mnemonic || v.size() != rep.size() ||
          v.srcPresent() != rep.srcPresent() || v.dstPresent() != rep.dstPresent())
        continue;
      if (rep.srcPresent() &&
          (v.srcPos != rep.srcPos || v.srcMode() != rep.srcMode() || v.srcKind() != rep.srcKind()))
        continue;
      if (rep.dstPresent() && (v.dstPos != rep.dstPos || v.dstMode() != rep.dstMode())) continue;
      v.handlerOpcode = opcode;
    }
  }
}

void m68k_decode_merge_all() {
  m68k_handler_opcode_count = 0;
  for (u32 op = 0; op < 65536; ++op) {
    const m68k_decode_rec& rec = m68k_decode[op];
    if (rec.mnemonic != 0 && rec.handlerOpcode == m68k_no_handler) {
      ++m68k_handler_opcode_count;
      m68k_decode_merge_opcode(op);
    }
  }
}

void m68k_build_dispatch_from(const m68k_handler_row* table, bool complete) {
  for (u32 op = 0; op < 65536; ++op) m68k_dispatch[op] = m68k_default_handler;
  for (const m68k_handler_row* row = table; row->handler; ++row)
    if (row->specific == 0) m68k_dispatch[row->base] = row->handler;
  for (u32 op = 0; op < 65536; ++op) {
    const m68k_decode_rec& rec = m68k_decode[op];
    if (rec.mnemonic == 0 || rec.level() > m68k_model || rec.handlerOpcode == m68k_no_handler)
      continue;
    m68k_dispatch[op] = m68k_dispatch[rec.handlerOpcode];
    if (m68k_dispatch[op] == m68k_default_handler && complete) {
      std::fprintf(stderr, "No handler for opcode %04x (class %04x)\n", op, rec.handlerOpcode);
      std::abort();
    }
  }
  for (const m68k_handler_row* row = table; row->handler; ++row)
    if (row->specific != 0) m68k_dispatch[row->base] = row->handler;
}

void m68k_build_dispatch() {
  const u32 index = m68k_select_handler_table(m68k_model, m68k_prefetch_mode);
  m68k_build_dispatch_from(m68k_handler_tables[index], m68k_handler_table_complete[index]);
}

void m68k_decode_init() {
  build_movem_tables();
  m68k_decode_expand_all();
  m68k_decode_merge_all();
  m68k_build_dispatch();
}
