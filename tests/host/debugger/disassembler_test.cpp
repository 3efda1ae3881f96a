// The disassembler: one opcode of every 68000 handler class against the text
// binutils prints for the same words, and the forms binutils cannot check
// (effective addresses, branch verdicts, the index words of each processor).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "host/debugger/disassembler.h"
#include "support/cpu_flat_fixture.h"
#include "support/machine_fixture.h"

namespace {

// binutils' disassembly of a raw image at address 0: address -> text, and the
// address of the line after each.
struct Listing {
  std::map<u32, std::string> text;
  std::map<u32, u32> next;
};

Listing objdump(const std::string& file, const char* machine) {
  Listing out;
  const std::string command = std::string(M68K_OBJDUMP) + " -D -b binary -m " + machine + " " + file;
  std::FILE* pipe = popen(command.c_str(), "r");
  char line[256], text[200];
  unsigned address, previous = ~0u;
  while (pipe && std::fgets(line, sizeof line, pipe))
    if (std::sscanf(line, " %x:\t%*[0-9a-f ]\t%199[^\n]", &address, text) == 2) {
      out.text[address] = text;
      out.next[previous] = address;
      previous = address;
    }
  if (pipe) pclose(pipe);
  return out;
}

// ---- Our notation in binutils' (MIT) notation --------------------------------

std::string reg(char kind, const std::string& n) {
  if (kind == 'A' && n == "7") return "%sp";
  if (kind == 'A' && n == "6") return "%fp";
  return std::string("%") + char(kind | 0x20) + n;
}

std::string hex(u32 v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%x", v);
  return b;
}

// Whether all of `o` reads as `format`, which ends in %n.
template <class... T>
bool reads_as(const std::string& o, const char* format, T*... fields) {
  int end = -1;
  std::sscanf(o.c_str(), format, fields..., &end);
  return end == int(o.size());
}

std::string operand(const std::string& o) {
  unsigned n, x, v;
  char kind, width;
  const auto index = [&] { return reg(kind, std::to_string(x)) + ":" + char(width | 0x20); };
  char text[32];
  if (reads_as(o, "D%u%n", &n)) return reg('D', std::to_string(n));
  if (reads_as(o, "A%u%n", &n)) return reg('A', std::to_string(n));
  if (reads_as(o, "(A%u)%n", &n)) return reg('A', std::to_string(n)) + "@";
  if (reads_as(o, "(A%u)+%n", &n)) return reg('A', std::to_string(n)) + "@+";
  if (reads_as(o, "-(A%u)%n", &n)) return reg('A', std::to_string(n)) + "@-";
  if (reads_as(o, "(A%u,$%x) == $%*x%n", &n, &v))
    return reg('A', std::to_string(n)) + "@(" + std::to_string(i16(v)) + ")";
  if (reads_as(o, "(A%u, %c%u.%c*1, $%x) == $%*x%n", &n, &kind, &x, &width, &v)) {
    // binutils writes this displacement in hexadecimal, without prefix, 64 bits wide.
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(i64(i32(v))));
    return reg('A', std::to_string(n)) + "@(" + text + "," + index() + ")";
  }
  if (reads_as(o, "(PC,$%*x) == $%x%n", &v)) return "%pc@(" + hex(v) + ")";
  if (reads_as(o, "(PC, %c%u.%c*1, $%*x) == $%x%n", &kind, &x, &width, &v))
    return "%pc@(" + hex(v) + "," + index() + ")";
  if (reads_as(o, "$%x%n", &v)) return hex(v);
  if (reads_as(o, "#$%x%n", &v)) {  // as wide as its digits
    const size_t digits = o.size() - 2;
    return "#" + std::to_string(digits == 2 ? i8(v) : digits == 4 ? i16(v) : i32(v));
  }
  return "?" + o;
}

