#include "input_script.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "common/files.h"
#include "host/events.h"
#include "machine/ikbd.h"

namespace {

constexpr i32 shift_key = 0x3f;  // the host code the keyboard processor takes as left Shift

// Host virtual key code of a character on a US layout, and whether it needs Shift.
bool key_of(char c, i32& code, bool& shift) {
  static const char letters[] = "asdfhgzxcv?bqweryt";  // codes 0x00-0x11 ('?' has none)
  static const struct {
    char plain, shifted;
    i32 code;
  } others[] = {{'1', '!', 0x12}, {'2', '@', 0x13}, {'3', '#', 0x14}, {'4', '$', 0x15},
                {'6', '^', 0x16}, {'5', '%', 0x17}, {'9', '(', 0x19}, {'7', '&', 0x1a},
                {'8', '*', 0x1c}, {'0', ')', 0x1d}, {'o', 'O', 0x1f}, {'u', 'U', 0x20},
                {'i', 'I', 0x22}, {'p', 'P', 0x23}, {'l', 'L', 0x25}, {'j', 'J', 0x26},
                {'k', 'K', 0x28}, {'n', 'N', 0x2d}, {'m', 'M', 0x2e}, {' ', ' ', 0x31}};
  const bool upper = c >= 'A' && c <= 'Z';
  const char lower = upper ? char(c - 'A' + 'a') : c;
  for (i32 i = 0; letters[i]; ++i) {
    if (letters[i] != '?' && letters[i] == lower) {
      code = i;
      shift = upper;
      return true;
    }
  }
  for (const auto& o : others) {
    if (o.plain == c || o.shifted == c) {
      code = o.code;
      shift = o.shifted == c && o.plain != c;
      return true;
    }
  }
  return false;
}

bool number(const std::string& word, i64 lo, i64 hi, i32& out) {
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(word.c_str(), &end, 0);
  if (*end || errno || v < lo || v > hi) return false;
  out = i32(v);
  return true;
}

bool state(const std::string& word, i32& down) {
  if (word != "down" && word != "up") return false;
  down = word == "down";
  return true;
}

std::vector<InputEvent> script;
size_t next_event;
u32 first_poll;

void feed(u32 poll) {
  const u32 frame = poll - first_poll;
  for (; next_event < script.size() && script[next_event].frame <= frame; ++next_event) {
    const InputEvent& e = script[next_event];
    switch (e.kind) {
      case InputEvent::Key: IKBD_PostKey(u32(e.a) << 8, u32(e.b)); break;
      case InputEvent::Mouse: IKBD_SendRelativeMouse(e.a, e.b); break;
      case InputEvent::Button: IKBD_MouseButton(u32(e.a), u32(e.b)); break;
    }
  }
}

}  // namespace

bool read_input_script(const std::string& path, std::string& text, std::string& error) {
  std::string why;
  const int fd = FILES_OpenRegular(path.c_str(), O_RDONLY, why);
  if (fd < 0) {
    error = "the input script " + path + " " + why;
    return false;
  }
  text.clear();
  char chunk[65536];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = "the input script " + path + " can't be read (" + std::strerror(errno) + ")";
      break;
    }
    if (got == 0) break;
    // Never more than the limit in memory, however large the file.
    if (text.size() + size_t(got) > input_script_limit) {
      error = "the input script " + path + " is larger than " +
              std::to_string(input_script_limit >> 20) + " MB";
      break;
    }
    text.append(chunk, size_t(got));
  }
  close(fd);
  return error.empty();
}

bool parse_input_script(const std::string& text, std::vector<InputEvent>& events,
                        std::string& error) {
  std::istringstream lines(text);
  std::string line;
  for (u32 n = 1; std::getline(lines, line); ++n) {
    std::istringstream words(line);
    std::string frame_word, kind, w1, w2, extra;
    words >> frame_word >> kind;
    if (frame_word.empty() || frame_word[0] == '#') continue;
    auto bad = [&](const char* why) {
      error = "input script line " + std::to_string(n) + ": " + why;
      return false;
    };
    i32 frame = 0, a = 0, b = 0;
    if (!number(frame_word, 0, 0xffffffffLL >> 1, frame)) return bad("no frame number");
    const u32 f = u32(frame);
    if (kind == "type") {
      std::string rest;
      std::getline(words, rest);
      if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
      for (char c : rest) {
        bool shift = false;
        if (!key_of(c, a, shift)) return bad("a character that can't be typed");
        if (shift) events.push_back({InputEvent::Key, f, shift_key, 1});
        events.push_back({InputEvent::Key, f, a, 1});
        events.push_back({InputEvent::Key, f, a, 0});
        if (shift) events.push_back({InputEvent::Key, f, shift_key, 0});
      }
      continue;
    }
    words >> w1 >> w2;
    if (words >> extra) return bad("too many words");
    if (kind == "key") {
      if (!number(w1, 0, 0x7f, a) || !state(w2, b)) return bad("expected: key CODE down|up");
      events.push_back({InputEvent::Key, f, a, b});
    } else if (kind == "mouse") {
      if (!number(w1, -32768, 32767, a) || !number(w2, -32768, 32767, b))
        return bad("expected: mouse DX DY");
      events.push_back({InputEvent::Mouse, f, a, b});
    } else if (kind == "button") {
      if ((w1 != "left" && w1 != "right") || !state(w2, b))
        return bad("expected: button left|right down|up");
      events.push_back({InputEvent::Button, f, w1 == "left" ? 1 : 2, b});
    } else {
      return bad("unknown event (key, type, mouse or button)");
    }
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const InputEvent& x, const InputEvent& y) { return x.frame < y.frame; });
  return true;
}

void install_input_script(std::vector<InputEvent> events) {
  script = std::move(events);
  next_event = 0;
  first_poll = EVENTS_PollCount;
  EVENTS_ScriptHook = feed;
}
