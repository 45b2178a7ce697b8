// The download task list: two class lists behind one mutex.
#include "downloads/DownloadTaskList.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "downloads/TaskFiles.h"

DownloadTaskList& DownloadTaskList::Get() {
  // Never destroyed: workers that outlive shutdown may still consult it.
  static DownloadTaskList* list = new DownloadTaskList();
  return *list;
}

DownloadTaskList::ClassList* DownloadTaskList::ListOf(TaskKind kind) {
  if (kind == TaskKind::Video) return &m_videos;
  if (kind == TaskKind::Document) return &m_documents;
  return nullptr;
}

const DownloadTaskList::ClassList* DownloadTaskList::ListOf(TaskKind kind) const {
  return const_cast<DownloadTaskList*>(this)->ListOf(kind);
}

DownloadClass* DownloadTaskList::ClassEntry(ClassList& list, const std::string& classId) {
  auto it =
      std::find_if(list.begin(), list.end(), [&](const DownloadClass& c) { return c.classId == classId; });
  return it == list.end() ? nullptr : &*it;
}

DownloadTask* DownloadTaskList::TaskEntry(const std::string& classId, const std::string& id, TaskKind kind) {
  ClassList* list = ListOf(kind);
  if (!list) return nullptr;
  DownloadClass* entry = ClassEntry(*list, classId);
  if (!entry) return nullptr;
  auto it = std::find_if(entry->tasks.begin(), entry->tasks.end(),
                         [&](const DownloadTask& t) { return t.id == id; });
  return it == entry->tasks.end() ? nullptr : &*it;
}

bool DownloadTaskList::AddClass(const std::string& classId, const std::string& className, TaskKind kind) {
  std::lock_guard lock(m_mutex);
  ClassList* list = ListOf(kind);
  if (!list || ClassEntry(*list, classId)) return false;
  list->push_back(DownloadClass{classId, className, {}});
  return true;
}

std::optional<DownloadClass> DownloadTaskList::FindClass(const std::string& classId, TaskKind kind) const {
  std::lock_guard lock(m_mutex);
  auto* self = const_cast<DownloadTaskList*>(this);
  ClassList* list = self->ListOf(kind);
  if (!list) return std::nullopt;
  DownloadClass* entry = self->ClassEntry(*list, classId);
  if (!entry) return std::nullopt;
  return *entry;
}

std::optional<DownloadTask> DownloadTaskList::FindTask(const std::string& classId, const std::string& id,
                                                       TaskKind kind) const {
  std::lock_guard lock(m_mutex);
  DownloadTask* task = const_cast<DownloadTaskList*>(this)->TaskEntry(classId, id, kind);
  if (!task) return std::nullopt;
  return *task;
}

bool DownloadTaskList::HoldsId(const DownloadTask& task, TaskKind kind) const {
  auto* self = const_cast<DownloadTaskList*>(this);
  ClassList* list = self->ListOf(kind);
  DownloadClass* entry = list ? self->ClassEntry(*list, task.classId) : nullptr;
  return entry && std::any_of(entry->tasks.begin(), entry->tasks.end(),
                              [&](const DownloadTask& t) { return t.id == task.id; });
}

void DownloadTaskList::Append(const DownloadTask& task, TaskKind kind) {
  ClassList* list = ListOf(kind);
  DownloadClass* entry = ClassEntry(*list, task.classId);
  if (!entry) {
    list->push_back(DownloadClass{task.classId, task.className, {task}});
    return;
  }
  entry->className = task.className;
  entry->tasks.push_back(task);
}

bool DownloadTaskList::AddTask(const DownloadTask& task, TaskKind kind) {
  std::lock_guard lock(m_mutex);
  if (!ListOf(kind) || HoldsId(task, kind)) return false;
  Append(task, kind);
  return true;
}

bool DownloadTaskList::UsedByTask(const std::string& path) const {
  for (const ClassList* list : {&m_videos, &m_documents}) {
    for (const DownloadClass& entry : *list) {
      for (const DownloadTask& t : entry.tasks) {
        if (t.localFile == path || t.partFile == path) return true;
      }
    }
  }
  return false;
}

bool DownloadTaskList::AddNewTask(DownloadTask& task) {
  std::lock_guard lock(m_mutex);
  if (!ListOf(task.kind) || HoldsId(task, task.kind)) return false;
  const auto taken = [this](const std::string& path) {
    struct stat info {};
    const std::string part = PartFileOf(path);
    return UsedByTask(path) || UsedByTask(part) || ::lstat(path.c_str(), &info) == 0 ||
           ::lstat(part.c_str(), &info) == 0;
  };
  const std::string wanted = task.localFile;
  for (;;) {
    const std::string path = FreeFileName(wanted, taken);
    if (path.empty()) return false;
    task.localFile = path;
    task.partFile = PartFileOf(path);
    // A file that appeared since the look is someone else's: look again. Any other failure
    // (a folder that cannot be written) is the job's to report when it opens the file.
    if (CreateNewFile(task.partFile) || errno != EEXIST) break;
  }
  task.downloaded = 0;
  Append(task, task.kind);
  return true;
}

