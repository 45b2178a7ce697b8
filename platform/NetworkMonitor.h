// Whether the computer has a network, whether it is metered, and who hears when it comes
// back. The program asks the system's monitor (GIO's GNetworkMonitor); tests hand in a
// ManualNetworkMonitor they switch themselves. Main thread only: callbacks run there.
#pragma once

#include <functional>
#include <map>
#include <memory>

class NetworkMonitor;

// A running watch: `onAvailable` runs each time the network goes from none to some, until
// the watch is destroyed.
class NetworkWatch {
 public:
  // Watches the system's monitor.
  explicit NetworkWatch(std::function<void()> onAvailable);
  NetworkWatch(NetworkMonitor& monitor, std::function<void()> onAvailable);
  ~NetworkWatch();
  NetworkWatch(const NetworkWatch&) = delete;
  NetworkWatch& operator=(const NetworkWatch&) = delete;

 private:
  NetworkMonitor& m_monitor;
  int m_id = 0;
};

class NetworkMonitor {
 public:
  virtual ~NetworkMonitor() = default;
  // Some network is up (it may still not reach the school: a captive portal, a dead route).
  virtual bool IsAvailable() const = 0;
  // The system says the network costs by the byte (a phone's hotspot, a mobile modem).
  virtual bool IsMetered() const = 0;
  [[nodiscard]] std::unique_ptr<NetworkWatch> Watch(std::function<void()> onAvailable);

  // The system's monitor, created on first use.
  static NetworkMonitor& System();

 protected:
  // Implementations report every state they learn; listeners hear only none -> some.
  void Report(bool available);
  void SetLastKnown(bool available) { m_available = available; }

 private:
  friend class NetworkWatch;
  int AddListener(std::function<void()> listener);
  void RemoveListener(int id);

  std::map<int, std::function<void()>> m_listeners;
  int m_nextId = 1;
  bool m_available = true;
};

// A monitor the caller switches: tests of what happens when the network goes and returns.
class ManualNetworkMonitor : public NetworkMonitor {
 public:
  explicit ManualNetworkMonitor(bool available = true) : m_up(available) { SetLastKnown(available); }
  bool IsAvailable() const override { return m_up; }
  bool IsMetered() const override { return m_metered; }
  void SetAvailable(bool available) {
    m_up = available;
    Report(available);
  }
  void SetMetered(bool metered) { m_metered = metered; }

 private:
  bool m_up;
  bool m_metered = false;
};
