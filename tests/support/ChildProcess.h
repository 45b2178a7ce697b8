// For helper processes a test forks (X servers, web servers), called in the child before
// exec: the child ends with the test process and never holds the test's output open.
// ctest waits for the end of a test's output, so a helper left behind by a test that
// crashed (its clean-up never ran) would stall the whole run until the time-out.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

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

// The first line a started helper writes to `fd` (an X server's display number, a bus
// daemon's address), read until `limit` passes; empty when none came. Closes `fd`.
inline std::string ReadFirstLine(int fd, std::chrono::milliseconds limit) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char c = 0;
    ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line += c;
  }
  close(fd);
  return line;
}

// Ends a helper the test started: SIGTERM, up to 3 s to leave, then SIGKILL. Nothing
// happens when it has ended already.
inline void EndChildProcess(pid_t pid) {
  if (pid <= 0 || waitpid(pid, nullptr, WNOHANG) != 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 300; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) != 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}
