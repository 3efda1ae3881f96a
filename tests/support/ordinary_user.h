// Runs a part of a test as an ordinary user. File permissions don't bind the
// superuser, and CI runs the tests as root: a test of what happens with a
// file we may only read runs that part in a child process that has given up
// the superuser's rights.
#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

// Returns body()'s result (an exit status, 0-255), run in this process when
// it is no superuser's and otherwise in a child running as user and group
// 65534; -1 when the child could not be started or did not exit normally.
// Files the body opens must be reachable by that user.
template <class Body>
int run_as_ordinary_user(Body body) {
  if (geteuid() != 0) return body();
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(255);
    const int status = body();
    std::fflush(nullptr);
    _exit(status);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}
