// Desktop notifications of the program, on the host's notification service.
#include "ui/Notifications.h"

#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "platform/host/Host.h"
#include "ui/UIText.h"
#include "ui/WindowWnd.h"

namespace {

void ShowMainWindow() {
  HWND main = FindWindow(L"mainDlgClass", L"Tavo");
  if (main != kNoWindow) PostMessage(main, WM_ACTIVATE_MAIN, 0, 0);
}

}  // namespace

void NotifyDownloadResult(const std::wstring& name, DownloadNotice outcome, HWND managerWindow) {
  const char* title = outcome == DownloadNotice::Finished ? "下载完成" : "下载失败";
  GetHost().ShowNotification(title, ToUtf8(name), [managerWindow] {
    ShowMainWindow();
    // The manager window may have gone since; its handle then finds nothing.
    if (managerWindow != kNoWindow && IsWindow(managerWindow)) {
      if (CWindowWnd* window = CWindowWnd::FromHandle(managerWindow)) window->BringToFront();
    }
  });
}

void NotifyLoginExpired() {
  // The main window is closing then; the click brings the sign-in windows forward.
  GetHost().ShowNotification("Tavo", "登陆失效，重新登陆", [] {
    HWND frame = FindWindow(L"loginBackDlgClass", L"Tavo");
    if (CWindowWnd* window = frame != kNoWindow ? CWindowWnd::FromHandle(frame) : nullptr)
      window->BringToFront();
  });
}
