#include "deviations.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "tools/conformance/test_image.h"

using namespace conformance;
using conformance_test::simple_test;

namespace {

// A mismatch to classify: the recorded test, what the core produced and the
// family and table it ran under.
struct Sample {
  TestCase test;
  Outcome got;
  std::string family;
  u32 table = 4;

  explicit Sample(const std::string& fam, u16 opcode = 0x4E71, u16 next = 0x4E71)
      : test(simple_test(opcode, next)), family(fam) {
    const CpuState& f = test.final;
    std::memcpy(got.d, f.d, sizeof got.d);
    std::memcpy(got.a, f.a, sizeof got.a);
    got.usp = f.usp;
    got.ssp = f.ssp;
    got.sr = f.sr;
    got.pc = f.pc - 4;
    got.prefetch[0] = f.prefetch[0];
    got.prefetch[1] = f.prefetch[1];
    got.cycles = got.handler_cycles = test.cycles;
    got.cycles_match = true;
  }
  // The name of the deviation that explains the aspect, or "unexplained".
  std::string classified(Aspect aspect) const {
    const Context ctx{test, family, table, got, recorded_vector(test)};
    return deviation_names(classify(ctx, aspect));
  }
  void set_cycles(u32 expected, u32 counted) {
    test.cycles = expected;
    got.cycles = counted;
    got.cycles_match = expected == counted;
  }
  void set_sr(u16 expected, u16 counted) {
    test.final.sr = expected;
    got.sr = counted;
    got.fields |= field_sr;
  }
  void add_memory_diff(u32 address, u8 expected, u8 counted) {
    got.memory.push_back({address, expected, counted, true});
    got.fields |= field_memory;
  }
  struct ByteDiff {
    u32 address;
    u8 expected, counted;
  };
  void add_memory_diffs(std::initializer_list<ByteDiff> diffs) {
    for (const ByteDiff& b : diffs) add_memory_diff(b.address, b.expected, b.counted);
  }
  // Makes the recorded run take exception `vector` through a handler at
  // `handler`, with the SR in supervisor mode and the frame at 0x3FFA.
  void take_exception(u32 vector, u32 handler) {
    test.initial.memory.push_back({4 * vector, u16(handler >> 16)});
    test.initial.memory.push_back({4 * vector + 2, u16(handler)});
    test.transactions.push_back({BusKind::read, 4, 5, 4 * vector, handler >> 16, 1, 1});
    test.final.pc = handler + 4;
    test.final.ssp = 0x3FFA;
    test.final.sr |= 0x2000;
    got.pc = handler;
    got.ssp = 0x3FFA;
    got.sr = test.final.sr;
  }
};

}  // namespace

TEST(Deviations, RecordedVectorComesFromTheVectorTableRead) {
  Sample s("TRAP", 0x4E41);
  EXPECT_EQ(recorded_vector(s.test), -1);
  s.take_exception(33, 0x00123400);
  EXPECT_EQ(recorded_vector(s.test), 33);

  Sample unread("TRAP", 0x4E41);
  unread.take_exception(33, 0x00123400);
  unread.test.transactions.pop_back();  // the table entry was never read
  EXPECT_EQ(recorded_vector(unread.test), -1);

  Sample fault("ADD.w");
  fault.test.transactions.push_back({BusKind::read_address_error, 4, 5, 0x2001, 0, 1, 1});
  EXPECT_EQ(recorded_vector(fault.test), 3);
}

TEST(Deviations, AddressErrorsAreExplainedOnlyOnTable4) {
  Sample s("ADD.w", 0xD051);
  s.test.transactions.push_back({BusKind::read_address_error, 4, 5, 0x2001, 0, 1, 1});
  s.got.fields = field_d0 | field_pc;
  s.test.final.pc = 0x00400004;  // the chip went to its handler,
  s.got.pc = 0x1002;             // the model on past the instruction
  s.set_cycles(50, 8);
  EXPECT_EQ(s.classified(aspect_state), "no-alignment-check");
  EXPECT_EQ(s.classified(aspect_cycles), "no-alignment-check");
  s.table = 5;
  EXPECT_EQ(s.classified(aspect_state), "unexplained");
  Sample plain("ADD.w", 0xD041);  // no deviation covers a plain wrong result
  plain.got.fields = field_d0;
  EXPECT_EQ(plain.classified(aspect_state), "unexplained");
}

