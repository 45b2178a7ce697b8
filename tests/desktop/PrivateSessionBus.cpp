// The private session bus: dbus-daemon names its address on a pipe once it listens.
#include "PrivateSessionBus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace desktop_test {

using Clock = std::chrono::steady_clock;

PrivateSessionBus::PrivateSessionBus() {
  int fds[2];
  if (pipe(fds) != 0) return;
  m_pid = fork();
  if (m_pid == 0) {
    close(fds[0]);
    std::string fd = "--print-address=" + std::to_string(fds[1]);
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, STDERR_FILENO);
    execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nosyslog", fd.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char c = 0;
    if (read(fds[0], &c, 1) <= 0 || c == '\n') break;
    m_address += c;
  }
  close(fds[0]);
  if (!m_address.empty()) setenv("DBUS_SESSION_BUS_ADDRESS", m_address.c_str(), 1);
}

PrivateSessionBus::~PrivateSessionBus() {
  if (m_pid > 0) {
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
  }
}

GDBusConnection* PrivateSessionBus::Connect() const {
  return g_dbus_connection_new_for_address_sync(
      m_address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
}

bool RunLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  auto deadline = Clock::now() + limit;
  while (!done() && Clock::now() < deadline) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(5000);
  }
  return done();
}

}  // namespace desktop_test
