// A manual-reset event.
#include "web/ListenEvent.h"

void ListenEvent::Set() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = true;
  }
  m_changed.notify_all();
}

void ListenEvent::Fail() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failed = true;
  }
  m_changed.notify_all();
}

bool ListenEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait_for(lock, timeout, [this] { return m_set || m_failed; });
  return m_set;
}

bool ListenEvent::Failed() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_failed;
}