// binutils' register list of a MOVEM mask (bit 0 D0 ... bit 15 A7; reversed
// for -(An)). The masks of this test have no neighbouring bits: no ranges.
std::string register_list(u32 mask, bool reversed) {
  std::string list;
  for (u32 bit = 0; bit < 16; ++bit) {
    if (!(mask & (1u << (reversed ? 15 - bit : bit)))) continue;
    if (!list.empty()) list += "/";
    list += reg(bit < 8 ? 'D' : 'A', std::to_string(bit & 7));
  }
  return list;
}

// Mnemonics binutils writes without a size; the others take b, w or l.
const char* const unsized[] = {"btst",  "bchg",  "bclr",  "bset",    "exg", "swap", "lea",
                               "pea",   "jmp",   "jsr",   "nbcd",    "tas", "abcd", "sbcd",
                               "moveq", "unlk",  "trap",  "stop",    "nop", "rts",  "rte",
                               "rtr",   "reset", "trapv", "illegal", "rtd", "extbl"};

// Our names that binutils spells otherwise, by opcode pattern.
struct Rename {
  const char* ours;
  u32 mask, bits;
  const char* theirs;
};
const Rename renames[] = {
    {"OR", 0xf000, 0x0000, "ori"},     {"AND", 0xf000, 0x0000, "andi"},
    {"SUB", 0xf000, 0x0000, "subi"},   {"ADD", 0xf000, 0x0000, "addi"},
    {"EOR", 0xf000, 0x0000, "eori"},   {"CMP", 0xf000, 0x0000, "cmpi"},
    {"ADD", 0xf000, 0x5000, "addq"},   {"ADDA", 0xf000, 0x5000, "addq"},
    {"SUB", 0xf000, 0x5000, "subq"},   {"SUBA", 0xf000, 0x5000, "subq"},
    {"MOVE", 0xf000, 0x7000, "moveq"}, {"MVPMR", 0, 0, "movep"},
    {"MVPRM", 0, 0, "movep"},          {"MVMLE", 0, 0, "movem"},
    {"MVMEL", 0, 0, "movem"},          {"ORSR", 0, 0, "ori"},
    {"ANDSR", 0, 0, "andi"},           {"EORSR", 0, 0, "eori"},
    {"MVSR2", 0, 0, "move"},           {"MV2SR", 0, 0, "move"},
    {"MVR2USP", 0, 0, "move"},         {"MVUSP2R", 0, 0, "move"},
    {"EXT", 0xfff8, 0x49c0, "extbl"},
};

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(u8(c)));
  return s;
}

