#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cpu/decode.h"
#include "cpu/exceptions.h"
#include "cpu/handler_tables.h"
#include "cpu/registers.h"

namespace {

class Decode : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    m68k_registers_reset();
    ::testing::internal::CaptureStderr();
    m68k_decode_init();
    stderr_text = new std::string(::testing::internal::GetCapturedStderr());
  }
  static void TearDownTestSuite() {
    delete stderr_text;
    stderr_text = nullptr;
  }
  static const m68k_decode_rec& rec(u32 op) { return m68k_decode[op]; }
  static std::string name(u32 op) {
    const char* n = m68k_mnemonic_name(rec(op).mnemonic);
    return n ? n : "?";
  }
  static std::string* stderr_text;
};
std::string* Decode::stderr_text = nullptr;

u32 count_representatives(u32 maxLevel) {
  u32 n = 0;
  for (u32 op = 0; op < 65536; ++op) {
    const m68k_decode_rec& r = m68k_decode[op];
    if (r.mnemonic && r.handlerOpcode == m68k_no_handler && r.level() <= maxLevel) ++n;
  }
  return n;
}

}  // namespace

TEST_F(Decode, DefinesEveryOpcodeOnceAndFindsTheClasses) {
  u32 defined = 0;
  for (u32 op = 0; op < 65536; ++op)
    if (rec(op).mnemonic) ++defined;
  EXPECT_EQ(defined, 48282u);
  EXPECT_EQ(stderr_text->find("Double match"), std::string::npos) << *stderr_text;
  EXPECT_EQ(m68k_handler_opcode_count, 1866u);
  EXPECT_EQ(count_representatives(0), 1584u);
  EXPECT_EQ(count_representatives(1), 1594u);
  EXPECT_EQ(count_representatives(2), 1800u);
  EXPECT_EQ(count_representatives(3), 1840u);
  EXPECT_EQ(count_representatives(4), 1866u);
}

TEST_F(Decode, EveryMergedOpcodePointsAtARepresentativeOfItsOwnKind) {
  for (u32 op = 0; op < 65536; ++op) {
    const m68k_decode_rec& r = rec(op);
    if (r.handlerOpcode == m68k_no_handler) continue;
    ASSERT_NE(r.mnemonic, 0) << std::hex << op;
    const m68k_decode_rec& rep = rec(r.handlerOpcode);
    ASSERT_EQ(rep.handlerOpcode, m68k_no_handler) << std::hex << op;
    ASSERT_EQ(rep.mnemonic, r.mnemonic) << std::hex << op;
    ASSERT_EQ(rep.size(), r.size()) << std::hex << op;
    ASSERT_EQ(rep.level(), r.level()) << std::hex << op;
    ASSERT_EQ(rep.cond(), r.cond()) << std::hex << op;
  }
}

