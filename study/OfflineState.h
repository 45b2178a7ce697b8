// Whether the signed-in session runs without the school: it started from what this
// computer kept and has not caught up yet. Read from any thread (a worker deciding
// between the school and the kept catalogue); changed and observed on the main thread.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <string>

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

  // Who hears that the school refused the remembered password while catching up (the main
  // window, which goes back to the sign-in form). An owner removes only its own handler, so a
  // window closing after the next one opened leaves the next one's in place.
  using RefusalHandler = std::function<void(const std::string& message)>;
  void SetRefusalHandler(const void* owner, RefusalHandler handler) {
    m_refusalOwner = owner;
    m_refusalHandler = std::move(handler);
  }
  void RemoveRefusalHandler(const void* owner) {
    if (m_refusalOwner != owner) return;
    m_refusalOwner = nullptr;
    m_refusalHandler = nullptr;
  }
  void ReportSignInRefused(const std::string& message) {
    if (m_refusalHandler) m_refusalHandler(message);
  }

 private:
  std::atomic<bool> m_offline = false;
  std::map<int, Observer> m_observers;
  int m_nextId = 1;
  const void* m_refusalOwner = nullptr;
  RefusalHandler m_refusalHandler;
};
