#include "deviations.h"

#include <initializer_list>
#include <optional>

#include "cpu/exceptions.h"

namespace conformance {

namespace {

bool family_in(const Context& c, std::initializer_list<std::string_view> names) {
  for (std::string_view n : names)
    if (c.family == n) return true;
  return false;
}

u32 expected_cycles(const Context& c) { return c.test.cycles; }

// Bcc with displacement byte 0xFF: one word of 12 cycles (and the address
// error's 50 when taken), whose frame differs from the chip's only inside
// its 14 bytes (first word, access address and PC). BSR 0x61FF is BSR.L.
bool branch_ff_long(const Context& c, Aspect aspect) {
  if (c.table != 4 || (c.test.opcode() & 0xFF) != 0xFF) return false;
  if (c.family == "BSR") return true;
  if (c.family != "Bcc") return false;
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

// The chip reads the operand of CLR, Scc and MOVE from SR before writing
// it; the model does not. With an odd operand address the chip therefore
// faults on that read, before the flags and address register are updated,
// where the model faults on the write after updating them.
bool no_dummy_read(const Context& c, Aspect) {
  if (c.table != 5 || c.vector != 3) return false;
  if (!family_in(c, {"CLR.b", "CLR.w", "CLR.l", "Scc", "MOVEfromSR"})) return false;
  for (const Transaction& t : c.test.transactions) {
    if (t.kind == BusKind::read_address_error) return true;
    if (t.kind == BusKind::write_address_error) return false;
  }
  return false;
}

// The first word of the 14-byte address-error frame: at the final SSP.
bool group0_first_word(const Context& c, Aspect) {
  if (c.table != 5 || c.vector != 3 || c.got.fields != field_memory) return false;
  const u32 frame = c.test.final.ssp & 0xFFFFFF;
  for (const MemoryDiff& m : c.got.memory)
    if (m.address != frame && m.address != ((frame + 1) & 0xFFFFFF)) return false;
  return true;
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
  if ((c.got.fields & ~(field_pc | field_sr)) != 0 || !(c.got.fields & field_pc)) return false;
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

bool move_predec(const Context& c, Aspect) {
  return family_in(c, {"MOVE.b", "MOVE.w", "MOVE.l"}) && ((c.test.opcode() >> 6) & 7) == 4 &&
         c.got.cycles == expected_cycles(c) + 2;
}

constexpr u8 both = aspect_state | aspect_cycles;

const Deviation table[] = {
    {"branch-ff-long", both, branch_ff_long,
     "table 4 runs Bcc with displacement byte 0xFF as one 12-cycle word whose address error "
     "stacks the target and PC 2 higher, and 0x61FF as BSR.L; the chip branches to the odd "
     "address"},
    {"no-alignment-check", both, no_alignment_check,
     "table 4 makes no alignment check: odd word/long accesses and odd jump targets go through "
     "instead of taking an address error"},
    {"forms-68000-lacks", both, form_68000_lacks,
     "level-0 rows execute CHK.L, TST An/PC-relative/immediate, CMPI and BCHG/BCLR/BSET "
     "PC-relative, RTD and EXTB, which the chip rejects as illegal"},
    {"no-dummy-read", both, no_dummy_read,
     "no dummy bus cycles: CLR, Scc and MOVE from SR do not read before writing, so an odd "
     "address faults on the write, after the flags and address register changed"},
    {"group0-frame-first-word", aspect_state, group0_first_word,
     "the address-error frame's first word holds the SR, not the access type and function code"},
    {"vector-pc-24-bit", aspect_state, vector_pc_24bit,
     "the handler address fetched from vectors 24 and up is cut to 24 bits"},
    {"sr-bits-12-14-kept", aspect_state, sr_bits_kept,
     "SR bits 12 and 14 (M and T0 of later models) are kept where the chip reads them as zero"},
    {"chk-undefined-flags", aspect_state, chk_flags,
     "CHK leaves Z, V, C (and N when it does not trap) as the model computes them; the chip's "
     "values are undefined"},
    {"nbcd-undefined-flags", aspect_state, nbcd_flags,
     "NBCD's N and V are undefined on the chip and computed otherwise by the model"},
    {"div-overflow-z-kept", aspect_state, div_overflow_z,
     "DIVU and DIVS overflow keep Z; the chip clears it (N, V and C agree)"},
    {"link-a7-pushes-lowered-a7", aspect_state, link_a7_lowered,
     "LINK A7 reads A7 after the push lowered it and stores that; the chip stores the old A7"},
    {"stop-pc-past-operand", aspect_state, stop_pc,
     "a stopped CPU's PC is past STOP's operand, where it resumes; the chip's recorded PC is "
     "the STOP itself"},
    {"mul-div-constant-time", aspect_cycles, mul_div_time,
     "MULU, MULS, DIVU and DIVS take constant time instead of the operand-dependent count"},
    {"scc-dn-true-4-cycles", aspect_cycles, scc_dn_true, "Scc Dn takes 4 cycles when true; the chip takes 6"},
    {"move-predec-2-more", aspect_cycles, move_predec,
     "MOVE to -(An) costs 2 cycles more than MOVE to (An); on the chip they cost the same"},
    {"link-18-cycles", aspect_cycles, link_cycles, "LINK takes 18 cycles; the chip takes 16"},
    {"bit-op-dn-fixed-cycles", aspect_cycles, bit_dn_cycles,
     "BCHG, BCLR and BSET on Dn take one count for every bit number; the chip takes 2 fewer "
     "below bit 16"},
    {"btst-dn-imm-8-cycles", aspect_cycles, btst_dn_imm_cycles,
     "BTST Dn,#data takes 8 cycles; the chip takes 10"},
    {"exception-cycles-added", aspect_cycles, exception_cycles_added,
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

std::span<const Deviation> deviations() { return table; }

int classify(const Context& ctx, Aspect aspect) {
  const std::span<const Deviation> list = deviations();
  for (size_t i = 0; i < list.size(); ++i)
    if ((list[i].aspects & aspect) && list[i].explains(ctx, aspect)) return int(i);
  return -1;
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
