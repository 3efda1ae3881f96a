// What every host's sound output does alike: the one-pole high-pass filter
// that takes the DC offset out of the synthesizer's samples on their way into
// the sample ring (host/sound.h), and the audio thread's side, which turns the
// ring's mono samples into the device's interleaved stereo frames.
//
// The audio side keeps a small lead: after a start, a reset or an underrun it
// plays silence, taking nothing, until the ring holds SOUND_PrimeSamples, so
// that the emulation's bursts of one frame of samples and the device's own
// buffer sizes never meet an empty ring in the middle of a sound.
#pragma once

#include <atomic>

#include "common/types.h"

// The filter: y = coef x previous y + (x - previous x), in double precision.
extern double SOUND_FilterState[2];  // previous input, previous output
extern double SOUND_FilterCoef;      // 0.99 until SOUND_FilterInit
// Coefficient 1 - 1 / (tau x rate), state cleared.
void SOUND_FilterInit(double tau, i32 rate);
void SOUND_FilterReset();
// One synthesizer sample (0-32766) filtered: a signed 16-bit sample.
i16 SOUND_Filter(i32 sample);

// Three frames of samples at 50 frames a second (60 ms).
constexpr u32 SOUND_PrimeSamples = 3 * 882;
// Audio thread: `frames` stereo frames (left, right) from the ring, the mono
// sample on both channels, silence where the ring has none.
void SOUND_RenderStereo(i16* stereo, u32 frames);
// The ring emptied and the lead to be built again: only while the audio
// thread is stopped or locked out.
void SOUND_RingRestart();

// ---- The beep -------------------------------------------------------------

// The host's beep: an 880 Hz sine at a moderate level, faded in and out over
// 10 ms so that it starts and ends without a click, added to both channels
// of whatever else the device plays. The emulation thread asks for one by
// storing its length in SOUND_BeepLeft; the audio thread counts that down as
// it mixes the tone in. A beep asked for while one sounds takes its place,
// going on from its tone.
constexpr u32 SOUND_OutputRate = 44100;
constexpr u32 SOUND_BeepHz = 880;
constexpr u32 SOUND_BeepFade = SOUND_OutputRate / 100;
constexpr i32 SOUND_BeepLevel = 6000;
// Samples of the beep still to sound (0: none).
extern std::atomic<u32> SOUND_BeepLeft;
// Emulation thread: a beep of `ticks` 1/60 s (0 silences one that sounds).
void SOUND_BeepAsk(u32 ticks);
// Audio thread: adds the beep to `frames` stereo frames, saturating.
void SOUND_MixBeep(i16* stereo, u32 frames);
// The sum of a sample and what is mixed into it, kept within 16 bits.
inline i16 SOUND_Saturate(i32 sum) { return i16(sum > 32767 ? 32767 : sum < -32768 ? -32768 : sum); }
// Each host's: sounds a beep of `ticks` 1/60 s on its audio device; false
// when it has none to sound it on.
bool SOUND_Beep(u32 ticks);
