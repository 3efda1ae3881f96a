// What the windowed host plays, heard through SDL's disk audio driver, which
// writes the device's stereo 16-bit samples into a file at the real pace.
#pragma once

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/types.h"
#include "host/sound.h"

// The disk audio driver as the sound device, playing into `file`.
inline void open_disk_audio(const std::string& file) {
  SOUND_Close();
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  SOUND_Open();
}

// Closes the device and gives what it played into `file`; the tests' own
// dummy driver is the next device's.
inline std::vector<i16> disk_audio_played(const std::string& file) {
  SOUND_Close();
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> b(std::istreambuf_iterator<char>(in), {});
  std::vector<i16> s(b.size() / 2);
  std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}

// The sound in what was played, from its first non-zero stereo frame to
// its last ([first, last) in samples), with its pitch from the left
// channel's upward zero crossings.
struct HeardTone {
  size_t first, last;
  double frames, hz;
};
inline HeardTone heard_tone(const std::vector<i16>& s, double rate = 44100) {
  size_t first = 0, last = s.size(), rising = 0;
  while (first < last && s[first] == 0) ++first;
  while (last > first && s[last - 1] == 0) --last;
  for (size_t i = first + 2; i + 1 < last; i += 2) rising += s[i - 2] < 0 && s[i] >= 0;
  const double frames = (last - first) / 2.0;
  return {first, last, frames, frames ? rising / frames * rate : 0};
}
