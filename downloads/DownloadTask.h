// The record of one download and the class entry that groups a class's downloads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Types.h"

enum class TaskKind : std::int32_t { None = 0, Avatar = 1, Video = 2, Document = 3 };

enum class TaskState : std::int32_t {
  Waiting = 0,       // queued, or transferring as far as the list is concerned
  Transferring = 1,  // only on a worker's own record
  Paused = 2,        // set in the list entry by a pause
  Removed = 3,       // on a worker's own record when its entry has left the list
};

struct DownloadTask {
  TaskState state = TaskState::Waiting;
  HWND notifyWindow = kNoWindow;  // receives the progress and completion messages
  std::string id;                 // lesson id (kind 2) or document id (kind 3)
  // The video a lesson plays (kind 2). Lessons of one video are separate tasks; a finished
  // one lends its bytes to the others (see ShareFinishedCopy in DownloadJob.cpp).
  std::string video;
  std::string classId;
  std::string name;  // file name: title plus the url's extension
  std::string className;
  std::string url;
  std::string localFile;  // chosen folder followed by name: the finished file
  // The task's own partial file, created empty by the program when the task was added;
  // transfers append to it and it takes the name localFile once complete. Empty for a task
  // stored before partial files existed, whose transfers write into localFile.
  std::string partFile;
  std::int64_t total = 0;       // bytes for videos, KiB for documents
  std::int64_t downloaded = 0;  // on disk when created or last resumed; same units
  TaskKind kind = TaskKind::None;
  // What identifies the server's copy the local file was started from (If-Range value and
  // full size in bytes); learned by a transfer from the first byte, kept in the course
  // database, empty and 0 while unknown.
  std::string validator;
  std::int64_t fullSize = 0;
  // The newest job submitted for the entry (in the list) or the job this record belongs
  // to (a worker's record); keeps one task from being transferred by two jobs at once.
  std::uint64_t jobNumber = 0;
  // The student paused the download (kept in the course database): nothing starts it again
  // but the student. A task stopped for any other reason (the program ended, the disk or
  // the network held it) goes on by itself.
  bool pausedByStudent = false;
};

struct DownloadClass {
  std::string classId;
  std::string className;
  std::vector<DownloadTask> tasks;
};

// The base of a task's progress in bytes: documents count their downloaded size in KiB.
inline std::int64_t DownloadedBytes(const DownloadTask& task) {
  return task.kind == TaskKind::Document ? task.downloaded * 1024 : task.downloaded;
}
