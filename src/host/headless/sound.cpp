// Sound output of the windowless build: the synthesizer's samples, with
// their DC offset filtered out, fill the sample ring; no device drains it.
#include "host/sound.h"
#include "machine/ym2149.h"

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

void SOUND_Stop() { SOUND_Stopped = 1; }

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

void SOUND_Close() { SOUND_Stopped = 1; }
