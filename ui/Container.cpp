// CContainerUI: children, scrolling and the fill layout.
#include "ui/Container.h"

#include "ui/AttrParse.h"
#include "ui/ControlAccessible.h"
#include "ui/PaintManager.h"

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI() {
  // Children die first while this container still exists for their reaping.
  m_items.clear();
}

void* CContainerUI::GetInterface(std::wstring_view name) {
  if (name == L"Container" || name == L"IContainer") return this;
  return CControlUI::GetInterface(name);
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  ProvideItems();
  if (index < 0 || index >= GetCount()) return nullptr;
  return m_items[static_cast<size_t>(index)].get();
}

int CContainerUI::GetItemIndex(const CControlUI* control) const {
  for (size_t i = 0; i < m_items.size(); ++i)
    if (m_items[i].get() == control) return static_cast<int>(i);
  return -1;
}

bool CContainerUI::SetItemIndex(CControlUI* control, int index) {
  int from = GetItemIndex(control);
  if (from < 0 || index < 0 || index >= GetCount()) return false;
  auto owned = std::move(m_items[static_cast<size_t>(from)]);
  m_items.erase(m_items.begin() + from);
  m_items.insert(m_items.begin() + index, std::move(owned));
  NeedUpdate();
  return true;
}

bool CContainerUI::Add(CControlUI* control) { return AddAt(control, GetCount()); }

bool CContainerUI::AddAt(CControlUI* control, int index) {
  if (!control || index < 0 || index > GetCount()) return false;
  m_items.insert(m_items.begin() + index, std::unique_ptr<CControlUI>(control));
  control->SetManager(m_pManager, this, true);
  if (!IsVisible()) control->SetInternVisible(false);
  NeedUpdate();
  CControlAccessible::ReportChildren(this);
  return true;
}

std::unique_ptr<CControlUI> CContainerUI::Detach(CControlUI* control) {
  int index = GetItemIndex(control);
  if (index < 0) return nullptr;
  auto owned = std::move(m_items[static_cast<size_t>(index)]);
  m_items.erase(m_items.begin() + index);
  if (m_pManager) m_pManager->ReapObjects(owned.get());
  owned->SetManager(nullptr, nullptr, false);
  NeedUpdate();
  CControlAccessible::ReportChildren(this);
  return owned;
}

bool CContainerUI::Remove(CControlUI* control) {
  int index = GetItemIndex(control);
  if (index < 0) return false;
  return RemoveAt(index);
}

bool CContainerUI::RemoveAt(int index) {
  if (index < 0 || index >= GetCount()) return false;
  auto owned = std::move(m_items[static_cast<size_t>(index)]);
  m_items.erase(m_items.begin() + index);
  if (m_pManager) {
    m_pManager->ReapObjects(owned.get());
    m_pManager->AddDelayedCleanup(std::move(owned));
  }
  NeedUpdate();
  CControlAccessible::ReportChildren(this);
  return true;
}

void CContainerUI::RemoveAll() {
  while (!m_items.empty()) RemoveAt(GetCount() - 1);
  if (m_pVerticalScrollBar) m_pVerticalScrollBar->SetScrollPos(0);
  if (m_pHorizontalScrollBar) m_pHorizontalScrollBar->SetScrollPos(0);
}

void CContainerUI::SetVisible(bool visible) {
  if (m_bVisible == visible) return;
  CControlUI::SetVisible(visible);
  for (auto& item : m_items) item->SetInternVisible(IsVisible());
}

void CContainerUI::SetInternVisible(bool visible) {
  CControlUI::SetInternVisible(visible);
  for (auto& item : m_items) item->SetInternVisible(IsVisible());
}

void CContainerUI::SetEnabled(bool enabled) { CControlUI::SetEnabled(enabled); }

void CContainerUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
  CControlUI::SetManager(manager, parent, init);
  for (auto& item : m_items) item->SetManager(manager, this, init);
  if (m_pVerticalScrollBar) m_pVerticalScrollBar->SetManager(manager, this, init);
  if (m_pHorizontalScrollBar) m_pHorizontalScrollBar->SetManager(manager, this, init);
}