TEST(Deviations, BranchWithDisplacementFFIsNamedBeforeTheAlignment) {
  Sample s("Bcc", 0x66FF);
  s.test.transactions.push_back({BusKind::read_address_error, 4, 6, 0x1001, 0, 1, 1});
  s.add_memory_diff(s.test.final.ssp + 5, 0x01, 0x03);  // the frame's access address
  EXPECT_EQ(s.classified(aspect_state), "branch-ff-long");
  s.set_cycles(60, 62);
  EXPECT_EQ(s.classified(aspect_cycles), "branch-ff-long");
  s.got.fields |= field_d0;  // beyond the frame, and the model did fault: a bug
  EXPECT_EQ(s.classified(aspect_state), "unexplained");
  Sample not_taken("Bcc", 0x66FF);
  not_taken.set_cycles(8, 12);
  EXPECT_EQ(not_taken.classified(aspect_cycles), "branch-ff-long");
  not_taken.set_cycles(8, 14);
  EXPECT_EQ(not_taken.classified(aspect_cycles), "unexplained");
  Sample bsr("BSR", 0x61FF);
  bsr.got.fields = field_pc | field_ssp;
  EXPECT_EQ(bsr.classified(aspect_state), "branch-ff-long");
  Sample byte("Bcc", 0x66FE);
  byte.got.fields = field_pc;
  EXPECT_EQ(byte.classified(aspect_state), "unexplained");
}

// A table-5 address error whose recorded frame lies at 0x3FF2: its words as
// the chip stacked them.
void group0_frame(Sample& s, u16 status, u32 access, u16 sr, u32 pc, BusKind fault) {
  s.table = 5;
  s.test.transactions.push_back({fault, 4, 5, access, 0, 1, 1});
  s.test.final.ssp = s.got.ssp = 0x3FF2;
  s.test.final.memory = {{0x3FF2, status}, {0x3FF4, u16(access >> 16)}, {0x3FF6, u16(access)},
                         {0x3FF8, s.test.opcode()}, {0x3FFA, sr}, {0x3FFC, u16(pc >> 16)},
                         {0x3FFE, u16(pc)}};
}

TEST(Deviations, FirstWordOfTheAddressErrorFrameOnTable5) {
  Sample s("MOVE.w", 0x3011);  // MOVE.W (A1),D0 with A1 odd
  group0_frame(s, 0x0015, 0x20101, 0x2704, 0x1002, BusKind::read_address_error);
  s.add_memory_diff(0x3FF2, 0x00, 0x27);
  s.add_memory_diff(0x3FF3, 0x15, 0x04);
  EXPECT_EQ(s.classified(aspect_state), "group0-frame-first-word");
  s.add_memory_diff(0x3FF7, 0x01, 0x03);  // the access address differs too
  EXPECT_EQ(s.classified(aspect_state), "unexplained");
}

// MOVE.W D1,-(A0) with A0 odd: the chip has lowered A0, set the flags from
// the word and stacked a PC 2 further; the model keeps A0 and the flags and
// stacks the address behind the opcode. Each cause is named.
TEST(Deviations, CausesOfAMoveAddressErrorOnTable5) {
  Sample s("MOVE.w", 0x3101);
  s.test.initial.a[0] = 0x20001;
  s.test.initial.sr = 0x271F;
  group0_frame(s, 0x0015, 0x1FFFF, 0x2710, 0x1004, BusKind::write_address_error);
  s.test.final.a[0] = 0x1FFFF;
  s.got.a[0] = 0x20001;
  s.got.fields |= field_a0;
  s.set_sr(0x2710, 0x271F);
  s.add_memory_diff(0x3FF2, 0x00, 0x27);
  s.add_memory_diff(0x3FF3, 0x15, 0x1F);
  s.add_memory_diff(0x3FFB, 0x10, 0x1F);
  s.add_memory_diff(0x3FFF, 0x04, 0x02);
  EXPECT_EQ(s.classified(aspect_state),
            "address-error-register-kept+address-error-flags-kept+address-error-stacked-pc+"
            "group0-frame-first-word");
  Sample wrong_pc = s;
  wrong_pc.got.memory.back().got = 0x06;  // neither the model's rule nor the chip's
  EXPECT_EQ(wrong_pc.classified(aspect_state), "unexplained");
  s.got.a[0] = 0x20003;  // a register the model must have kept
  EXPECT_EQ(s.classified(aspect_state), "unexplained");
}

