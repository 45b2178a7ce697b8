// A manual-reset event: the listen thread sets it once its socket listens, start-up waits
// for it with a time limit.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class ListenEvent {
 public:
  void Set();
  // True when the event is set within `timeout`.
  bool WaitFor(std::chrono::milliseconds timeout);

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_set = false;
};
