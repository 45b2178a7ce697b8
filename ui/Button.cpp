// CButtonUI: press, capture, release; state pictures and colours.
#include "ui/Button.h"

#include "ui/AttrParse.h"
#include "ui/PaintManager.h"

CButtonUI::CButtonUI() {
  m_uTextStyle = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
  m_cursor = UICursor::Hand;
}

void* CButtonUI::GetInterface(std::wstring_view name) {
  if (name == L"Button") return this;
  return CLabelUI::GetInterface(name);
}

UINT CButtonUI::GetControlFlags() const { return IsEnabled() ? (UIFLAG_TABSTOP | UIFLAG_SETCURSOR) : 0; }

bool CButtonUI::Activate() {
  if (!CControlUI::Activate()) return false;
  if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_CLICK);
  return true;
}

void CButtonUI::SetEnabled(bool enabled) {
  CControlUI::SetEnabled(enabled);
  if (!enabled) m_uButtonState = 0;
}

void CButtonUI::DoEvent(TEventUI& event) {
  if (!IsMouseEnabled() && event.Type != UIEvent::SetFocus && event.Type != UIEvent::KillFocus) {
    CLabelUI::DoEvent(event);
    return;
  }
  switch (event.Type) {
    case UIEvent::KeyDown:
      if (event.chKey == VK_SPACE || event.chKey == VK_RETURN) {
        Activate();
        return;
      }
      break;
    case UIEvent::ButtonDown:
    case UIEvent::DblClick:
      if (GetVisibleRect().Contains(event.ptMouse) && IsEnabled()) {
        m_uButtonState |= UISTATE_PUSHED | UISTATE_CAPTURED;
        Invalidate();
      }
      return;
    case UIEvent::MouseMove:
      if (m_uButtonState & UISTATE_CAPTURED) {
        if (GetVisibleRect().Contains(event.ptMouse))
          m_uButtonState |= UISTATE_PUSHED;
        else
          m_uButtonState &= ~UISTATE_PUSHED;
        Invalidate();
      }
      return;
    case UIEvent::ButtonUp:
      if (m_uButtonState & UISTATE_CAPTURED) {
        bool inside = GetVisibleRect().Contains(event.ptMouse);
        m_uButtonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
        Invalidate();
        if (inside) Activate();
      }
      return;
    case UIEvent::MouseEnter:
      if (IsEnabled()) {
        m_uButtonState |= UISTATE_HOT;
        Invalidate();
      }
      return;
    case UIEvent::MouseLeave:
      m_uButtonState &= ~UISTATE_HOT;
      Invalidate();
      return;
    case UIEvent::SetCursor:
      break;
    default:
      break;
  }
  CLabelUI::DoEvent(event);
}

bool CButtonUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  std::wstring v(value);
  DWORD c = 0;
  bool ok = true;
  TImageAttr img;
  auto image = [&](std::wstring& slot) {
    if ((ok = ParseImage(value, img))) {
      slot = v;
      Invalidate();
    }
  };
  if (name == L"normalimage")
    image(m_sNormalImage);
  else if (name == L"hotimage")
    image(m_sHotImage);
  else if (name == L"pushedimage")
    image(m_sPushedImage);
  else if (name == L"focusedimage")
    image(m_sFocusedImage);
  else if (name == L"disabledimage")
    image(m_sDisabledImage);
  else if (name == L"foreimage")
    image(m_sForeImage);
  else if (name == L"hotforeimage")
    image(m_sHotForeImage);
  else if (name == L"hottextcolor") {
    if ((ok = ParseColor(value, c))) m_dwHotTextColor = c;
  } else if (name == L"pushedtextcolor") {
    if ((ok = ParseColor(value, c))) m_dwPushedTextColor = c;
  } else if (name == L"focusedtextcolor") {
    if ((ok = ParseColor(value, c))) m_dwFocusedTextColor = c;
  } else if (name == L"hotbkcolor") {
    if ((ok = ParseColor(value, c))) m_dwHotBkColor = c;
  } else if (name == L"pushedbkcolor") {
    if ((ok = ParseColor(value, c))) m_dwPushedBkColor = c;
  } else if (name == L"disabledbkcolor") {
    if ((ok = ParseColor(value, c))) m_dwDisabledBkColor = c;
  } else
    return CLabelUI::SetAttribute(name, value);
  if (!ok) ReportBadAttribute(this, name, value);
  return ok;
}

void CButtonUI::PaintBkColor(cairo_t* cr) {
  DWORD color = m_dwBackColor;
  if (!IsEnabled() && m_dwDisabledBkColor)
    color = m_dwDisabledBkColor;
  else if ((m_uButtonState & UISTATE_PUSHED) && m_dwPushedBkColor)
    color = m_dwPushedBkColor;
  else if ((m_uButtonState & UISTATE_HOT) && m_dwHotBkColor)
    color = m_dwHotBkColor;
  int rx = m_cxyBorderRound.cx, ry = m_cxyBorderRound.cy;
  if (color) CRenderEngine::FillRect(cr, m_rcItem, color, rx, ry);
}

void CButtonUI::PaintStatusImage(cairo_t* cr) {
  if (!IsEnabled()) {
    if (DrawImage(cr, m_sDisabledImage)) return;
  } else if (m_uButtonState & UISTATE_PUSHED) {
    if (DrawImage(cr, m_sPushedImage)) return;
  } else if (m_uButtonState & UISTATE_HOT) {
    if (DrawImage(cr, m_sHotImage)) return;
  } else if (m_bFocused) {
    if (DrawImage(cr, m_sFocusedImage)) return;
  }
  DrawImage(cr, m_sNormalImage);
  if ((m_uButtonState & UISTATE_HOT) && DrawImage(cr, m_sHotForeImage)) return;
  DrawImage(cr, m_sForeImage);
}

void CButtonUI::PaintText(cairo_t* cr) {
  DWORD color = m_dwTextColor;
  if (!IsEnabled())
    color = m_dwDisabledTextColor;
  else if ((m_uButtonState & UISTATE_PUSHED) && m_dwPushedTextColor)
    color = m_dwPushedTextColor;
  else if ((m_uButtonState & UISTATE_HOT) && m_dwHotTextColor)
    color = m_dwHotTextColor;
  else if (m_bFocused && m_dwFocusedTextColor)
    color = m_dwFocusedTextColor;
  PaintTextWith(cr, m_sText, color);
}
