// The download centre: task states, progress and their observers.
#include "study/DownloadCenter.h"

#include <algorithm>

#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/CourseDB.h"
#include "downloads/TaskFiles.h"

DownloadCenter::DownloadCenter(DownloadTaskList& list) : m_list(list) {}

void DownloadCenter::AddObserver(DownloadObserver& observer) {
  if (std::find(m_observers.begin(), m_observers.end(), &observer) == m_observers.end())
    m_observers.push_back(&observer);
}

void DownloadCenter::RemoveObserver(DownloadObserver& observer) { std::erase(m_observers, &observer); }

template <typename Event>
void DownloadCenter::Notify(void (DownloadObserver::*handler)(const Event&), const Event& event) {
  // A copy: an observer may remove itself (or another) while it handles the event.
  const std::vector<DownloadObserver*> observers = m_observers;
  for (DownloadObserver* observer : observers) {
    if (std::find(m_observers.begin(), m_observers.end(), observer) != m_observers.end())
      (observer->*handler)(event);
  }
}

DownloadState DownloadCenter::StateOf(const TaskKey& key) const {
  const auto task = m_list.FindTask(key.classId, key.id, key.kind);
  if (!task) return DownloadState::None;
  if (auto it = m_states.find(key); it != m_states.end()) return it->second;
  return ListedStateOf(*task);
}

bool DownloadCenter::IsListed(const TaskKey& key) const {
  return m_list.FindTask(key.classId, key.id, key.kind).has_value();
}

DownloadState ListedStateOf(const DownloadTask& task) {
  if (IsCompleteOnDisk(task)) return DownloadState::Finished;
  if (task.state == TaskState::Paused) return DownloadState::Paused;
  return task.downloaded != 0 ? DownloadState::Waiting : DownloadState::None;
}

void DownloadCenter::ReportAdded(const DownloadTask& task) {
  m_states[KeyOf(task)] = DownloadState::Waiting;
  Notify(&DownloadObserver::OnTaskAdded, TaskAdded{task});
}

void DownloadCenter::ReportProgress(const DownloadTask& task, int percent) {
  m_states[KeyOf(task)] = DownloadState::Transferring;
  Notify(&DownloadObserver::OnTaskProgress,
         TaskProgress{KeyOf(task), task.downloaded, task.total, std::clamp(percent, 0, 100)});
}

void DownloadCenter::ReportState(const DownloadTask& task, DownloadState state) {
  m_states[KeyOf(task)] = state;
  Notify(&DownloadObserver::OnTaskStateChanged, TaskStateChanged{KeyOf(task), state});
}

void DownloadCenter::ReportRemoved(const DownloadTask& task) {
  m_states.erase(KeyOf(task));
  Notify(&DownloadObserver::OnTaskRemoved, TaskRemoved{KeyOf(task)});
}

bool DownloadCenter::DownloadLesson(const std::string& classId, const std::string& lessonId) {
  return m_lessonStarter && m_lessonStarter(classId, lessonId);
}

std::vector<std::pair<std::string, std::string>> DownloadCenter::AdoptLessons(
    CourseDB& db, const std::string& classId, const std::vector<LessonRecord>& lessons) {
  std::vector<std::pair<std::string, std::string>> adopted;
  for (const std::string& video : db.VideoKeyedLessons(classId)) {
    const auto old = m_list.FindTask(classId, video, TaskKind::Video);
    if (!old || old->jobNumber != 0) continue;
    const auto lesson = std::find_if(lessons.begin(), lessons.end(), [&](const LessonRecord& l) {
      return l.video == video && (l.id == video || !m_list.FindTask(classId, l.id, TaskKind::Video));
    });
    if (lesson == lessons.end() || !db.RekeyLesson(classId, video, lesson->id) || lesson->id == video)
      continue;
    DownloadTask moved = *old;
    moved.id = lesson->id;
    moved.video = video;
    m_list.RemoveTask(classId, video, TaskKind::Video);
    m_list.AppendTask(moved, TaskKind::Video);
    m_states.erase(KeyOf(*old));
    LogNormal(L"download of video " + AnsiToWide(video) + L" is now lesson " + AnsiToWide(lesson->id) +
              L"'s in class " + AnsiToWide(classId));
    Notify(&DownloadObserver::OnTaskRemoved, TaskRemoved{KeyOf(*old)});
    Notify(&DownloadObserver::OnTaskStateChanged, TaskStateChanged{KeyOf(moved), ListedStateOf(moved)});
    adopted.emplace_back(video, lesson->id);
  }
  return adopted;
}

