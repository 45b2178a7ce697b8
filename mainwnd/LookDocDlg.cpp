// The document viewer.
#include "mainwnd/LookDocDlg.h"

#include <filesystem>

#include "account/SelfOwnedWindows.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "browser/CefNativeControl.h"
#include "browser/LocalFileUrl.h"
#include "mainwnd/PdfSniff.h"
#include "platform/Messages.h"

namespace {

constexpr UINT kIconId = 102;

std::wstring g_viewerTitle;

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

}  // namespace

const std::wstring& GetViewerTitle() { return g_viewerTitle; }

LookDocDlg::LookDocDlg(std::string path) : m_path(std::move(path)) {}

std::wstring LookDocDlg::TitleOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) slash = path.rfind('\\');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return AnsiToWide(name);
}

std::unique_ptr<CControlUI> LookDocDlg::CreateControl(const std::wstring& tag) {
  return CefNativeControl::CreateForWindow(tag, m_hWnd, m_browser);
}

void LookDocDlg::InitWindow() {
  SetIcon(kIconId);
  LoadDocument();
  UpdateTitle();
  RegisterHotKey(kViewerHotKeyId, MOD_ALT | MOD_CONTROL | MOD_SHIFT, 'I');
}

void LookDocDlg::LoadDocument() {
  if (!FileExists(m_path)) {
    LogNormal(L"LookDocDlg: no file at " + AnsiToWide(m_path));
    return;
  }
  if (!LooksLikePdf(m_path)) {
    LogError(L"LookDocDlg: not a PDF, not shown: " + AnsiToWide(m_path));
    return;
  }
  ++m_loadCount;
  if (m_browser) m_browser->LoadURL(LocalFileUrl(m_path));
}

void LookDocDlg::UpdateTitle() {
  g_viewerTitle = TitleOf(m_path);
  SetWindowText(g_viewerTitle);
}

LRESULT LookDocDlg::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM, const Payload& payload,
                                        bool& bHandled) {
  if (msg == WM_DOC_OPEN) {
    const auto* path = PayloadAs<std::string>(payload);
    if (path && *path != m_path) {
      m_path = *path;
      LoadDocument();
      UpdateTitle();
    }
    bHandled = true;
    return 0;
  }
  if (msg == WM_HOTKEY && wParam == kViewerHotKeyId) {
    if (m_browser) m_browser->ShowDevTools();
    bHandled = true;
    return 0;
  }
  bHandled = false;
  return 0;
}

LRESULT LookDocDlg::OnSysCommand(UINT, WPARAM wParam, LPARAM, bool& bHandled) {
  if (wParam == SC_CLOSE) {
    PostMessage(m_hWnd, WM_CLOSE);
    bHandled = true;
    return 0;
  }
  bHandled = false;  // the default handling; the host reports the new state, which swaps max/restore
  return 0;
}

void LookDocDlg::OnFinalMessage(HWND) {
  if (m_browser) m_browser->CloseAllBrowser();
  m_browser = nullptr;
  // Frees this object when the function returns; nothing may follow.
  std::unique_ptr<CWindowWnd> self = ReleaseSelfOwned(this);
}

void OpenDocViewer(const std::string& path) {
  HWND viewer = FindWindow(L"lookDocDlgClass", GetViewerTitle());
  if (viewer != kNoWindow) {
    PostMessage(viewer, WM_DOC_OPEN, 0, 0, MakePayload<std::string>(path));
    if (CWindowWnd* window = CWindowWnd::FromHandle(viewer)) window->BringToFront();
    return;
  }
  auto dlg = std::make_unique<LookDocDlg>(path);
  // A zero size takes the skin's size.
  if (dlg->Create(kNoWindow, L"Tavo", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0) == kNoWindow) {
    LogError(L"the document viewer could not be created");
    return;
  }
  LookDocDlg* raw = AdoptSelfOwned(std::move(dlg));
  raw->CenterWindow();
  raw->ShowWindow(true, true);
}
