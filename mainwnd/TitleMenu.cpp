// The title-bar menu of a main window without a tray.
#include "mainwnd/TitleMenu.h"

void TitleMenu::Attach(CPaintManagerUI& pm, bool hasTray) {
  m_pm = &pm;
  m_button = pm.FindControl(L"btnTitleMenu");
  if (m_button) m_button->SetVisible(!hasTray);
}

bool TitleMenu::HandleNotify(const TNotifyUI& msg, const CDuiRect& window) {
  if (!m_button || msg.pSender != m_button || msg.sType != DUI_MSGTYPE_CLICK) return false;
  Close();
  // Below the button, from its left edge.
  const CDuiRect& button = m_button->GetPos();
  m_menu = std::make_unique<CMenuWnd>();
  m_menu->Init(nullptr, L"title_menu.xml", {window.left + button.left, window.top + button.bottom}, m_pm,
               nullptr, eMenuAlignment_Right | eMenuAlignment_Bottom);
  m_menu->ResizeMenu();
  return true;
}

void TitleMenu::Close() {
  if (m_menu) {
    m_menu->DestroyMenu();
    m_menu.reset();
  }
}
