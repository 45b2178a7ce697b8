#include "account/LoginBackDlg.h"

#include <filesystem>

#include "account/HeadUI.h"
#include "account/LoginDlg.h"
#include "account/LoginMidDlg.h"
#include "account/LoginDelegate.h"
#include "account/TitleShadowDlg.h"
#include "app/FileUtil.h"
#include "app/Folders.h"
#include "app/TextConv.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "ui/Button.h"

namespace {
LoginBackDlg* g_loginFrame = nullptr;

constexpr int kMidWidth = 820;
constexpr int kMidHeight = 420;
constexpr int kFormWidth = 360;
constexpr int kFormHeight = 420;
constexpr int kFormShift = 230;  // the form sits on the right part of the welcome panel
constexpr int kTitleHeight = 72;
constexpr UINT kProgramIcon = 102;

CDuiRect RectOf(int left, int top, int width, int height) { return {left, top, left + width, top + height}; }

// An account name is used as one folder name; anything that could leave the data folder
// ("..", "a/b") or an empty name gets the default picture instead.
bool IsPlainFolderName(const std::wstring& name) {
  return !name.empty() && name != L"." && name != L".." && name.find(L'/') == std::wstring::npos &&
         name.find(L'\\') == std::wstring::npos && name.find(L'\0') == std::wstring::npos;
}
// The program's default avatar next to the executable; the skin's copy when that folder
// is missing (a test binary, a broken installation).
std::wstring DefaultAvatar() {
  std::wstring installed = GetExeFolder() + L"htmllocal/header_def.png";
  std::error_code ec;
  if (std::filesystem::exists(WideToAnsi(installed), ec)) return installed;
  return L"header_def.png";
}
}  // namespace

LoginBackDlg* GetLoginFrame() { return g_loginFrame; }
void SetLoginFrame(LoginBackDlg* frame) { g_loginFrame = frame; }

LoginBackDlg::LoginBackDlg(LoginDelegate* delegate) : m_delegate(delegate) {}

LoginBackDlg::~LoginBackDlg() {
  if (g_loginFrame == this) g_loginFrame = nullptr;
}

std::wstring LoginBackDlg::GetWindowClassName() const { return L"loginBackDlgClass"; }

std::unique_ptr<CControlUI> LoginBackDlg::CreateControl(const std::wstring& tag) {
  if (tag == L"HeadIcon") return std::make_unique<CHeadUI>();
  return nullptr;
}

void LoginBackDlg::InitWindow() {
  m_closeBtn = FindControlAs<CButtonUI>(L"closebtn");
  m_minBtn = FindControlAs<CButtonUI>(L"minbtn");
  m_maxBtn = FindControlAs<CButtonUI>(L"maxbtn");
  m_restoreBtn = FindControlAs<CButtonUI>(L"restorebtn");
  m_head = FindControlAs<CHeadUI>(L"btnMyInfo");
  SetIcon(kProgramIcon);

  // The form is a layer of the frame itself (not of the welcome panel) so that both keep
  // their places when the frame is resized; it still lies wholly on the panel.
  CDuiRect frame = GetWindowRect();
  if (!m_mid) {
    m_mid = std::make_unique<LoginMidDlg>();
    m_mid->Create(GetHWND(), L"Tavo", WS_POPUP, 0);
    m_mid->ShowWindow(true, false);
  }
  if (!m_login) {
    m_login = std::make_unique<LoginDlg>(GetHWND(), m_delegate);
    m_login->Create(GetHWND(), L"Tavo", WS_POPUP, 0);
    m_login->ShowWindow(true, true);
  }
  if (!m_shadow) {
    m_shadow = std::make_unique<TitleShadowDlg>();
    m_shadow->Create(GetHWND(), L"Tavo", WS_POPUP, 0);
    m_shadow->ShowWindow(true, false);
  }
  LayoutChildren(frame);

  ShowAccountAvatar();
}

void LoginBackDlg::ShowAccountAvatar() {
  if (!m_head || !m_login) return;
  std::wstring account = m_login->GetAccountName();
  std::wstring picture;
  if (IsPlainFolderName(account)) {
    std::string found = FindFirstFileIn(WideToAnsi(GetHeaderFolder(account)));
    std::error_code ec;
    if (!found.empty() && std::filesystem::exists(found, ec)) picture = AnsiToWide(found);
  }
  if (picture.empty()) picture = DefaultAvatar();
  m_head->SetHeadImage(picture);
}

