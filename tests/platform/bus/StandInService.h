// A D-Bus service object for tests: owns a name on a private bus, exports one object with one
// interface given as introspection XML, and answers each method call through a handler
// that also sees the call's file descriptors. Every call is recorded.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <string>
#include <vector>

#include "support/PrivateDbusDaemon.h"

namespace bus_test {

struct RecordedCall {
  std::string method;
  std::string args;  // the parameters as GVariant text
};

class StandInService {
 public:
  // Answers a call: the reply parameters (a tuple, may be null for none) and, optionally, file
  // descriptors to send with it. A null reply with `error` set answers an error.
  using Handler = std::function<GVariant*(const std::string& method, GVariant* parameters,
                                          GUnixFDList** outFds, std::string& error)>;

  StandInService(GDBusConnection* bus, const std::string& name, const std::string& path,
                 const std::string& introspection, Handler handler);
  ~StandInService();
  StandInService(const StandInService&) = delete;
  StandInService& operator=(const StandInService&) = delete;

  bool owned() const { return m_owned; }
  const std::vector<RecordedCall>& calls() const { return m_calls; }
  int Count(const std::string& method) const;

 private:
  static void OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                     GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);

  GDBusConnection* m_bus;
  GDBusNodeInfo* m_node = nullptr;
  guint m_registration = 0;
  guint m_owner = 0;
  bool m_owned = false;
  Handler m_handler;
  std::vector<RecordedCall> m_calls;
};

// A private bus (its own dbus-daemon) named in a variable while it lives.
using PrivateBus = testsupport::PrivateDbusDaemon;

// Runs the default main context until `done` holds or `limitMs` passes; the last `done()`.
bool RunLoopUntil(const std::function<bool()>& done, int limitMs);

}  // namespace bus_test
