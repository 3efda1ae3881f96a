#include "common/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr u32 max_lines = 16;
constexpr u32 max_length = 200;

struct Seen {
  char text[max_length];
  u64 repeats;
};
Seen seen[max_lines];
u32 seen_count;

}  // namespace

void CONSOLE_Line(const char* format, ...) {
  char line[max_length];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  for (u32 i = 0; i < seen_count; ++i) {
    if (std::strcmp(seen[i].text, line) == 0) {
      ++seen[i].repeats;
      return;
    }
  }
  if (seen_count == max_lines) CONSOLE_Report();
  std::memcpy(seen[seen_count].text, line, sizeof line);
  seen[seen_count++].repeats = 0;
  std::puts(line);
}

void CONSOLE_Report() {
  for (u32 i = 0; i < seen_count; ++i) {
    if (seen[i].repeats)
      std::printf("%s [repeated %llu more times]\n", seen[i].text,
                  static_cast<unsigned long long>(seen[i].repeats));
  }
  seen_count = 0;
}
