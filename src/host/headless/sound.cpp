// Sound output of the windowless build: the synthesizer's samples, with
// their DC offset filtered out, fill the sample ring; no device drains it.
#include "host/shared/sound_output.h"
#include "host/sound.h"
#include "machine/ym2149.h"

u32 SOUND_Active;
u32 SOUND_Stopped = 1;
u32 SOUND_FramesEnded;

namespace {
void clear_ring_and_filter() {
  SOUND_RingClear();
  SOUND_FilterReset();
}
}  // namespace

// There is no audio device in this build: the ring is filled and never
// drained, so once full it keeps its first samples and drops the rest.
void SOUND_Open() { clear_ring_and_filter(); }

void SOUND_Start() {
  SOUND_RingClear();
  SOUND_FilterInit(0.01, 44100);
  PSG_Init(2000000, 44100, 50, 160256, SOUND_SampleSink);
  SOUND_Stopped = 0;
}

void SOUND_Stop() { SOUND_StopHook(); }

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

void SOUND_PutSample(i32 sample) { SOUND_RingPut(SOUND_Filter(sample)); }

void SOUND_Close() { SOUND_Stopped = 1; }

// Nothing to sound a beep on: the caller says it in words.
bool SOUND_Beep(u32) { return false; }
