// Dialogs on the host.
#include "ui/Dialogs.h"

#include <unistd.h>

#include "app/Log.h"
#include "platform/host/Host.h"
#include "ui/UIText.h"
#include "ui/WindowWnd.h"

namespace {
HostWindow* HostOf(HWND hwnd) {
  CWindowWnd* wnd = CWindowWnd::FromHandle(hwnd);
  return wnd ? wnd->GetHostWindow() : nullptr;
}
}  // namespace

std::wstring ChooseFile(HWND owner, const std::wstring& initialFolder) {
  std::vector<HostFileFilter> filters = {
      {"Jpg Files(*jpg)", "*.jpg"}, {"Png Files(*.png)", "*.png"}, {"Ico Files(*ico)", "*.ico"}};
  std::string path = GetHost().ChooseFile(HostOf(owner), "", ToUtf8(initialFolder), filters);
  return FromUtf8(path);
}

std::wstring ChooseFolder(HWND owner) {
  std::string folder = GetHost().ChooseFolder(HostOf(owner), "选择下载目录");
  if (folder.empty()) return {};
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (chdir(folder.c_str()) != 0) {
    LogError(L"ChooseFolder: cannot enter " + FromUtf8(folder));
    return {};
  }
  return FromUtf8(folder);
}

void ActivateWindow(HWND hwnd, bool attachInput) {
  CWindowWnd* wnd = CWindowWnd::FromHandle(hwnd);
  if (!wnd || !wnd->GetHostWindow()) return;
  HostWindow* host = wnd->GetHostWindow();
  host->Show(true, attachInput);
  if (host->IsMinimized()) host->Restore();
  if (attachInput) host->Activate();
}

namespace {
std::function<bool(const std::wstring&)>& OpenUrlFallback() {
  static std::function<bool(const std::wstring&)> fallback;
  return fallback;
}
}  // namespace

void SetOpenUrlFallback(std::function<bool(const std::wstring& url)> fallback) {
  OpenUrlFallback() = std::move(fallback);
}

bool OpenUrl(const std::wstring& url) {
  if (GetHost().OpenUri(ToUtf8(url))) return true;
  LogError(L"cannot open " + url);
  return OpenUrlFallback() && OpenUrlFallback()(url);
}

CDuiPoint GetCursorScreenPos() {
  CDuiPoint pt;
  GetHost().GetCursorPos(pt.x, pt.y);
  return pt;
}
