// A private D-Bus session bus for one test process (its own dbus-daemon), named in
// DBUS_SESSION_BUS_ADDRESS while it lives, and a loop runner for the bus tests.
#pragma once

#include <gio/gio.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

namespace desktop_test {

class PrivateSessionBus {
 public:
  PrivateSessionBus();
  ~PrivateSessionBus();
  PrivateSessionBus(const PrivateSessionBus&) = delete;
  PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;
  const std::string& address() const { return m_address; }
  // A connection of its own (the stand-in services use it), owned by the caller.
  GDBusConnection* Connect() const;

 private:
  pid_t m_pid = -1;
  std::string m_address;
};

// Runs the default main context until `done` holds or `limit` passes; the last `done()`.
bool RunLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

}  // namespace desktop_test
