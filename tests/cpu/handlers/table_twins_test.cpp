// The 68020-table handlers of the indexed forms against their 68000/68010
// twins: with a brief extension word of scale 1 both must do the same thing
// to registers, flags, memory, program counter and cycles. Every base
// opcode of lines 0-4 that the 68020 table lists under its own group and
// the 68010 table under another runs once in each table from the same
// state.
#include <cstring>
#include <set>
#include <vector>

#include "cpu/handler_tables.h"
#include "cpu/handlers/handler_declarations.h"
#include "support/cpu_fixture_lines04.h"

namespace {

constexpr u32 kCode = 0x10000;
constexpr u32 kImage = 0x80000;  // bytes of memory compared

struct Outcome {
  m68k_regs regs;
  u32 ccr;
  u32 pc;
  u32 cycles;
  std::vector<u8> memory;
};

class TableTwins : public CpuLines04 {
 protected:
  void prepare(u32 opcode) {
    std::memset(mem(), 0, kImage);
    install_vectors();
    for (u32 i = 0x20000; i < 0x30000; i += 2) ww(i, (i * 0x9e37) >> 3);
    ww(kCode, opcode);
    // Every extension word: index D0.W, displacement 4, scale 1; as an
    // immediate 4, as an address 0x4 or 0x40004, as a MOVEM mask D2.
    for (u32 i = 2; i < 20; i += 2) ww(kCode + i, 0x0004);
    m68k_regs& r = regs();
    r.d[0] = 6;
    for (u32 i = 1; i < 8; ++i) r.d[i] = 0x1111 * i;
    for (u32 i = 0; i < 7; ++i) r.a[i] = 0x20000 + 0x1000 * i;
    r.s = 1;
    r.a[7] = 0x70000;
    r.usp = 0x60000;
    // A fresh SR: the previous run may have loaded trace bits into it.
    r.pending = 0;
    r.sr = 0x270a;
    m68k_sr_apply();
    jump(kCode);
  }

  Outcome run_on(u32 model, u32 opcode) {
    use_model(model);
    prepare(opcode);
    Outcome o;
    o.cycles = step();
    o.ccr = ccr();
    o.pc = pc();
    o.regs = regs();
    o.memory.assign(mem(), mem() + kImage);
    return o;
  }
};

}  // namespace

TEST_F(TableTwins, IndexedFormsAgreeWithBriefExtensionWords) {
  u32 compared = 0;
#define M68K_HANDLER(base, group, ...)                                 \
  if (0x##base < 0x5000 && std::strcmp(#group, "t012") == 0) bases.push_back(0x##base); \
  if (std::strcmp(#group, "t34") == 0 || std::strcmp(#group, "t3") == 0) twins.insert(0x##base);
  std::vector<u32> bases;
  std::set<u32> twins;
#include "cpu/handlers/handler_list.inc"
#undef M68K_HANDLER
  for (const u32 base : bases) {
    if (!twins.count(base)) continue;  // the 68020's own instructions
    const Outcome ref = run_on(1, base);  // the 68010 table: brief format
    const Outcome got = run_on(2, base);
    ++compared;
    EXPECT_EQ(got.cycles, ref.cycles) << std::hex << base;
    EXPECT_EQ(got.ccr, ref.ccr) << std::hex << base;
    EXPECT_EQ(got.pc, ref.pc) << std::hex << base;
    EXPECT_EQ(std::memcmp(got.regs.d, ref.regs.d, sizeof ref.regs.d), 0) << std::hex << base;
    EXPECT_EQ(std::memcmp(got.regs.a, ref.regs.a, sizeof ref.regs.a), 0) << std::hex << base;
    EXPECT_TRUE(got.memory == ref.memory) << std::hex << base;
  }
  EXPECT_EQ(compared, 162u);
}
