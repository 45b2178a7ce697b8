// The local player.
#include "playback/VideoLocalPlayDlg.h"

#include <filesystem>

#include "account/SelfOwnedWindows.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "browser/CefNativeControl.h"
#include "browser/LocalFileUrl.h"
#include "browser/LocalMedia.h"
#include "mainwnd/LessonMarkClear.h"
#include "mainwnd/MainDlg.h"
#include "platform/Messages.h"
#include "playback/SystemPlayer.h"
#include "ui/Label.h"

namespace {

constexpr UINT kIconId = 102;

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

}  // namespace

VideoLocalPlayDlg::VideoLocalPlayDlg(std::string classId, std::string id, std::string fileName,
                                     std::string localPath, int64_t fromSecond)
    : m_classId(std::move(classId)),
      m_id(std::move(id)),
      m_fileName(std::move(fileName)),
      m_localPath(std::move(localPath)),
      m_fromSecond(fromSecond) {}

std::unique_ptr<CControlUI> VideoLocalPlayDlg::CreateControl(const std::wstring& tag) {
  return CefNativeControl::CreateForWindow(tag, m_hWnd, m_browser);
}

void VideoLocalPlayDlg::InitWindow() {
  SetIcon(kIconId);
  LoadVideo();
  ShowName();
  RegisterHotKey(kLocalPlayerHotKeyId, MOD_ALT | MOD_CONTROL | MOD_SHIFT, 'I');
}

void VideoLocalPlayDlg::LoadVideo() {
  if (!FileExists(m_localPath)) {
    LogNormal(L"VideoLocalPlayDlg: no file at " + AnsiToWide(m_localPath));
    return;
  }
  if (!m_browser) return;
  const std::string shared = ShareMediaWithWebProcess(m_localPath);
  if (shared.empty()) {
    // The browser cannot reach this file (another file system): the desktop's player can.
    StartSystemPlayer(m_localPath);
    return;
  }
  // A media fragment ("#t=<seconds>") starts the browser's player at that moment.
  std::wstring url = LocalFileUrl(shared);
  if (m_fromSecond > 0) url += L"#t=" + std::to_wstring(m_fromSecond);
  m_browser->LoadURL(url);
}

void VideoLocalPlayDlg::ShowName() {
  if (CControlUI* label = FindControl(L"lbVideoName")) {
    label->SetText(AnsiToWide(m_fileName));
    label->SetToolTip(AnsiToWide(m_fileName));
  }
}

LRESULT VideoLocalPlayDlg::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM, const Payload& payload,
                                               bool& bHandled) {
  bHandled = true;
  switch (msg) {
    case WM_LOCAL_PLAY_FILE:
      if (const auto* file = PayloadAs<LocalPlayFile>(payload);
          file && (file->localPath != m_localPath || file->fromSecond > 0)) {
        m_localPath = file->localPath;
        m_fromSecond = file->fromSecond;
        // The title bar names the video that plays now.
        if (!file->fileName.empty()) m_fileName = file->fileName;
        LoadVideo();
        ShowName();
      }
      return 0;
    case WM_BROWSER_CREATED:
      m_browserId = static_cast<std::int64_t>(wParam);
      return 0;
    case WM_BROWSER_LOAD_END:
      return 0;
    case WM_HOTKEY:
      if (wParam == kLocalPlayerHotKeyId && m_browser) m_browser->ShowDevTools();
      return 0;
    default:
      bHandled = false;
      return 0;
  }
}

LRESULT VideoLocalPlayDlg::OnSysCommand(UINT, WPARAM wParam, LPARAM, bool& bHandled) {
  if (wParam == SC_CLOSE) {
    PostMessage(m_hWnd, WM_CLOSE);
    bHandled = true;
    return 0;
  }
  bHandled = false;  // the default handling; the host reports the new state, which swaps max/restore
  return 0;
}

void VideoLocalPlayDlg::OnFinalMessage(HWND) {
  // Its lesson becomes the one the lists mark as watched last.
  if (MainDlg* main = GetMainDlg())
    PostMessage(main->GetHWND(), WM_LESSON_MARK_CLEAR, 0, 0,
                MakePayload<LessonMarkClear>(LessonMarkClear{m_classId, m_id}));
  if (m_browser) m_browser->CloseAllBrowser();
  m_browser = nullptr;
  ClearSharedMedia();
  // Frees this object when the function returns; nothing may follow.
  std::unique_ptr<CWindowWnd> self = ReleaseSelfOwned(this);
}

void OpenLocalPlayer(const std::string& classId, const std::string& id, const std::string& fileName,
                     const std::string& localPath, int64_t fromSecond) {
  HWND player = FindWindow(L"videoLocalPlayDlgClass", L"Tavo");
  if (player != kNoWindow) {
    if (CWindowWnd* window = CWindowWnd::FromHandle(player)) window->BringToFront();
    PostMessage(player, WM_LOCAL_PLAY_FILE, 0, 0,
                MakePayload<LocalPlayFile>(LocalPlayFile{localPath, fileName, fromSecond}));
    return;
  }
  auto dlg = std::make_unique<VideoLocalPlayDlg>(classId, id, fileName, localPath, fromSecond);
  // A zero size takes the skin's size.
  if (dlg->Create(kNoWindow, L"Tavo", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0) == kNoWindow) {
    LogError(L"the local player could not be created");
    return;
  }
  VideoLocalPlayDlg* raw = AdoptSelfOwned(std::move(dlg));
  raw->CenterWindow();
  raw->ShowWindow(true, true);
}