void DownloadCenter::SetTaskResumer(TaskKind kind, TaskResumer resumer) {
  if (resumer)
    m_resumers[kind] = std::move(resumer);
  else
    m_resumers.erase(kind);
}

void DownloadCenter::ResumeTask(const DownloadTask& task) {
  if (IsMoving(KeyOf(task))) return;
  const auto resumer = m_resumers.find(task.kind);
  if (resumer != m_resumers.end()) resumer->second(task);
}

void DownloadCenter::SetRowTexter(TaskKind kind, RowTexter texter) {
  if (texter)
    m_rowTexters[kind] = std::move(texter);
  else
    m_rowTexters.erase(kind);
}

void DownloadCenter::ShowRowText(const DownloadTask& task, const std::wstring& text) {
  const auto texter = m_rowTexters.find(task.kind);
  if (texter != m_rowTexters.end()) texter->second(task, text);
}

bool DownloadCenter::AnyIn(DownloadState state) const {
  for (TaskKind kind : {TaskKind::Video, TaskKind::Document})
    for (const DownloadClass& entry : m_list.SnapshotClasses(kind))
      for (const DownloadTask& task : entry.tasks)
        if (StateOf(KeyOf(task)) == state) return true;
  return false;
}

template <typename Wanted>
void DownloadCenter::Resume(Wanted wanted) {
  // Collected first: a resumer changes states and may report to observers that change more.
  std::vector<DownloadTask> chosen;
  for (TaskKind kind : {TaskKind::Video, TaskKind::Document}) {
    if (!m_resumers.count(kind)) continue;
    for (const DownloadClass& entry : m_list.SnapshotClasses(kind)) {
      for (const DownloadTask& task : entry.tasks) {
        if (task.pausedByStudent || IsCompleteOnDisk(task) || IsMoving(KeyOf(task))) continue;
        if (wanted(StateOf(KeyOf(task)))) chosen.push_back(task);
      }
    }
  }
  for (const DownloadTask& task : chosen) {
    const auto resumer = m_resumers.find(task.kind);
    if (resumer == m_resumers.end()) continue;
    LogNormal(L"download of " + AnsiToWide(task.id) + L" in class " + AnsiToWide(task.classId) +
              L" goes on by itself");
    resumer->second(task);
  }
}

void DownloadCenter::ResumeUnfinished() {
  const bool all = m_conditions.AutoResume();
  Resume([all](DownloadState state) {
    switch (state) {
      case DownloadState::DiskFull:
      case DownloadState::HeldForNetwork:
        return true;
      case DownloadState::None:
      case DownloadState::Paused:  // a restored task: stopped by the program's end, not by the student
      case DownloadState::Failed:
        return all;
      case DownloadState::Waiting:
      case DownloadState::Transferring:
      case DownloadState::Finished:
        return false;
    }
    return false;
  });
}

void DownloadCenter::ResumeHeld(DownloadState held) {
  Resume([held](DownloadState state) { return state == held; });
}

const wchar_t* RowTextOf(DownloadState state) {
  switch (state) {
    case DownloadState::None:
    case DownloadState::Failed:
      return L"下载";
    case DownloadState::Waiting:
      return L"等待下载";
    case DownloadState::Paused:
      return L"已暂停";
    case DownloadState::Finished:
      return L"已下载";
    case DownloadState::DiskFull:
      return L"磁盘已满";
    case DownloadState::HeldForNetwork:
      return L"等待网络";
    case DownloadState::Transferring:
      return L"";
  }
  return L"";
}
