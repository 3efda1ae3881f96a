#include "deviations.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>

#include "cpu/exceptions.h"

namespace conformance {

namespace {

bool family_in(const Context& c, std::initializer_list<std::string_view> names) {
  for (std::string_view n : names)
    if (c.family == n) return true;
  return false;
}

u32 expected_cycles(const Context& c) { return c.test.cycles; }

// Whether the recorded run's first address error is on a write.
bool first_fault_is_write(const TestCase& t) {
  for (const Transaction& x : t.transactions) {
    if (x.kind == BusKind::read_address_error) return false;
    if (x.kind == BusKind::write_address_error) return true;
  }
  return false;
}


// Bcc with displacement byte 0xFF: one word of 12 cycles (and the address
// error's 50 when taken), whose frame differs from the chip's only inside
// its 14 bytes (first word, access address and PC). BSR 0x61FF is BSR.L.
bool branch_ff_long(const Context& c, Aspect aspect) {
  if ((c.test.opcode() & 0xFF) != 0xFF) return false;
  if (c.family == "BSR") return true;
  if (c.table != 4 || c.family != "Bcc") return false;
  if (aspect == aspect_cycles) return c.got.cycles == 12 + (c.vector == 3 ? m68k_exception_cycles(3) : 0);
  if (c.got.fields != field_memory || c.vector != 3) return false;
  const u32 frame = c.test.final.ssp & 0xFFFFFF;
  for (const MemoryDiff& m : c.got.memory)
    if (((m.address - frame) & 0xFFFFFF) >= 14) return false;
  return true;
}

// The recorded run ends in an address error; the model, which makes no
// alignment check, went on with the instruction instead of taking it.
bool no_alignment_check(const Context& c, Aspect) {
  return c.table == 4 && c.test.address_error() && c.got.pc != c.test.final.pc - 4;
}

bool form_68000_lacks(const Context& c, Aspect) {
  return c.vector == 4 && is_form_68000_lacks(c.test.opcode());
}

// The exception's cost comes on top of the handler's count, where the chip
// overlaps the two: the model's count is exactly the handler's plus the
// vector's cost, and the chip's lies within the handler's count of that cost.
bool exception_cycles_added(const Context& c, Aspect) {
  if (c.vector < 0) return false;
  const u32 cost = m68k_exception_cycles(u32(c.vector));
  const u32 own = c.got.handler_cycles, expected = expected_cycles(c);
  return c.got.cycles == own + cost && expected + own >= cost && expected <= cost + own;
}

bool vector_pc_24bit(const Context& c, Aspect) {
  const u32 expected = c.test.final.pc - 4;
  return c.vector >= 24 && c.got.fields == field_pc && expected > 0xFFFFFF &&
         c.got.pc == (expected & 0xFFFFFF);
}

bool sr_bits_kept(const Context& c, Aspect) {
  return c.got.fields == field_sr && ((c.got.sr ^ c.test.final.sr) & ~0x5000u) == 0 &&
         (c.got.sr & 0x5000) != 0;
}

// Only flag bits in mask differ, in the SR and in the SR word stacked by a
// trap (whose low byte lies at the final SSP + 1).
bool only_flags_differ(const Context& c, u16 mask) {
  if ((c.got.fields & ~(field_sr | field_memory)) != 0) return false;
  if ((c.got.sr ^ c.test.final.sr) & ~mask) return false;
  if (!(c.got.fields & field_memory)) return true;
  if (c.vector < 0) return false;
  const u32 stacked_ccr = (c.test.final.ssp + 1) & 0xFFFFFF;
  for (const MemoryDiff& m : c.got.memory)
    if (m.address != stacked_ccr || ((m.expected ^ m.got) & ~mask)) return false;
  return true;
}

bool chk_flags(const Context& c, Aspect) {
  // N is defined when the check traps (set below zero, clear above the bound).
  return c.family == "CHK" && only_flags_differ(c, c.vector == 6 ? 0x07 : 0x0F);
}

bool nbcd_flags(const Context& c, Aspect) { return c.family == "NBCD" && only_flags_differ(c, 0x0A); }

// Divide overflow: the model keeps Z where the chip clears it; N, V and C
// agree (1, 1, 0) and the register is left alone by both.
bool div_overflow_z(const Context& c, Aspect) {
  if (!family_in(c, {"DIVU", "DIVS"}) || c.got.fields != field_sr) return false;
  const u16 got = u16(c.got.sr), before = c.test.initial.sr;
  return (got ^ c.test.final.sr) == 0x04 && (got & 0x0B) == 0x0A && (got & 0x04) == (before & 0x04);
}

// LINK A7 stores A7 as lowered by the push: the long written at the new
// frame is 4 below the one the chip writes, and nothing else differs.
bool link_a7_lowered(const Context& c, Aspect) {
  if (c.test.opcode() != 0x4E57 || c.got.fields != field_memory) return false;
  const u32 a7 = (c.test.initial.sr & 0x2000) ? c.test.initial.ssp : c.test.initial.usp;
  const u32 slot = (a7 - 4) & 0xFFFFFF;
  u32 delta = 0;
  for (const MemoryDiff& m : c.got.memory) {
    const u32 k = (m.address - slot) & 0xFFFFFF;
    if (k >= 4) return false;
    delta += (u32(m.expected) - u32(m.got)) << (8 * (3 - k));
  }
  return delta == 4;
}

bool link_cycles(const Context& c, Aspect) {
  return c.family == "LINK" && c.got.cycles == 18 && expected_cycles(c) == 16;
}

// A STOP that stops: the chip's recorded PC is the STOP itself (its queue
// is not refilled), the model's PC is past the operand, where both resume.
// The SR may differ as sr-bits-12-14-kept allows.
bool stop_pc(const Context& c, Aspect) {
  if (c.family != "STOP" || !(c.test.initial.sr & 0x2000) || c.vector >= 0) return false;
  if ((c.got.fields & ~(field_pc | field_sr | field_prefetch)) != 0 || !(c.got.fields & field_pc)) return false;
  if ((c.got.sr ^ c.test.final.sr) & ~0x5000u) return false;
  const u32 at = c.test.initial.pc - 4;
  return c.test.final.pc - 4 == at && c.got.pc == at + 4;
}

// BCHG, BCLR and BSET on a data register take the count of bit numbers 16-31
// for every bit number; the chip is 2 cycles faster below bit 16.
bool bit_dn_cycles(const Context& c, Aspect) {
  if (!family_in(c, {"BCHG", "BCLR", "BSET"})) return false;
  const u16 op = c.test.opcode();
  if ((op & 0x38) != 0) return false;
  const u32 bit = (op & 0x100) ? c.test.initial.d[(op >> 9) & 7] & 31 : c.test.initial.prefetch[1] & 31;
  return bit < 16 && c.got.cycles == expected_cycles(c) + 2;
}

bool btst_dn_imm_cycles(const Context& c, Aspect) {
  return c.family == "BTST" && (c.test.opcode() & 0x13F) == 0x13C && c.got.cycles == 8 &&
         expected_cycles(c) == 10;
}

// 68000 effective-address time of a word operand, by mode and register.
u32 word_ea_time(u16 op) {
  const u32 mode = (op >> 3) & 7, reg = op & 7;
  static constexpr u8 by_mode[7] = {0, 0, 4, 4, 6, 8, 10};
  static constexpr u8 by_reg[5] = {8, 12, 8, 10, 4};  // abs.W, abs.L, d16(PC), d8(PC,Xn), #
  return mode < 7 ? by_mode[mode] : reg < 5 ? by_reg[reg] : 0;
}

// The model's count is the published maximum plus the operand's time (and
// vector 5's cost for a zero divisor), whatever the operands.
bool mul_div_time(const Context& c, Aspect) {
  u32 base;
  if (family_in(c, {"MULU", "MULS"})) base = 70;
  else if (c.family == "DIVU") base = 140;
  else if (c.family == "DIVS") base = 158;
  else return false;
  const u32 exception = c.vector == 5 ? m68k_exception_cycles(5) : 0;
  return c.got.cycles == base + word_ea_time(c.test.opcode()) + exception;
}

// Condition cc (0-15) on the flags of sr.
bool condition_holds(u32 cc, u16 sr) {
  const bool c = sr & 1, v = sr & 2, z = sr & 4, n = sr & 8;
  switch (cc) {
    case 0: return true;
    case 1: return false;
    case 2: return !c && !z;
    case 3: return c || z;
    case 4: return !c;
    case 5: return c;
    case 6: return !z;
    case 7: return z;
    case 8: return !v;
    case 9: return v;
    case 10: return !n;
    case 11: return n;
    case 12: return n == v;
    case 13: return n != v;
    case 14: return !z && n == v;
    default: return z || n != v;
  }
}

bool scc_dn_true(const Context& c, Aspect) {
  const u16 op = c.test.opcode();
  return c.family == "Scc" && ((op >> 3) & 7) == 0 && condition_holds((op >> 8) & 15, c.test.initial.sr) &&
         c.got.cycles == 4 && expected_cycles(c) == 6;
}

// A MOVE.W to -(An) whose write takes the address error.
bool move_predec_fault(const Context& c, Aspect) {
  return c.table == 5 && c.vector == 3 && c.family == "MOVE.w" && ((c.test.opcode() >> 6) & 7) == 4 &&
         first_fault_is_write(c.test) && expected_cycles(c) == c.got.cycles + 2;
}

bool move_predec(const Context& c, Aspect) {
  return family_in(c, {"MOVE.b", "MOVE.w", "MOVE.l"}) && ((c.test.opcode() >> 6) & 7) == 4 &&
         c.got.cycles == expected_cycles(c) + 2;
}

// Partial deviations of table 5's address errors ---------------------------

// The bytes the recording lists before the instruction.
std::map<u32, u8> initial_bytes(const TestCase& t) {
  std::map<u32, u8> bytes;
  for (const MemoryWord& w : t.initial.memory) {
    bytes[w.address & 0xFFFFFF] = u8(w.value >> 8);
    bytes[(w.address + 1) & 0xFFFFFF] = u8(w.value);
  }
  return bytes;
}

// A7 of a state, by its S bit.
u32 active_a7(const CpuState& s) { return (s.sr & 0x2000) ? s.ssp : s.usp; }
u32 address_register(const CpuState& s, u32 n) { return n < 7 ? s.a[n] : active_a7(s); }

// Extension words of an effective address of a MOVE-like operand.
u32 extension_words(u32 mode, u32 reg, u32 size) {
  if (mode == 5 || mode == 6) return 1;
  if (mode != 7) return 0;
  if (reg == 1 || (reg == 4 && size == 4)) return 2;
  return 1;
}

// What the model's address error leaves that the chip's may not: the PC it
// stacks (the address behind the extension words read before the check)
// and, when the faulting operand is (An)+ or -(An), its register and the
// value left in it (not stepped by the faulting operand). Known for every
// family whose instruction can take one.
struct FaultRules {
  u32 stacked_pc;
  int reg = -1;
  u32 reg_value = 0;
  // A long write to -(An) (MOVE) or long read of ADDX/SUBX -(An): the model
  // records the long's address, An - 4.
  std::optional<u32> predec_long_access;
};

// One checked memory operand of `size` bytes, its extension words behind
// `lead` words (an immediate, MOVEM's mask): the PC behind them all is
// stacked, and an (An)+ or -(An) register is kept.
FaultRules one_operand_rules(const Context& c, u32 lead, u32 size) {
  const u16 op = c.test.opcode();
  const u32 mode = (op >> 3) & 7, reg = op & 7;
  FaultRules rules;
  rules.stacked_pc = c.test.initial.pc - 2 + 2 * (lead + extension_words(mode, reg, size));
  if (mode == 3 || mode == 4) {
    rules.reg = int(reg);
    rules.reg_value = address_register(c.test.initial, reg);
  }
  return rules;
}

// The rules of the families with one checked word or long memory operand
// (MOVEM's register mask coming before its words), and of those whose check
// is on the stack pointer or the branch target, which stack the address
// behind the opcode. MOVE from SR is one of the former: the chip reads its
// operand before writing it and faults on that read, with -(An) already
// lowered; the model checks the address before it steps the register, so
// the register and the flags are kept as for any other operand.
std::optional<FaultRules> control_fault_rules(const Context& c) {
  if (family_in(c, {"Bcc", "DBcc", "RTE", "RTR", "UNLINK"})) {
    FaultRules rules;
    rules.stacked_pc = c.test.initial.pc - 2;
    return rules;
  }
  if (family_in(c, {"MOVEM.w", "MOVEM.l"})) return one_operand_rules(c, 1, c.family.back() == 'l' ? 4 : 2);
  if (family_in(c, {"DIVU", "DIVS", "MULU", "MULS", "MOVEtoSR", "MOVEtoCCR", "MOVEfromSR", "ASL.w", "ASR.w",
                    "LSL.w", "LSR.w", "ROL.w", "ROR.w", "ROXL.w", "ROXR.w"}))
    return one_operand_rules(c, 0, 2);
  return std::nullopt;
}

// The arithmetic, logic, immediate and single-operand families: one memory
// operand, checked once all the instruction's words are read (the
// immediate's words come first), or the two stepped operands of ADDX, SUBX
// -(Ay),-(Ax) and CMPM (Ay)+,(Ax)+, each checked right before its read, the
// destination after the source's step.
std::optional<FaultRules> arithmetic_fault_rules(const Context& c) {
  const std::string_view name = c.family.substr(0, c.family.find('.'));
  static constexpr std::string_view families[] = {"ADD", "ADDA", "ADDX", "SUB", "SUBA", "SUBX", "AND",
                                                  "OR",  "EOR",  "CMP",  "CMPA", "NEG", "NEGX", "NOT",
                                                  "CLR", "TST",  "CHK"};
  if (std::find(std::begin(families), std::end(families), name) == std::end(families)) return std::nullopt;
  const u16 op = c.test.opcode();
  const u32 line = op >> 12, opmode = (op >> 6) & 7, mode = (op >> 3) & 7, reg = op & 7, x = (op >> 9) & 7;
  const CpuState& before = c.test.initial;
  const u32 at = before.pc - 4;
  FaultRules rules;
  if ((line == 0x9 || line == 0xB || line == 0xD) && opmode >= 4 && opmode <= 6 && mode == 1) {
    // Word or long: the step is the size, so the destination can only be
    // odd when it is another register than the even source's. The faulting
    // operand's register is kept as it was.
    const u32 step = 1u << (opmode & 3), y = reg;
    const bool cmpm = line == 0xB;
    const u32 ay = address_register(before, y), source = cmpm ? ay : ay - step;
    rules.stacked_pc = at + 2;
    rules.reg = int(source & 1 ? y : x);
    rules.reg_value = address_register(before, u32(rules.reg));
    if (!cmpm && step == 4) rules.predec_long_access = rules.reg_value - 4;
    return rules;
  }
  u32 size, imm_words = 0;
  if (line == 0) {
    size = 1u << ((op >> 6) & 3);
    imm_words = size == 4 ? 2 : 1;
  } else if (name == "CHK") {
    size = (op & 0x80) ? 2 : 4;
  } else if (line >= 8) {
    size = opmode == 3 ? 2 : opmode == 7 ? 4 : 1u << (opmode & 3);
  } else {
    size = 1u << ((op >> 6) & 3);
  }
  return one_operand_rules(c, imm_words, size);
}

std::optional<FaultRules> fault_rules(const Context& c) {
  if (c.table != 5 || c.vector != 3) return std::nullopt;
  if (std::optional<FaultRules> rules = control_fault_rules(c)) return rules;
  const bool movea = family_in(c, {"MOVEA.w", "MOVEA.l"});
  if (!movea && !family_in(c, {"MOVE.w", "MOVE.l"})) return arithmetic_fault_rules(c);
  const u16 op = c.test.opcode();
  const u32 size = c.family.back() == 'l' ? 4 : 2;
  const u32 sm = (op >> 3) & 7, sr = op & 7, dm = (op >> 6) & 7, dr = (op >> 9) & 7;
  const u32 src_words = extension_words(sm, sr, size);
  const u32 dst_words = movea ? 0 : extension_words(dm, dr, size);
  const CpuState& before = c.test.initial;
  const u32 at = before.pc - 4;
  FaultRules rules;
  auto stepped = [](u32 mode) { return mode == 3 || mode == 4; };
  if (!first_fault_is_write(c.test)) {
    rules.stacked_pc = at + 2 + 2 * src_words;
    if (stepped(sm)) {
      rules.reg = int(sr);
      rules.reg_value = address_register(before, sr);
    }
  } else {
    rules.stacked_pc = at + 2 + 2 * (src_words + dst_words);
    if (stepped(dm)) {
      rules.reg = int(dr);
      rules.reg_value = address_register(before, dr);
      // The source's own step stays done.
      if (stepped(sm) && sr == dr) rules.reg_value += sm == 3 ? size : 0u - size;
      if (dm == 4 && size == 4) rules.predec_long_access = rules.reg_value - 4;
    }
  }
  return rules;
}

bool table5_address_error(const Context& c) { return c.table == 5 && c.vector == 3; }

// Moves the recorded address-error frame (14 bytes at the final SSP) to `to`,
// the bytes it covered getting back what the recording lists before the run.
void move_frame(const TestCase& t, Rewritten& e, u32 to) {
  const u32 from = e.regs.ssp;
  u8 frame[14];
  for (u32 i = 0; i < 14; ++i) frame[i] = e.byte(from + i);
  const std::map<u32, u8> before = initial_bytes(t);
  for (u32 i = 0; i < 14; ++i) {
    const u32 a = (from + i) & 0xFFFFFF;
    const auto it = before.find(a);
    if (it != before.end()) e.memory[a] = it->second;
    else e.memory.erase(a);
  }
  for (u32 i = 0; i < 14; ++i) e.memory[(to + i) & 0xFFFFFF] = frame[i];
  e.regs.ssp = to;
}

// The faulting (An)+ or -(An) operand's register is left as it was, where
// the chip may have stepped it already. When it is the supervisor's A7 the
// chip's frame lies lower or higher by the step: it moves too.
bool rewrite_register_kept(const Context& c, Rewritten& e) {
  const std::optional<FaultRules> rules = fault_rules(c);
  if (!rules || rules->reg < 0) return false;
  const u32 n = u32(rules->reg);
  const bool super = c.test.initial.sr & 0x2000;
  const u32 chip = n < 7 ? e.regs.a[n] : super ? e.regs.ssp + 14 : e.regs.usp;
  const u32 delta = chip - rules->reg_value;
  if (delta != 2 && delta != 4 && delta != 0u - 2 && delta != 0u - 4) return false;
  if (n < 7) e.regs.a[n] = rules->reg_value;
  else if (!super) e.regs.usp = rules->reg_value;
  else move_frame(c.test, e, e.regs.ssp - delta);
  return true;
}

// A write that takes the address error leaves the condition codes as they
// were, in the SR and in the SR the frame stacks; the chip has set some or
// all of them from the value already.
bool rewrite_flags_kept(const Context& c, Rewritten& e) {
  if (!fault_rules(c) || !first_fault_is_write(c.test)) return false;
  const u32 before = c.test.initial.sr & 0x0F;
  const u32 stacked = e.regs.ssp + 8;
  const u32 word = e.read(stacked, 2);
  if ((e.regs.sr & 0x0F) == before && (word & 0x0F) == before) return false;
  e.regs.sr = u16((e.regs.sr & ~0x0Fu) | before);
  e.write(stacked, 2, (word & ~0x0Fu) | before);
  return true;
}

bool rewrite_stacked_pc(const Context& c, Rewritten& e) {
  const std::optional<FaultRules> rules = fault_rules(c);
  if (!rules) return false;
  const u32 chip = e.read(e.regs.ssp + 10, 4);
  if (chip != rules->stacked_pc + 2 && chip != rules->stacked_pc - 2) return false;
  e.write(e.regs.ssp + 10, 4, rules->stacked_pc);
  return true;
}

// A long access through -(An) that faults records the long's address; the
// chip's MOVE writes and ADDX/SUBX reads the low word first and record its
// address, 2 higher.
bool rewrite_predec_long_address(const Context& c, Rewritten& e) {
  const std::optional<FaultRules> rules = fault_rules(c);
  if (!rules || !rules->predec_long_access) return false;
  const u32 access = e.regs.ssp + 2;
  if (e.read(access, 4) != *rules->predec_long_access + 2) return false;
  e.write(access, 4, *rules->predec_long_access);
  return true;
}

// The frame's instruction-register word holds the opcode; the chip's may
// hold the next word its prefetch has taken (MOVE.W to -(An)).
bool rewrite_ir_opcode(const Context& c, Rewritten& e) {
  if (!table5_address_error(c) || e.read(e.regs.ssp + 6, 2) == c.test.opcode()) return false;
  e.write(e.regs.ssp + 6, 2, c.test.opcode());
  return true;
}

// The frame's first word repeats the stacked SR.
bool rewrite_first_word(const Context& c, Rewritten& e) {
  if (!table5_address_error(c)) return false;
  const u32 sr = e.read(e.regs.ssp + 8, 2);
  if (e.read(e.regs.ssp, 2) == sr) return false;
  e.write(e.regs.ssp, 2, sr);
  return true;
}

// Table 5's control flow and stack instructions ------------------------------

// JMP, JSR and RTS make no alignment check, and no return checks the PC it
// pops; the recorded run took the address error the model went past.
bool unchecked_jumps(const Context& c, Aspect) {
  return c.table == 5 && family_in(c, {"JMP", "JSR", "RTS", "RTE", "RTR"}) && c.test.address_error() &&
         c.got.pc != c.test.final.pc - 4;
}

// A BSR to an odd target pushes nothing and stacks the address behind the
// opcode; the chip pushes the return address first and stacks the target.
bool rewrite_bsr_no_push(const Context& c, Rewritten& e) {
  if (!table5_address_error(c) || c.family != "BSR") return false;
  const CpuState& before = c.test.initial;
  const bool super = before.sr & 0x2000;
  const u32 sp = active_a7(before);
  if (super ? e.regs.ssp != sp - 18 : e.regs.usp != sp - 4) return false;
  const std::map<u32, u8> bytes = initial_bytes(c.test);
  for (u32 i = 1; i <= 4; ++i) {
    const u32 a = (sp - i) & 0xFFFFFF;
    const auto it = bytes.find(a);
    if (it != bytes.end()) e.memory[a] = it->second;
    else e.memory.erase(a);
  }
  if (super) move_frame(c.test, e, sp - 14);
  else e.regs.usp = sp;
  e.write(e.regs.ssp + 10, 4, before.pc - 2);
  return true;
}

// A DBcc whose branch target is odd has already counted down; the chip
// leaves the counter as it was.
bool rewrite_dbcc_counted(const Context& c, Rewritten& e) {
  if (!table5_address_error(c) || c.family != "DBcc") return false;
  u32& d = e.regs.d[c.test.opcode() & 7];
  if (d != c.test.initial.d[c.test.opcode() & 7]) return false;
  d = (d & 0xFFFF0000u) | ((d - 1) & 0xFFFF);
  return true;
}

// UNLK with an odd An takes the address error with A7 already An, so the
// supervisor's frame lies below that address; the chip leaves A7 alone.
bool rewrite_unlk_a7_moved(const Context& c, Rewritten& e) {
  if (!table5_address_error(c) || c.family != "UNLINK") return false;
  const CpuState& before = c.test.initial;
  const u32 an = address_register(before, c.test.opcode() & 7);
  const bool super = before.sr & 0x2000;
  if (!(an & 1) || (super ? e.regs.ssp != before.ssp - 14 : e.regs.usp != before.usp)) return false;
  if (super) move_frame(c.test, e, an - 14);
  else e.regs.usp = an;
  return true;
}

// Cycles: a Bcc taken to an odd target counts the not-taken 8 before the
// exception; the chip takes 10.
bool branch_odd_target_cycles(const Context& c, Aspect) {
  return c.table == 5 && c.vector == 3 && c.family == "Bcc" && c.got.handler_cycles == 8 &&
         expected_cycles(c) == c.got.cycles + 2;
}

// Cycles: a MOVEM whose first address is odd counts its base cycles before
// the exception; the chip takes 4 more.
bool movem_fault_cycles(const Context& c, Aspect) {
  return c.table == 5 && c.vector == 3 && family_in(c, {"MOVEM.w", "MOVEM.l"}) &&
         expected_cycles(c) == c.got.cycles + 4;
}

constexpr u8 both = aspect_state | aspect_cycles;

const Deviation table[] = {
    {"branch-ff-long", both, branch_ff_long, nullptr,
     "table 4 runs Bcc with displacement byte 0xFF as one 12-cycle word whose address error "
     "stacks the target and PC 2 higher, and both tables run 0x61FF as BSR.L; the chip branches "
     "to the odd address"},
    {"no-alignment-check", both, no_alignment_check, nullptr,
     "table 4 makes no alignment check: odd word/long accesses and odd jump targets go through "
     "instead of taking an address error"},
    {"forms-68000-lacks", both, form_68000_lacks, nullptr,
     "level-0 rows execute CHK.L, TST An/PC-relative/immediate, CMPI and BCHG/BCLR/BSET "
     "PC-relative, RTD and EXTB, which the chip rejects as illegal"},
    {"unchecked-jumps", both, unchecked_jumps, nullptr,
     "JMP, JSR and RTS make no alignment check and no return checks the PC it pops: an odd "
     "target continues at the even address below it and RTS pops at an odd A7; the chip takes an "
     "address error"},
    {"vector-pc-24-bit", aspect_state, vector_pc_24bit, nullptr,
     "the handler address fetched from vectors 24 and up is cut to 24 bits"},
    {"sr-bits-12-14-kept", aspect_state, sr_bits_kept, nullptr,
     "SR bits 12 and 14 (M and T0 of later models) are kept where the chip reads them as zero"},
    {"chk-undefined-flags", aspect_state, chk_flags, nullptr,
     "CHK leaves Z, V, C (and N when it does not trap) as the model computes them; the chip's "
     "values are undefined"},
    {"nbcd-undefined-flags", aspect_state, nbcd_flags, nullptr,
     "NBCD's N and V are undefined on the chip and computed otherwise by the model"},
    {"div-overflow-z-kept", aspect_state, div_overflow_z, nullptr,
     "DIVU and DIVS overflow keep Z; the chip clears it (N, V and C agree)"},
    {"link-a7-pushes-lowered-a7", aspect_state, link_a7_lowered, nullptr,
     "LINK A7 reads A7 after the push lowered it and stores that; the chip stores the old A7"},
    {"stop-pc-past-operand", aspect_state, stop_pc, nullptr,
     "a stopped CPU's PC is past STOP's operand, where it resumes (table 5's prefetch words are "
     "the two there); the chip's recorded PC is the STOP itself"},
    // Partial: one cause each of a table-5 address error's mismatch.
    {"bsr-odd-target-pushes-nothing", aspect_state, nullptr, rewrite_bsr_no_push,
     "a BSR to an odd target takes the address error before it pushes the return address and "
     "stacks the address behind the opcode; the chip pushes first and stacks the target"},
    {"dbcc-odd-target-counted", aspect_state, nullptr, rewrite_dbcc_counted,
     "a DBcc whose branch target is odd takes the address error with the counter already "
     "decremented; the chip leaves it"},
    {"unlk-odd-a7-moved", aspect_state, nullptr, rewrite_unlk_a7_moved,
     "UNLK with an odd An loads A7 from An before the address error, whose frame then lies below "
     "that address; the chip leaves A7 as it was"},
    {"address-error-register-kept", aspect_state, nullptr, rewrite_register_kept,
     "an address error leaves the faulting (An)+ or -(An) operand's register as it was; the chip "
     "may have stepped it already"},
    {"address-error-flags-kept", aspect_state, nullptr, rewrite_flags_kept,
     "a write that takes an address error leaves the condition codes as they were; the chip has "
     "set some or all of them from the value already"},
    {"address-error-stacked-pc", aspect_state, nullptr, rewrite_stacked_pc,
     "the address error stacks the PC behind the extension words read before the check; the "
     "chip's stacked PC follows its prefetch and lies 2 bytes before or after that"},
    {"address-error-long-predec-address", aspect_state, nullptr, rewrite_predec_long_address,
     "a long write to -(An) (MOVE) or long read of ADDX/SUBX -(An) that takes an address error "
     "records An - 4; the chip accesses the low word first and records An - 2"},
    {"address-error-ir-opcode", aspect_state, nullptr, rewrite_ir_opcode,
     "the address-error frame's instruction register holds the opcode; after a MOVE.W to -(An) "
     "the chip's holds the next instruction's first word"},
    {"group0-frame-first-word", aspect_state, nullptr, rewrite_first_word,
     "the address-error frame's first word holds the SR, not the access type and function code"},
    {"mul-div-constant-time", aspect_cycles, mul_div_time, nullptr,
     "MULU, MULS, DIVU and DIVS take constant time instead of the operand-dependent count"},
    {"branch-odd-target-2-fewer", aspect_cycles, branch_odd_target_cycles, nullptr,
     "a Bcc taken to an odd address counts 8 cycles before the address error; the chip takes 10"},
    {"movem-fault-4-fewer", aspect_cycles, movem_fault_cycles, nullptr,
     "a MOVEM whose first address is odd counts its base cycles before the address error; the "
     "chip takes 4 more"},
    {"scc-dn-true-4-cycles", aspect_cycles, scc_dn_true, nullptr, "Scc Dn takes 4 cycles when true; the chip takes 6"},
    {"move-predec-2-more", aspect_cycles, move_predec, nullptr,
     "MOVE to -(An) costs 2 cycles more than MOVE to (An); on the chip they cost the same"},
    {"move-predec-fault-2-fewer", aspect_cycles, move_predec_fault, nullptr,
     "a MOVE.W to -(An) whose write takes the address error counts the handler's cycles and the "
     "exception's; the chip takes 2 more"},
    {"link-18-cycles", aspect_cycles, link_cycles, nullptr, "LINK takes 18 cycles; the chip takes 16"},
    {"bit-op-dn-fixed-cycles", aspect_cycles, bit_dn_cycles, nullptr,
     "BCHG, BCLR and BSET on Dn take one count for every bit number; the chip takes 2 fewer "
     "below bit 16"},
    {"btst-dn-imm-8-cycles", aspect_cycles, btst_dn_imm_cycles, nullptr,
     "BTST Dn,#data takes 8 cycles; the chip takes 10"},
    {"exception-cycles-added", aspect_cycles, exception_cycles_added, nullptr,
     "exception processing cycles are added on top of the handler's own count"},
};

std::optional<u32> initial_long(const TestCase& t, u32 address) {
  u32 bytes = 0, found = 0;
  for (const MemoryWord& w : t.initial.memory) {
    for (u32 k = 0; k < 2; ++k) {
      const u32 a = (w.address + k) & 0xFFFFFF;
      if (a >= address && a < address + 4) {
        const u32 shift = 8 * (3 - (a - address));
        bytes = (bytes & ~(0xFFu << shift)) | (u32(k ? w.value & 0xFF : w.value >> 8) << shift);
        found |= 1u << (a - address);
      }
    }
  }
  if (found != 0xF) return std::nullopt;
  return bytes;
}

bool read_during_run(const TestCase& t, u32 address) {
  for (const Transaction& x : t.transactions)
    if ((x.kind == BusKind::read || x.kind == BusKind::read_modify_write) &&
        (x.address & 0xFFFFFF) == address)
      return true;
  return false;
}

}  // namespace

static_assert(std::size(table) <= 64, "classify returns the deviations as a 64-bit mask");

std::span<const Deviation> deviations() { return table; }

u8 Rewritten::byte(u32 address) const {
  const auto it = memory.find(address & 0xFFFFFF);
  return it == memory.end() ? 0 : it->second;
}

u32 Rewritten::read(u32 address, u32 bytes) const {
  u32 v = 0;
  for (u32 i = 0; i < bytes; ++i) v = (v << 8) | byte(address + i);
  return v;
}

void Rewritten::write(u32 address, u32 bytes, u32 value) {
  for (u32 i = 0; i < bytes; ++i) memory[(address + i) & 0xFFFFFF] = u8(value >> (8 * (bytes - 1 - i)));
}

namespace {

// The recorded final state, to be rewritten.
Rewritten recorded(const TestCase& t) {
  Rewritten e;
  e.regs = t.final;
  e.regs.memory.clear();
  for (const MemoryWord& w : t.initial.memory) e.write(w.address, 2, w.value);
  for (const MemoryWord& w : t.final.memory) e.write(w.address, 2, w.value);
  return e;
}

// Whether the model's outcome is the rewritten state: every register, and
// every byte either lists or the model wrote.
bool outcome_is(const Context& c, const Rewritten& e) {
  const Outcome& g = c.got;
  const CpuState& r = e.regs;
  for (int i = 0; i < 8; ++i)
    if (g.d[i] != r.d[i]) return false;
  for (int i = 0; i < 7; ++i)
    if (g.a[i] != r.a[i]) return false;
  if (g.usp != r.usp || g.ssp != r.ssp || g.sr != r.sr || g.pc != r.pc - 4) return false;
  if (c.table == 5 && (g.prefetch[0] != r.prefetch[0] || g.prefetch[1] != r.prefetch[1])) return false;
  // The model's memory: its differing bytes, elsewhere what the recording lists.
  const Rewritten as_recorded = recorded(c.test);
  std::map<u32, u8> got;
  for (const auto& [a, v] : as_recorded.memory) got[a] = v;
  for (const MemoryDiff& m : g.memory) got[m.address] = m.got;
  for (const auto& [a, v] : got)
    if (e.byte(a) != v) return false;
  for (const auto& [a, v] : e.memory)
    if (!got.count(a) && v != 0) return false;
  return true;
}

}  // namespace

u64 classify(const Context& ctx, Aspect aspect) {
  const std::span<const Deviation> list = deviations();
  for (size_t i = 0; i < list.size(); ++i)
    if ((list[i].aspects & aspect) && list[i].explains && list[i].explains(ctx, aspect)) return u64(1) << i;
  if (aspect != aspect_state) return 0;
  Rewritten expected = recorded(ctx.test);
  u64 used = 0;
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].rewrite && list[i].rewrite(ctx, expected)) used |= u64(1) << i;
  return used && outcome_is(ctx, expected) ? used : 0;
}

