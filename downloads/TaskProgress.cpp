// The per-report checks of a running download and its progress messages.
#include "downloads/TaskProgress.h"

#include <memory>

#include "downloads/CourseDB.h"
#include "downloads/DownloadTaskList.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"

int DownloadPercent(std::int64_t base, std::int64_t expected, std::int64_t received) {
  const double whole = static_cast<double>(base) + static_cast<double>(expected);
  if (whole <= 0) return 0;
  const double percent = (static_cast<double>(base) + static_cast<double>(received)) * 100.0 / whole;
  if (percent <= 0) return 0;
  if (percent >= 100) return 100;
  return static_cast<int>(percent);
}

TaskProgress::TaskProgress(DownloadTask& record, std::function<bool()> stopping)
    : m_task(record), m_stopping(std::move(stopping)) {}

bool TaskProgress::IsListed() const {
  // Avatar pictures are not in the list: never stopped, no progress messages.
  return m_task.kind == TaskKind::Video || m_task.kind == TaskKind::Document;
}

std::optional<DownloadTask> TaskProgress::EntryToGoOn() {
  auto entry = DownloadTaskList::Get().FindTask(m_task.classId, m_task.id, m_task.kind);
  if (!entry) {
    m_task.state = TaskState::Removed;
    return std::nullopt;
  }
  if (entry->jobNumber != m_task.jobNumber) {
    m_superseded = true;
    return std::nullopt;
  }
  if (entry->state == TaskState::Paused) return std::nullopt;
  return entry;
}

bool TaskProgress::OnRestartFromZero() {
  if (m_stopping && m_stopping()) return false;
  if (IsListed() && !EntryToGoOn()) return false;
  m_fromZero = true;
  m_task.downloaded = 0;
  m_lastPercent = -1;
  return true;
}

void TaskProgress::OnResumeInfo(const ResumeInfo& info) {
  m_task.validator = info.validator;
  m_task.fullSize = info.fullSize;
  if (!IsListed()) return;
  DownloadTaskList::Get().SetResumeInfo(m_task, info.validator, info.fullSize);
  // Stored while the body is still arriving: a program killed during the transfer finds,
  // after a restart, what the bytes on disk came from, and its resume asks for that copy
  // only (a part file whose source never reached the database starts from its first byte).
  PostToMainLoop([record = m_task] {
    if (CourseDB* db = CourseDB::IfOpen()) db->SaveResumeInfo(record);
  });
}

void TaskProgress::OnTransferStart(std::int64_t offset) { m_transferBase = offset; }

bool TaskProgress::OnProgress(std::int64_t expected, std::int64_t received) {
  if (m_stopping && m_stopping()) return false;
  if (!IsListed()) return true;
  // The list is consulted before the size is known, so that a transfer whose server sends
  // no length can still be paused or removed.
  const auto entry = EntryToGoOn();
  if (!entry) return false;
  if (expected <= 0) return true;

  const std::uint64_t jobNumber = m_task.jobNumber;
  m_task = *entry;
  m_task.jobNumber = jobNumber;
  m_task.state = TaskState::Transferring;
  if (m_fromZero) m_task.downloaded = 0;

  // A retry inside the job resumes after what the earlier attempts wrote: the percentage
  // counts those bytes too, so it never falls back to the share of the remaining part.
  const int percent =
      DownloadPercent(m_transferBase ? *m_transferBase : DownloadedBytes(m_task), expected, received);
  // Only a changed percentage is worth a message: the window shows nothing finer.
  if (percent == m_lastPercent) return true;
  m_lastPercent = percent;
  // The window reads a snapshot owned by the message, never the worker's live record.
  auto snapshot = std::make_shared<DownloadTask>(m_task);
  const auto lParam = reinterpret_cast<LPARAM>(snapshot.get());
  PostMessage(m_task.notifyWindow, WM_DOWNLOAD_PROGRESS, static_cast<WPARAM>(percent), lParam,
              std::move(snapshot));
  return true;
}
