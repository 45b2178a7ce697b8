// What the download centre tells its observers, and the state a download is in. Views
// (course list rows, manager windows, the player's side panel) derive their look from the
// state; none of them reads a label back to learn it.
#pragma once

#include <cstdint>
#include <string>

#include "downloads/DownloadTask.h"

enum class DownloadState {
  None,          // no download, or one that left the list: the row offers "下载"
  Waiting,       // queued or resumed, no byte reported since
  Transferring,  // bytes are arriving
  Paused,        // stopped by the student; a click resumes it
  Failed,        // the transfer failed; a click starts it again
  Finished,      // the whole file is on disk
  // Not by the student: both go on by themselves once the reason is gone.
  DiskFull,        // the disk of its folder has no room for the rest of the file
  HeldForNetwork,  // the connection is metered and the student allows no downloads on it
};

// Which download an event is about.
struct TaskKey {
  TaskKind kind = TaskKind::None;
  std::string classId;
  std::string id;
  friend bool operator<(const TaskKey& a, const TaskKey& b) {
    if (a.kind != b.kind) return a.kind < b.kind;
    if (a.classId != b.classId) return a.classId < b.classId;
    return a.id < b.id;
  }
  friend bool operator==(const TaskKey&, const TaskKey&) = default;
};

inline TaskKey KeyOf(const DownloadTask& task) { return {task.kind, task.classId, task.id}; }

struct TaskAdded {
  DownloadTask task;
};
struct TaskProgress {
  TaskKey key;
  std::int64_t done = 0;   // in the task's units (bytes for videos, KiB for documents)
  std::int64_t total = 0;  // same units
  int percent = 0;
};
struct TaskStateChanged {
  TaskKey key;
  DownloadState state = DownloadState::None;
};
struct TaskRemoved {
  TaskKey key;
};

// Receives the centre's events on the main thread. Every handler is optional.
class DownloadObserver {
 public:
  virtual ~DownloadObserver() = default;
  virtual void OnTaskAdded(const TaskAdded&) {}
  virtual void OnTaskProgress(const TaskProgress&) {}
  virtual void OnTaskStateChanged(const TaskStateChanged&) {}
  virtual void OnTaskRemoved(const TaskRemoved&) {}
};
