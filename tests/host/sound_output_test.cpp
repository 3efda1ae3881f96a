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

// A beep over a loud sound clips, never wraps round; one asked for while
// another sounds starts afresh, fading in.
TEST(SoundOutput, TheBeepMixedOverALoudSound) {
  std::vector<i16> out(2 * 1024, 30000);
  for (u32 again : {0, 1}) SOUND_BeepAsk(20), SOUND_MixBeep(out.data(), 1024 - 24 * again);
  EXPECT_EQ(SOUND_BeepLeft.load(), 20 * 735 - 1000u);
  EXPECT_EQ(*std::max_element(out.begin(), out.end()), 32767);
  EXPECT_GE(*std::min_element(out.begin(), out.end()), 30000 - 2 * SOUND_BeepLevel);
  EXPECT_LE(std::abs(out[2 * 4] - 30000), 2 * 5 * SOUND_BeepLevel / i32(SOUND_BeepFade) + 2);
  SOUND_BeepAsk(0);
}

}  // namespace
