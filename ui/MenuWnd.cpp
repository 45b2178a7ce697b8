// CMenuWnd and its items.
#include "ui/MenuWnd.h"

#include "ui/VerticalLayout.h"

CMenuElementUI::CMenuElementUI() {
  m_cxyFixed.cy = 32;
  m_uTextStyle = DT_SINGLELINE | DT_VCENTER;
  m_rcTextPadding = {16, 0, 16, 0};
  m_dwHotBkColor = 0xFFFFEFE7;
  m_dwHotTextColor = 0xFFFF854D;
  m_cursor = UICursor::Arrow;
}

void* CMenuElementUI::GetInterface(std::wstring_view name) {
  if (name == L"MenuElement") return this;
  return CButtonUI::GetInterface(name);
}

void CMenuWnd::Init(CMenuElementUI*, const std::wstring& skin, CDuiPoint point, CPaintManagerUI* owner,
                    std::map<std::wstring, bool>*, unsigned alignment) {
  m_skin = skin;
  m_point = point;
  m_alignment = alignment;
  m_owner = owner ? owner->GetPaintWindow() : kNoWindow;
  Create(m_owner, L"", WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
  ResizeMenu();
  ShowWindow(true, true);
}

void CMenuWnd::ResizeMenu() {
  CControlUI* root = m_pm.GetRoot();
  if (!root) return;
  int width = root->GetFixedWidth() > 0 ? root->GetFixedWidth() : 140;
  int height = 8;
  if (auto* box = dynamic_cast<CContainerUI*>(root)) {
    const CDuiRect& inset = box->GetInset();
    height = inset.top + inset.bottom;
    for (int i = 0; i < box->GetCount(); ++i) {
      CControlUI* item = box->GetItemAt(i);
      if (item->IsVisible()) height += item->GetFixedHeight() > 0 ? item->GetFixedHeight() : 32;
    }
  }
  CDuiRect rc{m_point.x, m_point.y, m_point.x + width, m_point.y + height};
  if (m_alignment & eMenuAlignment_Left) rc.Offset(-width, 0);
  if (m_alignment & eMenuAlignment_Top) rc.Offset(0, -height);
  // Keep the menu on the screen.
  HostRect area = GetHost().GetWorkArea();
  if (rc.right > area.x + area.width) rc.Offset(area.x + area.width - rc.right, 0);
  if (rc.bottom > area.y + area.height) rc.Offset(0, area.y + area.height - rc.bottom);
  if (rc.left < area.x) rc.Offset(area.x - rc.left, 0);
  if (rc.top < area.y) rc.Offset(0, area.y - rc.top);
  MoveWindow(rc);
}

void CMenuWnd::DestroyMenu() { DestroyWindow(); }

void CMenuWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender && msg.pSender->GetInterface(L"MenuElement")) {
    auto cmd = MakePayload<MenuCmd>();
    auto* record = PayloadAs<MenuCmd>(cmd);
    record->szName = msg.pSender->GetName();
    record->szUserData = msg.pSender->GetUserData();
    record->szText = msg.pSender->GetText();
    if (m_owner != kNoWindow) PostMessage(m_owner, WM_MENU_CLICK, 0, 0, cmd);
    Close(IDOK);
  }
}

bool CMenuWnd::OnHostKey(const HostKeyEvent& event) {
  if (event.key != VK_DOWN && event.key != VK_UP) return WindowImplBase::OnHostKey(event);
  HostKeyEvent tab = event;
  tab.key = VK_TAB;
  tab.modifiers = event.key == VK_UP ? MK_SHIFT : 0;
  return WindowImplBase::OnHostKey(tab);
}

void CMenuWnd::OnHostFocus(bool focused) {
  WindowImplBase::OnHostFocus(focused);
  if (!focused && m_hWnd != kNoWindow) Close(IDCANCEL);
}
