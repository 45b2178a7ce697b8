// A private D-Bus bus for one test process: its own dbus-daemon, named in an environment
// variable (DBUS_SESSION_BUS_ADDRESS or DBUS_SYSTEM_BUS_ADDRESS) while it lives. The daemon
// names its address on a pipe once it listens; the address stays empty when it did not.
#pragma once

#include <fcntl.h>
#include <gio/gio.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace testsupport {

class PrivateDbusDaemon {
 public:
  explicit PrivateDbusDaemon(const char* variable) {
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{fds[0], POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char c = 0;
      if (read(fds[0], &c, 1) <= 0 || c == '\n') break;
      m_address += c;
    }
    close(fds[0]);
    if (!m_address.empty()) setenv(variable, m_address.c_str(), 1);
  }
  ~PrivateDbusDaemon() {
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      waitpid(m_pid, nullptr, 0);
    }
  }
  PrivateDbusDaemon(const PrivateDbusDaemon&) = delete;
  PrivateDbusDaemon& operator=(const PrivateDbusDaemon&) = delete;

  const std::string& address() const { return m_address; }
  // A connection of its own (stand-in services use it), owned by the caller.
  GDBusConnection* Connect() const {
    return g_dbus_connection_new_for_address_sync(
        m_address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
  }

 private:
  pid_t m_pid = -1;
  std::string m_address;
};

}  // namespace testsupport
