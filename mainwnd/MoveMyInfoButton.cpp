// The title bar's avatar button and its popup.
#include "mainwnd/MoveMyInfoButton.h"

#include "account/LoginBackDlg.h"
#include "app/Log.h"
#include "mainwnd/MainDlg.h"
#include "platform/Messages.h"
#include "ui/Dialogs.h"

MoveMyInfoButton::MoveMyInfoButton(MainDlg& main) : m_main(main) {}

MoveMyInfoButton::~MoveMyInfoButton() {
  if (m_popup && IsWindow(m_popup->GetHWND())) m_popup->DestroyWindow();
}

void MoveMyInfoButton::CreatePopup() {
  if (m_popup) return;
  m_popup = std::make_unique<MyInfoDlg>(*this);
  if (m_popup->Create(m_main.GetHWND(), L"Tavo", WS_POPUP, 0, 0, 0, 0, 0) == kNoWindow) {
    LogError(L"the profile popup could not be created");
    m_popup.reset();
    return;
  }
  m_popup->ShowWindow(false, false);
  m_popupShown = false;
}

void MoveMyInfoButton::DoEvent(TEventUI& event) {
  if (m_popup && event.Type == UIEvent::MouseEnter) {
    const CDuiRect& rc = GetPos();
    m_popup->PlaceBelowButton(rc.left, rc.top);
    m_popup->ShowWindow(true, false);
    m_popupShown = true;
  } else if (m_popup && event.Type == UIEvent::MouseLeave) {
    const CDuiPoint cursor = GetCursorScreenPos();
    const CDuiRect popup = m_popup->GetWindowRect();
    const bool intoPopup =
        cursor.x >= popup.left && cursor.x < popup.right && cursor.y >= popup.top && cursor.y < popup.bottom;
    if (!intoPopup) m_popup->ShowWindow(false, false);
    m_popupShown = false;
  }
  CHeadUI::DoEvent(event);
}

HWND MoveMyInfoButton::GetMainWindow() const { return m_main.GetHWND(); }

void MoveMyInfoButton::ShowPersonPanel(const AccountRecord& record) { m_main.ShowPersonPanel(record); }

void MoveMyInfoButton::ShowDownSetPanel() { m_main.ShowDownSetPanel(); }

void MoveMyInfoButton::SignOut() {
  // The main window goes without ending the program, and the login windows come back.
  m_main.SetQuitOnFinal(false);
  PostMessage(m_main.GetHWND(), WM_CLOSE);
  if (LoginBackDlg* frame = GetLoginFrame()) {
    frame->ShowWindow(true, true);
    frame->ShowChildren(true);
  }
}
