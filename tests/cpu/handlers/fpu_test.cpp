// The floating-point unit run from assembled 68020/68881 code
// (tests/programs/fpu.s) on the 68020-with-FPU and the 68040 tables: every
// memory format in both directions against encodings the test makes itself
// (the host's float, double and x87 extended), the arithmetic against the
// host, the conditions after comparisons with NaNs and infinities, the
// branches, loops and traps, FMOVECR, FMOVEM and the state frames.
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include "cpu/fpu.h"
#include "support/cpu_fixture_lines04.h"

namespace {

enum Format : u32 { L, S, X, P, W, D, B };
enum Snippet : u32 {
  kLoad = 0,   // + format
  kStore = 7,  // + format
  kOps = 14,   // + the index in kOperations
  kConditions = kOps + 35, kFbccWord, kFbccLong, kFdbccLoop, kFtrapWord, kFtrapLong, kFtrapNone,
  kConstants, kBadConstant, kStateFrames, kRegistersMultiple, kControlRegisters, kImmediates,
  kSincos, kDataRegister,
};

constexpr u32 kIn = 0x3000, kOut = 0x3100;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

bool same(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::bit_cast<u64>(a) == std::bit_cast<u64>(b);
}

// Equal but for the last bits a mathematics library may round otherwise than
// the compiler's folding.
bool near(double a, double b) {
  return same(a, b) || std::fabs(a - b) <= 4 * std::numeric_limits<double>::epsilon() * std::fabs(b);
}

u32 condition_byte(double v) {
  if (std::isnan(v)) return m68k_fpsr_nan;
  return (v < 0 ? u32(m68k_fpsr_n) : 0) | (v == 0 ? u32(m68k_fpsr_z) : 0) |
         (std::isinf(v) ? u32(m68k_fpsr_inf) : 0);
}

// Integer results: toward zero, saturated; a NaN gives all ones.
u32 integer_of(double v) {
  if (std::isnan(v)) return 0xffffffff;
  if (v >= 2147483647.0) return 0x7fffffff;
  if (v <= -2147483648.0) return 0x80000000;
  return u32(i32(std::trunc(v)));
}

class Fpu : public CpuLines04 {
 protected:
  void SetUp() override {
    CpuLines04::SetUp();
    load("fpu");
    use_model(3);
  }
  static double& fp(u32 n) { return regs().fp[n]; }
  // Whether the last instruction took `vector` stacking `pc`.
  static bool took(u32 vector, u32 pc) { return at_vector(vector) && rl(a(7) + 2) == pc; }

