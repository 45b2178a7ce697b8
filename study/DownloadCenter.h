// The downloads of the signed-in student as one model: the state of every task as an
// enum, its progress, and the observers that show them. The engine's task list
// (DownloadTaskList) stays the record of what is queued and what a running transfer must
// obey; the centre is where the windows learn what happened to a task and what a click on
// its row means. Main thread only.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "downloads/DownloadTaskList.h"
#include "service/Records.h"
#include "study/DownloadConditions.h"
#include "study/DownloadEvents.h"

class CourseDB;

class DownloadCenter {
 public:
  explicit DownloadCenter(DownloadTaskList& list = DownloadTaskList::Get());
  DownloadCenter(const DownloadCenter&) = delete;
  DownloadCenter& operator=(const DownloadCenter&) = delete;

  // Observers are not owned; one removes itself before it goes.
  void AddObserver(DownloadObserver& observer);
  void RemoveObserver(DownloadObserver& observer);

  // The task's state: what was last reported for it, otherwise ListedStateOf its entry in
  // the task list (None when there is none).
  DownloadState StateOf(const TaskKey& key) const;
  // Whether the task list holds the task (whatever its state).
  bool IsListed(const TaskKey& key) const;

  // Drops what was reported; states come from the task list again (a new sign-in's task
  // list is restored from the course database).
  void ForgetStates() { m_states.clear(); }

  // Reports from the engine's side (the manager windows handle the engine's messages).
  void ReportAdded(const DownloadTask& task);
  void ReportProgress(const DownloadTask& task, int percent);
  void ReportState(const DownloadTask& task, DownloadState state);
  void ReportRemoved(const DownloadTask& task);

  // The lesson download the player's side panel asks for: handed to the starter the main
  // window installs (it asks for the video's address, then the folder). False while no
  // starter is installed or when it refused.
  using LessonStarter = std::function<bool(const std::string& classId, const std::string& lessonId)>;
  void SetLessonStarter(LessonStarter starter) { m_lessonStarter = std::move(starter); }
  bool DownloadLesson(const std::string& classId, const std::string& lessonId);

  // The disk, the network and the student's settings a start has to respect.
  DownloadConditions& Conditions() { return m_conditions; }
  const DownloadConditions& Conditions() const { return m_conditions; }

  // How a task of a kind is started again (its manager window: the row, the job, the
  // checks). Null removes it.
  using TaskResumer = std::function<void(const DownloadTask& task)>;
  void SetTaskResumer(TaskKind kind, TaskResumer resumer);

  // Starts one task again through its kind's resumer (nothing without one).
  void ResumeTask(const DownloadTask& task);

  // Tasks whose files are moving to another folder: nothing starts them until EndMoving.
  void BeginMoving(const TaskKey& key) { m_moving.insert(key); }
  void EndMoving(const TaskKey& key) { m_moving.erase(key); }
  bool IsMoving(const TaskKey& key) const { return m_moving.count(key) > 0; }
  // How a kind's manager window shows a text in a task's row (a move's progress). Null
  // removes it.
  using RowTexter = std::function<void(const DownloadTask& task, const std::wstring& text)>;
  void SetRowTexter(TaskKind kind, RowTexter texter);
  void ShowRowText(const DownloadTask& task, const std::wstring& text);

  // Starts every unfinished task that the student did not pause and that no job runs for:
  // those held by the disk or the network always, the others (stopped by a restart, a
  // failure) only while the student lets downloads go on by themselves. Called once the
  // tasks are loaded at start and whenever a reason to wait may have gone.
  void ResumeUnfinished();
  // Starts the tasks held in `held` (DiskFull or HeldForNetwork) only.
  void ResumeHeld(DownloadState held);
  // Whether any task is in `state`.
  bool AnyIn(DownloadState state) const;

  // The class's lessons are known: each video task stored when a video stood for its lesson
  // (still keyed by the video id) becomes the task of the first lesson of the class that
  // plays the video and has none, in the list and in the course database; observers see
  // the old key removed and the new key's state. A task with a job in this run keeps its
  // key until the next start. Returns the (old id, lesson id) pairs changed.
  std::vector<std::pair<std::string, std::string>> AdoptLessons(CourseDB& db, const std::string& classId,
                                                                const std::vector<LessonRecord>& lessons);

 private:
  template <typename Event>
  void Notify(void (DownloadObserver::*handler)(const Event&), const Event& event);
  template <typename Wanted>
  void Resume(Wanted wanted);

  DownloadTaskList& m_list;
  std::map<TaskKey, DownloadState> m_states;
  std::vector<DownloadObserver*> m_observers;
  LessonStarter m_lessonStarter;
  DownloadConditions m_conditions;
  std::map<TaskKind, TaskResumer> m_resumers;
  std::map<TaskKind, RowTexter> m_rowTexters;
  std::set<TaskKey> m_moving;
};

// The state of a listed task no report covers (one restored from the course database, or
// a row built again): Finished when its whole file is on disk, Paused when its entry is
// paused (so is every unfinished task restored at start: none runs until the student
// starts it, and a click on it must start it), otherwise Waiting while bytes are on disk
// and None when there are none.
DownloadState ListedStateOf(const DownloadTask& task);

// The row text of a state ("下载", "等待下载", "已暂停", "已下载", "磁盘已满", "等待网络");
// empty for Transferring, whose row shows its percentage.
const wchar_t* RowTextOf(DownloadState state);
