// The downloads of the signed-in student as one model: the state of every task as an
// enum, its progress, and the observers that show them. The engine's task list
// (DownloadTaskList) stays the record of what is queued and what a running transfer must
// obey; the centre is where the windows learn what happened to a task and what a click on
// its row means. Main thread only.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "downloads/DownloadTaskList.h"
#include "service/Records.h"
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

  // The network is back: every task whose transfer stopped without the student asking
  // (it failed, or was waiting) starts again through the resumer the main window installs.
  // Tasks the student paused stay paused.
  using TaskResumer = std::function<void(const TaskKey& key)>;
  void SetTaskResumer(TaskResumer resumer) { m_taskResumer = std::move(resumer); }
  void ResumeUnfinished();

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

  DownloadTaskList& m_list;
  std::map<TaskKey, DownloadState> m_states;
  std::vector<DownloadObserver*> m_observers;
  LessonStarter m_lessonStarter;
  TaskResumer m_taskResumer;
};

// The state of a listed task no report covers (one restored from the course database, or
// a row built again): Finished when its whole file is on disk, Paused when its entry is
// paused (so is every unfinished task restored at start: none runs until the student
// starts it, and a click on it must start it), otherwise Waiting while bytes are on disk
// and None when there are none.
DownloadState ListedStateOf(const DownloadTask& task);

// The row text of a state ("下载", "等待下载", "已暂停", "已下载"); empty for Transferring,
// whose row shows its percentage.
const wchar_t* RowTextOf(DownloadState state);
