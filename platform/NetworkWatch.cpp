#include "platform/NetworkWatch.h"

#include <gio/gio.h>

NetworkWatch::NetworkWatch(std::function<void()> onAvailable) : m_onAvailable(std::move(onAvailable)) {
  GNetworkMonitor* monitor = g_network_monitor_get_default();  // owned by GIO
  if (!monitor) return;
  m_available = g_network_monitor_get_network_available(monitor);
  m_handler = g_signal_connect(monitor, "network-changed",
                               G_CALLBACK(+[](GNetworkMonitor* m, gboolean on, gpointer self) {
                                 NetworkWatch::OnChanged(m, on, self);
                               }),
                               this);
}

NetworkWatch::~NetworkWatch() {
  if (m_handler != 0) g_signal_handler_disconnect(g_network_monitor_get_default(), m_handler);
}

void NetworkWatch::OnChanged(void*, int available, void* self) {
  auto* watch = static_cast<NetworkWatch*>(self);
  bool was = watch->m_available;
  watch->m_available = available != 0;
  // Only the change from "none" to "some" matters; the monitor also reports route changes.
  if (!was && watch->m_available && watch->m_onAvailable) watch->m_onAvailable();
}