void LoginBackDlg::LayoutChildren(const CDuiRect& frame) {
  int width = frame.GetWidth();
  int height = frame.GetHeight();
  if (m_mid)
    m_mid->MoveWindow(RectOf(frame.left + (width - kMidWidth) / 2, frame.top + (height - kMidHeight) / 2,
                             kMidWidth, kMidHeight));
  if (m_login)
    m_login->MoveWindow(RectOf(frame.left + (width - kFormWidth) / 2 + kFormShift,
                               frame.top + (height - kFormHeight) / 2, kFormWidth, kFormHeight));
  if (m_shadow) m_shadow->MoveWindow(RectOf(frame.left, frame.top, width, kTitleHeight));
}

void LoginBackDlg::ShowChildren(bool show) {
  // Back after a sign-out: the avatar is that of the account in the form now, never the
  // one shown when the frame was first built.
  if (show) ShowAccountAvatar();
  if (m_mid) m_mid->ShowWindow(show, false);
  if (m_login) {
    m_login->ShowBusy(false);
    m_login->ShowWindow(show, show);
  }
  if (m_shadow) m_shadow->ShowWindow(show, false);
}

void LoginBackDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender) {
    CControlUI* sender = msg.pSender;
    if (sender == m_closeBtn) {
      PostMessage(GetHWND(), WM_CLOSE);
      return;
    }
    if (sender == m_minBtn) {
      SendMessage(GetHWND(), WM_SYSCOMMAND, SC_MINIMIZE);
      return;
    }
    if (sender == m_maxBtn) {
      SendMessage(GetHWND(), WM_SYSCOMMAND, SC_MAXIMIZE);
      if (m_maxBtn) m_maxBtn->SetVisible(false);
      if (m_restoreBtn) m_restoreBtn->SetVisible(true);
      return;
    }
    if (sender == m_restoreBtn) {
      SendMessage(GetHWND(), WM_SYSCOMMAND, SC_RESTORE);
      if (m_restoreBtn) m_restoreBtn->SetVisible(false);
      if (m_maxBtn) m_maxBtn->SetVisible(true);
      return;
    }
  }
  WindowImplBase::Notify(msg);
}

void LoginBackDlg::SyncMaxRestoreButtons() {
  bool zoomed = IsZoomed();
  if (m_maxBtn) m_maxBtn->SetVisible(!zoomed);
  if (m_restoreBtn) m_restoreBtn->SetVisible(zoomed);
}

LRESULT LoginBackDlg::OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  bHandled = true;
  if (wParam == SC_CLOSE) {
    PostMessage(GetHWND(), WM_CLOSE);
    return 0;
  }
  bool wasZoomed = IsZoomed();
  LRESULT result = CWindowWnd::HandleMessage(msg, wParam, lParam, {});
  if (IsZoomed() != wasZoomed) SyncMaxRestoreButtons();
  return result;
}

LRESULT LoginBackDlg::OnSize(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  if (m_mid || m_login || m_shadow) LayoutChildren(GetWindowRect());
  return WindowImplBase::OnSize(msg, wParam, lParam, bHandled);
}

LRESULT LoginBackDlg::HandleCustomMessage(UINT msg, WPARAM, LPARAM, const Payload&, bool& bHandled) {
  bHandled = false;
  if (msg == WM_LOGIN_DONE) {
    OnLoginDone();
    bHandled = true;
  }
  return 0;
}

void LoginBackDlg::OnLoginDone() {
  ShowWindow(false, false);
  if (m_mid) m_mid->ShowWindow(false, false);
  if (m_login) {
    m_login->ShowBusy(false);
    m_login->ShowWindow(false, false);
    m_login->OnCatalogueLoaded();
  }
  if (m_shadow) m_shadow->ShowWindow(false, false);
  if (m_delegate && !m_delegate->MainWindowExists()) m_delegate->ShowMainWindow();
}

void LoginBackDlg::OnFinalMessage(HWND) { PostQuitMessage(0); }
