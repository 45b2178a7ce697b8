#include "study/DownloadSleepGuard.h"

DownloadSleepGuard::DownloadSleepGuard(DownloadCenter& center)
    : m_center(center), m_inhibit(InhibitKind::Suspend, "正在下载课程") {
  m_center.AddObserver(*this);
}

DownloadSleepGuard::~DownloadSleepGuard() { m_center.RemoveObserver(*this); }

void DownloadSleepGuard::OnTaskAdded(const TaskAdded& event) { Mark(KeyOf(event.task), true); }

void DownloadSleepGuard::OnTaskProgress(const TaskProgress& event) { Mark(event.key, true); }

void DownloadSleepGuard::OnTaskStateChanged(const TaskStateChanged& event) {
  Mark(event.key, event.state == DownloadState::Waiting || event.state == DownloadState::Transferring);
}

void DownloadSleepGuard::OnTaskRemoved(const TaskRemoved& event) { Mark(event.key, false); }

void DownloadSleepGuard::Mark(const TaskKey& key, bool running) {
  if (running) {
    m_running.insert(key);
  } else {
    m_running.erase(key);
  }
  if (m_running.empty()) {
    m_inhibit.Release();
  } else if (!m_inhibit.IsWanted()) {
    m_inhibit.Hold();
  }
}
