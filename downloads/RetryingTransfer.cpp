// Retries of a download job's transfer, with waits that a pause or delete cuts short.
#include "downloads/RetryingTransfer.h"

#include <chrono>
#include <random>
#include <string>

#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/DownloadTaskList.h"
#include "downloads/TaskFiles.h"
#include "downloads/TaskProgress.h"
#include "service/CurlSupport.h"
#include "service/HttpDownload.h"

int TransferWithRetries(DownloadTask& task, TaskProgress& progress, const RetryPolicy& policy,
                        const std::function<bool()>& stopping, int* writeError) {
  // Videos know their size in bytes from the catalogue; a document's KiB cannot check a file.
  const std::int64_t expectedSize = task.kind == TaskKind::Video ? task.total : 0;
  std::mt19937 random(std::random_device{}());
  for (std::size_t retry = 0;; ++retry) {
    DownloadOutcome outcome;
    const int code = DownloadToFile(task.url, TransferFile(task), &progress, GetDownloadFileOptions(),
                                    {task.validator, task.fullSize}, expectedSize, &outcome);
    task.validator = outcome.resume.validator;
    task.fullSize = outcome.resume.fullSize;
    if (writeError) *writeError = outcome.writeError;
    if (code == CURLE_OK || code == CURLE_ABORTED_BY_CALLBACK) return code;
    if (retry >= policy.delays.size() || !IsRetryableFailure(code, outcome.httpStatus)) return code;

    const auto delay = RetryDelay(policy, retry, outcome.httpStatus, outcome.retryAfterSeconds, random);
    LogNormal(L"DownloadFile " + AnsiToWide(MaskTokens(task.url)) + L" retry " + std::to_wstring(retry + 1) +
              L" of " + std::to_wstring(policy.delays.size()) + L" in " + std::to_wstring(delay.count()) +
              L" ms after code:" + std::to_wstring(code) +
              (outcome.httpStatus > 0 ? L" status:" + std::to_wstring(outcome.httpStatus) : std::wstring()));
    if (stopping && stopping()) return CURLE_ABORTED_BY_CALLBACK;
    if (DownloadTaskList::Get().WaitUntilStopped(task, std::chrono::steady_clock::now() + delay)) {
      // Let the progress check record why (paused, removed or taken over), as it does when
      // it stops a running transfer.
      progress.OnProgress(0, 0);
      return CURLE_ABORTED_BY_CALLBACK;
    }
    if (stopping && stopping()) return CURLE_ABORTED_BY_CALLBACK;
  }
}