// Our line for `opcode` (whose first extension word is `ext`) as binutils
// would write it.
std::string translate(const std::string& ours, u32 opcode, u32 ext) {
  const size_t dot = ours.find('.');
  std::string name = ours.substr(0, dot);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  const char size = char(ours[dot + 1] | 0x20);
  std::string rest = ours.substr(dot + 3), target;
  // A branch's target and verdict end the line.
  for (const char* verdict : {" (TRUE)", " (FALSE)"})
    if (rest.ends_with(verdict)) rest.resize(rest.size() - std::strlen(verdict));
  if (rest.size() > 12 && rest.compare(rest.size() - 12, 4, " == ") == 0) {
    target = hex(u32(std::stoul(rest.substr(rest.size() - 8), nullptr, 16)));
    rest.resize(rest.size() - 12);
  }
  std::vector<std::string> ops;
  int depth = 0;
  std::string cur;
  for (char c : rest) {
    if (c == ',' && depth == 0) {
      ops.push_back(cur);
      cur.clear();
      continue;
    }
    depth += c == '(' ? 1 : c == ')' ? -1 : 0;
    cur += c;
  }
  if (!cur.empty()) ops.push_back(cur);
  for (std::string& o : ops) o = operand(o);

  std::string theirs = lower(name);
  for (const Rename& r : renames)
    if (name == r.ours && (opcode & r.mask) == r.bits) {
      theirs = r.theirs;
      break;
    }
  const bool branch = (opcode & 0xf000) == 0x6000 || (opcode & 0xf0f8) == 0x50c8;
  const bool scc = (opcode & 0xf0c0) == 0x50c0 && !branch;
  if (branch) ops.back() = target;  // the displacement shows as its target
  if (name == "MVMLE" || name == "MVMEL") {
    ops[0] = register_list(ext, (opcode & 0x38) == 0x20);
    if (name == "MVMEL") std::swap(ops[0], ops[1]);
  }
  if ((opcode & 0xf0c0) == 0xe0c0) theirs.pop_back();  // ASRW and the like: memory shifts
  if (theirs == "bt") theirs = "bra";
  const bool bitop = name == "BTST" || name == "BCHG" || name == "BCLR" || name == "BSET";
  if ((bitop || name == "ORSR" || name == "ANDSR" || name == "EORSR") && ops[0][0] == '#' &&
      size != 'w')
    ops[0] = "#" + std::to_string(i8(ext));  // the CPU uses the low byte
  if (name == "MVSR2") ops.insert(ops.begin(), "%sr");
  if (name == "MV2SR" || name == "ORSR" || name == "ANDSR" || name == "EORSR")
    ops.push_back(size == 'b' ? "%ccr" : "%sr");
  if (name == "MVR2USP") ops.push_back("%usp");
  if (name == "MVUSP2R") ops.insert(ops.begin(), "%usp");

  bool sized = !scc && !((opcode & 0xf0f8) == 0x50c8);
  for (const char* u : unsized) sized = sized && theirs != u;
  if (branch && (opcode & 0xf000) == 0x6000)
    theirs += size == 'b' ? 's' : size;
  else if (name == "MV2SR" || name == "MVSR2")
    theirs += 'w';
  else if (sized)
    theirs += size;
  std::string line = theirs;
  for (size_t i = 0; i < ops.size(); ++i) line += (i ? "," : " ") + ops[i];
  return line;
}

// binutils shows the whole immediate word of a move to CCR; the CPU takes its
// low byte, which is what we show.
std::string ccr_byte(const std::string& text) {
  long word;
  if (!reads_as(text, "movew #%ld,%%ccr%n", &word)) return text;
  return "movew #" + std::to_string(i8(word)) + ",%ccr";
}

class Disassembler : public CpuFlat {
 protected:
  void SetUp() override { start_cpu(0x8000); }
};

// Extension words every instruction finds after its opcode: brief index words
// (bit 8 clear, no scale) wherever an index word can fall, a MOVEM mask with
// no neighbouring registers, displacements of both signs.
constexpr u16 extension[5] = {0x1090, 0xa804, 0x3056, 0x8000, 0x4e71};
constexpr u32 slot = 32;