CControlUI* CContainerUI::FindControl(const FindPredicate& pred, UINT flags) {
  if ((flags & UIFIND_VISIBLE) && !IsVisible()) return nullptr;
  if ((flags & UIFIND_ENABLED) && !IsEnabled()) return nullptr;
  bool hitTest = (flags & UIFIND_HITTEST) != 0;
  if (hitTest && !m_bMouseEnabled && !m_bMouseChildEnabled) return nullptr;
  // Children are painted inside this control only, so a point outside it reaches none.
  if (hitTest && !pred(this)) return nullptr;
  // Scroll bars take the mouse before the content under them.
  for (auto* bar : {m_pVerticalScrollBar.get(), m_pHorizontalScrollBar.get()}) {
    if (bar && bar->IsVisible()) {
      if (CControlUI* found = bar->FindControl(pred, flags)) return found;
    }
  }
  if (!hitTest || m_bMouseChildEnabled) {
    if (!(flags & UIFIND_PRESENT)) ProvideItems();
    if (flags & UIFIND_TOP_FIRST) {
      for (auto it = m_items.rbegin(); it != m_items.rend(); ++it)
        if (CControlUI* found = (*it)->FindControl(pred, flags)) return found;
    } else {
      for (auto& item : m_items)
        if (CControlUI* found = item->FindControl(pred, flags)) return found;
    }
  }
  if (hitTest && !m_bMouseEnabled) return nullptr;
  return pred(this) ? this : nullptr;
}

CDuiRect CContainerUI::ChildClipRect(const CControlUI* child) const {
  // As DoPaint clips: floats and scroll bars to the whole box, laid-out children to the
  // content area, so a row scrolled under the inset or a scroll bar is not there either.
  if (child->IsFloat() || child == m_pVerticalScrollBar.get() || child == m_pHorizontalScrollBar.get())
    return m_rcItem;
  return ContentRect();
}

CControlUI* CContainerUI::FindSubControl(const std::wstring& name) {
  return FindControl([&name](CControlUI* c) { return c->GetName() == name; }, UIFIND_ALL);
}

void CContainerUI::ShiftPos(int dx, int dy) {
  CControlUI::ShiftPos(dx, dy);
  for (auto& item : m_items) item->ShiftPos(dx, dy);
  if (m_pVerticalScrollBar) m_pVerticalScrollBar->ShiftPos(dx, dy);
  if (m_pHorizontalScrollBar) m_pHorizontalScrollBar->ShiftPos(dx, dy);
}

CDuiRect CContainerUI::ContentRect() const {
  CDuiRect rc = m_rcItem;
  rc.Deflate(m_rcInset);
  if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible())
    rc.right -= m_pVerticalScrollBar->GetThickness();
  if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible())
    rc.bottom -= m_pHorizontalScrollBar->GetThickness();
  return rc;
}

void CContainerUI::SetFloatPos(CControlUI* child) {
  const CDuiRect& xy = child->GetFloatPos();
  CDuiRect rc{m_rcItem.left + xy.left, m_rcItem.top + xy.top, m_rcItem.left + xy.right,
              m_rcItem.top + xy.bottom};
  CDuiSize sz = child->EstimateSize({m_rcItem.GetWidth(), m_rcItem.GetHeight()});
  if (sz.cx > 0) rc.right = rc.left + sz.cx;
  if (sz.cy > 0) rc.bottom = rc.top + sz.cy;
  child->SetPos(rc, false);
}

void CContainerUI::SetPos(const CDuiRect& rc, bool needInvalidate) {
  CControlUI::SetPos(rc, needInvalidate);
  if (m_items.empty()) {
    ProcessScrollBar(ContentRect(), 0, 0);
    return;
  }
  CDuiRect inner = ContentRect();
  for (auto& item : m_items) {
    if (!item->IsVisible()) continue;
    if (item->IsFloat()) {
      SetFloatPos(item.get());
      continue;
    }
    const CDuiRect& pad = item->GetPadding();
    CDuiRect r{inner.left + pad.left, inner.top + pad.top, inner.right - pad.right,
               inner.bottom - pad.bottom};
    CDuiSize sz = item->EstimateSize({r.GetWidth(), r.GetHeight()});
    if (sz.cx > 0) r.right = r.left + sz.cx;
    if (sz.cy > 0) r.bottom = r.top + sz.cy;
    item->SetPos(r, false);
  }
  ProcessScrollBar(inner, 0, 0);
}