  // The bytes of v in a memory format, made without the unit.
  static std::vector<u8> encode(Format f, double v) {
    std::vector<u8> out;
    auto put = [&](u64 value, u32 bytes) {
      for (u32 i = bytes; i-- > 0;) out.push_back(u8(value >> (8 * i)));
    };
    switch (f) {
      case L: put(integer_of(v), 4); break;
      case W: put(integer_of(v), 2); break;
      case B: put(integer_of(v), 1); break;
      case S: put(std::bit_cast<u32>(float(v)), 4); break;
      case D: put(std::bit_cast<u64>(v), 8); break;
      case X: {
        if (std::isnan(v)) {
          put(0x7fff0000u | (std::signbit(v) ? 0x80000000u : 0), 4);
          put(~0ull, 8);
          break;
        }
        // The host's 80-bit extended format, but for the mantissa of an
        // infinity, which the unit writes as 0.
        const long double e = v;
        u8 raw[16] = {};
        std::memcpy(raw, &e, 10);
        put((u32(raw[9]) << 24) | (u32(raw[8]) << 16), 4);
        for (u32 i = 8; i-- > 0;) out.push_back(std::isinf(v) ? 0 : raw[i]);
        break;
      }
      case P: break;
    }
    return out;
  }
};

struct Operation {
  const char* name;
  double (*expected)(double y, double x);
  bool conditions;  // sets the condition byte
};

// Truncation within the 32-bit range, as FINTRZ and the quotients have it.
double trunc32(double v) { return std::isnan(v) ? v : double(i32(integer_of(v))); }

// In the order of the snippets (source FP1 = x, destination FP0 = y).
const Operation kOperations[] = {
    {"fadd", [](double y, double x) { return y + x; }, true},
    {"fsub", [](double y, double x) { return y - x; }, true},
    {"fmul", [](double y, double x) { return y * x; }, true},
    {"fdiv", [](double y, double x) { return y / x; }, true},
    {"fsgldiv", [](double y, double x) { return y / x; }, true},
    {"fsglmul", [](double y, double x) { return y * x; }, true},
    // The quotient truncated (FMOD) or with 0.5 added and truncated (FREM).
    {"fmod", [](double y, double x) { return y - trunc32(y / x) * x; }, true},
    {"frem", [](double y, double x) { return y - trunc32(y / x + 0.5) * x; }, true},
    {"fscale", [](double y, double x) { return y * std::exp(std::log(2.0) * x); }, true},
    {"fsqrt", [](double, double x) { return std::sqrt(x); }, true},
    {"fabs", [](double, double x) { return std::fabs(x); }, true},
    {"fneg", [](double, double x) { return -x; }, true},
    {"fsin", [](double, double x) { return std::sin(x); }, true},
    {"fcos", [](double, double x) { return std::cos(x); }, true},
    {"ftan", [](double, double x) { return std::tan(x); }, true},
    {"fetox", [](double, double x) { return std::exp(x); }, true},
    {"flogn", [](double, double x) { return std::log(x); }, true},
    {"flog10", [](double, double x) { return std::log10(x); }, true},
    {"flog2", [](double, double x) { return std::log(x) / std::log(2.0); }, true},
    {"ftwotox", [](double, double x) { return std::pow(2.0, x); }, true},
    {"ftentox", [](double, double x) { return std::pow(10.0, x); }, true},
    {"fsinh", [](double, double x) { return std::sinh(x); }, true},
    {"fcosh", [](double, double x) { return std::cosh(x); }, true},
    {"ftanh", [](double, double x) { return std::tanh(x); }, true},
    {"fatan", [](double, double x) { return std::atan(x); }, true},
    {"fasin", [](double, double x) { return std::asin(x); }, true},
    {"facos", [](double, double x) { return std::acos(x); }, true},
    {"fatanh", [](double, double x) { return 0.5 * std::log((x + 1) / (1 - x)); }, true},
    {"fetoxm1", [](double, double x) { return std::exp(x) - 1; }, true},
    {"flognp1", [](double, double x) { return std::log(x + 1); }, true},
    {"fgetexp", [](double, double x) { int e = 0; std::frexp(x, &e); return double(e - 1); }, true},
    {"fgetman", [](double, double x) { int e = 0; return 2 * std::frexp(x, &e); }, true},
    // FINT in the default rounding mode adds 0.5 and truncates.
    {"fint", [](double, double x) { return trunc32(x + 0.5); }, false},
    {"fintrz", [](double, double x) { return trunc32(x); }, false},
    {"fmove", [](double, double x) { return x; }, true},
};

}  // namespace

// Faults of a hand-made conversion are caught here: a double stored one
// unit high, a single's or extended's exponent overflowing into the sign,
// integers of values beyond 32 bits.
TEST_F(Fpu, EveryFormatRoundTripsThroughMemory) {
  const double values[] = {0.0,   -0.0,        1.0,     -2.5,  1.0 / 3, 1 + 0x1p-52, 0x1.fffffffffffffp0,
                           1e300, -1e-300,    5e-324,  1e39,  -1e-50, 123456789.75, 3e9,
                           -3e9,  40000.5,    -200.9,  kInf,  -kInf,  kNaN};
  for (const u32 model : {3u, 4u}) {
    use_model(model);
    for (const double v : values) {
      for (u32 f = L; f <= B; ++f) {
        const std::string what = std::to_string(model) + " " + std::to_string(f) + " " + std::to_string(v);
        fp(0) = v;
        a(1) = kOut;
        run(kStore + f);
        if (f == P) {
          // Seventeen digits bring every double back.
          std::memcpy(mem() + kIn, mem() + kOut, 12);
        } else {
          const std::vector<u8> want = encode(Format(f), v);
          EXPECT_EQ(std::memcmp(mem() + kOut, want.data(), want.size()), 0) << what;
          std::memcpy(mem() + kIn, want.data(), want.size());
        }
        a(0) = kIn;
        fp(0) = 99;
        run(kLoad + f);
        const u32 n = integer_of(v);
        const double back = f == L ? double(i32(n))
                             : f == W ? double(i16(n))
                             : f == B ? double(i8(n))
                             : f == S ? double(float(v))
                                      : v;
        EXPECT_TRUE(same(fp(0), back)) << what << " gave " << fp(0);
        EXPECT_EQ(regs().fpsr, condition_byte(back)) << what;
      }
    }
  }
}

