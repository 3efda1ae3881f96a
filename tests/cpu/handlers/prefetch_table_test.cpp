// The 68000 table with the prefetch register and address errors (table 5):
// its rows, the prefetch register's part in extension words and final
// writes, the address errors of the MOVE family and the two-operand forms,
// and table 4 against table 5 on random instructions.
#include <map>
#include <random>
#include <set>

#include "cpu/handler_tables.h"
#include "cpu/saved_state.h"
#include "cpu/handlers/handler_declarations.h"
#include "support/cpu_fixture_lines04.h"

namespace {

constexpr u32 kCode = 0x1000;

class PrefetchTable : public CpuLines04 {
 protected:
  void SetUp() override {
    CpuLines04::SetUp();
    use_table(5);
  }
  void TearDown() override {
    use_table(4);
    CpuLines04::TearDown();
  }
  static void use_table(u32 table) {
    m68k_prefetch_mode = table == 5 ? 1 : 0;
    m68k_build_dispatch();
  }
  // Code words at kCode, the PC on them and the prefetch register loaded.
  static void code(std::initializer_list<u32> words) {
    u32 at = kCode;
    for (u32 w : words) {
      ww(at, w);
      at += 2;
    }
    jump(kCode);
    m68k_reload_prefetch();
  }
  static u32 prefetch() { return be_read32(regs().prefetch); }
};

}  // namespace

// With the flag set the dispatch build installs table 5, complete: a row of
// its own for each of table 4's base opcodes, and every opcode table 4
// serves served by one of them.
TEST_F(PrefetchTable, TheFlagInstallsTheWholeOfTable5) {
  EXPECT_EQ(m68k_handler_table_rows[5], 1584u);
  EXPECT_TRUE(m68k_handler_table_complete[5]);
  std::map<u32, m68k_handler> t4;
  for (const m68k_handler_row* row = m68k_handlers_t4; row->handler; ++row) t4[row->base] = row->handler;
  std::set<m68k_handler> own;
  for (const m68k_handler_row* row = m68k_handlers_t5; row->handler; ++row) {
    ASSERT_TRUE(t4.count(row->base)) << std::hex << row->base;
    EXPECT_NE(row->handler, t4[row->base]) << std::hex << row->base;
    own.insert(row->handler);
  }
  EXPECT_EQ(own.size(), t4.size());
  std::vector<bool> served(65536);
  for (u32 op = 0; op < 65536; ++op) {
    served[op] = m68k_dispatch[op] != m68k_default_handler;
    EXPECT_TRUE(!served[op] || own.count(m68k_dispatch[op])) << std::hex << op;
  }
  use_table(4);
  for (u32 op = 0; op < 65536; ++op) EXPECT_EQ(served[op], m68k_dispatch[op] != m68k_default_handler) << std::hex << op;
  use_table(5);
  EXPECT_EQ(m68k_dispatch[0x3e17], &m68k_exec_3010_t5);  // MOVE.W (A7),D7
  EXPECT_EQ(m68k_dispatch[0x7aff], &m68k_exec_7000_t5);  // MOVEQ #-1,D5
  EXPECT_EQ(m68k_dispatch[0x67fe], &m68k_exec_6701_t5);  // BEQ.S *
  EXPECT_EQ(m68k_dispatch[0xc303], &m68k_exec_c100_t5);  // ABCD D3,D1
}

// The first extension word is the prefetch register's, the later ones are
// memory's; the last write comes after the reload, so the next instruction
// keeps the extension word it had, while its opcode is read anew.
TEST_F(PrefetchTable, ExtensionWordsAndTheLastWrite) {
  code({0x203c, 0x1111, 0x2222});  // MOVE.L #$11112222,D0
  be_write16(regs().prefetch + 2, 0x3333);
  EXPECT_EQ(step(), 12u);
  EXPECT_EQ(d(0), 0x33332222u);
  EXPECT_EQ(pc(), kCode + 6);

  for (u32 table : {5u, 4u}) {
    use_table(table);
    code({0x31c1, kCode + 6,    // MOVE.W D1,$1006.w: the next immediate
          0x343c, 0x1111,       // MOVE.W #$1111,D2
          0x31c3, kCode + 12,   // MOVE.W D3,$100C.w: the next opcode
          0x4e71});             // NOP, becomes MOVEQ #5,D3
    d(1) = 0x2222;
    d(3) = 0x7605;
    for (int i = 0; i < 4; ++i) step();
    EXPECT_EQ(d(2), table == 5 ? 0x1111u : 0x2222u) << table;
    EXPECT_EQ(d(3), 5u) << table;
  }
}

