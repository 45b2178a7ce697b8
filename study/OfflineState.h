// Whether the signed-in session runs without the school: it started from what this
// computer kept and has not caught up yet. Read from any thread (a worker deciding
// between the school and the kept catalogue); changed and observed on the main thread.
#pragma once

#include <atomic>
#include <functional>
#include <map>

class OfflineState {
 public:
  OfflineState() = default;
  OfflineState(const OfflineState&) = delete;
  OfflineState& operator=(const OfflineState&) = delete;

  bool IsOffline() const { return m_offline.load(); }
  // Observers hear each change, not a repeated value.
  void SetOffline(bool offline);

  using Observer = std::function<void(bool offline)>;
  // The id for RemoveObserver; an observer removes itself before it goes.
  int AddObserver(Observer observer);
  void RemoveObserver(int id);

 private:
  std::atomic<bool> m_offline = false;
  std::map<int, Observer> m_observers;
  int m_nextId = 1;
};