TEST_F(Fpu, PackedDecimalLayout) {
  struct Case {
    double v;
    u32 words[3];
  };
  const Case cases[] = {{-12.5, {0x80010001, 0x25000000, 0}},
                        {0.15625, {0x40010001, 0x56250000, 0}},
                        {1e-300, {0x43000001, 0, 0}},
                        {kInf, {0x7fff0000, 0, 0}}};
  for (const Case& c : cases) {
    fp(0) = c.v;
    a(1) = kOut;
    run(kStore + u32(P));
    for (u32 i = 0; i < 3; ++i) EXPECT_EQ(rl(kOut + 4 * i), c.words[i]) << c.v;
  }
  // A digit above 9 ends the number where it stands.
  wl(kIn, 0x00000002);
  wl(kIn + 4, 0x5c000000);
  wl(kIn + 8, 0);
  a(0) = kIn;
  run(kLoad + u32(P));
  EXPECT_EQ(fp(0), 2.5);
}

TEST_F(Fpu, ArithmeticAgreesWithTheHost) {
  const std::pair<double, double> operands[] = {{7.5, 2.0},  {-7.5, 2.0}, {1e308, 10.0}, {0.0, 0.0},
                                                {3.0, -0.5}, {kInf, 2.0}, {-1.0, kNaN},  {5.0, 1e-310},
                                                {0.25, 0.5}, {1e10, 3.0}, {-7.0, -1e20}};
  for (const u32 model : {3u, 4u}) {
    use_model(model);
    for (u32 i = 0; i < std::size(kOperations); ++i) {
      const Operation& op = kOperations[i];
      for (const auto& [y, x] : operands) {
        fp(0) = y;
        fp(1) = x;
        regs().fpsr = 0x0000ff00;
        EXPECT_EQ(run(kOps + i), 8u);
        const double want = op.expected(y, x);
        EXPECT_TRUE(near(fp(0), want)) << op.name << " " << y << " " << x << " gave " << fp(0);
        EXPECT_EQ(regs().fpsr, op.conditions ? 0x0000ff00 | condition_byte(want) : 0x0000ff00u) << op.name;
      }
    }
  }
  // FSINCOS: the cosine to the second register, the condition byte from it.
  fp(1) = 2.0;
  run(kSincos);
  EXPECT_TRUE(near(fp(0), std::sin(2.0)) && near(fp(2), std::cos(2.0)));
  EXPECT_EQ(regs().fpsr, 0x0000ff00u | m68k_fpsr_n);
}

// FCMP and then every condition through FScc, against the host's own
// comparisons: ordered, unordered (a NaN on either side) and infinities.
TEST_F(Fpu, ConditionsFollowTheComparison) {
  const std::pair<double, double> pairs[] = {{1, 2}, {2, 1}, {3, 3}, {0.0, -0.0}, {kNaN, 1},
                                             {1, kNaN}, {kInf, kInf}, {-kInf, 5}, {kNaN, kNaN}};
  for (const auto& [y, x] : pairs) {
    const bool un = std::isnan(y) || std::isnan(x);
    const bool eq = y == x, gt = y > x, lt = y < x;
    const bool holds[16] = {false,   eq,          gt,     gt || eq,       lt,      lt || eq,
                            gt || lt, !un,        un,     un || eq,       un || gt, un || gt || eq,
                            un || lt, un || lt || eq, !eq, true};
    fp(0) = y;
    fp(1) = x;
    a(0) = kOut;
    run(kConditions);
    for (u32 c = 0; c < 32; ++c)
      EXPECT_EQ(rb(kOut + c), holds[c & 15] ? 0xffu : 0u) << y << " vs " << x << " condition " << c;
  }
}

