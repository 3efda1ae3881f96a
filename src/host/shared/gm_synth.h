// The General MIDI synthesizer that MIDI output plays on: FluidSynth with the
// General MIDI sound font that Debian installs, rendered into our own audio
// output. The emulation thread drives it through the synthesizer interface of
// host/midi.h; the audio callback mixes what it renders with the sound chip.
#pragma once

#include <string>

#include "host/midi.h"

extern const QTMIDI_Synth GMSYNTH_Synth;

// The sound font the synthesizer loads when it starts. Empty means the first
// of Debian's General MIDI fonts that exists (the system's default choice,
// then FluidR3).
extern std::string GMSYNTH_SoundFont;
// The font used when GMSYNTH_SoundFont is empty, or empty when none exists.
std::string GMSYNTH_DefaultSoundFont();

constexpr u32 GMSYNTH_SampleRate = 44100;

// Audio thread: adds `frames` interleaved stereo frames (left, right; signed
// 16-bit, GMSYNTH_SampleRate) of the synthesizer's output to `stereo`,
// saturating. Adds nothing while MIDI output is closed or no synthesizer runs.
// It may run at any time against the emulation thread's calls: FluidSynth's
// API is made for one thread sending events while another renders, and the
// synthesizer's start and stop wait for a mix in progress.
void GMSYNTH_MixInto(i16* stereo, u32 frames);