TEST_F(Disassembler, EveryClassOfThe68000ReadsAsBinutilsReadsIt) {
  std::vector<u32> classes;
  for (u32 op = 0; op < 0x10000; ++op) {
    const m68k_decode_rec& rec = m68k_decode[op];
    if (rec.mnemonic && rec.level() == 0 && rec.handlerOpcode == m68k_no_handler)
      classes.push_back(op);
  }
  ASSERT_EQ(classes.size(), 1584u);
  for (u32 i = 0; i < classes.size(); ++i) {
    const u32 at = i * slot;
    ww(at, classes[i]);
    for (u32 k = 0; k < 5; ++k) ww(at + 2 + 2 * k, extension[k]);
    for (u32 k = 12; k < slot; k += 2) ww(at + k, 0x4e71);
  }
  TempFolder folder;
  const std::string image = folder.file("classes.bin");
  std::FILE* f = std::fopen(image.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(mem(), 1, classes.size() * slot, f);
  std::fclose(f);
  const Listing m68000 = objdump(image, "m68k:68000"), m68020 = objdump(image, "m68k:68020");

  u32 checked = 0, later = 0;
  for (u32 i = 0; i < classes.size(); ++i) {
    const u32 at = i * slot, op = classes[i];
    // Forms binutils keeps for later processors that the definition rows give
    // the 68000 too (CHK.L, RTD, TST and CMPI of more modes, the long branch
    // of displacement 0xff): read as the 68020 reads them.
    const bool long_branch = (op & 0xf0ff) == 0x60ff;
    const bool reserved = m68000.text.at(at).starts_with(".short");
    const Listing& reference = long_branch || reserved ? m68020 : m68000;
    later += reference.text.at(at) != m68000.text.at(at);
    // No binutils table has BTST #n,#data, nor BCHG, BCLR and BSET of
    // PC-relative operands, which the definition rows admit.
    if (reference.text.at(at).starts_with(".short")) {
      const bool pc_bit_change = ((op & 0xf100) == 0x0100 || (op & 0xff00) == 0x0800) &&
                                 (op & 0xc0) && (op & 0x3e) == 0x3a;
      EXPECT_TRUE(op == 0x083c || pc_bit_change) << std::hex << op;
      continue;
    }
    std::string ours;
    const u32 next = DISASM_Instruction(at, ours);
    EXPECT_EQ(translate(ours, op, extension[0]), ccr_byte(reference.text.at(at)))
        << std::hex << "opcode " << op << ": " << ours;
    EXPECT_EQ(next, reference.next.at(at)) << std::hex << "length of opcode " << op << ": " << ours;
    ++checked;
  }
  EXPECT_EQ(checked, 1584u - 13);
  EXPECT_EQ(later, 46u);
}

// What binutils cannot check: the addresses operands use with the current
// registers, branch targets and verdicts, and how each processor reads an
// index word (the 68000 ignores bits 10-8: brief, no scale).
struct Case {
  u32 model;
  std::vector<u16> words;  // at 0x2000
  const char* text;
};
const Case cases[] = {
    {0, {0x3030, 0x1b80}, "MOVE.W (A0, D1.L*1, $ffffff80) == $00000f90,D0"},
    {2, {0x3030, 0x1b80}, "MOVE.W (D1.L*2+0)+0 == $00000020,D0"},
    {1, {0x3030, 0x1b80}, "MOVE.W (A0, D1.L*1, $ffffff80) == $00000f90,D0"},
    {2, {0x3030, 0x1b22, 0x0100, 0x0004}, "MOVE.W (A0, D1.L*2+256)+4 == $00012344,D0"},
    {0, {0x303b, 0xa8fe}, "MOVE.W (PC, A2.L*1, $fffffffe) == $00002100,D0"},
    {0, {0x3028, 0xfffe}, "MOVE.W (A0,$fffe) == $00000ffe,D0"},
    {0, {0x6706}, "BEQ.B #$00000006 == 00002008 (TRUE)"},
    {0, {0x6606}, "BNE.B #$00000006 == 00002008 (FALSE)"},
    {0, {0x51c8, 0xfffc}, "DBF .W D0,#$fffc == 00001ffe (FALSE)"},
    {0, {0x6100, 0x0010}, "BSR.W #$0010 == 00002012"},
    {0, {0x42c0}, "ILLEGAL.L "},  // MOVE from CCR: a 68010 instruction
    {1, {0x42c0}, "MVSR2.B D0"},
    {2, {0x4c00, 0x1800}, "MULL.L #$1800,D0"},  // the later processors' forms
    {4, {0xf228, 0x4000, 0x0010}, "FPP.L #$4000,(A0,$0010) == $00001010"},
};

TEST_F(Disassembler, OperandsShowTheirAddressesAndBranchesTheirTargets) {
  a(0) = 0x1000;
  d(1) = 0x10;
  a(2) = 0x100;
  wl(0x1120, 0x12340);
  set_ccr(kZ);
  for (const Case& c : cases) {
    use_model(c.model);
    for (size_t i = 0; i < c.words.size(); ++i) ww(0x2000 + 2 * u32(i), c.words[i]);
    std::string text;
    EXPECT_EQ(DISASM_Instruction(0x2000, text), 0x2000 + 2 * u32(c.words.size())) << c.text;
    EXPECT_EQ(text, c.text);
  }
}

}  // namespace
