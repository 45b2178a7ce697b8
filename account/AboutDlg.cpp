// The about window.
#include "account/AboutDlg.h"

#include "account/SelfOwnedWindows.h"
#include "app/SystemInfo.h"
#include "platform/MessageCore.h"
#include "ui/Label.h"

namespace {
constexpr wchar_t kAboutClass[] = L"aboutDlgClass";
constexpr wchar_t kAboutTitle[] = L"关于Tavo";
}  // namespace

std::wstring AboutVersionLabel(const std::wstring& versionText) { return L"Tavo:" + versionText + L"版本"; }

AboutDlg::AboutDlg(std::wstring versionText) : m_versionText(std::move(versionText)) {}
AboutDlg::AboutDlg() : AboutDlg(GetFileVersionText()) {}

void AboutDlg::InitWindow() {
  m_version = FindControlAs<CLabelUI>(L"lbVersion");
  if (m_version) m_version->SetText(AboutVersionLabel(m_versionText));
  ::SetTimer(m_hWnd, TIMER_ABOUT_UNTOPMOST, kAboutUntopmostMs);
}

LRESULT AboutDlg::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM, const Payload&, bool& bHandled) {
  if (msg == WM_TIMER && wParam == TIMER_ABOUT_UNTOPMOST) {
    ::KillTimer(m_hWnd, TIMER_ABOUT_UNTOPMOST);
    SetTopMost(false);
    bHandled = true;
  } else if (msg == WM_ABOUT_RAISE) {
    // The opener has just made the window top-most; drop that again shortly.
    ::SetTimer(m_hWnd, TIMER_ABOUT_UNTOPMOST, kAboutUntopmostMs);
    bHandled = true;
  } else {
    bHandled = false;
  }
  return 0;
}

void AboutDlg::OnFinalMessage(HWND) {
  // Frees this object when the function returns; nothing may follow.
  std::unique_ptr<CWindowWnd> self = ReleaseSelfOwned(this);
}

HWND OpenOrRaiseAboutWindow() {
  HWND existing = FindWindow(kAboutClass, kAboutTitle);
  if (CWindowWnd* about = CWindowWnd::FromHandle(existing)) {
    about->ShowWindow(true, true);
    about->SetTopMost(true);
    PostMessage(existing, WM_ABOUT_RAISE);
    return existing;
  }
  auto dlg = std::make_unique<AboutDlg>();
  HWND hwnd = dlg->Create(kNoWindow, kAboutTitle, WS_OVERLAPPEDWINDOW, 0, 0, 0, 416, 556);
  if (hwnd == kNoWindow) return kNoWindow;
  AboutDlg* about = AdoptSelfOwned(std::move(dlg));
  about->CenterWindow();
  about->ShowWindow(true, true);
  about->SetTopMost(true);
  return hwnd;
}
