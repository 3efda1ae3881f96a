#include "host/sound.h"
#include "machine/ym2149.h"

i16 SOUND_Ring[SOUND_RingSize];
std::atomic<u32> SOUND_RingWrite;
std::atomic<u32> SOUND_RingRead;
u32 SOUND_Active;
u32 SOUND_Stopped = 1;
u32 SOUND_FramesEnded;

namespace {
// One-pole high-pass filter that removes the synthesizer's DC offset.
i32 filter_last_in;
i32 filter_last_out;

void clear_ring_and_filter() {
  SOUND_RingClear();
  filter_last_in = 0;
  filter_last_out = 0;
}
}  // namespace

// There is no audio device in this build: the ring is filled and never drained
// by a render thread, so it simply keeps the latest samples.
void SOUND_Open() { clear_ring_and_filter(); }

void SOUND_Start() {
  clear_ring_and_filter();
  PSG_Init(2000000, 44100, 50, 160256, SOUND_PutSample);
  SOUND_Stopped = 0;
}

void SOUND_SetStopped(u32 stopped) { SOUND_Stopped = stopped ? 1 : 0; }

void SOUND_Pause(u32 flag) {
  if (SOUND_Stopped) return;
  (void)flag;
}

void SOUND_Reset() {
  clear_ring_and_filter();
  PSG_Reset();
}

void SOUND_EndFrame() {
  if (!SOUND_Active) return;
  ++SOUND_FramesEnded;
  PSG_EndFrame();
}

void SOUND_PutSample(i32 sample) {
  const i32 out = sample - filter_last_in + (filter_last_out * 255) / 256;
  filter_last_in = sample;
  filter_last_out = out;
  const i32 clipped = out > 32767 ? 32767 : out < -32768 ? -32768 : out;
  SOUND_RingPut(i16(clipped));
}

bool SOUND_RingPut(i16 sample) {
  const u32 w = SOUND_RingWrite.load(std::memory_order_relaxed);
  const u32 next = w + 1 == SOUND_RingSize ? 0 : w + 1;
  if (next == SOUND_RingRead.load(std::memory_order_acquire)) return false;  // full
  SOUND_Ring[w] = sample;
  SOUND_RingWrite.store(next, std::memory_order_release);
  return true;
}

u32 SOUND_RingCount() {
  const u32 w = SOUND_RingWrite.load(std::memory_order_acquire);
  const u32 r = SOUND_RingRead.load(std::memory_order_acquire);
  return w >= r ? w - r : w + SOUND_RingSize - r;
}

u32 SOUND_RingTake(i16* out, u32 n) {
  u32 r = SOUND_RingRead.load(std::memory_order_relaxed);
  const u32 w = SOUND_RingWrite.load(std::memory_order_acquire);
  u32 taken = 0;
  while (taken < n && r != w) {
    out[taken++] = SOUND_Ring[r];
    r = r + 1 == SOUND_RingSize ? 0 : r + 1;
  }
  SOUND_RingRead.store(r, std::memory_order_release);
  for (u32 i = taken; i < n; ++i) out[i] = 0;
  return taken;
}

void SOUND_RingClear() {
  SOUND_RingRead.store(0, std::memory_order_relaxed);
  SOUND_RingWrite.store(0, std::memory_order_release);
}

void SOUND_Close() { SOUND_Stopped = 1; }