TEST(Deviations, VectorAddressCutTo24Bits) {
  Sample s("TRAP", 0x4E41);
  s.take_exception(33, 0x68BAEF3C);
  s.got.pc = 0x00BAEF3C;
  s.got.fields = field_pc;
  EXPECT_EQ(s.classified(aspect_state), "vector-pc-24-bit");
  Sample low("CHK", 0x4181);
  low.take_exception(6, 0x68BAEF3C);
  low.got.pc = 0x00BAEF3C;
  low.got.fields = field_pc;
  EXPECT_EQ(low.classified(aspect_state), "unexplained");  // vector 6 keeps all 32 bits
}

TEST(Deviations, SrBits12And14) {
  Sample s("MOVEtoSR", 0x46C0);
  s.set_sr(0x2704, 0x3704);
  EXPECT_EQ(s.classified(aspect_state), "sr-bits-12-14-kept");
  s.set_sr(0x2704, 0x6705);  // the carry too
  EXPECT_EQ(s.classified(aspect_state), "unexplained");
}

TEST(Deviations, UndefinedFlagsOfChkAndNbcd) {
  Sample chk("CHK", 0x4181);
  chk.set_sr(0x2700, 0x2705);
  EXPECT_EQ(chk.classified(aspect_state), "chk-undefined-flags");
  chk.set_sr(0x2700, 0x2708);  // N, undefined when in bounds
  EXPECT_EQ(chk.classified(aspect_state), "chk-undefined-flags");

  Sample trap("CHK", 0x4181);
  trap.take_exception(6, 0x00400000);
  trap.set_sr(0x2708, 0x270A);
  trap.add_memory_diff(0x3FFB, 0x08, 0x0A);  // the stacked CCR
  EXPECT_EQ(trap.classified(aspect_state), "chk-undefined-flags");
  trap.set_sr(0x2708, 0x2700);  // N is defined when CHK traps
  EXPECT_EQ(trap.classified(aspect_state), "unexplained");
  trap.set_sr(0x2708, 0x270A);
  trap.add_memory_diff(0x3FFD, 0x10, 0x12);  // the stacked PC
  EXPECT_EQ(trap.classified(aspect_state), "unexplained");

  Sample nbcd("NBCD", 0x4800);
  nbcd.set_sr(0x2704, 0x270E);
  EXPECT_EQ(nbcd.classified(aspect_state), "nbcd-undefined-flags");
  nbcd.set_sr(0x2704, 0x2705);
  EXPECT_EQ(nbcd.classified(aspect_state), "unexplained");
  nbcd.family = "ABCD";
  nbcd.set_sr(0x2704, 0x270E);
  EXPECT_EQ(nbcd.classified(aspect_state), "unexplained");
}

TEST(Deviations, DivideFlagsTheModelKeeps) {
  Sample over("DIVU", 0x80C1);
  over.test.initial.sr = 0x2704;  // Z set before
  over.set_sr(0x270A, 0x270E);    // overflow: N, V; the model kept Z
  EXPECT_EQ(over.classified(aspect_state), "div-overflow-z-kept");
  over.test.initial.sr = 0x2700;  // Z was clear: the model set it
  EXPECT_EQ(over.classified(aspect_state), "unexplained");
  over.test.initial.sr = 0x2704;
  over.got.fields |= field_d0;  // the register changed too
  EXPECT_EQ(over.classified(aspect_state), "unexplained");
  Sample fits("DIVS", 0x81C1);
  fits.test.initial.sr = 0x2704;
  fits.set_sr(0x2700, 0x2704);  // no overflow: Z is the quotient's
  EXPECT_EQ(fits.classified(aspect_state), "unexplained");

  // Divide by zero clears C as the chip does: a kept C is a bug, not a deviation.
  Sample zero("DIVU", 0x80C1);
  zero.test.initial.sr = 0x2701;
  zero.take_exception(5, 0x00123400);
  zero.set_sr(0x2700, 0x2701);
  EXPECT_EQ(zero.classified(aspect_state), "unexplained");
}

TEST(Deviations, LinkA7AndStop) {
  Sample link("LINK", 0x4E57);  // LINK A7: A7 0x40000 before, slot 0x3FFFC
  link.add_memory_diff(0x3FFFF, 0x00, 0xFC);
  link.add_memory_diff(0x3FFFE, 0x04, 0x03);
  EXPECT_EQ(link.classified(aspect_state), "link-a7-pushes-lowered-a7");
  link.add_memory_diff(0x40000, 0x00, 0x01);
  EXPECT_EQ(link.classified(aspect_state), "unexplained");
  Sample link_a6("LINK", 0x4E56);
  link_a6.add_memory_diff(0x3FFFF, 0x00, 0xFC);
  EXPECT_EQ(link_a6.classified(aspect_state), "unexplained");

  Sample stop("STOP", 0x4E72, 0x3700);
  stop.test.final.pc = 0x1004;  // recorded: still at the STOP
  stop.got.pc = 0x1004;         // model: past its operand
  stop.got.fields = field_pc;
  stop.set_sr(0x2700, 0x3700);  // and bit 12 kept
  EXPECT_EQ(stop.classified(aspect_state), "stop-pc-past-operand");
  stop.set_sr(0x2700, 0x2701);
  EXPECT_EQ(stop.classified(aspect_state), "unexplained");
  stop.set_sr(0x2700, 0x2700);
  stop.got.pc = 0x1006;
  EXPECT_EQ(stop.classified(aspect_state), "unexplained");
}

TEST(Deviations, CycleCountsTheModelCountsOtherwise) {
  Sample mul("MULU", 0xC0C1);
  mul.set_cycles(54, 70);
  EXPECT_EQ(mul.classified(aspect_cycles), "mul-div-constant-time");
  mul.set_cycles(54, 72);  // not the model's constant for MULU Dn
  EXPECT_EQ(mul.classified(aspect_cycles), "unexplained");
  Sample divs("DIVS", 0x81E8);  // DIVS d16(A0),D0: 158 + 8
  divs.set_cycles(120, 166);
  EXPECT_EQ(divs.classified(aspect_cycles), "mul-div-constant-time");
  Sample divz("DIVU", 0x80FC);  // DIVU #0,D0: 140 + 4, and vector 5's 38
  divz.take_exception(5, 0x00123400);
  divz.set_cycles(42, 182);
  EXPECT_EQ(divz.classified(aspect_cycles), "mul-div-constant-time");

  Sample link("LINK", 0x4E56);
  link.set_cycles(16, 18);
  EXPECT_EQ(link.classified(aspect_cycles), "link-18-cycles");
  link.set_cycles(16, 20);
  EXPECT_EQ(link.classified(aspect_cycles), "unexplained");

  Sample bset("BSET", 0x03C2);  // BSET D1,D2
  bset.test.initial.d[1] = 15;
  bset.set_cycles(6, 8);
  EXPECT_EQ(bset.classified(aspect_cycles), "bit-op-dn-fixed-cycles");
  bset.test.initial.d[1] = 16;  // the chip's count is the model's from bit 16
  EXPECT_EQ(bset.classified(aspect_cycles), "unexplained");
  Sample bclr("BCLR", 0x0882, 0x0003);  // BCLR #3,D2
  bclr.set_cycles(12, 14);
  EXPECT_EQ(bclr.classified(aspect_cycles), "bit-op-dn-fixed-cycles");
  Sample bset_mem("BSET", 0x03D0);  // BSET D1,(A0): no register rule
  bset_mem.test.initial.d[1] = 1;
  bset_mem.set_cycles(10, 12);
  EXPECT_EQ(bset_mem.classified(aspect_cycles), "unexplained");

  Sample btst("BTST", 0x033C);  // BTST D1,#data
  btst.set_cycles(10, 8);
  EXPECT_EQ(btst.classified(aspect_cycles), "btst-dn-imm-8-cycles");
  Sample btst_reg("BTST", 0x0302);  // BTST D1,D2
  btst_reg.set_cycles(10, 8);
  EXPECT_EQ(btst_reg.classified(aspect_cycles), "unexplained");

  Sample scc("Scc", 0x57C0);  // SEQ D0
  scc.test.initial.sr = 0x2704;
  scc.set_cycles(6, 4);
  EXPECT_EQ(scc.classified(aspect_cycles), "scc-dn-true-4-cycles");
  scc.test.initial.sr = 0x2700;  // false: 4 on both
  EXPECT_EQ(scc.classified(aspect_cycles), "unexplained");

  Sample move("MOVE.w", 0x3101);  // MOVE.W D1,-(A0)
  move.set_cycles(8, 10);
  EXPECT_EQ(move.classified(aspect_cycles), "move-predec-2-more");
  move.set_cycles(8, 12);
  EXPECT_EQ(move.classified(aspect_cycles), "unexplained");
  Sample to_ind("MOVE.w", 0x3081);  // MOVE.W D1,(A0)
  to_ind.set_cycles(8, 10);
  EXPECT_EQ(to_ind.classified(aspect_cycles), "unexplained");

  Sample trap("TRAP", 0x4E41);
  trap.take_exception(33, 0x00123400);
  trap.set_cycles(34, 38);
  trap.got.handler_cycles = 4;
  EXPECT_EQ(trap.classified(aspect_cycles), "exception-cycles-added");
  trap.set_cycles(34, 40);  // more than the handler's own count on top
  EXPECT_EQ(trap.classified(aspect_cycles), "unexplained");
  trap.set_cycles(34, 30);
  EXPECT_EQ(trap.classified(aspect_cycles), "unexplained");
  Sample plain("ADD.w", 0xD041);
  plain.set_cycles(4, 8);
  EXPECT_EQ(plain.classified(aspect_cycles), "unexplained");
}

