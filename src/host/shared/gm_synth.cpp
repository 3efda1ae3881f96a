// FluidSynth behind the synthesizer interface: the note allocator's values
// turned back into MIDI controllers, programs and drum kits, and its output
// mixed into the audio callback's buffer.
#include "host/shared/gm_synth.h"

#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>

#include "host/shared/sound_output.h"

std::string GMSYNTH_SoundFont;

std::string GMSYNTH_DefaultSoundFont() {
  for (const char* f : {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2"}) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(f, ec)) return f;
  }
  return {};
}

namespace {

// The engine exists between start and stop. Only the emulation thread
// creates, uses and releases it; the mutex keeps a release from happening
// under the audio thread's mix.
std::mutex engine_lock;
fluid_settings_t* settings;
fluid_synth_t* engine;
std::atomic<bool> playing;  // open: the audio callback renders

// The note allocator's pitch bend is in semitones; the wheel spans the
// largest sensitivity FluidSynth takes, a step under a cent.
constexpr i32 wheel_semitones = 72;
constexpr u32 drum_kits = 0x4001;

int midi7(i32 v) { return std::clamp(v, 0, 127); }

void silent_log(int, const char*, void*) {}

i32 gm_start() {
  if (engine) return 0;
  const std::string font = GMSYNTH_SoundFont.empty() ? GMSYNTH_DefaultSoundFont() : GMSYNTH_SoundFont;
  if (font.empty()) return 1;
  // Missing presets fall back to the kit or instrument the font has: no need
  // to say so on the console.
  for (const int level : {FLUID_WARN, FLUID_INFO, FLUID_DBG}) fluid_set_log_function(level, silent_log, nullptr);
  fluid_settings_t* s = new_fluid_settings();
  if (!s) return 1;
  fluid_settings_setnum(s, "synth.sample-rate", GMSYNTH_SampleRate);
  fluid_settings_setint(s, "synth.midi-channels", 16);
  fluid_settings_setint(s, "synth.threadsafe-api", 1);
  // A loud note about a tenth of the sound chip's loudest tone.
  fluid_settings_setnum(s, "synth.gain", 0.6);
  // Samples are read when a program needs them, not the whole font at start.
  fluid_settings_setint(s, "synth.dynamic-sample-loading", 1);
  fluid_settings_setint(s, "synth.lock-memory", 0);
  fluid_synth_t* e = new_fluid_synth(s);
  if (!e || fluid_synth_sfload(e, font.c_str(), 1) == FLUID_FAILED) {
    if (e) delete_fluid_synth(e);
    delete_fluid_settings(s);
    return 1;
  }
  std::lock_guard<std::mutex> g(engine_lock);
  settings = s;
  engine = e;
  return 0;
}

void gm_stop() {
  playing.store(false, std::memory_order_release);
  fluid_synth_t* e;
  fluid_settings_t* s;
  {
    std::lock_guard<std::mutex> g(engine_lock);
    e = engine;
    s = settings;
    engine = nullptr;
    settings = nullptr;
  }
  if (e) delete_fluid_synth(e);
  if (s) delete_fluid_settings(s);
}

i32 gm_open() {
  if (!engine) return -1;
  fluid_synth_system_reset(engine);
  playing.store(true, std::memory_order_release);
  return 0;
}

void gm_close() {
  if (!engine) return;
  fluid_synth_all_sounds_off(engine, -1);
  playing.store(false, std::memory_order_release);
}

void sounds_off(u32 c) {
  if (engine) fluid_synth_all_sounds_off(engine, int(c));
}

i32 gm_new_channel(u32 c) {
  if (!engine) return -1;
  const int ch = int(c);
  fluid_synth_set_channel_type(engine, ch, CHANNEL_TYPE_MELODIC);
  fluid_synth_bank_select(engine, ch, 0);
  fluid_synth_program_change(engine, ch, 0);
  fluid_synth_pitch_wheel_sens(engine, ch, wheel_semitones);
  fluid_synth_pitch_bend(engine, ch, 8192);
  fluid_synth_cc(engine, ch, 11, 127);  // the channel's own volume: full
  return 0;
}

void gm_play_note(u32 c, u32 note, u32 velocity) {
  if (!engine) return;
  if (velocity) {
    fluid_synth_noteon(engine, int(c), int(note), midi7(i32(velocity)));
  } else {
    fluid_synth_noteoff(engine, int(c), int(note));
  }
}

void gm_set_controller(u32 c, u32 n, i32 v) {
  if (!engine) return;
  const int ch = int(c);
  switch (n) {
    case 8:  // balance: 0 is what a reset of the controllers sends, the centre
      if (v == 0) v = 64 << 8;
      [[fallthrough]];
    case 1: case 2: case 4: case 5: case 7:  // 14-bit values as 8.8
      fluid_synth_cc(engine, ch, int(n), midi7(v >> 8));
      fluid_synth_cc(engine, ch, int(n) + 32, (v >> 1) & 0x7F);
      break;
    case 10:  // 256 left to 512 right; below that the default, the centre
      fluid_synth_cc(engine, ch, 10, v < 256 ? 64 : midi7((v - 256) / 2));
      break;
    case 32:  // signed 8.8 semitones
      fluid_synth_pitch_bend(engine, ch, std::clamp(8192 + v * 8192 / (wheel_semitones * 256), 0, 16383));
      break;
    case 33:
      fluid_synth_channel_pressure(engine, ch, midi7(v >> 8));
      break;
    case 64: case 66: case 67:
      fluid_synth_cc(engine, ch, int(n), v ? 127 : 0);
      break;
    case 91: case 92: case 93: case 94: case 95:
      fluid_synth_cc(engine, ch, int(n), midi7(v >> 8));
      break;
    default:
      break;
  }
}

void gm_set_instrument(u32 c, u32 instrument) {
  if (!engine) return;
  const int ch = int(c);
  if (instrument >= drum_kits) {
    fluid_synth_set_channel_type(engine, ch, CHANNEL_TYPE_DRUM);
    fluid_synth_bank_select(engine, ch, 128);
    fluid_synth_program_change(engine, ch, midi7(i32(instrument - drum_kits)));
  } else {
    fluid_synth_set_channel_type(engine, ch, CHANNEL_TYPE_MELODIC);
    fluid_synth_bank_select(engine, ch, 0);
    fluid_synth_program_change(engine, ch, midi7(i32(instrument) - 1));
  }
}

// The channel's own volume rides on expression, which the interpreter folds
// into the volume controller and never sends.
void gm_set_volume(u32 c, u32 volume) {
  if (engine) fluid_synth_cc(engine, int(c), 11, midi7(i32((u64(volume) * 127 + 0x8000) >> 16)));
}

}  // namespace

const QTMIDI_Synth GMSYNTH_Synth = {gm_start,        gm_stop,           gm_open,      gm_close,
                                    gm_new_channel,  sounds_off,        gm_play_note, gm_set_controller,
                                    gm_set_instrument, sounds_off,      gm_set_volume};

void GMSYNTH_MixInto(i16* stereo, u32 frames) {
  if (!playing.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> g(engine_lock);
  if (!engine) return;
  constexpr u32 chunk_frames = 256;
  i16 chunk[2 * chunk_frames];
  while (frames > 0) {
    const u32 n = std::min(frames, chunk_frames);
    fluid_synth_write_s16(engine, int(n), chunk, 0, 2, chunk, 1, 2);
    for (u32 i = 0; i < 2 * n; ++i) stereo[i] = SOUND_Saturate(stereo[i] + chunk[i]);
    stereo += 2 * n;
    frames -= n;
  }
}
