// Tells when the system's network becomes available again (GIO's network monitor, on the
// main loop). The callback runs on the main thread; it stops when the object goes.
#pragma once

#include <functional>

class NetworkWatch {
 public:
  explicit NetworkWatch(std::function<void()> onAvailable);
  ~NetworkWatch();
  NetworkWatch(const NetworkWatch&) = delete;
  NetworkWatch& operator=(const NetworkWatch&) = delete;

 private:
  static void OnChanged(void* monitor, int available, void* self);
  std::function<void()> m_onAvailable;
  unsigned long m_handler = 0;
  bool m_available = true;
};
