// Scripted keyboard and mouse input for the headless runner: a text file of
// events, each fed to the host side of the keyboard processor at the host
// poll of a given frame, as a windowed host would from real input.
//
// One event a line; blank lines and lines starting with '#' are skipped;
// frames count from 0, the first frame after start-up:
//   FRAME key CODE down|up       host virtual key code (decimal or 0x hex)
//   FRAME type TEXT              the rest of the line, typed key by key on a
//                                US layout (letters, digits, space, the
//                                shifted digits), Shift held where needed
//   FRAME mouse DX DY            relative motion in ST pixels
//   FRAME button left|right down|up
// Events of one frame run in the file's order.
#pragma once

#include <string>
#include <vector>

#include "common/types.h"

struct InputEvent {
  enum Kind { Key, Mouse, Button } kind;
  u32 frame;
  i32 a, b;  // key code and down; dx and dy; button (1 left, 2 right) and down
};

// The largest script taken: some hundred thousand events, far more than
// any run is fed.
constexpr size_t input_script_limit = 4u << 20;

// Reads the script at `path` into `text`; false with a message when it is
// no regular file, can't be read or is larger than input_script_limit.
bool read_input_script(const std::string& path, std::string& text, std::string& error);

// Parses a script; false with a message naming the line when it is malformed.
bool parse_input_script(const std::string& text, std::vector<InputEvent>& events,
                        std::string& error);

// Feeds `events` (sorted by frame, as parsed) to the keyboard processor from
// the next host poll on; the first poll is frame 0.
void install_input_script(std::vector<InputEvent> events);
