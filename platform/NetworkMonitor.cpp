// The network monitor: the listeners' bookkeeping and the system's monitor through GIO.
#include "platform/NetworkMonitor.h"

#include <gio/gio.h>

#include <vector>

namespace {

// GIO's default monitor (owned by GIO), followed through its "network-changed" signal.
class GioNetworkMonitor : public NetworkMonitor {
 public:
  GioNetworkMonitor() : m_monitor(g_network_monitor_get_default()) {
    if (!m_monitor) return;
    SetLastKnown(g_network_monitor_get_network_available(m_monitor));
    m_handler = g_signal_connect(m_monitor, "network-changed",
                                 G_CALLBACK(+[](GNetworkMonitor*, gboolean available, gpointer self) {
                                   static_cast<GioNetworkMonitor*>(self)->Report(available != FALSE);
                                 }),
                                 this);
  }
  ~GioNetworkMonitor() override {
    if (m_monitor && m_handler != 0) g_signal_handler_disconnect(m_monitor, m_handler);
  }
  GioNetworkMonitor(const GioNetworkMonitor&) = delete;
  GioNetworkMonitor& operator=(const GioNetworkMonitor&) = delete;

  bool IsAvailable() const override { return m_monitor && g_network_monitor_get_network_available(m_monitor); }
  bool IsMetered() const override { return m_monitor && g_network_monitor_get_network_metered(m_monitor); }

 private:
  GNetworkMonitor* m_monitor;
  gulong m_handler = 0;
};

}  // namespace

NetworkWatch::NetworkWatch(std::function<void()> onAvailable)
    : NetworkWatch(NetworkMonitor::System(), std::move(onAvailable)) {}

NetworkWatch::NetworkWatch(NetworkMonitor& monitor, std::function<void()> onAvailable)
    : m_monitor(monitor), m_id(monitor.AddListener(std::move(onAvailable))) {}

NetworkWatch::~NetworkWatch() { m_monitor.RemoveListener(m_id); }

std::unique_ptr<NetworkWatch> NetworkMonitor::Watch(std::function<void()> onAvailable) {
  return std::make_unique<NetworkWatch>(*this, std::move(onAvailable));
}

NetworkMonitor& NetworkMonitor::System() {
  static GioNetworkMonitor monitor;
  return monitor;
}

int NetworkMonitor::AddListener(std::function<void()> listener) {
  const int id = m_nextId++;
  m_listeners.emplace(id, std::move(listener));
  return id;
}

void NetworkMonitor::RemoveListener(int id) { m_listeners.erase(id); }

void NetworkMonitor::Report(bool available) {
  const bool was = m_available;
  m_available = available;
  // The monitor also reports route changes while up: only the return of a network counts.
  if (was || !available) return;
  // A listener may end its own watch, or another's, while it is told.
  std::vector<int> ids;
  for (const auto& entry : m_listeners) ids.push_back(entry.first);
  for (int id : ids) {
    const auto it = m_listeners.find(id);
    if (it == m_listeners.end() || !it->second) continue;
    std::function<void()> listener = it->second;
    listener();
  }
}
