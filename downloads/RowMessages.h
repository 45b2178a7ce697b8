// What the download manager windows tell the main window about a task's list row.
//
// WM_ROW_PROGRESS (1042): wParam the percentage, lParam a `const DownloadTask*`; the
// payload is that DownloadTask (a copy made for the message).
// WM_ROW_STATUS (1060): wParam a `const std::wstring*` holding the status text ("已下载",
// "下载", "已暂停", "等待下载"), lParam a `const DownloadTask*`; the payload is a
// RowStatus owning both. Both pointers are valid while the handler runs.
#pragma once

#include <string>

#include "downloads/DownloadTask.h"
#include "platform/Types.h"

struct RowStatus {
  std::wstring text;  // "已下载", "下载", "已暂停", "等待下载", or another text shown as it comes
  DownloadTask task;
};

bool PostRowProgress(HWND mainWindow, int percent, const DownloadTask& task);
bool PostRowStatus(HWND mainWindow, const std::wstring& text, const DownloadTask& task);

// The receiving side: the task and the status text of a 1042 or 1060 message.
inline const DownloadTask* RowTaskOf(LPARAM lParam) { return reinterpret_cast<const DownloadTask*>(lParam); }
inline const std::wstring* RowStatusTextOf(WPARAM wParam) {
  return reinterpret_cast<const std::wstring*>(wParam);
}
