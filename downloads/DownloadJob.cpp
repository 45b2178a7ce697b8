// The download job: claims the task's local file, runs the transfer and reports the end.
#include "downloads/DownloadJob.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/DownloadTaskList.h"
#include "downloads/RetryingTransfer.h"
#include "downloads/TaskFiles.h"
#include "downloads/TaskProgress.h"
#include "downloads/ThreadPool.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "service/CurlSupport.h"
#include "service/HttpDownload.h"

namespace {

// How often a job waiting for an older job of the same file to let go looks again.
constexpr std::chrono::milliseconds kClaimRetry{20};

bool IsListed(const DownloadTask& task) {
  return task.kind == TaskKind::Video || task.kind == TaskKind::Document;
}

// A file that already holds exactly the whole expected size needs no transfer; going to
// the network for it could only turn a complete file into a failed one. A larger file is
// not complete: the transfer finds out what the server's copy is.
bool CompleteOnDisk(const DownloadTask& task) {
  const std::int64_t size = FileSizeOnDisk(task.localFile);
  if (task.fullSize > 0) return size == task.fullSize;
  if (task.total <= 0) return false;
  if (task.kind == TaskKind::Video) return size == task.total;
  if (task.kind == TaskKind::Document) return size >= task.total * 1024;
  return false;
}

std::wstring Reason() { return AnsiToWide(std::strerror(errno)); }

// Bytes in the task's own partial file whose source was never stored (the program ended
// before the first answer's validator reached the course database) cannot be checked
// against the server's copy: the transfer starts from the first byte again.
bool ForgetUncheckedPart(DownloadTask& task) {
  if (task.partFile.empty() || !task.validator.empty() || task.fullSize > 0) return false;
  if (FileSizeOnDisk(task.partFile) == 0) return false;
  LogNormal(L"DownloadFile " + AnsiToWide(task.partFile) +
            L" has no stored source, downloading from the start");
  if (::truncate(task.partFile.c_str(), 0) != 0)
    LogError(L"cannot empty " + AnsiToWide(task.partFile) + L": " + Reason());
  return true;
}

// The complete partial file takes the task's final name; when another file has taken that
// name meanwhile, the next free "name (n).ext", which the record and the list entry learn.
bool MoveFinishedFile(DownloadTask& task, DownloadTaskList& list, bool listed) {
  std::string target = task.localFile;
  if (!MoveIntoPlace(task.partFile, target)) {
    LogError(L"cannot move " + AnsiToWide(task.partFile) + L" to " + AnsiToWide(task.localFile) + L": " +
             Reason());
    return false;
  }
  if (target != task.localFile) {
    LogNormal(L"DownloadFile " + AnsiToWide(task.localFile) + L" was taken, finished as " +
              AnsiToWide(target));
    if (listed) list.SetLocalFile(task, target);
    task.localFile = target;
  }
  return true;
}

// Takes the entry's values, keeping the record's own job number and what the job knows
// about the file's source (a window's update of the entry may carry an older copy).
void AdoptEntry(DownloadTask& record, const DownloadTask& entry) {
  const std::uint64_t jobNumber = record.jobNumber;
  std::string validator = std::move(record.validator);
  const std::int64_t fullSize = record.fullSize;
  record = entry;
  record.jobNumber = jobNumber;
  record.validator = std::move(validator);
  record.fullSize = fullSize;
}

void PostResult(std::shared_ptr<DownloadTask> task, DownloadResult result) {
  const HWND window = task->notifyWindow;
  const auto lParam = reinterpret_cast<LPARAM>(task.get());
  PostMessage(window, WM_DOWNLOAD_RESULT, DownloadResultWParam(result), lParam, std::move(task));
}

// Lessons that play one video share its bytes: when another lesson's copy is complete on
// disk, the task's final name becomes a second hard link to it and its own empty partial
// file goes, so no second transfer runs and deleting either name leaves the other whole.
// False (the task transfers its own copy) when there is no such copy or no link can be made
// (another file system, a name taken meanwhile).
bool ShareFinishedCopy(DownloadTask& task, DownloadTaskList& list) {
  if (task.kind != TaskKind::Video || task.video.empty() || task.partFile.empty()) return false;
  for (const DownloadClass& entry : list.SnapshotClasses(TaskKind::Video)) {
    for (const DownloadTask& other : entry.tasks) {
      if (other.video != task.video || (other.classId == task.classId && other.id == task.id) ||
          !IsCompleteOnDisk(other))
        continue;
      if (::link(other.localFile.c_str(), task.localFile.c_str()) != 0) {
        LogNormal(L"DownloadFile " + AnsiToWide(task.localFile) + L" cannot share " +
                  AnsiToWide(other.localFile) + L": " + Reason());
        return false;
      }
      DiscardPartFile(task);
      task.validator = other.validator;
      task.fullSize = FileSizeOnDisk(task.localFile);
      task.downloaded = task.total;
      list.SetResumeInfo(task, task.validator, task.fullSize);
      LogNormal(L"DownloadFile " + AnsiToWide(task.localFile) + L" shares the bytes of " +
                AnsiToWide(other.localFile));
      return true;
    }
  }
  return false;
}

}  // namespace

