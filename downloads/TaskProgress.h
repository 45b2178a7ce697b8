// What a running download asks on every progress report: is its task still in the list,
// not paused and not taken over by a newer job? It also posts the progress message
// WM_DOWNLOAD_PROGRESS to the task's window.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "downloads/DownloadTask.h"
#include "service/HttpDownload.h"

// Percentage of a download: base is what was on disk before this transfer (bytes),
// expected and received count this transfer only. Truncated toward zero, 0..100.
int DownloadPercent(std::int64_t base, std::int64_t expected, std::int64_t received);

class TaskProgress final : public DownloadProgressDelegate {
 public:
  // `record` is the worker's own task record; `stopping` (optional) ends the transfer
  // when it answers true, e.g. while the pool shuts down.
  explicit TaskProgress(DownloadTask& record, std::function<bool()> stopping = {});

  bool OnProgress(std::int64_t expected, std::int64_t received) override;
  bool OnRestartFromZero() override;
  // Keeps the file's new source in the record, in the list entry and (through the main
  // loop) in the course database as soon as the headers are in, not only when the job ends.
  void OnResumeInfo(const ResumeInfo& info) override;
  // The bytes on disk before the transfer that starts now: what its progress adds to.
  void OnTransferStart(std::int64_t offset) override;

  // True when the transfer was stopped because a newer job took the task over.
  bool Superseded() const { return m_superseded; }

 private:
  DownloadTask& m_task;
  std::function<bool()> m_stopping;
  bool m_fromZero = false;
  bool m_superseded = false;
  int m_lastPercent = -1;
  // Bytes in the file when the current transfer started; before the first start, the
  // list entry's downloaded size stands for it.
  std::optional<std::int64_t> m_transferBase;

  bool IsListed() const;
  // The list entry when the transfer may go on; nothing when it must stop (the task was
  // removed, paused or taken over by a newer job).
  std::optional<DownloadTask> EntryToGoOn();
};
