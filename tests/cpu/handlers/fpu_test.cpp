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

// An integer result of `bits` bits: rounded to nearest (the host's default),
// saturated; a NaN gives all ones.
u32 integer_of(double v, u32 bits = 32) {
  const double top = std::ldexp(1.0, int(bits) - 1);
  const double n = std::nearbyint(v);
  if (std::isnan(v)) return 0xffffffff;
  return u32(i32(n >= top ? top - 1 : n < -top ? -top : n));
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
      case W: put(integer_of(v, 16), 2); break;
      case B: put(integer_of(v, 8), 1); break;
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

// In the order of the snippets (source FP1 = x, destination FP0 = y): IEEE
// arithmetic and the host's mathematics library, or exact results below.
struct Operation {
  const char* name;
  double (*expected)(double y, double x);
};
const Operation kOperations[] = {
    {"fadd", [](double y, double x) { return y + x; }},
    {"fsub", [](double y, double x) { return y - x; }},
    {"fmul", [](double y, double x) { return y * x; }},
    {"fdiv", [](double y, double x) { return y / x; }},
    {"fsgldiv", [](double y, double x) { return y / x; }},
    {"fsglmul", [](double y, double x) { return y * x; }},
    {"fmod", nullptr},
    {"frem", nullptr},
    {"fscale", nullptr},
    {"fsqrt", [](double, double x) { return std::sqrt(x); }},
    {"fabs", [](double, double x) { return std::fabs(x); }},
    {"fneg", [](double, double x) { return -x; }},
    {"fsin", [](double, double x) { return std::sin(x); }},
    {"fcos", [](double, double x) { return std::cos(x); }},
    {"ftan", [](double, double x) { return std::tan(x); }},
    {"fetox", [](double, double x) { return std::exp(x); }},
    {"flogn", [](double, double x) { return std::log(x); }},
    {"flog10", [](double, double x) { return std::log10(x); }},
    {"flog2", [](double, double x) { return std::log2(x); }},
    {"ftwotox", [](double, double x) { return std::exp2(x); }},
    {"ftentox", [](double, double x) { return std::pow(10.0, x); }},
    {"fsinh", [](double, double x) { return std::sinh(x); }},
    {"fcosh", [](double, double x) { return std::cosh(x); }},
    {"ftanh", [](double, double x) { return std::tanh(x); }},
    {"fatan", [](double, double x) { return std::atan(x); }},
    {"fasin", [](double, double x) { return std::asin(x); }},
    {"facos", [](double, double x) { return std::acos(x); }},
    {"fatanh", [](double, double x) { return std::atanh(x); }},
    {"fetoxm1", [](double, double x) { return std::expm1(x); }},
    {"flognp1", [](double, double x) { return std::log1p(x); }},
    {"fgetexp", nullptr},
    {"fgetman", nullptr},
    {"fint", nullptr},
    {"fintrz", nullptr},
    {"fmove", [](double, double x) { return x; }},
};

const std::pair<double, double> kOperands[] = {{7.5, 2.0},  {-7.5, 2.0}, {1e308, 10.0}, {0.0, 0.0},
                                               {3.0, -0.5}, {kInf, 2.0}, {-1.0, kNaN},  {5.0, 1e-310},
                                               {0.25, 0.5}, {1e10, 3.0}, {-7.0, -1e20}};
// Exact results on kOperands, worked out with rational arithmetic, and the
// quotient byte of FMOD and FREM (sign, seven low bits of the quotient).
struct Exact {
  u32 op;
  double want[std::size(kOperands)];
  u32 quotient[std::size(kOperands)];
};
const Exact kExact[] = {
    {6, {1.5, -1.5, 6, kNaN, 0.0, kNaN, kNaN, 0x0.00ddfeb762715p-1022, 0.25, 1, -7},
     {0x03, 0x83, 0x19, 0, 0x86, 0, 0, 0x41, 0, 0x55, 0}},
    {7, {-0.5, 0.5, -4, kNaN, 0.0, kNaN, kNaN, -0x0.004889ffabf16p-1022, 0.25, 1, -7},
     {0x04, 0x84, 0x1a, 0, 0x86, 0, 0, 0x42, 0, 0x55, 0}},
    {8, {30, -30, kInf, 0.0, 3, kInf, kNaN, 5, 0.25, 8e10, -0.0}, {}},
    {30, {1, 1, 3, 0.0, -1, 1, kNaN, -1030, -1, 1, 66}, {}},
    {31, {1, 1, 1.25, 0.0, -1, 1, kNaN, 0x1.2688b70e62bp0, 1, 1.5, -0x1.5af1d78b58c4p0}, {}},
    {32, {2, 2, 10, 0.0, -0.0, 2, kNaN, 0.0, 0.0, 3, -1e20}, {}},
    {33, {2, 2, 10, 0.0, -0.0, 2, kNaN, 0.0, 0.0, 3, -1e20}, {}},
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
        regs().fpsr = 0;
        run(kLoad + f);
        const double back = f == L ? double(i32(integer_of(v)))
                             : f == W ? double(i16(integer_of(v, 16)))
                             : f == B ? double(i8(integer_of(v, 8)))
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

// Every operation sets the condition byte and clears the exception status
// byte; only FMOD and FREM change the quotient byte.
TEST_F(Fpu, ArithmeticAgreesWithTheHost) {
  for (const u32 model : {3u, 4u}) {
    use_model(model);
    for (u32 i = 0; i < std::size(kOperations); ++i) {
      const Operation& op = kOperations[i];
      const Exact* exact = nullptr;
      for (const Exact& e : kExact) exact = e.op == i ? &e : exact;
      ASSERT_EQ(op.expected == nullptr, exact != nullptr) << op.name;
      for (u32 k = 0; k < std::size(kOperands); ++k) {
        const auto [y, x] = kOperands[k];
        fp(0) = y;
        fp(1) = x;
        regs().fpsr = 0x00aaaaaa;
        EXPECT_EQ(run(kOps + i), 8u);
        const double want = exact ? exact->want[k] : op.expected(y, x);
        EXPECT_TRUE(exact ? same(fp(0), want) : near(fp(0), want)) << op.name << " " << y << " " << x << " gave " << fp(0);
        const u32 quotient = i == 6 || i == 7 ? exact->quotient[k] << 16 : 0x00aa0000u;
        EXPECT_EQ(regs().fpsr, quotient | 0xaau | condition_byte(want)) << op.name << " " << y << " " << x;
      }
    }
  }
  // FSINCOS: the cosine to the second register, the condition byte from it.
  fp(1) = 2.0;
  run(kSincos);
  EXPECT_TRUE(near(fp(0), std::sin(2.0)) && near(fp(2), std::cos(2.0)));
  EXPECT_EQ(regs().fpsr, 0x00aa00aau | m68k_fpsr_n);
}

// FINT and FMOVE.L/W/B in each rounding mode of FPCR (to nearest even,
// toward zero, toward minus and plus infinity); FINTRZ always toward zero.
// An integer format takes the value saturated to its range, a NaN all ones;
// both set the operand error and the accrued invalid-operation bit.
TEST_F(Fpu, RoundingModesAndIntegerOverflow) {
  struct Row {
    double v, rounded[4];
  };
  const Row rows[] = {
      {2.5, {2, 2, 2, 3}}, {3.5, {4, 3, 3, 4}}, {-2.5, {-2, -2, -3, -2}}, {-1.6, {-2, -1, -2, -1}},
      {-811.34, {-811, -811, -812, -811}}, {-0.4, {-0.0, -0.0, -1, -0.0}}, {200, {200, 200, 200, 200}},
      {127.5, {128, 127, 127, 128}}, {-128.5, {-128, -128, -129, -128}}, {1e10, {1e10, 1e10, 1e10, 1e10}},
      {32767.5, {32768, 32767, 32767, 32768}}, {-32768.5, {-32768, -32768, -32769, -32768}},
      {-40000, {-40000, -40000, -40000, -40000}}, {0x1p31 - 0.5, {0x1p31, 0x1p31 - 1, 0x1p31 - 1, 0x1p31}},
      {-0x1p31 - 0.5, {-0x1p31, -0x1p31, -0x1p31 - 1, -0x1p31}}, {-kInf, {-kInf, -kInf, -kInf, -kInf}},
      {0x1p52 - 0.5, {0x1p52, 0x1p52 - 1, 0x1p52 - 1, 0x1p52}}, {kNaN, {kNaN, kNaN, kNaN, kNaN}},
  };
  for (const Row& row : rows) {
    for (u32 mode = 0; mode < 4; ++mode) {
      const double want = row.rounded[mode];
      const std::string what = std::to_string(row.v) + " mode " + std::to_string(mode);
      regs().fpcr = mode << 4;
      regs().fpsr = 0;
      fp(1) = row.v;
      run(kOps + 32);
      EXPECT_TRUE(same(fp(0), want)) << what << " gave " << fp(0);
      EXPECT_EQ(regs().fpsr, condition_byte(want)) << what;
      run(kOps + 33);
      EXPECT_TRUE(same(fp(0), row.rounded[1])) << what;
      for (const auto& [f, bits] : {std::pair{L, 32u}, {W, 16u}, {B, 8u}}) {
        const u32 value = integer_of(want, bits);
        const bool fits = double(i32(value)) == want;  // neither saturated nor a NaN
        fp(0) = row.v;
        a(1) = kOut;
        wl(kOut, 0xa5a5a5a5);
        regs().fpsr = 0;
        run(kStore + u32(f));
        EXPECT_EQ(rl(kOut) >> (32 - bits), value & (~0u >> (32 - bits))) << what << " " << bits;
        EXPECT_EQ(regs().fpsr, fits ? 0u : m68k_fpsr_operr | m68k_fpsr_iop) << what << " " << bits;
      }
    }
  }
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
  EXPECT_EQ(d(1), 0xaaaaaa80u);  // -500 is below the byte's range
  EXPECT_EQ(regs().fpsr & 0xffff, u32(m68k_fpsr_iop));  // OPERR cleared by FMOVE.S
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
