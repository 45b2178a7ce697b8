// The process-wide list of the video and document downloads, grouped by class. It is the
// one place where pause and delete requests are recorded; running transfers consult it.
// Every operation holds the list's single mutex for its whole duration.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "downloads/DownloadTask.h"

class DownloadTaskList {
 public:
  // The process's list, created on first use and kept until the process ends.
  static DownloadTaskList& Get();

  // Appends an empty class entry; false when the kind already has one with that class id.
  bool AddClass(const std::string& classId, const std::string& className, TaskKind kind);
  std::optional<DownloadClass> FindClass(const std::string& classId, TaskKind kind) const;
  std::optional<DownloadTask> FindTask(const std::string& classId, const std::string& id,
                                       TaskKind kind) const;
  // Refuses a task whose id its class entry already holds; otherwise appends it, taking
  // over its class name, or appends a new class entry holding it.
  bool AddTask(const DownloadTask& task, TaskKind kind);
  // A task that starts a new download. Refused, as by AddTask, when its class entry holds
  // its id; otherwise the task's local file becomes the first of its wanted path,
  // "name (2).ext", ... that no file on disk and no other task uses (nor their partial
  // files), and its partial file is created empty beside it, so that a transfer only ever
  // appends to a file of its own. `task` receives both paths.
  bool AddNewTask(DownloadTask& task);
  // Appends to an existing class entry without looking for duplicates.
  bool AppendTask(const DownloadTask& task, TaskKind kind);
  // Overwrites the first task with task.id; the entry keeps its job number.
  bool UpdateTask(const DownloadTask& task, TaskKind kind);
  // Removes every task with that id from every class entry with that class id; class
  // entries stay, even when empty.
  void RemoveTask(const std::string& classId, const std::string& id, TaskKind kind);
  int ClassCount(TaskKind kind) const;
  std::vector<DownloadClass> SnapshotClasses(TaskKind kind) const;
  void Clear();

  // Job bookkeeping. BeginJob gives the entry a new job number and returns a copy that
  // carries it; the job submitted with that copy is the only one allowed to transfer.
  std::optional<DownloadTask> BeginJob(const std::string& classId, const std::string& id, TaskKind kind);
  enum class Claim { Acquired, Busy, Superseded, Missing };
  // Called by a job before it touches the file: Acquired makes it the local file's
  // holder; Busy means another job still holds that file; Superseded means a newer job
  // was submitted; Missing means the task has left the list. `entry` receives the entry.
  Claim ClaimJob(const DownloadTask& record, DownloadTask* entry);
  // Releases the local file held by that job (nothing when another job holds it).
  void EndJob(const DownloadTask& record);
  // Waits until no job holds `localFile` (a paused transfer has let go of the task's
  // files); false at the deadline. Never on the main thread.
  bool WaitUntilReleased(const std::string& localFile, std::chrono::steady_clock::time_point deadline);
  // Records what identifies the server's copy of the task's file in its entry.
  void SetResumeInfo(const DownloadTask& record, const std::string& validator, std::int64_t fullSize);
  // The job's finished file went to `localFile` (its own name was taken meanwhile).
  void SetLocalFile(const DownloadTask& record, const std::string& localFile);
  // Waits until `deadline` unless the job of `record` must stop first: its entry is paused,
  // removed or taken over by a newer job. True when it must stop. Pause, delete, resume and
  // Clear wake the waiters at once.
  bool WaitUntilStopped(const DownloadTask& record, std::chrono::steady_clock::time_point deadline);

 private:
  using ClassList = std::vector<DownloadClass>;
  ClassList* ListOf(TaskKind kind);
  const ClassList* ListOf(TaskKind kind) const;
  DownloadClass* ClassEntry(ClassList& list, const std::string& classId);
  DownloadTask* TaskEntry(const std::string& classId, const std::string& id, TaskKind kind);
  bool HoldsId(const DownloadTask& task, TaskKind kind) const;
  void Append(const DownloadTask& task, TaskKind kind);
  // Whether a task of either kind has `path` as its local or partial file.
  bool UsedByTask(const std::string& path) const;

  mutable std::mutex m_mutex;
  std::condition_variable m_changed;  // notified whenever a job may have to stop
  ClassList m_videos;
  ClassList m_documents;
  std::uint64_t m_lastJob = 0;
  std::map<std::string, std::uint64_t> m_fileHolders;  // local file -> job transferring it
};