bool DownloadTaskList::AppendTask(const DownloadTask& task, TaskKind kind) {
  std::lock_guard lock(m_mutex);
  ClassList* list = ListOf(kind);
  if (!list) return false;
  DownloadClass* entry = ClassEntry(*list, task.classId);
  if (!entry) return false;
  entry->tasks.push_back(task);
  return true;
}

bool DownloadTaskList::UpdateTask(const DownloadTask& task, TaskKind kind) {
  std::lock_guard lock(m_mutex);
  DownloadTask* entry = TaskEntry(task.classId, task.id, kind);
  if (!entry) return false;
  // A caller's copy may be older than the entry's job number; never roll that back.
  const std::uint64_t jobNumber = entry->jobNumber;
  *entry = task;
  entry->jobNumber = jobNumber;
  m_changed.notify_all();
  return true;
}

void DownloadTaskList::RemoveTask(const std::string& classId, const std::string& id, TaskKind kind) {
  std::lock_guard lock(m_mutex);
  ClassList* list = ListOf(kind);
  if (!list) return;
  for (DownloadClass& entry : *list) {
    if (entry.classId != classId) continue;
    std::erase_if(entry.tasks, [&](const DownloadTask& t) { return t.id == id; });
  }
  m_changed.notify_all();
}

int DownloadTaskList::ClassCount(TaskKind kind) const {
  std::lock_guard lock(m_mutex);
  const ClassList* list = ListOf(kind);
  return list ? static_cast<int>(list->size()) : 0;
}

std::vector<DownloadClass> DownloadTaskList::SnapshotClasses(TaskKind kind) const {
  std::lock_guard lock(m_mutex);
  const ClassList* list = ListOf(kind);
  return list ? *list : ClassList{};
}

void DownloadTaskList::Clear() {
  std::lock_guard lock(m_mutex);
  m_videos.clear();
  m_documents.clear();
  m_changed.notify_all();
}

std::optional<DownloadTask> DownloadTaskList::BeginJob(const std::string& classId, const std::string& id,
                                                       TaskKind kind) {
  std::lock_guard lock(m_mutex);
  DownloadTask* entry = TaskEntry(classId, id, kind);
  if (!entry) return std::nullopt;
  entry->jobNumber = ++m_lastJob;
  m_changed.notify_all();
  return *entry;
}

DownloadTaskList::Claim DownloadTaskList::ClaimJob(const DownloadTask& record, DownloadTask* entryCopy) {
  std::lock_guard lock(m_mutex);
  DownloadTask* entry = TaskEntry(record.classId, record.id, record.kind);
  if (!entry) return Claim::Missing;
  if (entryCopy) *entryCopy = *entry;
  if (entry->jobNumber != record.jobNumber) return Claim::Superseded;
  auto [holder, inserted] = m_fileHolders.try_emplace(record.localFile, record.jobNumber);
  if (!inserted && holder->second != record.jobNumber) return Claim::Busy;
  return Claim::Acquired;
}

void DownloadTaskList::EndJob(const DownloadTask& record) {
  std::lock_guard lock(m_mutex);
  auto holder = m_fileHolders.find(record.localFile);
  if (holder != m_fileHolders.end() && holder->second == record.jobNumber) {
    m_fileHolders.erase(holder);
    m_changed.notify_all();
  }
}

bool DownloadTaskList::WaitUntilReleased(const std::string& localFile,
                                         std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_until(lock, deadline, [&] { return m_fileHolders.count(localFile) == 0; });
}

void DownloadTaskList::SetResumeInfo(const DownloadTask& record, const std::string& validator,
                                     std::int64_t fullSize) {
  std::lock_guard lock(m_mutex);
  DownloadTask* entry = TaskEntry(record.classId, record.id, record.kind);
  if (!entry || entry->jobNumber != record.jobNumber) return;
  entry->validator = validator;
  entry->fullSize = fullSize;
}

void DownloadTaskList::SetLocalFile(const DownloadTask& record, const std::string& localFile) {
  std::lock_guard lock(m_mutex);
  DownloadTask* entry = TaskEntry(record.classId, record.id, record.kind);
  if (entry && entry->jobNumber == record.jobNumber) entry->localFile = localFile;
  // The job keeps holding its file under the new name.
  auto holder = m_fileHolders.find(record.localFile);
  if (holder != m_fileHolders.end() && holder->second == record.jobNumber) {
    m_fileHolders.erase(holder);
    m_fileHolders.emplace(localFile, record.jobNumber);
  }
}

bool DownloadTaskList::WaitUntilStopped(const DownloadTask& record,
                                        std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(m_mutex);
  const bool listed = record.kind == TaskKind::Video || record.kind == TaskKind::Document;
  return m_changed.wait_until(lock, deadline, [&] {
    if (!listed) return false;
    const DownloadTask* entry = TaskEntry(record.classId, record.id, record.kind);
    return !entry || entry->jobNumber != record.jobNumber || entry->state == TaskState::Paused;
  });
}
