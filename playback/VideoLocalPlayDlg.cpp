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
#include "playback/LocalPlayProgress.h"
#include "playback/PlayerScripts.h"
#include "playback/SystemPlayer.h"
#include "ui/Label.h"

namespace {

constexpr UINT kIconId = 102;
constexpr UINT kPositionTimer = 1;

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

}  // namespace

VideoLocalPlayDlg::VideoLocalPlayDlg(std::string classId, std::string id, std::string fileName,
                                     std::string localPath)
    : m_classId(std::move(classId)),
      m_id(std::move(id)),
      m_fileName(std::move(fileName)),
      m_localPath(std::move(localPath)) {}

std::unique_ptr<CControlUI> VideoLocalPlayDlg::CreateControl(const std::wstring& tag) {
  return CefNativeControl::CreateForWindow(tag, m_hWnd, m_browser);
}

void VideoLocalPlayDlg::InitWindow() {
  SetIcon(kIconId);
  LoadVideo();
  ShowName();
  RegisterHotKey(kLocalPlayerHotKeyId, MOD_ALT | MOD_CONTROL | MOD_SHIFT, 'I');
  SetTimer(m_hWnd, kPositionTimer, kLocalPositionMs);
}

void VideoLocalPlayDlg::KeepPosition() {
  BrowserPtr browser = m_browser ? m_browser->GetBrowser() : nullptr;
  if (!browser) return;
  // The answer may come after the window closed or moved on to another lesson: it names
  // the lesson it was asked for and finds the window again by its handle.
  browser->EvaluateNumber(kScriptVideoCurrentTime, [hwnd = m_hWnd, classId = m_classId,
                                                    id = m_id](std::optional<double> seconds) {
    auto* self = dynamic_cast<VideoLocalPlayDlg*>(CWindowWnd::FromHandle(hwnd));
    if (!self || !seconds || self->m_id != id) return;
    const auto whole = static_cast<std::int64_t>(*seconds);
    if (whole == self->m_keptSeconds) return;
    self->m_keptSeconds = whole;
    RecordLocalPosition(classId, id, *seconds);
  });
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
  m_browser->LoadURL(LocalFileUrl(shared));
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
      if (const auto* file = PayloadAs<LocalPlayFile>(payload)) {
        // Where the old lesson stood is kept by the last ask; the new one is kept from now
        // on (lessons may share one video: the file stays, the lesson changes).
        if (file->classId != m_classId || file->id != m_id) {
          m_classId = file->classId;
          m_id = file->id;
          m_keptSeconds = -1;
        }
        if (file->localPath != m_localPath) {
          m_localPath = file->localPath;
          // The title bar names the video that plays now.
          if (!file->fileName.empty()) m_fileName = file->fileName;
          LoadVideo();
          ShowName();
        }
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
    case WM_TIMER:
      if (wParam == kPositionTimer) KeepPosition();
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
                     const std::string& localPath) {
  HWND player = FindWindow(L"videoLocalPlayDlgClass", L"Tavo");
  if (player != kNoWindow) {
    if (CWindowWnd* window = CWindowWnd::FromHandle(player)) window->BringToFront();
    PostMessage(player, WM_LOCAL_PLAY_FILE, 0, 0,
                MakePayload<LocalPlayFile>(LocalPlayFile{localPath, fileName, classId, id}));
    return;
  }
  auto dlg = std::make_unique<VideoLocalPlayDlg>(classId, id, fileName, localPath);
  // A zero size takes the skin's size.
  if (dlg->Create(kNoWindow, L"Tavo", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0) == kNoWindow) {
    LogError(L"the local player could not be created");
    return;
  }
  VideoLocalPlayDlg* raw = AdoptSelfOwned(std::move(dlg));
  raw->CenterWindow();
  raw->ShowWindow(true, true);
}
