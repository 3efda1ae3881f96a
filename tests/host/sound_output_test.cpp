// The sound output every host shares: the DC filter's steps and the audio
// side's copy from the ring, with its lead built after a start and after an
// underrun; the beep mixed over what the device plays; the windowless
// host's beep, a line of text.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/shared/dialogs.h"
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

// A beep of 20 ticks mixed in the device's chunks: 14,700 frames of 880 Hz
// on both channels, faded in and out, clipped (not wrapped) over a loud
// sample, nothing after it; one asked for while it sounds starts afresh.
TEST(SoundOutput, TheBeepMixedOverTheSound) {
  constexpr u32 length = 20 * 735, frames = length + 3000;
  std::vector<i16> out(2 * frames, 0);
  std::fill(out.begin(), out.begin() + 2 * 4000, i16(30000));
  SOUND_BeepAsk(20);
  for (u32 at = 0; at < frames; at += 1024) SOUND_MixBeep(&out[2 * at], std::min(1024u, frames - at));
  EXPECT_EQ(SOUND_BeepLeft.load(), 0u);
  u32 rising = 0, last = 0;
  i32 peak = 0;
  for (u32 i = 0; i < frames; ++i) {
    const i32 s = out[2 * i] - (i < 4000 ? 30000 : 0);
    ASSERT_EQ(out[2 * i], out[2 * i + 1]) << i;
    if (i < 4000) {
      ASSERT_GE(out[2 * i], 30000 - SOUND_BeepLevel) << i;  // never wrapped round
    } else {
      peak = std::max(peak, std::abs(s));
      if (s) last = i;
    }
    if (i > 4000 && out[2 * i - 2] < 0 && out[2 * i] >= 0) ++rising;
  }
  EXPECT_EQ(*std::max_element(out.begin(), out.begin() + 2 * 4000), 32767);
  EXPECT_NEAR(last, length - 1, 4);
  EXPECT_NEAR(peak, SOUND_BeepLevel, 2);
  EXPECT_NEAR(rising, (length - 4000) * 880.0 / 44100, 1.5);
  EXPECT_LE(std::abs(out[2 * 4] - 30000), SOUND_BeepLevel * 5 / i32(SOUND_BeepFade) + 1);  // fading in
  EXPECT_LE(std::abs(out[2 * (length - 3)]), SOUND_BeepLevel * 3 / i32(SOUND_BeepFade) + 1);  // and out

  std::vector<i16> again(2 * 2048, 0);
  SOUND_BeepAsk(20);
  SOUND_MixBeep(again.data(), 1024);
  SOUND_BeepAsk(20);
  SOUND_MixBeep(&again[2 * 1024], 1024);
  EXPECT_EQ(SOUND_BeepLeft.load(), length - 1024);
  EXPECT_EQ(again[2 * 1024], 0);  // the second from its start
  SOUND_BeepAsk(0);
  SOUND_MixBeep(again.data(), 1024);
  EXPECT_EQ(SOUND_BeepLeft.load(), 0u);
}

// The windowless host has no device: the message dialog's beep and that of
// an address it cannot open are lines on standard error.
TEST(SoundOutput, WithoutADeviceTheBeepIsALine) {
  testing::internal::CaptureStderr();
  DLG_Message("hello");
  EXPECT_EQ(APP_LaunchURL("https://example.org/"), -674);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("(beep)\n", 0), 0u) << err;
  EXPECT_NE(err.find("(beep)\n", 1), std::string::npos) << err;
  EXPECT_EQ(SOUND_BeepLeft.load(), 0u);
}

}  // namespace