bool SubmitDownload(const DownloadTask& task, ThreadPool& pool) {
  std::shared_ptr<DownloadTask> record;
  if (IsListed(task)) {
    auto entry = DownloadTaskList::Get().BeginJob(task.classId, task.id, task.kind);
    if (!entry) return false;
    record = std::make_shared<DownloadTask>(std::move(*entry));
  } else {
    record = std::make_shared<DownloadTask>(task);
  }
  pool.Submit([record = std::move(record)]() mutable { DownloadJob(std::move(record)); });
  return true;
}

bool SubmitDownload(const DownloadTask& task) { return SubmitDownload(task, ThreadPool::Get()); }

void DownloadJob(std::shared_ptr<DownloadTask> task) {
  if (!task || task->state != TaskState::Waiting) return;
  DownloadTaskList& list = DownloadTaskList::Get();
  const bool listed = IsListed(*task);

  if (listed) {
    if (task->jobNumber == 0) {
      // Submitted without SubmitDownload: claim the entry for this job now.
      auto entry = list.BeginJob(task->classId, task->id, task->kind);
      if (entry) task->jobNumber = entry->jobNumber;
    }
    for (;;) {
      DownloadTask entry;
      const auto claim = list.ClaimJob(*task, &entry);
      if (claim == DownloadTaskList::Claim::Acquired) {
        if (entry.state == TaskState::Paused) {
          // Paused while queued: stop before going to the network.
          list.EndJob(*task);
          AdoptEntry(*task, entry);
          PostResult(std::move(task), DownloadResult::Aborted);
          return;
        }
        break;
      }
      if (claim == DownloadTaskList::Claim::Missing) {
        task->state = TaskState::Removed;
        PostResult(std::move(task), DownloadResult::Aborted);
        return;
      }
      if (claim == DownloadTaskList::Claim::Superseded) {
        LogNormal(L"DownloadFile " + AnsiToWide(MaskTokens(task->url)) + L" taken over by a newer job");
        return;
      }
      // Busy: an older job of the same file is ending; it lets go at its next report.
      if (ThreadPool::Get().IsStopping()) return;
      std::this_thread::sleep_for(kClaimRetry);
    }
  }

  if (CompleteOnDisk(*task) || (listed && ShareFinishedCopy(*task, list))) {
    if (listed) list.EndJob(*task);
    PostResult(std::move(task), DownloadResult::Succeeded);
    return;
  }

  const auto stopping = [] { return ThreadPool::Get().IsStopping(); };
  TaskProgress progress(*task, stopping);
  if (ForgetUncheckedPart(*task)) progress.OnRestartFromZero();
  int writeError = 0;
  int code = TransferWithRetries(*task, progress, GetRetryPolicy(), stopping, &writeError);
  if (code == CURLE_OK && !task->partFile.empty() && !MoveFinishedFile(*task, list, listed))
    code = CURLE_WRITE_ERROR;
  if (listed) list.EndJob(*task);

  if (code == CURLE_OK) {
    PostResult(std::move(task), DownloadResult::Succeeded);
    return;
  }
  if (code == CURLE_WRITE_ERROR && (writeError == ENOSPC || writeError == EDQUOT)) {
    // Not a failure of the download: the bytes on disk are good and it goes on from them
    // once there is room.
    LogError(L"DownloadFile " + AnsiToWide(task->localFile) + L" stopped, the disk is full");
    PostResult(std::move(task), DownloadResult::DiskFull);
    return;
  }
  if (code != CURLE_ABORTED_BY_CALLBACK) {
    LogError(L"DownloadFile " + AnsiToWide(MaskTokens(task->url)) + L" return code:" + std::to_wstring(code));
    // A resume then starts clean; a file the task did not create is never removed.
    DiscardPartFile(*task);
    PostResult(std::move(task), DownloadResult::Failed);
    return;
  }
  if (progress.Superseded()) return;
  if (listed) {
    if (auto entry = list.FindTask(task->classId, task->id, task->kind)) {
      AdoptEntry(*task, *entry);
    } else {
      task->state = TaskState::Removed;
    }
  }
  PostResult(std::move(task), DownloadResult::Aborted);
}
