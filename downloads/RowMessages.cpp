// The row messages to the main window; their payloads own what the pointers point at.
#include "downloads/RowMessages.h"

#include <memory>

#include "platform/MessageCore.h"
#include "platform/Messages.h"

bool PostRowProgress(HWND mainWindow, int percent, const DownloadTask& task) {
  auto copy = std::make_shared<DownloadTask>(task);
  const auto lParam = reinterpret_cast<LPARAM>(copy.get());
  return PostMessage(mainWindow, WM_ROW_PROGRESS, static_cast<WPARAM>(percent), lParam, std::move(copy));
}

bool PostRowStatus(HWND mainWindow, const std::wstring& text, const DownloadTask& task) {
  auto status = std::make_shared<RowStatus>(RowStatus{text, task});
  const auto wParam = reinterpret_cast<WPARAM>(&status->text);
  const auto lParam = reinterpret_cast<LPARAM>(&status->task);
  return PostMessage(mainWindow, WM_ROW_STATUS, wParam, lParam, std::move(status));
}
