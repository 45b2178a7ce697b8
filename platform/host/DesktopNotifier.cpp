// Desktop notifications over D-Bus, asynchronous from end to end.
#include "platform/host/DesktopNotifier.h"

#include <memory>

#include "platform/host/GtkIndicatorTray.h"

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr int kNotifyTimeoutMs = 5000;

}  // namespace

DesktopNotifier& DesktopNotifier::Get() {
  static DesktopNotifier notifier;
  return notifier;
}

void DesktopNotifier::Show(const std::string& title, const std::string& body, std::function<void()> onClick) {
  Pending pending{title, body, std::move(onClick)};
  switch (m_state) {
    case BusState::Ready:
      Send(std::move(pending));
      return;
    case BusState::Missing:
      return;
    case BusState::Connecting:
      m_waiting.push_back(std::move(pending));
      return;
    case BusState::Unknown:
      // Never let GLib start a bus for a notification.
      if (!SessionBusReachable()) {
        m_state = BusState::Missing;
        return;
      }
      m_state = BusState::Connecting;
      m_waiting.push_back(std::move(pending));
      g_bus_get(G_BUS_TYPE_SESSION, nullptr, &OnBus,
                reinterpret_cast<gpointer>(static_cast<uintptr_t>(m_generation)));
      return;
  }
}

void DesktopNotifier::OnBus(GObject*, GAsyncResult* result, gpointer generation) {
  DesktopNotifier& self = Get();
  GDBusConnection* bus = g_bus_get_finish(result, nullptr);
  if (static_cast<uint64_t>(reinterpret_cast<uintptr_t>(generation)) != self.m_generation) {
    if (bus) g_object_unref(bus);
    return;
  }
  std::vector<Pending> waiting = std::move(self.m_waiting);
  self.m_waiting.clear();
  if (!bus) {
    self.m_state = BusState::Missing;
    return;
  }
  self.m_bus = bus;
  self.m_state = BusState::Ready;
  // Any sender: the daemon's unique name is not known here.
  self.m_subscription = g_dbus_connection_signal_subscribe(
      bus, nullptr, kService, nullptr, kPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &OnSignal, nullptr, nullptr);
  for (Pending& pending : waiting) self.Send(std::move(pending));
}

void DesktopNotifier::Send(Pending pending) {
  GVariantBuilder actions;
  g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
  if (pending.onClick) {
    // "default" is the click on the notification itself.
    g_variant_builder_add(&actions, "s", "default");
    g_variant_builder_add(&actions, "s", "打开");
  }
  GVariantBuilder hints;
  g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
  g_variant_builder_add(&hints, "{sv}", "desktop-entry", g_variant_new_string("org.tavo.Tavo"));
  // The call's record travels through GLib as its user data; the answer takes it back.
  struct Call {
    uint64_t generation;
    std::function<void()> onClick;
  };
  auto call = std::make_unique<Call>(Call{m_generation, std::move(pending.onClick)});
  g_dbus_connection_call(
      m_bus, kService, kPath, kService, "Notify",
      g_variant_new("(susssasa{sv}i)", "Tavo", 0u, "tavo", pending.title.c_str(), pending.body.c_str(),
                    &actions, &hints, -1),
      G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, kNotifyTimeoutMs, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Call> call(static_cast<Call*>(data));
        // No daemon: the call fails and the notification is simply not shown.
        GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
        if (!reply) return;
        guint32 id = 0;
        g_variant_get(reply, "(u)", &id);
        g_variant_unref(reply);
        DesktopNotifier& self = Get();
        if (call->generation == self.m_generation && call->onClick)
          self.m_clicks[id] = std::move(call->onClick);
      },
      call.release());
}

void DesktopNotifier::OnSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                               const gchar* signal, GVariant* parameters, gpointer) {
  DesktopNotifier& self = Get();
  guint32 id = 0;
  if (g_strcmp0(signal, "ActionInvoked") == 0) {
    const gchar* action = nullptr;
    g_variant_get(parameters, "(u&s)", &id, &action);
    auto it = self.m_clicks.find(id);
    if (it == self.m_clicks.end() || g_strcmp0(action, "default") != 0) return;
    std::function<void()> onClick = std::move(it->second);
    self.m_clicks.erase(it);
    onClick();
  } else if (g_strcmp0(signal, "NotificationClosed") == 0) {
    guint32 reason = 0;
    g_variant_get(parameters, "(uu)", &id, &reason);
    self.m_clicks.erase(id);
  }
}

void DesktopNotifier::Reset() {
  ++m_generation;
  if (m_bus) {
    if (m_subscription) g_dbus_connection_signal_unsubscribe(m_bus, m_subscription);
    g_object_unref(m_bus);
  }
  m_bus = nullptr;
  m_subscription = 0;
  m_state = BusState::Unknown;
  m_waiting.clear();
  m_clicks.clear();
}
