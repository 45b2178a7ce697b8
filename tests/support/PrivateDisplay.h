// A private X server for one test process, so that tests running side by side (ctest -j)
// never click into each other's windows. Register it once per test executable:
//   const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new PrivateDisplay("1600x900x24"));
// When Xvfb cannot be started the tests fall back to $DISPLAY.
#pragma once

#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "support/ChildProcess.h"

class PrivateDisplay : public ::testing::Environment {
 public:
  explicit PrivateDisplay(std::string screen) : m_screen(std::move(screen)) {}

  void SetUp() override {
    int fds[2];
    if (pipe(fds) != 0) return;
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
      close(fds[0]);
      TieChildToTestProcess(parent);
      std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", m_screen.c_str(), "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // Xvfb writes the display number and a line break once it accepts connections.
    std::string number;
    char c = 0;
    while (m_pid > 0) {
      ssize_t n = read(fds[0], &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (!number.empty()) {
      setenv("DISPLAY", (":" + number).c_str(), 1);
      unsetenv("WAYLAND_DISPLAY");
    }
  }

  void TearDown() override {
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      waitpid(m_pid, nullptr, 0);
    }
  }

 private:
  std::string m_screen;
  pid_t m_pid = -1;
};
