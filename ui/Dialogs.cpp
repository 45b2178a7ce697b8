// Dialogs on the host.
#include "ui/Dialogs.h"

#include <glib.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>

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

namespace {
// A pattern for files ending in `.ext`, whatever the letters' case: "*.[jJ][pP][gG]".
std::string AnyCase(std::string_view ext) {
  std::string glob = "*.";
  for (char c : ext) {
    glob += '[';
    glob += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    glob += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    glob += ']';
  }
  return glob;
}

// The student's pictures folder, or the home folder where there is none.
std::string PicturesFolder() {
  std::error_code ec;
  const char* pictures = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES);
  if (pictures && std::filesystem::is_directory(pictures, ec)) return pictures;
  return g_get_home_dir();
}
}  // namespace

std::wstring ChooseFile(HWND owner, const std::wstring& initialFolder) {
  const std::string jpg = AnyCase("jpg") + ";" + AnyCase("jpeg"), png = AnyCase("png"), ico = AnyCase("ico");
  // Every picture the avatar takes shows at first; the single kinds follow.
  std::vector<HostFileFilter> filters = {{"Jpg Files(*jpg);Png Files(*.png);Ico Files(*ico)", jpg + ";" + png + ";" + ico},
                                         {"Jpg Files(*jpg)", jpg},
                                         {"Png Files(*.png)", png},
                                         {"Ico Files(*ico)", ico}};
  const std::string folder = initialFolder.empty() ? PicturesFolder() : ToUtf8(initialFolder);
  std::string path = GetHost().ChooseFile(HostOf(owner), "", folder, filters);
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

std::wstring ChooseSaveFile(HWND owner, const std::wstring& title, const std::wstring& name) {
  return FromUtf8(GetHost().ChooseSaveFile(HostOf(owner), ToUtf8(title), ToUtf8(name)));
}

std::wstring ChooseFolder(HWND owner, const std::wstring& startFolder) {
  const std::string start = ToUtf8(startFolder);
  if (!start.empty() && chdir(start.c_str()) != 0)
    LogNormal(L"ChooseFolder: the folder in use " + startFolder + L" cannot be entered, opening elsewhere");
  return ChooseFolder(owner);
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
