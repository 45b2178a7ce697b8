// The download job that the worker pool runs for one task, and the one way to submit it.
#pragma once

#include <memory>

#include "downloads/DownloadResult.h"
#include "downloads/DownloadTask.h"

class ThreadPool;

// Gives the task's list entry a new job number and submits DownloadJob with a copy of the
// entry; an older job for the same task then stops at its next progress report. Avatar
// tasks (kind 1) are not in the list and are submitted as given. False when a video or
// document task is not in the list.
bool SubmitDownload(const DownloadTask& task, ThreadPool& pool);
bool SubmitDownload(const DownloadTask& task);  // the process's pool

// Runs the transfer of `task` (a worker's own record) and posts WM_DOWNLOAD_RESULT to its
// window with the DownloadResult's number as wParam (DownloadResultWParam); the message
// then owns the record. A job whose task was taken over by a newer job posts nothing.
void DownloadJob(std::shared_ptr<DownloadTask> task);
