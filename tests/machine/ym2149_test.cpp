// The sound chip's synthesis, checked sample by sample.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "machine/ym2149.h"

namespace {

std::vector<i32> samples;
void collect(i32 s) { samples.push_back(s); }

// The sample that a constantly high channel at amplitude v gives alone.
i32 level_sample(u32 v) { return i32(((u64(32768u * v) * 0xAAAAAAABull) >> 32) >> 16); }

class Synthesis : public ::testing::Test {
 protected:
  void SetUp() override {
    samples.clear();
    PSG_Init(2000000, 44100, 50, 160256, collect);
  }
  static void write(u32 r, u32 v, i32 cycle = 0) {
    PSG_Select(r);
    PSG_WriteDataAt(v, cycle);
  }
};

TEST_F(Synthesis, VolumeTableAndPeriodUnit) {
  EXPECT_EQ(PSG_State.step, 5780u);
  const u32 expected[] = {0,    184,  219,  260,  309,  368,   437,   519,   617,   734,  872,
                          1036, 1232, 1464, 1740, 2067, 2457,  2920,  3471,  4125,  4903, 5827,
                          6925, 8231, 9782, 11626, 13818, 16422, 19518, 23197, 27570, 32767};
  for (u32 k = 0; k < 32; ++k) EXPECT_EQ(PSG_VolumeTable[k], expected[k]) << k;
}

TEST_F(Synthesis, EveryFrameHas882SamplesWhereverTheWritesFall) {
  PSG_EndFrame();
  EXPECT_EQ(samples.size(), 882u);
  samples.clear();
  write(8, 15, 0);  // nothing is due before cycle 0
  EXPECT_EQ(samples.size(), 0u);
  write(8, 14, 80128);  // half the frame
  EXPECT_EQ(samples.size(), 441u);
  write(8, 13, 160255);
  EXPECT_EQ(samples.size(), 881u);
  write(8, 12, 160256 + 500);  // a write past the frame's end adds nothing
  EXPECT_EQ(samples.size(), 882u);
  PSG_EndFrame();
  EXPECT_EQ(samples.size(), 882u);
  PSG_EndFrame();
  EXPECT_EQ(samples.size(), 1764u);
}

TEST_F(Synthesis, UnchangedValuesRenderNothingButTheShapeRegisterAlways) {
  write(8, 0, 50000);  // R8 already holds 0
  EXPECT_EQ(samples.size(), 0u);
  write(13, 0, 50000);
  EXPECT_EQ(samples.size(), 275u);
  write(15, 0x55, 100000);  // the ports never render
  EXPECT_EQ(samples.size(), 275u);
}

// Sample playback drives the volume registers of disabled tones: the level of
// a disabled tone is a constant, and each write lands at its own sample.
TEST_F(Synthesis, DisabledTonesGiveTheirVolumeAsAConstantLevel) {
  write(7, 0x3f);
  const i32 at[] = {0, 16000, 48000, 100000};
  const u32 vol[] = {15, 7, 1, 0};
  for (int i = 0; i < 4; ++i) write(8, vol[i], at[i]);
  PSG_EndFrame();
  ASSERT_EQ(samples.size(), 882u);
  for (u32 i = 0; i < 882; ++i) {
    const u32 cycle_index = i < 88 ? 0 : i < 264 ? 1 : i < 550 ? 2 : 3;
    const u32 v = vol[cycle_index];
    EXPECT_EQ(samples[i], level_sample(v ? PSG_VolumeTable[2 * v + 1] : 0)) << i;
  }
  EXPECT_EQ(samples[0], level_sample(32767));
}

TEST_F(Synthesis, ThreeDisabledChannelsAtFullVolume) {
  write(7, 0x3f);
  for (u32 r = 8; r <= 10; ++r) write(r, 15);
  PSG_EndFrame();
  // 3 x 32768 x 32767 x 2/3 / 65536, in the 32-bit unsigned sum.
  for (i32 s : samples) ASSERT_EQ(s, 32767);
}

// Positions of the rising crossings of the half level, with sub-sample
// interpolation.
std::vector<double> rising_edges(const std::vector<i32>& s, double half) {
  std::vector<double> edges;
  for (size_t i = 1; i < s.size(); ++i)
    if (s[i - 1] < half && s[i] >= half)
      edges.push_back(double(i - 1) + (half - s[i - 1]) / double(s[i] - s[i - 1]));
  return edges;
}

double measured_frequency(u32 fine, u32 coarse, int frames) {
  samples.clear();
  PSG_Init(2000000, 44100, 50, 160256, collect);
  PSG_Select(7), PSG_WriteDataAt(0x3e, 0);  // tone A only
  PSG_Select(8), PSG_WriteDataAt(15, 0);
  PSG_Select(0), PSG_WriteDataAt(fine, 0);
  PSG_Select(1), PSG_WriteDataAt(coarse, 0);
  for (int f = 0; f < frames; ++f) PSG_EndFrame();
  const auto edges = rising_edges(samples, level_sample(32767) / 2.0);
  if (edges.size() < 2) return 0;
  const double period = (edges.back() - edges.front()) / double(edges.size() - 1);
  return 44100.0 / period;
}

TEST_F(Synthesis, ToneFrequencyIsTheClockOverSixteenPeriods) {
  EXPECT_NEAR(measured_frequency(0x1c, 0x01, 20), 2000000.0 / (16 * 284), 0.05);
  EXPECT_NEAR(measured_frequency(0x00, 0x04, 20), 2000000.0 / (16 * 1024), 0.05);
  EXPECT_NEAR(measured_frequency(0xff, 0x0f, 100), 2000000.0 / (16 * 4095), 0.02);
  // The coarse register keeps four bits.
  EXPECT_NEAR(measured_frequency(0x1c, 0xf1, 20), 2000000.0 / (16 * 284), 0.05);
}

TEST_F(Synthesis, ASquareWaveIsHighHalfTheTime) {
  measured_frequency(0x1c, 0x01, 10);
  double sum = 0;
  for (i32 s : samples) sum += s;
  EXPECT_NEAR(sum / double(samples.size()), level_sample(32767) / 2.0, 40.0);
}

TEST_F(Synthesis, TonePeriodZeroIsPeriodOne) {
  auto run = [](u32 fine) {
    samples.clear();
    PSG_Init(2000000, 44100, 50, 160256, collect);
    PSG_Select(7), PSG_WriteDataAt(0x3e, 0);
    PSG_Select(8), PSG_WriteDataAt(15, 0);
    PSG_Select(0), PSG_WriteDataAt(fine, 0);
    PSG_EndFrame();
    return samples;
  };
  const std::vector<i32> zero = run(0), one = run(1);
  EXPECT_EQ(zero, one);
  // At 125 kHz the wave averages out to half the level in every sample.
  for (i32 s : one) EXPECT_NEAR(s, level_sample(32767) / 2.0, 1200.0);
}

TEST_F(Synthesis, NoiseIsARepeatableHalfOnSignal) {
  auto run = [] {
    samples.clear();
    PSG_Init(2000000, 44100, 50, 160256, collect);
    PSG_Select(7), PSG_WriteDataAt(0x37, 0);  // tone A off, noise on A
    PSG_Select(8), PSG_WriteDataAt(15, 0);
    PSG_Select(6), PSG_WriteDataAt(16, 0);
    for (int f = 0; f < 10; ++f) PSG_EndFrame();
    return samples;
  };
  const std::vector<i32> a = run(), b = run();
  EXPECT_EQ(a, b);
  const i32 top = level_sample(32767);
  double sum = 0;
  u32 lows = 0, highs = 0, changes = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    sum += a[i];
    lows += a[i] == 0;
    highs += a[i] == top;
    if (i && a[i] != a[i - 1]) ++changes;
  }
  EXPECT_NEAR(sum / double(a.size()), top / 2.0, top * 0.06);
  EXPECT_GT(lows, a.size() / 5);
  EXPECT_GT(highs, a.size() / 5);
  // Noise period 16: a new bit every 128 clock cycles, about 0.7 samples;
  // the output changes on half the bits.
  EXPECT_GT(changes, a.size() / 4);
  // Not periodic at short lags.
  for (size_t lag : {1u, 2u, 3u, 7u, 31u}) {
    u32 same = 0;
    for (size_t i = lag; i < a.size(); ++i) same += (a[i] >= top / 2) == (a[i - lag] >= top / 2);
    EXPECT_LT(same, a.size() * 9 / 10) << lag;
  }
  // With the noise switched off on every channel the output is constant.
  samples.clear();
  PSG_Select(7), PSG_WriteDataAt(0x3f, 0);
  PSG_EndFrame();
  for (i32 s : samples) ASSERT_EQ(s, top);
}

