// Keeps the computer from suspending while a download runs: a "don't suspend" inhibit is
// held from the first task that waits for or receives bytes until none does any more
// (paused, failed, finished or removed). It learns this from the download centre's events
// only. Main thread only.
#pragma once

#include <set>

#include "platform/Inhibitor.h"
#include "study/DownloadCenter.h"

class DownloadSleepGuard : public DownloadObserver {
 public:
  explicit DownloadSleepGuard(DownloadCenter& center);
  ~DownloadSleepGuard() override;
  DownloadSleepGuard(const DownloadSleepGuard&) = delete;
  DownloadSleepGuard& operator=(const DownloadSleepGuard&) = delete;

  // Whether the inhibit is wanted now (a download runs).
  bool IsHolding() const { return m_inhibit.IsWanted(); }
  int RunningCount() const { return static_cast<int>(m_running.size()); }

  void OnTaskAdded(const TaskAdded& event) override;
  void OnTaskProgress(const TaskProgress& event) override;
  void OnTaskStateChanged(const TaskStateChanged& event) override;
  void OnTaskRemoved(const TaskRemoved& event) override;

 private:
  void Mark(const TaskKey& key, bool running);

  DownloadCenter& m_center;
  std::set<TaskKey> m_running;
  Inhibitor m_inhibit;
};
