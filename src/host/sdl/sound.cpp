// Sound output of the windowed host: an SDL audio device at 44,100 Hz,
// signed 16-bit stereo, whose callback plays the sample ring's mono stream
// on both channels and mixes the General MIDI synthesizer in. The sound
// chip's output is started, stopped and paused as the menus and the pause
// loop ask; the device itself plays while either that output runs, MIDI
// output is open or a beep sounds, so MIDI and the beep are heard with the
// sound chip off, paused (a dialog is up) or held by the unthrottled option.
// The ring is played only while the sound chip's output runs.
#include <SDL.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "host/midi.h"
#include "host/shared/gm_synth.h"
#include "host/sdl/sdl_host.h"
#include "host/shared/sound_output.h"
#include "host/sound.h"
#include "machine/ym2149.h"

u32 SOUND_Active;
u32 SOUND_Stopped;
u32 SOUND_FramesEnded;
u32 SOUND_Muted = 1;
SDL_AudioDeviceID SOUND_OutputUnit;

namespace {

// The sound chip's output started and not stopped or paused; the audio
// thread reads it to play the ring or not.
std::atomic<bool> output_running;
bool device_playing;

void follow() {
  const bool play = SOUND_OutputUnit && (output_running.load(std::memory_order_relaxed) || QTMIDI_Driver.open ||
                                         SOUND_BeepLeft.load(std::memory_order_acquire));
  if (play == device_playing) return;
  SDL_PauseAudioDevice(SOUND_OutputUnit, play ? 0 : 1);
  device_playing = play;
}

void run_output(bool run) {
  output_running.store(run && SOUND_OutputUnit, std::memory_order_relaxed);
  follow();
}

// The ring emptied with the audio thread locked out.
void restart_ring() {
  if (SOUND_OutputUnit) SDL_LockAudioDevice(SOUND_OutputUnit);
  SOUND_RingRestart();
  if (SOUND_OutputUnit) SDL_UnlockAudioDevice(SOUND_OutputUnit);
}

}  // namespace

void SOUND_RenderCallback(void*, u8* stream, int len) {
  i16* out = reinterpret_cast<i16*>(stream);
  const u32 frames = u32(len) / 4;
  if (output_running.load(std::memory_order_relaxed))
    SOUND_RenderStereo(out, frames);
  else
    std::memset(stream, 0, size_t(frames) * 4);
  GMSYNTH_MixInto(out, frames);
  SOUND_MixBeep(out, frames);
}

void (*const SOUND_RenderProc)(void*, u8*, int) = SOUND_RenderCallback;

bool SOUND_Beep(u32 ticks) {
  if (!SOUND_OutputUnit) return false;
  SOUND_BeepAsk(ticks);
  follow();
  return true;
}

void SOUND_Open() {
  if (SOUND_OutputUnit) return;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    std::fprintf(stderr, "No sound output: %s\n", SDL_GetError());
    return;
  }
  SDL_AudioSpec want{};
  want.freq = SOUND_OutputRate;  // the rate the beep is made at too
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = SOUND_RenderProc;
  SDL_AudioSpec have;
  SOUND_OutputUnit = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!SOUND_OutputUnit) {
    std::fprintf(stderr, "No sound output: %s\n", SDL_GetError());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
}

void SOUND_Start() {
  restart_ring();
  SOUND_FilterInit(0.01, 44100);
  PSG_Init(2000000, 44100, 50, 160256, SOUND_SampleSink);
  if (!SOUND_OutputUnit) return;  // silent: the samples keep being dropped
  run_output(true);
  SOUND_Muted = 0;
  SOUND_Stopped = 0;
}

void SOUND_Stop() {
  SOUND_Muted = 1;
  run_output(false);
  SOUND_StopHook();
}

void SOUND_Pause(u32 flag) {
  if (SOUND_Stopped) return;
  SOUND_Muted = flag ? 1 : 0;
  run_output(!flag);
}

void SOUND_SetStopped(u32 stopped) {
  SOUND_Muted = stopped ? 1 : 0;
  SOUND_Stopped = 0;
  run_output(!stopped);
  SOUND_Stopped = stopped ? 1 : 0;
}

void SOUND_Reset() {
  SOUND_FilterReset();
  PSG_Reset();
  restart_ring();
}

void SOUND_EndFrame() {
  follow();
  if (!SOUND_Active) return;
  ++SOUND_FramesEnded;
  PSG_EndFrame();
}

void SOUND_PutSample(i32 sample) {
  if (!SOUND_Muted) SOUND_RingPut(SOUND_Filter(sample));
}

void SOUND_Close() {
  if (!SOUND_OutputUnit) return;
  SDL_CloseAudioDevice(SOUND_OutputUnit);
  SOUND_OutputUnit = 0;
  output_running = device_playing = false;
  SOUND_BeepAsk(0);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
