#include "StandInService.h"

#include <gio/gunixfdlist.h>

#include <chrono>

namespace bus_test {

using Clock = std::chrono::steady_clock;

StandInService::StandInService(GDBusConnection* bus, const std::string& name, const std::string& path,
                               const std::string& introspection, Handler handler)
    : m_bus(bus), m_handler(std::move(handler)) {
  m_node = g_dbus_node_info_new_for_xml(introspection.c_str(), nullptr);
  if (!m_node || !m_node->interfaces || !m_node->interfaces[0]) return;
  static const GDBusInterfaceVTable vtable = {&StandInService::OnCall, nullptr, nullptr, {}};
  m_registration = g_dbus_connection_register_object(bus, path.c_str(), m_node->interfaces[0], &vtable, this,
                                                     nullptr, nullptr);
  m_owner = g_bus_own_name_on_connection(
      bus, name.c_str(), G_BUS_NAME_OWNER_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, gpointer self) { static_cast<StandInService*>(self)->m_owned = true; },
      nullptr, this, nullptr);
  RunLoopUntil([this] { return m_owned; }, 5000);
}

StandInService::~StandInService() {
  if (m_owner) g_bus_unown_name(m_owner);
  if (m_registration) g_dbus_connection_unregister_object(m_bus, m_registration);
  if (m_node) g_dbus_node_info_unref(m_node);
}

int StandInService::Count(const std::string& method) const {
  int n = 0;
  for (const RecordedCall& call : m_calls) n += call.method == method;
  return n;
}

void StandInService::OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                            GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
  auto* self = static_cast<StandInService*>(data);
  gchar* text = g_variant_print(parameters, FALSE);
  self->m_calls.push_back({method, text});
  g_free(text);
  GUnixFDList* fds = nullptr;
  std::string error;
  GVariant* reply = self->m_handler ? self->m_handler(method, parameters, &fds, error) : nullptr;
  if (!error.empty()) {
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed", error.c_str());
  } else {
    g_dbus_method_invocation_return_value_with_unix_fd_list(invocation, reply, fds);
  }
  if (fds) g_object_unref(fds);
}


bool RunLoopUntil(const std::function<bool()>& done, int limitMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  while (!done() && Clock::now() < deadline) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
  }
  return done();
}

}  // namespace bus_test