// A state written while table 4 ran holds a prefetch register no handler
// kept up: restored with table 5 installed, the next instruction still
// takes its first extension word from the words at the PC.
TEST_F(PrefetchTable, AStateFromTable4RunsOnTable5) {
  use_table(4);
  code({0x4e71, 0x303c, 0x1234});  // NOP; MOVE.W #$1234,D0
  step();
  u8 state[m68k_state_section_size];
  m68k_state_encode(state);
  use_table(5);
  m68k_state_decode(state);
  step();
  EXPECT_EQ(d(0) & 0xffff, 0x1234u);
  EXPECT_EQ(prefetch(), rl(kCode + 6));
}

// One odd word or long operand of each addressing mode, as source and as
// destination: the fault record, the stacked PC behind the extension words
// read so far, registers and flags kept (a source's own step stays done when
// the destination faults), nothing written, and the count of table 4's
// handler plus the exception's 50.
TEST_F(PrefetchTable, AddressErrorsOfTheMoveFamily) {
  struct Operand {
    u32 mode, reg;                // opcode fields; reg 0 is A0 or A1 as the side says
    std::vector<u32> odd, even;   // extension words making the address odd or even
  };
  const std::vector<Operand> operands = {
      {2, 0, {}, {}},          {3, 0, {}, {}},          {4, 0, {}, {}},
      {5, 0, {0x11}, {0x10}},  {6, 0, {0x7011}, {0x7010}},
      {7, 0, {0x8001}, {0x2000}},  {7, 1, {0x0002, 0x2001}, {0x0002, 0x2000}},
      {7, 2, {0x11}, {0x10}},  {7, 3, {0x7011}, {0x7010}}};
  u32 cases = 0;
  for (u32 size : {2u, 4u}) {
    for (bool faultDst : {false, true}) {
      for (const Operand& op : operands) {
        if (faultDst && op.mode == 7 && op.reg >= 2) continue;  // no PC-relative destination
        // Source (An)+ then the operand under test, or the operand then d16(A1)
        // or A2 (MOVEA).
        for (u32 other = 0; other < (faultDst ? 1u : 2u); ++other) {
          const Operand src = faultDst ? Operand{3, 0, {}, {}} : op;
          const Operand dst = faultDst ? op : other ? Operand{1, 2, {}, {}} : Operand{5, 1, {0x11}, {0x20}};
          const u32 dreg = dst.mode == 7 ? dst.reg : dst.mode == 1 ? 2 : 1;
          const u32 opcode = (size == 2 ? 0x3000 : 0x2000) | dreg << 9 | dst.mode << 6 | src.mode << 3 |
                             (src.mode == 7 ? src.reg : 0);
          std::vector<u32> words = {opcode};
          for (u32 w : faultDst ? src.even : src.odd) words.push_back(w);
          const u32 srcWords = u32(words.size()) - 1;
          for (u32 w : faultDst ? dst.odd : dst.even) words.push_back(w);
          const u32 before = faultDst ? u32(words.size()) - 1 : srcWords;
          const Operand& bad = faultDst ? dst : src;
          const bool oddReg = bad.mode >= 2 && bad.mode <= 4;
          auto prepare = [&] {
            std::memset(mem() + 0x20000, 0, 0x20000);
            for (u32 i = 0; i < 16; ++i) ww(kCode + 2 * i, i < words.size() ? words[i] : 0x4afc);
            // The faulting register is odd for (An), (An)+ and -(An); the
            // other modes take an odd displacement or address instead.
            a(0) = !faultDst && oddReg ? 0x20001 : 0x20000;
            a(1) = faultDst && oddReg ? 0x30001 : 0x30000;
            a(2) = 0x38000;
            d(7) = 0;
            a(7) = kSupervisorStack;
            set_ccr(0x1f);
            jump(kCode);
            m68k_reload_prefetch();
          };
          use_table(4);
          prepare();
          u32 own = 0;
          m68k_step(own);
          use_table(5);
          prepare();
          u32 handler = 0;
          const u32 total = m68k_step(handler);
          SCOPED_TRACE(testing::Message() << std::hex << "opcode " << opcode);
          ++cases;
          EXPECT_EQ(handler, own);
          EXPECT_EQ(total, own + 50);
          EXPECT_TRUE(at_vector(3));
          EXPECT_EQ(prefetch(), rl(kLanding + 12));
          const u32 sp = a(7);
          ASSERT_EQ(sp, kSupervisorStack - 14);
          EXPECT_EQ(rw(sp), 0x271fu);       // the SR in place of the status word
          EXPECT_EQ(rw(sp + 6), opcode);
          EXPECT_EQ(rw(sp + 8), 0x271fu);
          EXPECT_EQ(rl(sp + 10), kCode + 2 + 2 * before);
          const u32 reg = faultDst ? 0x30000 : 0x20000;
          u32 access = bad.mode == 4 ? reg + 1 - size : reg + 1;
          if (bad.mode == 5 || bad.mode == 6) access = reg + 0x11;
          // abs.W is sign-extended: the record keeps all 32 bits.
          if (bad.mode == 7) access = bad.reg == 0 ? 0xffff8001 : bad.reg == 1 ? 0x22001 : kCode + 2 + 0x11;
          EXPECT_EQ(rl(sp + 2), access);
          // The faulting register kept, a source's step done before a
          // destination fault kept too.
          EXPECT_EQ(a(0), faultDst ? 0x20000u + size : 0x20000u + oddReg);
          EXPECT_EQ(a(1), 0x30000u + (faultDst && oddReg));
          EXPECT_EQ(a(2), 0x38000u);
          EXPECT_EQ(ccr(), 0x1fu);
          EXPECT_EQ(rl(0x30020), 0u);
        }
      }
    }
  }
  EXPECT_EQ(cases, 2u * (9 * 2 + 7));
}

// ADDX, SUBX -(A0),-(A1) and CMPM (A0)+,(A1)+ in word and long size, with
// the source or the destination odd: the source's address is checked before
// anything happens; the destination's after the source has been read and
// A0 stepped, which stays done. The fault record holds the odd address and
// the PC behind the opcode; flags, A1 and memory are kept; the count is the
// handler's own plus the exception's 50.
TEST_F(PrefetchTable, AddressErrorsOfTheTwoOperandForms) {
  struct Form {
    u32 opcode, cycles;
    bool predecrement;
  };
  const Form forms[] = {{0xd348, 18, true},  {0xd388, 30, true},  {0x9348, 18, true},
                        {0x9388, 30, true},  {0xb348, 12, false}, {0xb388, 20, false}};
  for (const Form& f : forms) {
    const u32 size = f.opcode & 0x80 ? 4 : 2;
    for (const bool oddSource : {true, false}) {
      SCOPED_TRACE(testing::Message() << std::hex << f.opcode << (oddSource ? " source" : " destination"));
      code({f.opcode, 0x4e71});
      a(0) = 0x20000 + oddSource;
      a(1) = 0x30000 + !oddSource;
      a(7) = kSupervisorStack;
      set_ccr(0x1f);
      wl(0x30000 - 4, 0x11111111);
      wl(0x30000, 0x22222222);
      EXPECT_EQ(step(), f.cycles + 50);
      EXPECT_TRUE(at_vector(3));
      const u32 sp = a(7);
      const u32 step = f.predecrement ? size : 0;
      EXPECT_EQ(rl(sp + 2), (oddSource ? 0x20001 : 0x30001) - step);
      EXPECT_EQ(rw(sp + 6), f.opcode);
      EXPECT_EQ(rw(sp + 8), 0x271fu);
      EXPECT_EQ(rl(sp + 10), kCode + 2);
      EXPECT_EQ(a(0), oddSource ? 0x20001u : f.predecrement ? 0x20000u - size : 0x20000u + size);
      EXPECT_EQ(a(1), 0x30000u + !oddSource);
      EXPECT_EQ(rl(0x30000 - 4), 0x11111111u);
      EXPECT_EQ(rl(0x30000), 0x22222222u);
    }
  }
}