TEST_F(Decode, SpotChecks) {
  // ILLEGAL itself is undefined.
  EXPECT_EQ(rec(0x4AFC).mnemonic, 0);

  // ADDQ with quick field 0 means 8.
  EXPECT_EQ(name(0x5040), "ADD");  // ADDQ.W #8,D0
  EXPECT_EQ(rec(0x5040).srcMode(), u32(m68k_mode_inline));
  EXPECT_EQ(rec(0x5040).srcReg, 8);
  EXPECT_EQ(rec(0x5240).srcReg, 1);

  // MOVEP is recorded with mode Ad16.
  EXPECT_EQ(name(0x0108), "MVPMR");  // MOVEP.W 0(A0),D0
  EXPECT_EQ(rec(0x0108).srcMode(), u32(m68k_mode_Ad16));
  EXPECT_EQ(name(0x01C8), "MVPRM");  // MOVEP.L D0,0(A0)
  EXPECT_EQ(rec(0x01C8).dstMode(), u32(m68k_mode_Ad16));

  // ABCD/SBCD/ADDX/SUBX -(An) as Apdi, CMPM as Aipi.
  for (u32 op : {0xC108u, 0x8108u, 0xD108u, 0xD148u, 0xD188u, 0x9108u, 0x9148u, 0x9188u}) {
    EXPECT_EQ(rec(op).srcMode(), u32(m68k_mode_Apdi)) << std::hex << op;
    EXPECT_EQ(rec(op).dstMode(), u32(m68k_mode_Apdi)) << std::hex << op;
  }
  EXPECT_EQ(name(0xC108), "ABCD");
  EXPECT_EQ(name(0x8108), "SBCD");
  EXPECT_EQ(name(0xD108), "ADDX");  // the byte form survives the Areg check
  for (u32 op : {0xB108u, 0xB148u, 0xB188u}) {
    EXPECT_EQ(name(op), "CMPM") << std::hex << op;
    EXPECT_EQ(rec(op).srcMode(), u32(m68k_mode_Aipi));
    EXPECT_EQ(rec(op).dstMode(), u32(m68k_mode_Aipi));
  }

  // BTST Dn,Dn is long, BTST Dn,(An) byte.
  EXPECT_EQ(name(0x0300), "BTST");
  EXPECT_EQ(rec(0x0300).size(), 2u);
  EXPECT_EQ(rec(0x0310).size(), 0u);
  EXPECT_EQ(rec(0x0800).size(), 2u);  // BTST #n,D0
  EXPECT_EQ(rec(0x0810).size(), 0u);  // BTST #n,(A0)

  // Byte operations on address registers are undefined.
  EXPECT_EQ(rec(0x5208).mnemonic, 0);  // ADDQ.B #1,A0
  EXPECT_EQ(name(0x5248), "ADDA");     // ADDQ.W #1,A0

  // BSR has its own rows; byte displacements 0 and 0xFF are the longer forms.
  EXPECT_EQ(name(0x6100), "BSR");
  EXPECT_EQ(rec(0x6100).srcMode(), u32(m68k_mode_imm1));
  EXPECT_EQ(name(0x61FF), "BSR");
  EXPECT_EQ(rec(0x61FF).srcMode(), u32(m68k_mode_imm2));
  EXPECT_EQ(name(0x6102), "BSR");
  EXPECT_EQ(rec(0x6102).srcMode(), u32(m68k_mode_inline));
  EXPECT_EQ(name(0x6700), "Bcc");
  EXPECT_EQ(rec(0x6700).cond(), 7u);
  EXPECT_EQ(rec(0x67FF).srcMode(), u32(m68k_mode_imm2));
  EXPECT_EQ(rec(0x6602).srcReg, 2);

  // MOVEC decodes at level 1.
  EXPECT_EQ(name(0x4E7A), "MOVEC2");
  EXPECT_EQ(rec(0x4E7A).level(), 1u);
  EXPECT_EQ(rec(0x4E7A).priv(), 2u);

  // Shifts take their direction from the f field.
  EXPECT_EQ(name(0xE148), "LSL");
  EXPECT_EQ(name(0xE048), "LSR");
  EXPECT_EQ(name(0xE1D0), "ASLW");

  // MMUOP's missing mode field reads as Dreg.
  EXPECT_EQ(name(0xF500), "MMUOP");
  EXPECT_EQ(rec(0xF500).dstMode(), u32(m68k_mode_Dreg));

  // MOVE takes its destination from bits 11-6.
  EXPECT_EQ(name(0x3200), "MOVE");  // MOVE.W D0,D1
  EXPECT_EQ(rec(0x3200).dstReg, 1);
  EXPECT_EQ(rec(0x3200).dstPos, 9);
  EXPECT_EQ(name(0x3040), "MOVEA");
  EXPECT_EQ(rec(0x303C).srcMode(), u32(m68k_mode_Immd));
  EXPECT_EQ(rec(0x31FC).mnemonic, 0x1E);  // MOVE.W #imm,abs.W
  EXPECT_EQ(rec(0x33FC).mnemonic, 0x1E);  // MOVE.W #imm,abs.L
  EXPECT_EQ(rec(0x35FC).mnemonic, 0);     // MOVE.W #imm,d16(PC) is not a form
}