void CContainerUI::DoPaint(cairo_t* cr, const CDuiRect& rcPaint) {
  CDuiRect clip = rcPaint.Intersect(m_rcItem);
  if (clip.IsEmpty()) return;
  CControlUI::DoPaint(cr, clip);
  if (m_items.empty() && !m_pVerticalScrollBar && !m_pHorizontalScrollBar) return;
  cairo_save(cr);
  bool round = m_cxyBorderRound.cx > 0 || m_cxyBorderRound.cy > 0;
  if (round) {
    CRenderEngine::RoundRectPath(cr, m_rcItem.left, m_rcItem.top, m_rcItem.GetWidth(), m_rcItem.GetHeight(),
                                 m_cxyBorderRound.cx / 2.0, m_cxyBorderRound.cy / 2.0);
    cairo_clip(cr);
  }
  CDuiRect inner = ContentRect();
  CDuiRect childClip = clip.Intersect(inner);
  cairo_rectangle(cr, clip.left, clip.top, clip.GetWidth(), clip.GetHeight());
  cairo_clip(cr);
  for (auto& item : m_items) {
    if (!item->IsVisible()) continue;
    const CDuiRect& pos = item->GetPos();
    if (item->IsFloat()) {
      if (pos.Intersects(clip)) item->DoPaint(cr, clip);
      continue;
    }
    if (!pos.Intersects(childClip)) continue;
    cairo_save(cr);
    cairo_rectangle(cr, childClip.left, childClip.top, childClip.GetWidth(), childClip.GetHeight());
    cairo_clip(cr);
    item->DoPaint(cr, childClip);
    cairo_restore(cr);
  }
  for (auto* bar : {m_pVerticalScrollBar.get(), m_pHorizontalScrollBar.get()})
    if (bar && bar->IsVisible()) bar->DoPaint(cr, clip);
  cairo_restore(cr);
  if (m_nBorderSize > 0 || m_rcBorderSize.left || m_rcBorderSize.top) PaintBorder(cr);
}

void CContainerUI::DoEvent(TEventUI& event) {
  if (event.Type == UIEvent::ScrollWheel && m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible() &&
      m_pVerticalScrollBar->IsEnabled()) {
    if (event.lParam > 0)
      LineUp();
    else
      LineDown();
    return;
  }
  if (event.Type == UIEvent::ScrollWheel && m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible()) {
    if (event.lParam > 0)
      LineLeft();
    else
      LineRight();
    return;
  }
  CControlUI::DoEvent(event);
}

bool CContainerUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  bool ok = true;
  bool b = false;
  int n = 0;
  CDuiRect rc;
  if (name == L"inset") {
    if ((ok = ParseRect(value, rc))) SetInset(rc);
  } else if (name == L"childpadding") {
    if ((ok = ParseInt(value, n))) SetChildPadding(n);
  } else if (name == L"mousechild") {
    if ((ok = ParseBool(value, b))) SetMouseChildEnabled(b);
  } else if (name == L"vscrollbar") {
    if ((ok = ParseBool(value, b))) EnableScrollBar(b, m_pHorizontalScrollBar != nullptr);
  } else if (name == L"hscrollbar") {
    if ((ok = ParseBool(value, b))) EnableScrollBar(m_pVerticalScrollBar != nullptr, b);
  } else if (name == L"scrollstepsize") {
    if ((ok = ParseInt(value, n) && n >= 0)) SetScrollStepSize(n);
  } else if (name == L"vscrollbarstyle") {
    if (!m_pVerticalScrollBar) EnableScrollBar(true, m_pHorizontalScrollBar != nullptr);
    return m_pVerticalScrollBar->ApplyAttributeList(value);
  } else if (name == L"hscrollbarstyle") {
    if (!m_pHorizontalScrollBar) EnableScrollBar(m_pVerticalScrollBar != nullptr, true);
    return m_pHorizontalScrollBar->ApplyAttributeList(value);
  } else
    return CControlUI::SetAttribute(name, value);
  if (!ok) ReportBadAttribute(this, name, value);
  return ok;
}

CDuiSize CContainerUI::GetScrollPos() const {
  return {m_pHorizontalScrollBar ? m_pHorizontalScrollBar->GetScrollPos() : 0,
          m_pVerticalScrollBar ? m_pVerticalScrollBar->GetScrollPos() : 0};
}

CDuiSize CContainerUI::GetScrollRange() const {
  return {m_pHorizontalScrollBar ? m_pHorizontalScrollBar->GetScrollRange() : 0,
          m_pVerticalScrollBar ? m_pVerticalScrollBar->GetScrollRange() : 0};
}

void CContainerUI::SetScrollPos(CDuiSize pos) {
  CDuiSize old = GetScrollPos();
  if (m_pVerticalScrollBar) m_pVerticalScrollBar->SetScrollPos(pos.cy);
  if (m_pHorizontalScrollBar) m_pHorizontalScrollBar->SetScrollPos(pos.cx);
  CDuiSize now = GetScrollPos();
  int dx = now.cx - old.cx;
  int dy = now.cy - old.cy;
  if (dx == 0 && dy == 0) return;
  // Moving the children is enough; no new layout is needed for a scroll step.
  for (auto& item : m_items) {
    if (item->IsVisible() && !item->IsFloat()) item->ShiftPos(-dx, -dy);
  }
  Invalidate();
  if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_SCROLL, 0, 0, true);
}

