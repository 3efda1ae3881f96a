// The sample ring between the synthesizer and the audio output, shared by
// every host.
#include "host/sound.h"

i16 SOUND_Ring[SOUND_RingSize];
std::atomic<u32> SOUND_RingWrite;
std::atomic<u32> SOUND_RingRead;

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