namespace {

// Every write, through a bank that logs it (with the bytes it replaced, so
// that a run can be undone) and passes it on.
struct Write {
  u32 address, size, value, old;
  bool operator==(const Write& o) const {
    return address == o.address && size == o.size && value == o.value;
  }
};
std::vector<Write> writes;
const MMU_Bank* flat;
u32 getL(u32 a) { return flat->getL(a); }
u32 getW(u32 a) { return flat->getW(a); }
u32 getB(u32 a) { return flat->getB(a); }
void putL(u32 a, u32 v) { writes.push_back({a, 4, v, flat->getL(a)}), flat->putL(a, v); }
void putW(u32 a, u32 v) { writes.push_back({a, 2, v, flat->getW(a)}), flat->putW(a, v); }
void putB(u32 a, u32 v) { writes.push_back({a, 1, v, flat->getB(a)}), flat->putB(a, v); }
u8* host(u32 a) { return flat->hostPtr(a); }
u32 check(u32 a, u32 s) { return flat->check(a, s); }
const MMU_Bank logging_bank = {getL, getW, getB, putL, putW, putB, host, check};

// Random even words over 1-5 MB, and every write logged from here on.
void random_data_with_logged_writes(std::mt19937& rng) {
  for (u32 a = 0x100000; a < 0x500000; a += 2) be_write16(FLAT_Memory() + a, rng() & 0xfffe);
  flat = MMU_bankTable[0];
  for (auto& b : MMU_bankTable) b = &logging_bank;
}

// Registers from 17 even seeds: D0-D7, A0-A6 inside the random data,
// supervisor mode with the flags and interrupt mask of seed 15, A7 at 3 MB,
// the USP from seed 16, nothing pending.
void even_registers(const u32 (&seed)[17]) {
  m68k_regs& r = m68k_regfile;
  for (u32 i = 0; i < 8; ++i) r.d[i] = seed[i];
  for (u32 i = 0; i < 7; ++i) r.a[i] = 0x100000 + (seed[8 + i] & 0x3ffffe);
  r.pending = r.inStop = 0;
  r.sr = u16(0x2000 | (seed[15] & 0x071f));
  m68k_sr_apply();
  r.a[7] = 0x300000;
  r.usp = 0x100000 + (seed[16] & 0x3ffffe);
}

// One instruction and what it left: registers, SR, cycles and writes.
struct Step {
  m68k_regs regs;
  u32 sr, cycles;
  std::vector<Write> writes;
};
Step logged_step() {
  writes.clear();
  Step st;
  st.cycles = m68k_step();
  st.regs = m68k_regfile;
  m68k_sr_compose();
  st.sr = m68k_regfile.sr;
  st.writes = writes;
  return st;
}

// Whether the prefetch register holds the two words at the PC the step left,
// unless the step wrote into them (the register keeps what it had read).
bool prefetch_is_next(const Step& st) {
  const u32 next = u32(st.regs.pcHost - FLAT_Memory());
  for (const Write& w : st.writes)
    if (w.address < next + 4 && w.address + w.size > next) return true;
  return std::memcmp(st.regs.prefetch, st.regs.pcHost, 4) == 0;
}

// Puts back what the writes replaced, the last one first.
void undo(const std::vector<Write>& logged) {
  for (auto w = logged.rbegin(); w != logged.rend(); ++w) {
    if (w->size == 4) flat->putL(w->address, w->old);
    else if (w->size == 2) flat->putW(w->address, w->old);
    else flat->putB(w->address, w->old);
  }
}

// Extension words of an operand of the given decode mode and size code.
u32 operand_words(u32 mode, u32 size) {
  switch (mode) {
    case m68k_mode_Ad16: case m68k_mode_Ad8r: case m68k_mode_absw: case m68k_mode_PC16:
    case m68k_mode_PC8r: case m68k_mode_imm0: case m68k_mode_imm1: return 1;
    case m68k_mode_absl: case m68k_mode_imm2: return 2;
    case m68k_mode_Immd: return size == 2 ? 2 : 1;
    default: return 0;
  }
}

// Bytes of an instruction: the opcode and its operands' words.
u32 instruction_length(u32 op) {
  const m68k_decode_rec& r = m68k_decode[op];
  return 2 + 2 * (operand_words(r.srcMode(), r.size()) + operand_words(r.dstMode(), r.size()));
}

// An opcode that keeps the address registers even while they are: no byte
// (An)+ or -(An) but on A7, no odd quick data to an address register, no
// odd MOVEQ data, no branch to an odd address; and no ORI, ANDI or EORI to
// the SR (the status byte must stay).
bool keeps_addresses_even(u32 op) {
  const m68k_decode_rec& r = m68k_decode[op];
  auto steps_odd = [&](u32 mode, u32 reg) {
    return r.size() == 0 && (mode == m68k_mode_Aipi || mode == m68k_mode_Apdi) && reg != 7;
  };
  if (steps_odd(r.srcMode(), r.srcReg) || steps_odd(r.dstMode(), r.dstReg)) return false;
  if (r.srcMode() == m68k_mode_inline && (r.srcReg & 1) && r.dstMode() != m68k_mode_Dreg) return false;
  if ((op & 0xf000) == 0x6000 && (op & 1)) return false;  // a branch by an odd displacement
  return op != 0x007c && op != 0x027c && op != 0x0a7c;
}

}  // namespace