TEST_F(Fpu, BranchesLoopsAndTraps) {
  struct Case {
    u32 fpsr;
    u32 word, longer;  // D7 after FBGT.W and FBULE.L
  };
  const Case cases[] = {{0, 2, 1}, {m68k_fpsr_z, 1, 2}, {m68k_fpsr_nan, 1, 2}, {m68k_fpsr_n, 1, 2}};
  for (const Case& c : cases) {
    regs().fpsr = c.fpsr;
    EXPECT_EQ(run(kFbccWord), 8u + 4u);
    EXPECT_EQ(d(7), c.word) << std::hex << c.fpsr;
    EXPECT_EQ(run(kFbccLong), 12u + 4u);
    EXPECT_EQ(d(7), c.longer) << std::hex << c.fpsr;
  }
  // FDBEQ runs the loop D0.W + 1 times while not equal, once when equal.
  regs().fpsr = 0;
  d(0) = 0xabcd0003;
  d(1) = 0;
  run(kFdbccLoop);
  EXPECT_EQ(d(1), 4u);
  EXPECT_EQ(d(0), 0xabcdffffu);
  regs().fpsr = m68k_fpsr_z;
  d(0) = 3;
  d(1) = 0;
  run(kFdbccLoop);
  EXPECT_EQ(d(1), 1u);
  EXPECT_EQ(d(0), 3u);
  // FTRAPcc takes its condition from the word after the opcode and, when it
  // holds, stacks the next instruction with the trap's own address.
  struct Trap {
    Snippet s;
    u32 length, cycles, fpsr;
    bool taken;
  };
  const Trap traps[] = {{kFtrapWord, 6, 8, m68k_fpsr_z, true},  {kFtrapWord, 6, 8, 0, false},
                        {kFtrapLong, 8, 12, 0, true},           {kFtrapLong, 8, 12, m68k_fpsr_z, false},
                        {kFtrapNone, 4, 4, 0, true},            {kFtrapNone, 4, 4, m68k_fpsr_nan, false}};
  for (const Trap& t : traps) {
    SetUp();
    regs().fpsr = t.fpsr;
    EXPECT_EQ(run(t.s), t.cycles + (t.taken ? 34 : 0));
    if (t.taken) {
      EXPECT_TRUE(took(7, snippet(t.s) + t.length)) << t.s;
      EXPECT_EQ(rl(a(7) + 8), snippet(t.s));
    } else {
      EXPECT_EQ(pc(), snippet(t.s) + t.length);
    }
  }
}

// A condition above 31 is the line-F exception with the PC on the opcode,
// for FBcc (condition in the opcode) and FTRAPcc (in the word after it).
TEST_F(Fpu, ConditionsAbove31AreLineF) {
  const std::pair<u32, u32> forms[] = {{0xf2a0, 0x0000}, {0xf2ff, 0x0000}, {0xf27c, 0x0020},
                                       {0xf258, 0x003f}};
  for (const auto& [opcode, word] : forms) {
    SetUp();
    ww(0x2000, opcode);
    ww(0x2002, word);
    ww(0x2004, 0);
    a(0) = kOut;
    step_at(0x2000);
    EXPECT_TRUE(took(11, 0x2000u)) << std::hex << opcode;
    EXPECT_EQ(a(0), kOut);
  }
}

TEST_F(Fpu, ConstantsOfTheRom) {
  const double want[] = {std::numbers::pi, std::log10(2.0), std::numbers::e, std::numbers::log2e,
                         std::numbers::log10e, 0.0, std::numbers::ln2, std::numbers::ln10, 1, 10, 100,
                         1e4, 1e8, 1e16, 1e32, 1e64, 1e128, 1e256};
  a(0) = kOut;
  run(kConstants);
  for (u32 i = 0; i < std::size(want); ++i)
    EXPECT_EQ(std::bit_cast<double>((u64(rl(kOut + 8 * i)) << 32) | rl(kOut + 8 * i + 4)), want[i]) << i;
  // An offset outside the ROM is the line-F exception with the PC on the opcode.
  EXPECT_EQ(run(kBadConstant), 8u + 34u);
  EXPECT_TRUE(took(11, snippet(kBadConstant)));
}

