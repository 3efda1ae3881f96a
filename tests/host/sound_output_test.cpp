// The sound output every host shares: the DC filter's steps and the audio
// side's copy from the ring, with its lead built after a start and after an
// underrun; the beep mixed over what the device plays.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "host/shared/sound_output.h"
#include "host/sound.h"

namespace {

TEST(SoundOutput, FilterTakesTheOffsetOut) {
  SOUND_FilterInit(0.01, 44100);
  EXPECT_DOUBLE_EQ(SOUND_FilterCoef, 1.0 - 1.0 / 441.0);
  std::vector<i16> out;
  for (int i = 0; i < 5; ++i) out.push_back(SOUND_Filter(1000));
  EXPECT_EQ(out, (std::vector<i16>{1000, 998, 995, 993, 991}));
  // A full-scale square wave stays within 16 bits.
  for (int i = 0; i < 20000; ++i) {
    const i16 s = SOUND_Filter((i / 50) & 1 ? 32766 : 0);
    ASSERT_GE(s, -32766);
  }
  SOUND_FilterReset();
  EXPECT_EQ(SOUND_Filter(0), 0);
}

TEST(SoundOutput, StereoFromTheRingWithItsLead) {
  SOUND_RingRestart();
  std::vector<i16> stereo(2 * 1024, 7);
  auto fill = [](u32 n, i16 first) {
    for (u32 i = 0; i < n; ++i) SOUND_RingPut(i16(first + i));
  };
  // Short of the lead: silence, nothing taken.
  fill(SOUND_PrimeSamples - 1, 1);
  SOUND_RenderStereo(stereo.data(), 1024);
  EXPECT_EQ(stereo, std::vector<i16>(2 * 1024, 0));
  EXPECT_EQ(SOUND_RingCount(), SOUND_PrimeSamples - 1);
  // With the lead: every sample on both channels.
  fill(1, i16(SOUND_PrimeSamples));
  SOUND_RenderStereo(stereo.data(), 1024);
  for (u32 i = 0; i < 1024; ++i) {
    ASSERT_EQ(stereo[2 * i], i16(1 + i));
    ASSERT_EQ(stereo[2 * i + 1], i16(1 + i));
  }
  // An underrun: what is left, then silence; then the lead is built anew.
  const u32 left = SOUND_RingCount();
  SOUND_RenderStereo(stereo.data(), 1024);
  SOUND_RenderStereo(stereo.data(), 1024);
  EXPECT_EQ(SOUND_RingCount(), 0u);
  fill(1000, 1);
  SOUND_RenderStereo(stereo.data(), 1024);
  EXPECT_EQ(SOUND_RingCount(), 1000u);
  EXPECT_EQ(stereo, std::vector<i16>(2 * 1024, 0));
  EXPECT_GT(left, 0u);
  SOUND_RingRestart();
}

// A beep over a loud sound clips, never wraps round. One asked for while another sounds goes on from
// it, and each fades in and out: no step between two samples is larger than the tone's own (a click).
TEST(SoundOutput, TheBeepMixedOverALoudSound) {
  std::vector<i16> out(2 * 2048, 30000);
  SOUND_BeepAsk(2);  // 1470 samples, full strength from the 441st
  SOUND_MixBeep(out.data(), 2048);
  EXPECT_EQ(*std::max_element(out.begin(), out.end()), 32767);
  const i32 low = *std::min_element(out.begin(), out.end());
  EXPECT_TRUE(low >= 30000 - SOUND_BeepLevel && low < 30000 - SOUND_BeepLevel * 9 / 10) << low;

  std::fill(out.begin(), out.end(), 0);
  SOUND_BeepAsk(1);  // 735 samples
  for (u32 at = 0; at < 2048; at += 256) {
    if (at == 512 || at == 768) SOUND_BeepAsk(1);  // at full strength, then on its way out
    SOUND_MixBeep(out.data() + 2 * at, 256);
  }
  EXPECT_EQ(SOUND_BeepLeft.load(), 0u);
  constexpr double tone_step = SOUND_BeepLevel * 2 * 3.1416 * SOUND_BeepHz / SOUND_OutputRate;
  for (u32 i = 0; i + 1 < 2048; ++i)
    ASSERT_LE(std::abs(out[2 * i + 2] - out[2 * i]), tone_step + SOUND_BeepLevel / SOUND_BeepFade + 1) << i;
  const auto loud = [](i16 v) { return v != 0; };  // the last beep sounds to its end, and not after
  EXPECT_TRUE(std::any_of(out.begin() + 2 * (768 + 720), out.begin() + 2 * (768 + 735), loud));
  EXPECT_TRUE(std::none_of(out.begin() + 2 * (768 + 735), out.end(), loud));
}

}  // namespace
