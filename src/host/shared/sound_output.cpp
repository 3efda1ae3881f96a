// The DC filter and the audio thread's copy from the sample ring.
#include "host/shared/sound_output.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>

#include "host/app.h"
#include "host/sound.h"

void (*const SOUND_SampleSink)(i32) = SOUND_PutSample;

u64 SOUND_Microseconds() { return HOST_Microseconds(); }

double SOUND_FilterState[2];
double SOUND_FilterCoef = 0.99;

namespace {
// Set by the audio thread once the ring holds the lead, cleared on an
// underrun; cleared by the emulation thread only with the audio thread
// locked out.
std::atomic<bool> primed;

// The audio thread's own view of the beep: the count it left in
// SOUND_BeepLeft (any other value there is a new beep), the tone's phase and
// its loudness in steps of the fade.
u32 beep_expected, beep_phase, beep_gain;
}  // namespace

std::atomic<u32> SOUND_BeepLeft;

void SOUND_FilterInit(double tau, i32 rate) {
  SOUND_FilterReset();
  SOUND_FilterCoef = 1.0 - 1.0 / (tau * rate);
}

void SOUND_FilterReset() { SOUND_FilterState[0] = SOUND_FilterState[1] = 0.0; }

i16 SOUND_Filter(i32 sample) {
  const double x = sample;
  const double y = SOUND_FilterCoef * SOUND_FilterState[1] + (x - SOUND_FilterState[0]);
  SOUND_FilterState[0] = x;
  SOUND_FilterState[1] = y;
  // The input lies in 0..32766, so the output stays within +-32766; the
  // clamp only guards the rounding.
  const double r = y + 0.5;
  return i16(r >= 32767.0 ? 32767 : r <= -32768.0 ? -32768 : i32(r));
}

void SOUND_RenderStereo(i16* stereo, u32 frames) {
  if (!primed.load(std::memory_order_relaxed)) {
    if (SOUND_RingCount() < SOUND_PrimeSamples) {
      for (u32 i = 0; i < 2 * frames; ++i) stereo[i] = 0;
      return;
    }
    primed.store(true, std::memory_order_relaxed);
  }
  constexpr u32 chunk = 512;
  i16 mono[chunk];
  while (frames) {
    const u32 n = frames < chunk ? frames : chunk;
    if (SOUND_RingTake(mono, n) < n) primed.store(false, std::memory_order_relaxed);
    for (u32 i = 0; i < n; ++i) stereo[2 * i] = stereo[2 * i + 1] = mono[i];
    stereo += 2 * n;
    frames -= n;
  }
}

void SOUND_RingRestart() {
  SOUND_RingClear();
  primed.store(false, std::memory_order_relaxed);
}

void SOUND_BeepAsk(u32 ticks) { SOUND_BeepLeft.store(ticks * (SOUND_OutputRate / 60), std::memory_order_release); }

void SOUND_MixBeep(i16* stereo, u32 frames) {
  u32 left = SOUND_BeepLeft.load(std::memory_order_acquire);
  // A beep asked for while one sounds goes on from it, tone and loudness.
  if (left != beep_expected && beep_gain == 0) beep_phase = 0;
  const u32 n = frames < left ? frames : left;
  constexpr double step = 2 * std::numbers::pi * SOUND_BeepHz / SOUND_OutputRate;
  for (u32 i = 0; i < n; ++i, ++beep_phase) {
    // Up a step a sample to full strength, and down so as to be silent with
    // the beep's last sample.
    beep_gain = std::min({beep_gain + 1, left - i - 1, SOUND_BeepFade});
    const i32 s = i32(std::lround(SOUND_BeepLevel * std::sin(step * beep_phase) * beep_gain / SOUND_BeepFade));
    stereo[2 * i] = SOUND_Saturate(stereo[2 * i] + s);
    stereo[2 * i + 1] = SOUND_Saturate(stereo[2 * i + 1] + s);
  }
  // A beep asked for meanwhile stays for the next call, which starts it.
  beep_expected = SOUND_BeepLeft.compare_exchange_strong(left, left - n, std::memory_order_acq_rel) ? left - n : ~0u;
}
