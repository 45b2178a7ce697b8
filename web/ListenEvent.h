// A manual-reset event: the listen thread sets it once its socket listens, or marks it
// failed when the port cannot be taken; start-up waits for either with a time limit.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class ListenEvent {
 public:
  void Set();
  // The socket will never listen: a waiter wakes at once instead of waiting out its limit.
  void Fail();
  // True when the event is set within `timeout`; false at once after Fail().
  bool WaitFor(std::chrono::milliseconds timeout);
  bool Failed();

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_set = false;
  bool m_failed = false;
};