namespace {
int StepOf(int step, int fallback) { return step > 0 ? step : fallback; }
}  // namespace

void CContainerUI::LineUp() {
  CDuiSize p = GetScrollPos();
  p.cy -= StepOf(m_nScrollStepSize, 40);
  SetScrollPos(p);
}
void CContainerUI::LineDown() {
  CDuiSize p = GetScrollPos();
  p.cy += StepOf(m_nScrollStepSize, 40);
  SetScrollPos(p);
}
void CContainerUI::PageUp() {
  CDuiSize p = GetScrollPos();
  p.cy -= std::max(1, ContentRect().GetHeight());
  SetScrollPos(p);
}
void CContainerUI::PageDown() {
  CDuiSize p = GetScrollPos();
  p.cy += std::max(1, ContentRect().GetHeight());
  SetScrollPos(p);
}
void CContainerUI::HomeUp() { SetScrollPos({GetScrollPos().cx, 0}); }
void CContainerUI::EndDown() { SetScrollPos({GetScrollPos().cx, GetScrollRange().cy}); }
void CContainerUI::LineLeft() {
  CDuiSize p = GetScrollPos();
  p.cx -= StepOf(m_nScrollStepSize, 40);
  SetScrollPos(p);
}
void CContainerUI::LineRight() {
  CDuiSize p = GetScrollPos();
  p.cx += StepOf(m_nScrollStepSize, 40);
  SetScrollPos(p);
}

void CContainerUI::EnableScrollBar(bool vertical, bool horizontal) {
  if (vertical && !m_pVerticalScrollBar) {
    m_pVerticalScrollBar = std::make_unique<CScrollBarUI>();
    m_pVerticalScrollBar->SetOwner(this);
    m_pVerticalScrollBar->SetManager(m_pManager, this, false);
    m_pVerticalScrollBar->SetVisible(false);
  } else if (!vertical && m_pVerticalScrollBar) {
    if (m_pManager) m_pManager->ReapObjects(m_pVerticalScrollBar.get());
    m_pVerticalScrollBar.reset();
  }
  if (horizontal && !m_pHorizontalScrollBar) {
    m_pHorizontalScrollBar = std::make_unique<CScrollBarUI>();
    m_pHorizontalScrollBar->SetOwner(this);
    m_pHorizontalScrollBar->SetHorizontal(true);
    m_pHorizontalScrollBar->SetManager(m_pManager, this, false);
    m_pHorizontalScrollBar->SetVisible(false);
  } else if (!horizontal && m_pHorizontalScrollBar) {
    if (m_pManager) m_pManager->ReapObjects(m_pHorizontalScrollBar.get());
    m_pHorizontalScrollBar.reset();
  }
  NeedUpdate();
}

void CContainerUI::ProcessScrollBar(CDuiRect rc, int cxRequired, int cyRequired) {
  bool relayout = false;
  if (m_pVerticalScrollBar) {
    bool need = cyRequired > rc.GetHeight();
    if (need != m_pVerticalScrollBar->IsVisible()) {
      m_pVerticalScrollBar->SetVisible(need);
      relayout = true;
    }
    m_pVerticalScrollBar->SetScrollRange(need ? cyRequired - rc.GetHeight() : 0);
    int t = m_pVerticalScrollBar->GetThickness();
    m_pVerticalScrollBar->SetPos({rc.right, rc.top, rc.right + t, rc.bottom}, false);
    m_pVerticalScrollBar->SetLineSize(StepOf(m_nScrollStepSize, 40));
  }
  if (m_pHorizontalScrollBar) {
    bool need = cxRequired > rc.GetWidth();
    if (need != m_pHorizontalScrollBar->IsVisible()) {
      m_pHorizontalScrollBar->SetVisible(need);
      relayout = true;
    }
    m_pHorizontalScrollBar->SetScrollRange(need ? cxRequired - rc.GetWidth() : 0);
    int t = m_pHorizontalScrollBar->GetThickness();
    m_pHorizontalScrollBar->SetPos({rc.left, rc.bottom, rc.right, rc.bottom + t}, false);
  }
  // A bar that appeared or went away changes the room for the content: lay out again
  // once (the second pass sees the same need, so it cannot loop).
  if (relayout) SetPos(m_rcItem, false);
}

void CContainerUI::EnsureVisible(CControlUI* child) {
  if (!m_pVerticalScrollBar || !child) return;
  CDuiRect inner = ContentRect();
  const CDuiRect& r = child->GetPos();
  CDuiSize p = GetScrollPos();
  if (r.top < inner.top)
    p.cy -= inner.top - r.top;
  else if (r.bottom > inner.bottom)
    p.cy += r.bottom - inner.bottom;
  SetScrollPos(p);
}
