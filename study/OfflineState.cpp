// The offline flag of the session and its observers.
#include "study/OfflineState.h"

#include <vector>

void OfflineState::SetOffline(bool offline) {
  if (m_offline.exchange(offline) == offline) return;
  // An observer may remove itself (or another) while it is told.
  std::vector<int> ids;
  for (const auto& entry : m_observers) ids.push_back(entry.first);
  for (int id : ids) {
    const auto it = m_observers.find(id);
    if (it == m_observers.end()) continue;
    Observer observer = it->second;
    observer(offline);
  }
}

int OfflineState::AddObserver(Observer observer) {
  const int id = m_nextId++;
  m_observers.emplace(id, std::move(observer));
  return id;
}

void OfflineState::RemoveObserver(int id) { m_observers.erase(id); }