// Streams of random instructions of table 5's own rows from random states in
// which every data value, address and extension word is even, run on each
// table: the same registers, flags, PC, writes and cycles after every
// instruction, and with table 5 the prefetch register holding the next two
// words. Results can turn odd (NOT, ADDX, Scc ...) and make a later address
// odd: a stream is compared up to the address error table 5 then takes, and
// up to and including any other exception (CHK), taken alike by both.
TEST_F(PrefetchTable, AgreesWithTable4OnEvenAddresses) {
  std::mt19937 rng(5);
  constexpr u32 kStream = 0xf00000, kLength = 12;
  random_data_with_logged_writes(rng);
  u32 written = 0, compared = 0, whole = 0, trapped = 0;
  std::set<u32> bases;
  for (u32 trial = 0; trial < 600; ++trial) {
    u32 at = kStream;
    for (u32 i = 0; i < kLength; ++i) {
      u32 base, opcode;
      do {
        base = m68k_handlers_t5[rng() % m68k_handler_table_rows[5]].base;
        // Register fields and MOVEQ's data, else the register fields only.
        opcode = base | (rng() & 0x0eff);
        if (m68k_decode[opcode].handlerOpcode != base) opcode = base | (rng() & 0x0e07);
        if (m68k_decode[opcode].handlerOpcode != base) opcode = base;
      } while (!keeps_addresses_even(opcode));
      ww(at, opcode);
      for (u32 k = 1; k <= 4; ++k) ww(at + 2 * k, rng() & 0xfffe);
      at += instruction_length(opcode);
    }
    const u32 end = at;
    u32 seed[17];
    for (u32& v : seed) v = rng() & ~1u;
    auto run = [&](u32 table) {
      use_table(table);
      even_registers(seed);
      jump(kStream);
      m68k_reload_prefetch();
      std::vector<Step> steps;
      // Up to the end of the stream or the first exception.
      for (u32 i = 0; i < kLength && pc() >= kStream && pc() < end; ++i) steps.push_back(logged_step());
      for (auto s = steps.rbegin(); s != steps.rend(); ++s) undo(s->writes);
      return steps;
    };
    const std::vector<Step> t4 = run(4), t5 = run(5);
    const bool odd = at_vector(3);
    whole += t5.size() == kLength && !odd && pc() == end;
    trapped += !odd && pc() != end;
    // An address error on table 5 ends the comparison before its step.
    const size_t n = t5.size() - (odd ? 1 : 0);
    ASSERT_GE(t4.size(), n);
    for (u32 i = 0; i < n; ++i) {
      SCOPED_TRACE(testing::Message() << "trial " << trial << " step " << i);
      ++compared;
      written += u32(t4[i].writes.size());
      EXPECT_EQ(t5[i].cycles, t4[i].cycles);
      EXPECT_EQ(t5[i].sr, t4[i].sr);
      EXPECT_EQ(std::memcmp(t5[i].regs.d, t4[i].regs.d, sizeof t4[i].regs.d), 0);
      EXPECT_EQ(std::memcmp(t5[i].regs.a, t4[i].regs.a, sizeof t4[i].regs.a), 0);
      EXPECT_EQ(t5[i].regs.pcHost, t4[i].regs.pcHost);
      EXPECT_TRUE(prefetch_is_next(t5[i]));
      EXPECT_TRUE(t5[i].writes == t4[i].writes);
    }
    for (u32 i = 0, pc = kStream; i < n; pc += instruction_length(rw(pc)), ++i) {
      const u32 h = m68k_decode[rw(pc)].handlerOpcode;
      bases.insert(h == m68k_no_handler ? rw(pc) : h);
    }
  }
  EXPECT_GT(compared, 5000u);
  EXPECT_GT(whole, 300u);
  EXPECT_GT(trapped, 0u);  // CHK
  EXPECT_GT(written, 2000u);
  EXPECT_GT(bases.size(), m68k_handler_table_rows[5] * 85 / 100);  // a branch ends its stream
  FLAT_Install();
}

