// The cost of the host's sound and input paths. Sound: one emulated second
// of the sound chip (three tones, noise and the envelope) rendered into the
// sample ring through the DC filter, then taken out as the audio callback
// does, in device buffers of 1024 stereo frames. Input (bench_input, the
// windowed host with SDL's dummy video driver): one frame's host poll and
// pointer poll with a key and a pointer motion waiting, in relative mouse
// mode.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "host/events.h"
#include "host/shared/sound_output.h"
#include "host/sound.h"
#include "machine/ikbd.h"
#include "machine/ym2149.h"

#ifdef INPUT_BENCH
#include <SDL.h>

#include "host/app.h"
#include "host/screen.h"
#include "host/shared/input.h"
#include "platform/window.h"
#endif

namespace {

#ifndef INPUT_BENCH
void BM_SoundPerEmulatedSecond(benchmark::State& state) {
  const bool synthesis = state.range(0) & 1, output = state.range(0) & 2;
  PSG_Init(2000000, 44100, 50, 160256, SOUND_PutSample);
  SOUND_FilterInit(0.01, 44100);
  const u8 regs[][2] = {{0, 0x1c}, {1, 1},    {2, 0x80}, {3, 0}, {4, 0x40}, {5, 2},
                        {6, 7},    {7, 0x30}, {8, 15},   {9, 0x10}, {10, 12},
                        {11, 0x20}, {12, 0},  {13, 0x0e}};
  for (const auto& r : regs) PSG_WriteReg(r[0], r[1]);
  std::vector<i16> device(2 * 1024);
  SOUND_RingRestart();
  for (u32 i = 0; i < SOUND_PrimeSamples; ++i) SOUND_RingPut(0);
  for (auto _ : state) {
    for (int frame = 0; frame < 50; ++frame) {
      if (synthesis) {
        PSG_EndFrame();
      } else {
        for (int i = 0; i < 882; ++i) SOUND_PutSample(i & 64 ? 20000 : 0);
      }
      if (output) {
        while (SOUND_RingCount() >= SOUND_PrimeSamples + 1024) SOUND_RenderStereo(device.data(), 1024);
      } else {
        SOUND_RingClear();
      }
    }
    benchmark::DoNotOptimize(device.data());
  }
  // The synthesizer's sink is the filter and the ring: "synthesis" includes them.
  state.SetLabel(synthesis && output ? "synthesis, filter, ring, callback"
                 : synthesis         ? "synthesis, filter, ring"
                                     : "filter, ring, callback");
}
BENCHMARK(BM_SoundPerEmulatedSecond)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);
#else
void BM_InputPollPerFrame(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  if (!SCREEN_Init()) APP_InstallAppleEvents();
  IKBD_State.mouseMode = 1;
  IKBD_State.yOriginTop = 1;
  int x = 100;
  u64 bytes = 0;
  for (auto _ : state) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    x = x == 100 ? 120 : 100;
    e.motion.x = x;
    e.motion.y = 100 + PLATFORM_MenuStripHeight;
    e.motion.xrel = x == 100 ? -20 : 20;
    SDL_PushEvent(&e);
    SDL_Event k{};
    k.type = (x == 100) ? SDL_KEYDOWN : SDL_KEYUP;
    k.key.state = x == 100 ? SDL_PRESSED : SDL_RELEASED;
    k.key.keysym.scancode = SDL_SCANCODE_A;
    SDL_PushEvent(&k);
    EVENTS_DoEvent(0);
    EVENTS_PollMouse();
    bytes += IKBD_QueueCount;
    IKBD_QueueCount = 0;
  }
  state.counters["st_bytes_per_frame"] = double(bytes) / double(state.iterations());
}
BENCHMARK(BM_InputPollPerFrame)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace
