// The transfer of one download job with its retries: DownloadToFile is run again after a
// transport failure, following the retry policy, until it succeeds, fails for good, runs
// out of retries, or the job must stop (pause, delete, a newer job, shutdown), which ends
// a wait for the next attempt at once.
#pragma once

#include <functional>

#include "downloads/DownloadTask.h"
#include "downloads/RetryPolicy.h"

class TaskProgress;

// Returns the last attempt's libcurl code; CURLE_ABORTED_BY_CALLBACK when the job was
// stopped, also during a wait (`progress` then tells whether a newer job took over and
// `task` carries the Removed state as after a stopped transfer). `task` (the worker's
// record) receives what identifies the file's source; `writeError` (optional) the errno of
// the last attempt's failed write to the file, 0 when none failed.
int TransferWithRetries(DownloadTask& task, TaskProgress& progress, const RetryPolicy& policy,
                        const std::function<bool()>& stopping, int* writeError = nullptr);
