#include "common/console.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>

namespace {

// In a child process, standard output goes into `target` (a full device, a
// pipe whose reader has left), takes a write that fills its buffer when
// `flood`, then `tail` to keep in the buffer; the child's exit status is
// what CONSOLE_OutputError says of it then.
int output_error_of(bool pipe_target, bool flood, const char* tail) {
  int ends[2];
  if (pipe_target ? pipe(ends) != 0 : (ends[1] = open("/dev/full", O_WRONLY)) < 0) return -1;
  if (pipe_target) close(ends[0]);
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGPIPE, SIG_IGN);
    dup2(ends[1], STDOUT_FILENO);
    // More than the buffer holds: its flush fails, which empties it.
    if (flood) std::fputs(std::string(70000, 'x').c_str(), stdout);
    std::fputs(tail, stdout);
    _exit(CONSOLE_OutputError());
  }
  close(ends[1]);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace

// A reader that left drops the output whether the last flush still had
// some of it or an earlier write lost it all; on a full device each is a
// failure, the earlier one without a cause of its own to name.
TEST(Console, OutputErrorTellsAReaderThatLeftFromLostOutput) {
  const struct {
    const char* what;
    bool pipe, flood;
    const char* tail;
    int error;
  } cases[] = {
      {"full device, last flush", false, false, "figures", ENOSPC},
      {"full device, earlier write", false, true, "", EIO},
      {"full device, both", false, true, "figures", ENOSPC},
      {"closed pipe, last flush", true, false, "figures", 0},
      {"closed pipe, earlier write", true, true, "", 0},
      {"closed pipe, both", true, true, "figures", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(output_error_of(c.pipe, c.flood, c.tail), c.error) << c.what;
}