TEST_F(Fpu, StateFramesAndPrivilege) {
  for (const u32 model : {3u, 4u}) {
    SetUp();
    use_model(model);
    const u32 top = a(7);
    jump(snippet(kStateFrames));
    EXPECT_EQ(step(), 4u);
    const u32 size = model == 4 ? 4 : 28;
    EXPECT_EQ(a(7), top - size);
    EXPECT_EQ(rl(a(7)), model == 4 ? 0x41000000u : 0x1f180000u);
    if (model == 3) {
      EXPECT_EQ(rl(a(7) + 24), 0x70000000u);
    }
    EXPECT_EQ(step(), 4u);
    EXPECT_EQ(a(7), top);
    enter_user_mode();
    run(kStateFrames);
    EXPECT_TRUE(took(8, snippet(kStateFrames)));
  }
}

// FMOVEM: FP0 at the lowest address, 12 bytes each in the extended format;
// a dynamic postincrement list (bit 7 = FP0) reloads them.
TEST_F(Fpu, MoveMultipleAndControlRegisters) {
  for (u32 i = 0; i < 8; ++i) fp(i) = 1.5 * i - 4;
  a(0) = kOut + 96;
  a(1) = kOut;
  d(0) = 0xffffff0a;  // FP4 and FP6
  run(kRegistersMultiple);
  EXPECT_EQ(a(0), kOut);
  for (u32 i = 0; i < 8; ++i) {
    const std::vector<u8> want = encode(X, 1.5 * i - 4);
    EXPECT_EQ(std::memcmp(mem() + kOut + 12 * i, want.data(), 12), 0) << i;
  }
  EXPECT_EQ(a(1), kOut + 24);
  EXPECT_EQ(fp(4), -4.0);  // the first two stored: FP0 and FP1
  EXPECT_EQ(fp(6), -2.5);
  // FPCR, FPSR, FPIAR as consecutive longs.
  regs().fpsr = 0x11;
  regs().fpiar = 0x22;
  d(0) = 0x30;
  a(0) = kOut + 12;
  run(kControlRegisters);
  EXPECT_EQ(rl(kOut), 0x30u);
  EXPECT_EQ(rl(kOut + 4), 0x11u);
  EXPECT_EQ(rl(kOut + 8), 0x22u);
  EXPECT_EQ(regs().fpsr, 0x30u);  // reloaded from FPCR's and FPSR's longs
  EXPECT_EQ(regs().fpiar, 0x11u);
  EXPECT_EQ(d(1), 0x30u);
  EXPECT_EQ(a(0), kOut + 8);
}

TEST_F(Fpu, ImmediatesAndDataRegisters) {
  run(kImmediates);
  const double want[] = {-3, -300, 100000, 1.5, -2.25, 5.5};
  for (u32 i = 0; i < 6; ++i) EXPECT_EQ(fp(i), want[i]) << i;
  d(0) = 0x1234fe0c;  // -500
  d(1) = 0xaaaaaaaa;
  const u32 cycles = run(kDataRegister);
  EXPECT_EQ(fp(0), -500.0);
  EXPECT_EQ(d(1), 0xaaaaaa0cu);  // the low byte of -500
  EXPECT_EQ(d(2), std::bit_cast<u32>(-500.0f));
  // Extended has no data-register form: line F with the PC on the opcode.
  EXPECT_TRUE(took(11, snippet(kDataRegister) + 12));
  EXPECT_EQ(cycles, 3 * 8u + 8u + 34u);
}

// Tables without a unit leave line F to the line-F exception.
TEST_F(Fpu, ModelsWithoutAUnitTakeLineF) {
  for (const u32 model : {0u, 1u, 2u}) {
    SetUp();
    use_model(model);
    run(kOps);
    EXPECT_TRUE(took(11, snippet(kOps))) << model;
  }
}
