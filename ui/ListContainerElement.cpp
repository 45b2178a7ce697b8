// CListContainerElementUI.
#include "ui/ListContainerElement.h"

#include "ui/AttrParse.h"
#include "ui/ControlAccessible.h"
#include "ui/List.h"
#include "ui/PaintManager.h"

CListContainerElementUI::CListContainerElementUI() { m_cxyFixed.cy = 0; }

void* CListContainerElementUI::GetInterface(std::wstring_view name) {
  if (name == L"ListItem" || name == L"ListContainerElement") return this;
  return CContainerUI::GetInterface(name);
}

const TListInfoUI* CListContainerElementUI::Info() const {
  return m_pOwner ? m_pOwner->GetListInfo() : nullptr;
}

bool CListContainerElementUI::Select(bool select, bool notify) {
  if (select == m_bSelected) return true;
  m_bSelected = select;
  if (select && m_pOwner && m_pOwner->GetCurSel() != m_iIndex) m_pOwner->SelectItem(m_iIndex, false, notify);
  Invalidate();
  CControlAccessible::Report(this, AccEvent::StateChanged);
  return true;
}

bool CListContainerElementUI::Activate() {
  if (!CControlUI::Activate()) return false;
  if (m_pManager) m_pManager->SendNotify(this, L"itemactivate");
  return true;
}

void CListContainerElementUI::DoEvent(TEventUI& event) {
  if (!IsMouseEnabled() && event.Type != UIEvent::ScrollWheel) {
    CContainerUI::DoEvent(event);
    return;
  }
  switch (event.Type) {
    case UIEvent::ButtonDown:
    case UIEvent::RButtonDown:
      if (IsEnabled()) {
        if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMCLICK);
        if (m_pOwner && m_pManager && m_pManager->GetPopup() != m_pOwner) m_pOwner->SetFocus();
        Select(true);
        Invalidate();
      }
      return;
    case UIEvent::DblClick:
      if (IsEnabled()) Activate();
      return;
    case UIEvent::ButtonUp:
    case UIEvent::RButtonUp:
    case UIEvent::MouseMove:
      return;
    case UIEvent::MouseEnter:
      m_bHot = true;
      Invalidate();
      return;
    case UIEvent::MouseLeave:
      // Leaving the row for one of its own cells keeps it hot.
      if (m_pManager && m_pManager->GetHover()) {
        for (CControlUI* c = m_pManager->GetHover(); c; c = c->GetParent())
          if (c == this) return;
      }
      m_bHot = false;
      Invalidate();
      return;
    case UIEvent::KeyDown:
      if (m_pOwner) {
        m_pOwner->DoEvent(event);
        return;
      }
      break;
    default:
      break;
  }
  CContainerUI::DoEvent(event);
}

void CListContainerElementUI::FillNow() {
  if (!m_fill) return;
  // Taken out first: the filler's own Add calls count the cells again.
  Filler fill = std::move(m_fill);
  m_fill = nullptr;
  const bool windowUpdate = m_pManager != nullptr && m_pManager->IsUpdateNeeded();
  fill(*this);
  // A row already placed puts its new cells in their columns at once; the rest of the
  // window has not moved, so the fill alone asks for no layout of it.
  if (!m_rcItem.IsEmpty()) {
    SetPos(m_rcItem, false);
    if (m_pManager != nullptr) m_pManager->KeepUpdateState(windowUpdate);
  }
}

void CListContainerElementUI::ProvideItems() const {
  // Making the cells changes no state the row shows: they are what it stands for.
  if (m_fill) const_cast<CListContainerElementUI*>(this)->FillNow();
}

void CListContainerElementUI::DoPaint(cairo_t* cr, const CDuiRect& rcPaint) {
  FillNow();
  CContainerUI::DoPaint(cr, rcPaint);
}

void CListContainerElementUI::SetPos(const CDuiRect& rc, bool needInvalidate) {
  if (!m_pOwner || m_pOwner->GetColumnCount() == 0) {
    CContainerUI::SetPos(rc, needInvalidate);
    return;
  }
  CControlUI::SetPos(rc, needInvalidate);
  CDuiRect inner = ContentRect();
  int column = 0;
  for (auto& item : m_items) {
    if (item->IsFloat()) {
      if (item->IsVisible()) SetFloatPos(item.get());
      continue;
    }
    int left = 0, right = 0;
    bool has = m_pOwner->GetColumnSpan(column++, left, right);
    if (!item->IsVisible()) continue;
    if (!has) {
      item->SetPos({inner.right, inner.top, inner.right, inner.bottom}, false);
      continue;
    }
    // Column spans come from the header; the row's own inset still applies at its edges.
    left = std::max(left, inner.left);
    right = std::min(right, inner.right);
    const CDuiRect& pad = item->GetPadding();
    CDuiRect r{left + pad.left, inner.top + pad.top, right - pad.right, inner.bottom - pad.bottom};
    CDuiSize sz = item->EstimateSize({r.GetWidth(), r.GetHeight()});
    if (sz.cy > 0 && sz.cy < r.GetHeight()) {
      int top = r.top + (r.GetHeight() - sz.cy) / 2;
      r.top = top;
      r.bottom = top + sz.cy;
    }
    item->SetPos(r, false);
  }
}

void CListContainerElementUI::PaintBkColor(cairo_t* cr) {
  const TListInfoUI* li = Info();
  DWORD color = m_dwBackColor;
  if (li) {
    if (m_bSelected && li->dwSelectedBkColor)
      color = li->dwSelectedBkColor;
    else if (m_bHot && li->dwHotBkColor)
      color = li->dwHotBkColor;
    else if (!color)
      color = li->dwBkColor;
  }
  if (color) CRenderEngine::FillRect(cr, m_rcItem, color);
}

void CListContainerElementUI::PaintBorder(cairo_t* cr) {
  CContainerUI::PaintBorder(cr);
  const TListInfoUI* li = Info();
  if (li && li->bShowRowLine && li->dwLineColor)
    CRenderEngine::FillRect(cr, {m_rcItem.left, m_rcItem.bottom - 1, m_rcItem.right, m_rcItem.bottom},
                            li->dwLineColor);
}

bool CListContainerElementUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  bool b = false;
  if (name == L"selected") {
    if (!ParseBool(value, b)) {
      ReportBadAttribute(this, name, value);
      return false;
    }
    Select(b, false);
    return true;
  }
  return CContainerUI::SetAttribute(name, value);
}
