#include "common/console.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

// Whether `fd` is a pipe or socket whose reader has gone: writes to it fail
// with EPIPE from now on.
bool reader_gone(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) return false;
  pollfd p{fd, POLLOUT, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP));
}

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

namespace {
bool output_closed_at_start;
}  // namespace

void CONSOLE_ClaimStandardFiles() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: this one, those below it being open.
    const int null = open("/dev/null", O_RDWR);
    if (null != fd && null >= 0) close(null);
    if (fd == STDOUT_FILENO) output_closed_at_start = true;
  }
}

int CONSOLE_OutputError() {
  if (output_closed_at_start) return EBADF;
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int error = errno;
  if (!std::ferror(stdout)) return 0;
  if (!flushed) return error == EPIPE ? 0 : error ? error : EIO;
  // A write failed before and the buffer it emptied is gone: a reader that
  // left still shows on the descriptor; anything else lost output for good.
  return reader_gone(STDOUT_FILENO) ? 0 : EIO;
}
