// For helper processes a test forks (X servers, web servers), called in the child before
// exec: the child ends with the test process and never holds the test's output open.
// ctest waits for the end of a test's output, so a helper left behind by a test that
// crashed (its clean-up never ran) would stall the whole run until the time-out.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

inline void TieChildToTestProcess(pid_t parent) {
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(127);  // the test ended before the line above
  int devnull = open("/dev/null", O_RDWR);
  if (devnull >= 0) {
    dup2(devnull, STDIN_FILENO);
    dup2(devnull, STDOUT_FILENO);
    dup2(devnull, STDERR_FILENO);
    if (devnull > STDERR_FILENO) close(devnull);
  }
}
