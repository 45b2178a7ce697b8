// A private D-Bus session bus for one test process (its own dbus-daemon), named in
// DBUS_SESSION_BUS_ADDRESS while it lives, and a loop runner for the bus tests.
#pragma once

#include <gio/gio.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

#include "support/PrivateDbusDaemon.h"

namespace desktop_test {

class PrivateSessionBus : public testsupport::PrivateDbusDaemon {
 public:
  PrivateSessionBus() : PrivateDbusDaemon("DBUS_SESSION_BUS_ADDRESS") {}
};

// Runs the default main context until `done` holds or `limit` passes; the last `done()`.
bool RunLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

}  // namespace desktop_test