// MOVE SR,-(A0) with A0 odd: the chip faults on its read before the write,
// with A0 already lowered and a PC 2 further stacked; the model keeps A0 and
// the flags. The ordinary address-error rules explain it; a changed flag or
// a lowered A0 in the model would not be explained.
TEST(Deviations, FaultOnTheReadBeforeWriteOnTable5) {
  Sample from_sr("MOVEfromSR", 0x40E0);
  from_sr.test.initial.a[0] = from_sr.got.a[0] = 0x20003;
  group0_frame(from_sr, 0x0015, 0x20001, 0x2700, 0x1004, BusKind::read_address_error);
  from_sr.test.final.a[0] = 0x20001;
  from_sr.test.final.pc = 0x400004;  // at the handler
  from_sr.got.pc = 0x400000;
  from_sr.got.fields |= field_a0;
  from_sr.add_memory_diffs({{0x3FF2, 0x00, 0x27}, {0x3FF3, 0x15, 0x00}, {0x3FFF, 0x04, 0x02}});
  from_sr.got.handler_cycles = 8;
  from_sr.set_cycles(54, 58);
  EXPECT_EQ(from_sr.classified(aspect_state),
            "address-error-register-kept+address-error-stacked-pc+group0-frame-first-word");
  EXPECT_EQ(from_sr.classified(aspect_cycles), "exception-cycles-added");
  from_sr.got.a[0] = 0x20001;
  EXPECT_EQ(from_sr.classified(aspect_state), "unexplained");
  from_sr.got.a[0] = 0x20003;
  from_sr.set_sr(0x2700, 0x2704);
  EXPECT_EQ(from_sr.classified(aspect_state), "unexplained");
  from_sr.table = 4;  // table 4 faults nowhere: the model ends past the instruction
  from_sr.got.pc = 0x1002;
  from_sr.got.fields |= field_pc;
  EXPECT_EQ(from_sr.classified(aspect_state), "no-alignment-check");

  // NEG reads for real, and CLR checks before it changes anything: a fault
  // that changed the flags is no deviation.
  Sample neg("NEG.w", 0x4450);
  neg.table = 5;
  neg.take_exception(3, 0x00400000);
  neg.test.transactions = from_sr.test.transactions;
  neg.set_sr(0x2708, 0x2704);
  EXPECT_EQ(neg.classified(aspect_state), "unexplained");
  neg.family = "CLR.w";
  EXPECT_EQ(neg.classified(aspect_state), "unexplained");
}