std::string deviation_names(u64 mask) {
  if (!mask) return "unexplained";
  std::string names;
  const std::span<const Deviation> list = deviations();
  for (size_t i = 0; i < list.size(); ++i) {
    if (!(mask & (u64(1) << i))) continue;
    if (!names.empty()) names += "+";
    names += list[i].name;
  }
  return names;
}

int recorded_vector(const TestCase& test) {
  if (test.address_error()) return 3;
  if (!(test.final.sr & 0x2000)) return -1;
  const u32 target = test.final.pc - 4;
  for (u32 v = 2; v < 256; ++v) {
    if (!read_during_run(test, 4 * v)) continue;
    const std::optional<u32> entry = initial_long(test, 4 * v);
    if (entry && *entry == target) return int(v);
  }
  return -1;
}

bool is_form_68000_lacks(u16 op) {
  const u32 mode = (op >> 3) & 7, reg = op & 7;
  const bool pc_relative = mode == 7 && (reg == 2 || reg == 3);
  if ((op & 0xF1C0) == 0x4100) return mode != 1;                    // CHK.L
  if ((op & 0xFF00) == 0x4A00 && (op & 0xC0) != 0xC0)               // TST
    return mode == 1 || (mode == 7 && reg >= 2 && reg <= 4);
  if ((op & 0xFF00) == 0x0C00 && (op & 0xC0) != 0xC0) return pc_relative;  // CMPI
  if ((op & 0xFFC0) >= 0x0840 && (op & 0xFFC0) <= 0x08C0) return pc_relative;  // BCHG/BCLR/BSET #
  if ((op & 0xF100) == 0x0100 && (op & 0xC0) != 0) return pc_relative;         // BCHG/BCLR/BSET Dn
  if (op == 0x4E74) return true;                                    // RTD
  if ((op & 0xFFF8) == 0x49C0) return true;                         // EXTB
  return false;
}

}  // namespace conformance
