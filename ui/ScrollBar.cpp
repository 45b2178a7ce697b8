// Scroll bar thumb geometry, dragging and painting.
#include "ui/ScrollBar.h"

#include "ui/AttrParse.h"
#include "ui/Container.h"
#include "ui/ControlAccessible.h"
#include "ui/PaintManager.h"

CScrollBarUI::CScrollBarUI() { m_cxyFixed = {m_nThickness, m_nThickness}; }

void* CScrollBarUI::GetInterface(std::wstring_view name) {
  if (name == L"ScrollBar") return this;
  return CControlUI::GetInterface(name);
}

void CScrollBarUI::SetScrollRange(int range) {
  range = std::max(0, range);
  if (m_nRange == range) return;
  m_nRange = range;
  if (m_nScrollPos > m_nRange) m_nScrollPos = m_nRange;
  UpdateThumb();
}

void CScrollBarUI::SetScrollPos(int pos) {
  pos = std::clamp(pos, 0, m_nRange);
  if (m_nScrollPos == pos) return;
  m_nScrollPos = pos;
  UpdateThumb();
  Invalidate();
  CControlAccessible::Report(this, AccEvent::ValueChanged);
}

void CScrollBarUI::SetPos(const CDuiRect& rc, bool needInvalidate) {
  CControlUI::SetPos(rc, needInvalidate);
  UpdateThumb();
}

void CScrollBarUI::UpdateThumb() {
  const CDuiRect& r = m_rcItem;
  int track = m_bHorizontal ? r.GetWidth() : r.GetHeight();
  int page = track;
  int thumb = track;
  if (m_nRange > 0 && track > 0)
    thumb = std::max(24, static_cast<int>(int64_t(track) * page / (page + m_nRange)));
  thumb = std::min(thumb, track);
  int offset = m_nRange > 0 ? static_cast<int>(int64_t(track - thumb) * m_nScrollPos / m_nRange) : 0;
  if (m_bHorizontal)
    m_rcThumb = {r.left + offset, r.top, r.left + offset + thumb, r.bottom};
  else
    m_rcThumb = {r.left, r.top + offset, r.right, r.top + offset + thumb};
}

void CScrollBarUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEvent::ButtonDown:
    case UIEvent::DblClick: {
      int at = m_bHorizontal ? event.ptMouse.x : event.ptMouse.y;
      if (m_rcThumb.Contains(event.ptMouse)) {
        m_bDragging = true;
        m_nDragStart = at;
        m_nDragPos = m_nScrollPos;
      } else if (m_pOwner) {
        bool before = m_bHorizontal ? at < m_rcThumb.left : at < m_rcThumb.top;
        if (m_bHorizontal) {
          CDuiSize pos = m_pOwner->GetScrollPos();
          pos.cx += before ? -m_rcItem.GetWidth() : m_rcItem.GetWidth();
          m_pOwner->SetScrollPos(pos);
        } else if (before) {
          m_pOwner->PageUp();
        } else {
          m_pOwner->PageDown();
        }
      }
      return;
    }
    case UIEvent::MouseMove:
      if (m_bDragging && m_pOwner) {
        int track = m_bHorizontal ? m_rcItem.GetWidth() - m_rcThumb.GetWidth()
                                  : m_rcItem.GetHeight() - m_rcThumb.GetHeight();
        int delta = (m_bHorizontal ? event.ptMouse.x : event.ptMouse.y) - m_nDragStart;
        int pos = track > 0 ? m_nDragPos + static_cast<int>(int64_t(delta) * m_nRange / track) : 0;
        CDuiSize sp = m_pOwner->GetScrollPos();
        if (m_bHorizontal)
          sp.cx = pos;
        else
          sp.cy = pos;
        m_pOwner->SetScrollPos(sp);
      }
      return;
    case UIEvent::ButtonUp:
      m_bDragging = false;
      Invalidate();
      return;
    case UIEvent::MouseEnter:
      m_bHot = true;
      Invalidate();
      return;
    case UIEvent::MouseLeave:
      m_bHot = false;
      Invalidate();
      return;
    case UIEvent::ScrollWheel:
      if (m_pOwner) m_pOwner->DoEvent(event);
      return;
    default:
      CControlUI::DoEvent(event);
  }
}

bool CScrollBarUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  DWORD c = 0;
  int n = 0;
  bool ok = true;
  if (name == L"thumbcolor") {
    if ((ok = ParseColor(value, c))) m_dwThumbColor = c;
  } else if (name == L"thumbhotcolor") {
    if ((ok = ParseColor(value, c))) m_dwThumbHotColor = c;
  } else if (name == L"trackcolor") {
    if ((ok = ParseColor(value, c))) m_dwTrackColor = c;
  } else if (name == L"thickness") {
    if ((ok = ParseInt(value, n) && n > 0 && n < 64)) m_nThickness = n;
  } else
    return CControlUI::SetAttribute(name, value);
  if (!ok) ReportBadAttribute(this, name, value);
  return ok;
}

void CScrollBarUI::DoPaint(cairo_t* cr, const CDuiRect& rcPaint) {
  if (!rcPaint.Intersects(m_rcItem)) return;
  int r = m_nThickness;
  CRenderEngine::FillRect(cr, m_rcItem, m_dwTrackColor, r, r);
  CDuiRect thumb = m_rcThumb;
  if (m_bHorizontal) {
    thumb.top += 1;
    thumb.bottom -= 1;
  } else {
    thumb.left += 1;
    thumb.right -= 1;
  }
  CRenderEngine::FillRect(cr, thumb, (m_bHot || m_bDragging) ? m_dwThumbHotColor : m_dwThumbColor, r, r);
}