// ADDX.L -(A1),-(A0) with A1 even and A0 odd: the source has been read and
// A1 lowered; the chip has lowered A0 too, records A0 - 2 (it reads the low
// word first) and stacks a PC 2 further. CMPM.W (A0)+,(A1)+ with A0 odd
// faults on the source, A1 untouched by both.
TEST(Deviations, CausesOfTwoOperandAddressErrorsOnTable5) {
  Sample s("ADDX.l", 0xD189);
  s.test.initial.a[0] = 0x20003;
  s.test.initial.a[1] = 0x30000;
  group0_frame(s, 0x0015, 0x20001, 0x2700, 0x1004, BusKind::read_address_error);
  s.test.final.a[0] = 0x1FFFF;
  s.test.final.a[1] = s.got.a[1] = 0x2FFFC;
  s.got.a[0] = 0x20003;
  s.got.fields |= field_a0;
  // The frame's first word, access address and PC.
  s.add_memory_diffs({{0x3FF2, 0x00, 0x27}, {0x3FF3, 0x15, 0x00}, {0x3FF5, 0x02, 0x01},
                      {0x3FF6, 0x00, 0xFF}, {0x3FF7, 0x01, 0xFF}, {0x3FFF, 0x04, 0x02}});
  EXPECT_EQ(s.classified(aspect_state),
            "address-error-register-kept+address-error-stacked-pc+address-error-long-predec-address+"
            "group0-frame-first-word");
  s.got.a[1] = 0x30000;  // the source's step must stay done
  EXPECT_EQ(s.classified(aspect_state), "unexplained");

  Sample cmpm("CMP.w", 0xB348);
  cmpm.test.initial.a[0] = 0x20001;
  group0_frame(cmpm, 0x0015, 0x20001, 0x2700, 0x1002, BusKind::read_address_error);
  cmpm.test.final.a[0] = 0x20003;
  cmpm.got.a[0] = 0x20001;
  cmpm.got.fields |= field_a0;
  cmpm.add_memory_diffs({{0x3FF2, 0x00, 0x27}, {0x3FF3, 0x15, 0x00}});
  EXPECT_EQ(cmpm.classified(aspect_state), "address-error-register-kept+group0-frame-first-word");
  cmpm.got.a[1] += 2;
  cmpm.got.fields |= field_a0 << 1;
  EXPECT_EQ(cmpm.classified(aspect_state), "unexplained");
}

// The 14 bytes of an address-error frame at `at`, as the model or the chip
// stacked it.
std::map<u32, u8> frame_bytes(u32 at, u16 first, u32 access, u16 ir, u16 sr, u32 pc) {
  std::map<u32, u8> bytes;
  const u16 words[7] = {first, u16(access >> 16), u16(access), ir, sr, u16(pc >> 16), u16(pc)};
  for (u32 i = 0; i < 7; ++i) {
    bytes[at + 2 * i] = u8(words[i] >> 8);
    bytes[at + 2 * i + 1] = u8(words[i]);
  }
  return bytes;
}

// A table-5 address error whose recording stacked `chip` at `chip_ssp` and
// whose model left `model` in memory, every other listed byte as it was.
void fault_outcome(Sample& s, u32 chip_ssp, const std::map<u32, u8>& chip, const std::map<u32, u8>& model) {
  s.table = 5;
  const u32 access = (u32(chip.at(chip_ssp + 2)) << 24) | (u32(chip.at(chip_ssp + 3)) << 16) |
                     (u32(chip.at(chip_ssp + 4)) << 8) | chip.at(chip_ssp + 5);
  s.test.transactions.push_back({BusKind::read_address_error, 4, 6, access, 0, 1, 1});
  s.test.final.ssp = s.got.ssp = chip_ssp;
  for (const auto& [a, v] : chip)
    if (!(a & 1)) s.test.final.memory.push_back({a, u16((v << 8) | chip.at(a + 1))});
  for (const auto& [a, v] : chip)
    if (!model.count(a) && v) s.add_memory_diff(a, v, 0);
  for (const auto& [a, v] : model) {
    const auto it = chip.find(a);
    if (it == chip.end() ? v != 0 : it->second != v) s.add_memory_diff(a, it == chip.end() ? 0 : it->second, v);
  }
}

