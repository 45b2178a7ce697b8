// One file of a download that moves to another folder, as the course database keeps it
// from before the file moves until the task points at its new place and the old file is
// gone, so that a move cut short by a crash or a quit can be finished at the next start.
#pragma once

#include <cstdint>
#include <string>

#include "downloads/DownloadTask.h"

struct PendingMove {
  std::int64_t seq = 0;  // the row; moves run in this order
  TaskKind kind = TaskKind::None;
  std::string classId;
  std::string id;      // lesson id or document id
  std::string source;  // the task's file that moves (its finished or its partial file)
  std::string target;  // where it goes: a name that was free when the move was planned
  // The task's final name after the move; its partial file is `target` when `partial`.
  std::string newLocal;
  bool partial = false;
  // The task already points at `target`; only the old file remains to be deleted.
  bool pointed = false;
};