TEST_F(Decode, MergeClassesVaryOnlyRegisterFields) {
  // All MOVE.W Dn,Dn share one handler; MOVE.W D0,(A0) is another class.
  EXPECT_EQ(rec(0x3000).handlerOpcode, m68k_no_handler);
  EXPECT_EQ(rec(0x3E07).handlerOpcode, 0x3000u);
  EXPECT_EQ(rec(0x3080).handlerOpcode, m68k_no_handler);
  // MOVEQ: every value and register in one class.
  EXPECT_EQ(rec(0x7EFF).handlerOpcode, 0x7000u);
  // Bcc.B: every displacement of one condition in one class, not across conditions.
  EXPECT_EQ(rec(0x6701).handlerOpcode, m68k_no_handler);
  EXPECT_EQ(rec(0x67FE).handlerOpcode, 0x6701u);
  EXPECT_EQ(rec(0x6601).handlerOpcode, m68k_no_handler);
  // TRAP: the 16 vectors in one class.
  EXPECT_EQ(rec(0x4E4F).handlerOpcode, 0x4E40u);
  // abs.W and abs.L are different classes.
  EXPECT_EQ(rec(0x31F8).handlerOpcode, m68k_no_handler);
  EXPECT_EQ(rec(0x33F8).handlerOpcode, m68k_no_handler);
}

TEST_F(Decode, FlagMasksFollowTheSetAndUseCodes) {
  // ADD.W D0,D0: all five flags set and used from the result.
  EXPECT_EQ(rec(0xD040).flagsSet, 0x1F);
  EXPECT_EQ(rec(0xD040).flagsUsed, 0x00);
  // ADDX uses X, Z ... and sets them all.
  EXPECT_EQ(rec(0xD140).flagsSet, 0x1F);
  EXPECT_EQ(rec(0xD140).flagsUsed, 0x05);  // X and Z
  // Bcc: condition-used flags set the unknown bit.
  EXPECT_TRUE(rec(0x6702).flagsUnknown());
  // DIVU: unknown set codes give a full mask.
  EXPECT_EQ(rec(0x80C0).flagsSet, 0xFF);
  EXPECT_TRUE(rec(0x80C0).flagsUnknown());
}

TEST(DecodeTables, MovemTables) {
  m68k_decode_init();
  EXPECT_EQ(m68k_movem_first[0], 8u);
  EXPECT_EQ(m68k_movem_first_rev[0], 0xFFFFFFFFu);
  EXPECT_EQ(m68k_movem_last[0], 0xFFFFFFFFu);
  EXPECT_EQ(m68k_movem_last_rev[0], 8u);
  EXPECT_EQ(m68k_movem_rest[0], 0u);
  EXPECT_EQ(m68k_movem_prev[0], 0u);
  EXPECT_EQ(m68k_movem_first[0x28], 3u);
  EXPECT_EQ(m68k_movem_first_rev[0x28], 4u);
  EXPECT_EQ(m68k_movem_rest[0x28], 0x20u);
  EXPECT_EQ(m68k_movem_last[0x28], 5u);
  EXPECT_EQ(m68k_movem_last_rev[0x28], 2u);
  EXPECT_EQ(m68k_movem_prev[0x28], 0x08u);
}

TEST(DecodeTables, ModeNumbers) {
  EXPECT_EQ(m68k_decode_mode_number(6, 3), 6u);
  EXPECT_EQ(m68k_decode_mode_number(7, 0), 7u);
  EXPECT_EQ(m68k_decode_mode_number(7, 4), 11u);
  EXPECT_EQ(m68k_decode_mode_number(7, 5), 17u);
  EXPECT_DEATH(m68k_decode_mode_number(8, 0), "");
}

TEST(DecodeTables, MnemonicTable) {
  u32 rows = 0;
  for (const m68k_mnemonic* m = m68k_mnemonics; m->name[0]; ++m) ++rows;
  EXPECT_EQ(rows, 120u);
  EXPECT_STREQ(m68k_mnemonic_name(108), "FBcc");
  EXPECT_STREQ(m68k_mnemonic_name(0), "ILLEGAL");
  EXPECT_STREQ(m68k_cond_names[13], "LT");
  EXPECT_EQ(m68k_opdefs[94].fixedBits, 0x6100u);
  EXPECT_EQ(m68k_opdefs[94].varCount, 0u);
  EXPECT_EQ(m68k_opdefs[33].varCount, 12u);
  EXPECT_EQ(m68k_opdefs[33].mask, 0xF000u);
  EXPECT_EQ(m68k_opdefs[33].fieldCodes[0], m68k_field_D);
  EXPECT_EQ(m68k_opdefs[33].flagInfo[3], (1u << 29) | (2u << 26));
}