// Table 5's control-flow instructions: the odd targets its jumps go past, and
// the address errors it takes otherwise than the chip.
TEST(Deviations, ControlFlowOnTable5) {
  Sample jmp("JMP", 0x4ED0);  // JMP (A0) with A0 odd: the chip faults, the model jumps
  jmp.table = 5;
  jmp.test.transactions.push_back({BusKind::read_address_error, 4, 6, 0x20001, 0, 1, 1});
  jmp.test.final.pc = 0x123404;
  jmp.got.pc = 0x20000;
  jmp.got.fields = field_pc | field_ssp | field_memory;
  EXPECT_EQ(jmp.classified(aspect_state), "unchecked-jumps");
  jmp.family = "LEA";
  EXPECT_EQ(jmp.classified(aspect_state), "unexplained");

  Sample dbf("DBcc", 0x51C8, 0x0003);  // DBF D0,*+5 with D0 = 5
  dbf.test.initial.d[0] = dbf.test.final.d[0] = 5;
  dbf.got.d[0] = 4;
  dbf.got.fields |= field_d0;
  fault_outcome(dbf, 0x3FF2, frame_bytes(0x3FF2, 0x0016, 0x1005, 0x51C8, 0x2700, 0x1004),
                frame_bytes(0x3FF2, 0x2700, 0x1005, 0x51C8, 0x2700, 0x1002));
  EXPECT_EQ(dbf.classified(aspect_state),
            "dbcc-odd-target-counted+address-error-stacked-pc+group0-frame-first-word");
  dbf.got.d[0] = 3;
  EXPECT_EQ(dbf.classified(aspect_state), "unexplained");

  Sample unlk("UNLINK", 0x4E5E);  // UNLK A6 with A6 odd
  unlk.test.initial.a[6] = unlk.test.final.a[6] = unlk.got.a[6] = 0x20601;
  unlk.test.initial.ssp = 0x4000;
  std::map<u32, u8> moved = frame_bytes(0x205F3, 0x2700, 0x20601, 0x4E5E, 0x2700, 0x1002);
  fault_outcome(unlk, 0x3FF2, frame_bytes(0x3FF2, 0x0016, 0x20601, 0x4E5E, 0x2700, 0x1004), moved);
  unlk.got.ssp = 0x205F3;
  unlk.got.fields |= field_ssp;
  EXPECT_EQ(unlk.classified(aspect_state),
            "unlk-odd-a7-moved+address-error-stacked-pc+group0-frame-first-word");
  unlk.got.ssp = 0x205F1;
  EXPECT_EQ(unlk.classified(aspect_state), "unexplained");

  Sample bsr("BSR", 0x6101);  // BSR *+3: the chip pushes 0x1002, then stacks the target
  bsr.test.initial.ssp = 0x4012;
  std::map<u32, u8> chip = frame_bytes(0x4000, 0x0016, 0x1003, 0x6101, 0x2700, 0x1003);
  for (u32 i = 0; i < 4; ++i) chip[0x400E + i] = u8(0x1002 >> (24 - 8 * i));
  fault_outcome(bsr, 0x4000, chip, frame_bytes(0x4004, 0x2700, 0x1003, 0x6101, 0x2700, 0x1002));
  bsr.got.ssp = 0x4004;
  bsr.got.fields |= field_ssp;
  EXPECT_EQ(bsr.classified(aspect_state), "bsr-odd-target-pushes-nothing+group0-frame-first-word");
  bsr.family = "Bcc";
  EXPECT_EQ(bsr.classified(aspect_state), "unexplained");

  Sample bcc("Bcc", 0x6001);
  bcc.table = 5;
  bcc.take_exception(3, 0x00400000);
  bcc.test.transactions.push_back({BusKind::read_address_error, 4, 6, 0x1003, 0, 1, 1});
  bcc.got.handler_cycles = 8;
  bcc.set_cycles(60, 58);
  EXPECT_EQ(bcc.classified(aspect_cycles), "branch-odd-target-2-fewer");
  Sample movem = bcc;
  movem.family = "MOVEM.w";
  movem.set_cycles(66, 62);
  EXPECT_EQ(movem.classified(aspect_cycles), "movem-fault-4-fewer");
  movem.set_cycles(64, 62);
  EXPECT_EQ(movem.classified(aspect_cycles), "unexplained");
}

TEST(Deviations, FormsThe68000Lacks) {
  for (u16 op : {0x4100, 0x4F10, 0x4A48, 0x4A88, 0x4A7A, 0x4ABB, 0x4A3C, 0x0C3A, 0x0C7B, 0x087A,
                 0x08BB, 0x08FA, 0x017A, 0x0FBB, 0x05FA, 0x4E74, 0x49C7})
    EXPECT_TRUE(is_form_68000_lacks(op)) << std::hex << op;
  for (u16 op : {0x4180, 0x4108, 0x4A40, 0x4AFC, 0x4AC8, 0x0C39, 0x083A, 0x013A, 0x0178, 0x4E75,
                 0x4880, 0x48C0, 0x4E71})
    EXPECT_FALSE(is_form_68000_lacks(op)) << std::hex << op;

  Sample tst("TST.w", 0x4A48);
  tst.take_exception(4, 0x00400000);
  tst.got.fields = field_pc | field_ssp | field_memory;
  tst.set_cycles(34, 4);
  EXPECT_EQ(tst.classified(aspect_state), "forms-68000-lacks");
  EXPECT_EQ(tst.classified(aspect_cycles), "forms-68000-lacks");
}