// Every row of table 5, one instruction at a time from random states
// in which every register, extension word and memory word is even, so that
// no address error can occur: the same registers, SR, PC, writes and cycles
// as table 4's row, and the prefetch register holding the two words at the
// new PC unless the instruction wrote them.
TEST_F(PrefetchTable, EachOwnRowAgreesWithTable4OnEvenAddresses) {
  std::mt19937 rng(23);
  constexpr u32 kAt = 0xf00000;
  random_data_with_logged_writes(rng);
  std::map<u32, m68k_handler> t4_row;
  for (const m68k_handler_row* row = m68k_handlers_t4; row->handler; ++row) t4_row[row->base] = row->handler;
  u32 runs = 0;
  for (u32 row = 0; row < m68k_handler_table_rows[5]; ++row) {
    const u32 base = m68k_handlers_t5[row].base;
    const m68k_handler handlers[2] = {t4_row[base], m68k_handlers_t5[row].handler};
    for (u32 trial = 0; trial < 4; ++trial) {
      u32 opcode = base | (rng() & 0x0eff);
      if (m68k_decode[opcode].handlerOpcode != base) opcode = base;
      if (!keeps_addresses_even(opcode)) continue;
      ww(kAt, opcode);
      for (u32 k = 1; k <= 4; ++k) ww(kAt + 2 * k, rng() & 0xfffe);
      u32 seed[17];
      for (u32& v : seed) v = rng() & ~1u;
      auto run = [&](u32 table) {
        m68k_dispatch[opcode] = handlers[table - 4];
        even_registers(seed);
        jump(kAt);
        m68k_reload_prefetch();
        const Step st = logged_step();
        undo(st.writes);
        return st;
      };
      const Step t4 = run(4), t5 = run(5);
      SCOPED_TRACE(testing::Message() << std::hex << "opcode " << opcode);
      ++runs;
      EXPECT_EQ(t5.cycles, t4.cycles);
      EXPECT_EQ(t5.sr, t4.sr);
      EXPECT_EQ(std::memcmp(t5.regs.d, t4.regs.d, sizeof t4.regs.d), 0);
      EXPECT_EQ(std::memcmp(t5.regs.a, t4.regs.a, sizeof t4.regs.a), 0);
      EXPECT_EQ(t5.regs.usp, t4.regs.usp);
      EXPECT_EQ(t5.regs.isp, t4.regs.isp);
      EXPECT_EQ(t5.regs.pcHost, t4.regs.pcHost);
      EXPECT_TRUE(t5.writes == t4.writes);
      EXPECT_TRUE(prefetch_is_next(t5));
    }
  }
  EXPECT_GT(runs, 2500u);
  FLAT_Install();
  use_table(5);
}