// The envelope levels a channel in envelope mode goes through, one entry per
// change, read back from the samples.
std::vector<int> envelope_levels(u32 shape, u32 samplesToRender) {
  samples.clear();
  PSG_Init(2000000, 44100, 50, 160256, collect);
  PSG_Select(7), PSG_WriteDataAt(0x3f, 0);
  PSG_Select(8), PSG_WriteDataAt(0x10, 0);
  PSG_Select(12), PSG_WriteDataAt(1, 0);  // 256 units: 45 samples a step
  PSG_Select(13), PSG_WriteDataAt(shape, 0);
  PSG_Render(i32(samplesToRender));
  std::vector<int> levels;
  for (i32 s : samples) {
    int k = -1;
    for (int i = 0; i < 32; ++i)
      if (level_sample(PSG_VolumeTable[i]) == s) k = i;
    EXPECT_GE(k, 0) << "sample " << s << " is no envelope level";
    if (levels.empty() || levels.back() != k) levels.push_back(k);
  }
  return levels;
}

std::vector<int> ramp(int from, int to) {
  std::vector<int> r;
  for (int k = from;; k += from < to ? 1 : -1) {
    r.push_back(k);
    if (k == to) break;
  }
  return r;
}

std::vector<int> join(std::initializer_list<std::vector<int>> parts) {
  std::vector<int> r;
  for (const auto& p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}

TEST_F(Synthesis, TheSixteenEnvelopeShapes) {
  // About 3.5 cycles of 32 steps of 45.2 samples.
  const u32 n = 5000;
  const std::vector<int> down_then_zero = ramp(31, 0);
  const std::vector<int> up_then_zero = join({ramp(0, 31), {0}});
  for (u32 shape : {0u, 1u, 2u, 3u, 9u}) EXPECT_EQ(envelope_levels(shape, n), down_then_zero) << shape;
  for (u32 shape : {4u, 5u, 6u, 7u, 15u}) EXPECT_EQ(envelope_levels(shape, n), up_then_zero) << shape;
  // The repeating shapes over their first 96 levels.
  auto first96 = [](std::vector<int> v) {
    v.resize(96);
    return v;
  };
  EXPECT_EQ(first96(envelope_levels(8, n)), join({ramp(31, 0), ramp(31, 0), ramp(31, 0)}));
  EXPECT_EQ(first96(envelope_levels(10, n)), join({ramp(31, 0), ramp(1, 31), ramp(30, 0), ramp(1, 2)}));
  EXPECT_EQ(envelope_levels(11, n), join({ramp(31, 0), {31}}));
  EXPECT_EQ(first96(envelope_levels(12, n)), join({ramp(0, 31), ramp(0, 31), ramp(0, 31)}));
  EXPECT_EQ(envelope_levels(13, n), ramp(0, 31));
  EXPECT_EQ(first96(envelope_levels(14, n)), join({ramp(0, 31), ramp(30, 0), ramp(1, 31), ramp(30, 29)}));
}

TEST_F(Synthesis, AttackAndHoldStaysAtFullLevel) {
  envelope_levels(0x0d, 2000);
  ASSERT_EQ(samples.size(), 2000u);
  for (size_t i = 1500; i < 2000; ++i) ASSERT_EQ(samples[i], level_sample(32767));
}

TEST_F(Synthesis, WritingTheShapeRestartsTheEnvelope) {
  envelope_levels(0x0d, 2000);
  samples.clear();
  PSG_Select(13), PSG_WriteDataAt(0x0d, 0);  // the same value again
  PSG_Render(100);
  EXPECT_EQ(samples.front(), 0);
  EXPECT_LT(samples.back(), level_sample(PSG_VolumeTable[4]));
}

TEST_F(Synthesis, ResetSilencesAndRestartsTheFrame) {
  write(7, 0x3f);
  write(8, 15, 80128);
  PSG_Reset();
  EXPECT_EQ(PSG_State.rendered, 0u);
  samples.clear();
  PSG_EndFrame();
  ASSERT_EQ(samples.size(), 882u);
  for (i32 s : samples) ASSERT_EQ(s, 0);
}

}  // namespace
