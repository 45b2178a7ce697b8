// The toast window and ShowTip.
#include "account/MessageBoxDlg.h"

#include "account/SelfOwnedWindows.h"
#include "app/Log.h"
#include "platform/MessageCore.h"
#include "ui/Label.h"

void MessageBoxDlg::InitWindow() {
  m_tip = FindControlAs<CLabelUI>(L"lbTip");
  m_layout = FindControl(L"mainLayout");
  ::SetTimer(m_hWnd, TIMER_TIP_CLOSE, kTipLifetimeMs);
}

void MessageBoxDlg::SetTipText(const std::wstring& text) {
  if (m_tip) m_tip->SetText(text);
}

LRESULT MessageBoxDlg::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM, const Payload&, bool& bHandled) {
  bHandled = false;
  if (msg == WM_TIMER && wParam == TIMER_TIP_CLOSE) {
    bHandled = true;
    HWND hwnd = m_hWnd;
    ::KillTimer(hwnd, TIMER_TIP_CLOSE);
    // The window and this object are gone once the send returns.
    ::SendMessage(hwnd, WM_CLOSE);
  }
  return 0;
}

void MessageBoxDlg::OnFinalMessage(HWND) {
  // Frees this object when the function returns; nothing may follow.
  std::unique_ptr<CWindowWnd> self = ReleaseSelfOwned(this);
}

HWND ShowTip(HWND owner, int distance, int width, const std::wstring& text) {
  auto dlg = std::make_unique<MessageBoxDlg>();
  HWND hwnd = dlg->Create(owner, L"tip", WS_OVERLAPPEDWINDOW, 0);
  if (hwnd == kNoWindow) {
    LogError(L"tip window could not be created: " + text);
    return kNoWindow;
  }
  MessageBoxDlg* tip = AdoptSelfOwned(std::move(dlg));
  tip->SetTipText(text);
  CDuiRect ownerRect;
  if (CWindowWnd* ownerWnd = CWindowWnd::FromHandle(owner)) ownerRect = ownerWnd->GetWindowRect();
  int left = ownerRect.left + (ownerRect.GetWidth() - width) / 2;
  int top = ownerRect.top + distance;
  tip->MoveWindow({left, top, left + width, top + kTipHeight});
  tip->ShowWindow(true, false);
  return hwnd;
}
