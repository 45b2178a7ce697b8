// Moving the student's downloads to a new download folder: which files go where (the plan),
// the move of one file (on a worker), and the mover that takes the stored plan file by file.
// Every file is recorded in the course database before it moves; the task is pointed at its
// new file only once that file is complete and on disk, and the old file is deleted only
// after that. A plan cut short by a crash or a quit is finished by the next mover.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "downloads/PendingMove.h"
#include "platform/BackgroundTask.h"

class CourseDB;
class DownloadTaskList;

enum class MoveOutcome {
  Moved,        // the file is complete at the target (now or by an earlier, interrupted move)
  Clash,        // another file took the target name: nothing moved
  SourceGone,   // neither the old file nor the target is there
  NoRoom,       // the target's file system is full: nothing moved
  NotWritable,  // the target folder cannot be written: nothing moved
  Failed,       // any other error: nothing moved
};

// Auto renames within a file system and copies across; Copy always copies (a seam that
// lets tests take the cross-device path on one file system).
enum class MoveMode { Auto, Copy };

// The moves that take the tasks' own files (a finished file, or the partial file of an
// unfinished task) from `oldFolder` to `newFolder` (both ending with "/"), each to a name
// no file there and no other move uses, with the file manager's "name (2).ext" numbering.
// Touches the disk (it looks at the files): call it on a worker.
std::vector<PendingMove> PlanMoves(const std::vector<DownloadTask>& tasks, const std::string& oldFolder,
                                   const std::string& newFolder);

// Moves one planned file, or finishes one an earlier mover left halfway. Never replaces a
// file at the target; a failed copy leaves nothing behind at the target. Worker only.
MoveOutcome MoveTaskFile(const PendingMove& move, MoveMode mode, const CancelToken& cancel = {});
// Deletes the old file of a move whose task already points at the target (nothing when the
// target is not there). Worker only.
void RemoveMovedSource(const PendingMove& move);

// The tip for a move that stopped, empty for a finished one.
std::wstring MoveStopTip(MoveOutcome outcome);

struct MoveReport {
  int moved = 0;
  // Moved, or what stopped the move (the files left keep their old place).
  MoveOutcome outcome = MoveOutcome::Moved;
  bool interrupted = false;  // stopped by the test hook, as by a crash
};

// Takes the plan stored in the course database file by file, one worker step at a time,
// and keeps the task list's entries pointing where the database does. Main thread only;
// destroying it stops after the file in hand (the plan stays stored for the next mover).
class DownloadMover {
 public:
  DownloadMover(CourseDB& db, DownloadTaskList& list, MoveMode mode = MoveMode::Auto)
      : m_db(db), m_list(list), m_mode(mode) {}
  DownloadMover(const DownloadMover&) = delete;
  DownloadMover& operator=(const DownloadMover&) = delete;

  enum class Phase { BeforeMove, FileInPlace, TaskPointed };
  // Tests: true stops the mover at that phase of that file as if the program died there.
  using StopHook = std::function<bool(const PendingMove& move, Phase phase)>;
  void SetStopHook(StopHook hook) { m_stopHook = std::move(hook); }

  std::function<void(const PendingMove& move)> onFileStarted;
  // The task now points at move.newLocal.
  std::function<void(const PendingMove& move)> onFileMoved;
  std::function<void(const MoveReport& report)> onFinished;

  // Starts with the stored plan; onFinished runs when it is done (at once when nothing is
  // stored, otherwise later, on the main loop).
  void Run();
  bool IsRunning() const { return m_running; }

 private:
  void Next();
  void Moved(const PendingMove& move);
  void Finish(MoveOutcome outcome, bool interrupted = false);
  bool Stop(const PendingMove& move, Phase phase);
  bool Retarget(PendingMove& move);

  CourseDB& m_db;
  DownloadTaskList& m_list;
  MoveMode m_mode;
  StopHook m_stopHook;
  std::vector<PendingMove> m_moves;
  std::size_t m_index = 0;
  int m_clashes = 0;
  MoveReport m_report;
  bool m_running = false;
  BackgroundTask m_step;
};
