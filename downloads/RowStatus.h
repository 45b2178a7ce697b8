// What the download manager windows post to the main window's course lists.
// WM_ROW_PROGRESS: wParam the percentage, payload a DownloadTask copy.
// WM_ROW_STATUS: payload a RowStatus (the status text and a copy of the task).
#pragma once

#include <string>

#include "downloads/DownloadTask.h"

struct RowStatus {
  std::wstring text;  // "已下载", "下载", "已暂停", "等待下载", or another text shown as it comes
  DownloadTask task;
};
