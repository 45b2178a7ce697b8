// Waiting for a state or an event with a deadline, never for a fixed time: a poll with a
// deadline for states nobody announces, a count and a gate for events other threads raise.
// The guards are reached only when something is broken; a loaded machine stays far below.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

inline constexpr std::chrono::milliseconds kWaitGuard{30000};

// Checks `done` every `interval` until it holds or `guard` has passed; whether it held.
template <class Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds guard = kWaitGuard,
               std::chrono::milliseconds interval = std::chrono::milliseconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + guard;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(interval);
  }
  return true;
}

// A count that threads raise and a test waits for.
class EventCount {
 public:
  void Add() {
    {
      std::lock_guard lock(m_mutex);
      ++m_value;
    }
    m_changed.notify_all();
  }
  // Whether the count reached `value` within `guard`.
  bool WaitFor(int value, std::chrono::milliseconds guard = kWaitGuard) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, guard, [&] { return m_value >= value; });
  }
  int Value() const {
    std::lock_guard lock(m_mutex);
    return m_value;
  }

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_value = 0;
};

// A gate that threads wait at until the test opens it; it stays open.
class Gate {
 public:
  void Open() {
    {
      std::lock_guard lock(m_mutex);
      m_open = true;
    }
    m_changed.notify_all();
  }
  // Whether the gate opened within `guard`.
  bool Wait(std::chrono::milliseconds guard = kWaitGuard) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, guard, [&] { return m_open; });
  }
  bool IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_open;
  }

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_open = false;
};
