// CControlUI: common attributes, size rules, painting layers and default event handling.
#include "ui/Control.h"

#include "app/Log.h"
#include "ui/AttrParse.h"
#include "ui/ControlAccessible.h"
#include "ui/PaintManager.h"

namespace {
CControlUI::BadAttributeSink& Sink() {
  static CControlUI::BadAttributeSink sink;
  return sink;
}
std::wstring& Context() {
  static std::wstring where;
  return where;
}
}  // namespace

CControlUI::CControlUI() = default;

void CControlUI::SetReportContext(const std::wstring& where) { Context() = where; }

CControlUI::~CControlUI() {
  if (m_pManager) m_pManager->ReapObjects(this);
}

AccessibleNode* CControlUI::GetAccessible() {
  if (!m_accessible) m_accessible = std::make_unique<CControlAccessible>(this);
  return m_accessible.get();
}

AccessibleNode* CControlUI::PeekAccessible() const { return m_accessible.get(); }

void* CControlUI::GetInterface(std::wstring_view name) {
  if (name == L"Control") return this;
  return nullptr;
}

void CControlUI::SetName(const std::wstring& name) {
  if (name == m_sName) return;
  std::wstring old = m_sName;
  m_sName = name;
  if (m_pManager) {
    m_pManager->UnregisterName(this, old);
    m_pManager->RegisterName(this);
  }
}

void CControlUI::SetText(const std::wstring& text) {
  if (text == m_sText) return;
  m_sText = text;
  Invalidate();
  CControlAccessible::Report(this, AccEvent::NameChanged);
  CControlAccessible::Report(this, AccEvent::TextChanged);
}

void CControlUI::SetVisible(bool visible) {
  if (m_bVisible == visible) return;
  bool was = IsVisible();
  m_bVisible = visible;
  if (m_bFocused && !visible && m_pManager) m_pManager->SetFocus(nullptr);
  if (IsVisible() != was) {
    NeedParentUpdate();
    CControlAccessible::Report(this, AccEvent::StateChanged);
    CControlAccessible::ReportChildren(m_pParent);
  }
}

void CControlUI::SetInternVisible(bool visible) {
  m_bInternVisible = visible;
  if (!visible && m_bFocused && m_pManager) m_pManager->SetFocus(nullptr);
}

void CControlUI::SetEnabled(bool enabled) {
  if (m_bEnabled == enabled) return;
  m_bEnabled = enabled;
  if (!enabled && m_bFocused && m_pManager) m_pManager->SetFocus(nullptr);
  Invalidate();
  CControlAccessible::Report(this, AccEvent::StateChanged);
}

void CControlUI::SetFocus() {
  if (m_pManager) m_pManager->SetFocus(this);
}

void CControlUI::SetFixedWidth(int cx) {
  if (cx < 0) return;
  m_cxyFixed.cx = cx;
  NeedParentUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
  if (cy < 0) return;
  m_cxyFixed.cy = cy;
  NeedParentUpdate();
}

void CControlUI::SetPos(const CDuiRect& rc, bool needInvalidate) {
  CDuiRect r = rc;
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  CDuiRect old = m_rcItem;
  m_rcItem = r;
  m_bUpdateNeeded = false;
  if (needInvalidate && m_pManager && !(old == r)) {
    m_pManager->Invalidate(old.Union(r));
  }
}

CDuiSize CControlUI::EstimateSize(CDuiSize) { return m_cxyFixed; }

void CControlUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
  if (m_pManager && m_pManager != manager) {
    m_pManager->ReapObjects(this);
  }
  m_pManager = manager;
  m_pParent = parent;
  if (manager && init) {
    manager->RegisterName(this);
    if (!m_bInited) {
      m_bInited = true;
      DoInit();
    }
  }
}

CControlUI* CControlUI::FindControl(const FindPredicate& pred, UINT flags) {
  if ((flags & UIFIND_VISIBLE) && !IsVisible()) return nullptr;
  if ((flags & UIFIND_ENABLED) && !IsEnabled()) return nullptr;
  if ((flags & UIFIND_HITTEST) && !m_bMouseEnabled) return nullptr;
  return pred(this) ? this : nullptr;
}

CControlUI* CControlUI::FindControlAt(CDuiPoint pt, UINT flags) {
  return FindControl([pt](CControlUI* c) { return c->GetVisibleRect().Contains(pt); }, flags | UIFIND_HITTEST);
}

CDuiRect CControlUI::GetVisibleRect() const {
  CDuiRect r = m_rcItem;
  const CControlUI* child = this;
  for (const CControlUI* p = m_pParent; p && !r.IsEmpty(); child = p, p = p->GetParent())
    r = r.Intersect(p->ChildClipRect(child));
  return r;
}

CDuiRect CControlUI::ChildClipRect(const CControlUI*) const { return m_rcItem; }

void CControlUI::Invalidate() {
  if (!IsVisible() || !m_pManager) return;
  CDuiRect rc = m_rcItem;
  for (CControlUI* p = m_pParent; p; p = p->GetParent()) {
    rc = rc.Intersect(p->GetPos());
    if (rc.IsEmpty()) return;
  }
  m_pManager->Invalidate(rc);
}

void CControlUI::NeedUpdate() {
  if (!IsVisible()) return;
  m_bUpdateNeeded = true;
  Invalidate();
  if (m_pManager) m_pManager->NeedUpdate();
}

void CControlUI::NeedParentUpdate() {
  if (m_pParent)
    m_pParent->NeedUpdate();
  else
    NeedUpdate();
  if (m_pManager) m_pManager->NeedUpdate();
}

void CControlUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UIEvent::SetCursor:
      if (m_pManager && m_pManager->GetHostWindow()) {
        m_pManager->GetHostWindow()->SetCursor(static_cast<HostCursor>(m_cursor));
      }
      return;
    case UIEvent::SetFocus:
      m_bFocused = true;
      Invalidate();
      return;
    case UIEvent::KillFocus:
      m_bFocused = false;
      Invalidate();
      return;
    case UIEvent::Timer:
      if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_TIMER, event.wParam, event.lParam);
      return;
    case UIEvent::ContextMenu:
      if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_MENU, event.wParam, event.lParam);
      return;
    default:
      break;
  }
  // Everything else belongs to the parent (a label in a list row lets the row see clicks).
  if (m_pParent) m_pParent->DoEvent(event);
}

bool CControlUI::Activate() { return IsVisible() && IsEnabled(); }

bool CControlUI::SetAttribute(std::wstring_view name, std::wstring_view value) {
  bool ok = true;
  bool b = false;
  int n = 0;
  CDuiRect rc;
  CDuiSize sz;
  DWORD color = 0;
  std::wstring v(value);
  if (name == L"name")
    SetName(v);
  else if (name == L"text")
    SetText(v);
  else if (name == L"tooltip")
    SetToolTip(v);
  else if (name == L"accrole") {
    m_accRole = ParseAccRole(value);
    m_bAccRole = true;
    ok = m_accRole != AccRole::Unknown || value == L"none";
  }
  else if (name == L"acclabel")
    m_accLabel = v;
  else if (name == L"userdata")
    SetUserData(v);
  else if (name == L"visible") {
    if ((ok = ParseBool(value, b))) SetVisible(b);
  } else if (name == L"enabled") {
    if ((ok = ParseBool(value, b))) SetEnabled(b);
  } else if (name == L"mouse") {
    if ((ok = ParseBool(value, b))) m_bMouseEnabled = b;
  } else if (name == L"keyboard") {
    if ((ok = ParseBool(value, b))) m_bKeyboardEnabled = b;
  } else if (name == L"float") {
    if ((ok = ParseBool(value, b))) SetFloat(b);
  } else if (name == L"pos") {
    if ((ok = ParseRect(value, rc))) {
      m_rcXY = rc;
      if (m_cxyFixed.cx == 0 && rc.right > rc.left) m_cxyFixed.cx = rc.right - rc.left;
      if (m_cxyFixed.cy == 0 && rc.bottom > rc.top) m_cxyFixed.cy = rc.bottom - rc.top;
      NeedParentUpdate();
    }
  } else if (name == L"padding") {
    if ((ok = ParseRect(value, rc))) SetPadding(rc);
  } else if (name == L"width") {
    if ((ok = ParseInt(value, n) && n >= 0)) SetFixedWidth(n);
  } else if (name == L"height") {
    if ((ok = ParseInt(value, n) && n >= 0)) SetFixedHeight(n);
  } else if (name == L"minwidth") {
    if ((ok = ParseInt(value, n) && n >= 0)) SetMinWidth(n);
  } else if (name == L"minheight") {
    if ((ok = ParseInt(value, n) && n >= 0)) SetMinHeight(n);
  } else if (name == L"maxwidth") {
    if ((ok = ParseInt(value, n) && n >= 0)) SetMaxWidth(n);
  } else if (name == L"maxheight") {
    if ((ok = ParseInt(value, n) && n >= 0)) SetMaxHeight(n);
  } else if (name == L"bkcolor" || name == L"bkcolor1") {
    if ((ok = ParseColor(value, color))) SetBkColor(color);
  } else if (name == L"bkcolor2") {
    if ((ok = ParseColor(value, color))) {
      m_dwBackColor2 = color;
      Invalidate();
    }
  } else if (name == L"bordercolor") {
    if ((ok = ParseColor(value, color))) SetBorderColor(color);
  } else if (name == L"focusbordercolor") {
    if ((ok = ParseColor(value, color))) m_dwFocusBorderColor = color;
  } else if (name == L"bordersize") {
    if (value.find(L',') != std::wstring_view::npos) {
      if ((ok = ParseRect(value, rc))) m_rcBorderSize = rc;
    } else if ((ok = ParseInt(value, n) && n >= 0)) {
      SetBorderSize(n);
    }
  } else if (name == L"borderround") {
    if ((ok = ParseSize(value, sz))) SetBorderRound(sz);
  } else if (name == L"bkimage") {
    TImageAttr img;
    if ((ok = ParseImage(value, img))) SetBkImage(v);
  } else if (name == L"cursor") {
    if (value == L"hand")
      m_cursor = UICursor::Hand;
    else if (value == L"arrow")
      m_cursor = UICursor::Arrow;
    else if (value == L"ibeam")
      m_cursor = UICursor::IBeam;
    else
      ok = false;
  } else if (name == L"style" || name == L"class") {
    const std::wstring* list = m_pManager ? m_pManager->GetStyle(v) : nullptr;
    if ((ok = list != nullptr)) ApplyAttributeList(*list);
  } else if (name == L"virtualwnd" || name == L"menu" || name == L"tag") {
  } else {
    ReportBadAttribute(this, name, value);
    return false;
  }
  if (!ok) ReportBadAttribute(this, name, value);
  return ok;
}

bool CControlUI::ApplyAttributeList(std::wstring_view list) {
  std::vector<std::pair<std::wstring, std::wstring>> attrs;
  if (!ParseAttributeList(list, attrs)) {
    ReportBadAttribute(this, L"(attribute list)", list);
  }
  bool all = true;
  for (auto& [n, v] : attrs) all = SetAttribute(n, v) && all;
  return all;
}

void CControlUI::ReportBadAttribute(const CControlUI* control, std::wstring_view name,
                                    std::wstring_view value) {
  std::wstring text = L"skin: " + (Context().empty() ? std::wstring() : Context() + L": ") +
                      (control ? control->GetClass() : std::wstring(L"?")) + L" ignores " +
                      std::wstring(name) + L"=\"" + std::wstring(value) + L"\"";
  ReportProblem(text);
}

void CControlUI::ReportProblem(const std::wstring& text) {
  if (Sink())
    Sink()(text);
  else
    LogError(text);
}

void CControlUI::SetBadAttributeSink(BadAttributeSink sink) { Sink() = std::move(sink); }

const TFontInfo* CControlUI::FontOf(int index) const {
  return m_pManager ? m_pManager->GetFont(index) : nullptr;
}

bool CControlUI::DrawImage(cairo_t* cr, const std::wstring& image) {
  return CRenderEngine::DrawImageString(cr, m_rcItem, image);
}

void CControlUI::DoPaint(cairo_t* cr, const CDuiRect& rcPaint) {
  if (!rcPaint.Intersects(m_rcItem)) return;
  bool round = m_cxyBorderRound.cx > 0 || m_cxyBorderRound.cy > 0;
  if (round) {
    cairo_save(cr);
    CRenderEngine::RoundRectPath(cr, m_rcItem.left, m_rcItem.top, m_rcItem.GetWidth(), m_rcItem.GetHeight(),
                                 m_cxyBorderRound.cx / 2.0, m_cxyBorderRound.cy / 2.0);
    cairo_clip(cr);
  }
  PaintBkColor(cr);
  PaintBkImage(cr);
  PaintStatusImage(cr);
  PaintText(cr);
  if (round) cairo_restore(cr);
  PaintBorder(cr);
}

void CControlUI::PaintBkColor(cairo_t* cr) {
  if (m_dwBackColor2 != 0 && m_dwBackColor != 0) {
    CRenderEngine::FillGradient(cr, m_rcItem, m_dwBackColor, m_dwBackColor2, true);
  } else if (m_dwBackColor != 0) {
    CRenderEngine::FillRect(cr, m_rcItem, m_dwBackColor);
  }
}

void CControlUI::PaintBkImage(cairo_t* cr) { DrawImage(cr, m_sBkImage); }
void CControlUI::PaintStatusImage(cairo_t*) {}
void CControlUI::PaintText(cairo_t*) {}

void CControlUI::PaintBorder(cairo_t* cr) {
  DWORD color = (m_bFocused && m_dwFocusBorderColor) ? m_dwFocusBorderColor : m_dwBorderColor;
  if (color == 0) return;
  const CDuiRect& b = m_rcBorderSize;
  if (b.left || b.top || b.right || b.bottom) {
    const CDuiRect& r = m_rcItem;
    if (b.left) CRenderEngine::FillRect(cr, {r.left, r.top, r.left + b.left, r.bottom}, color);
    if (b.top) CRenderEngine::FillRect(cr, {r.left, r.top, r.right, r.top + b.top}, color);
    if (b.right) CRenderEngine::FillRect(cr, {r.right - b.right, r.top, r.right, r.bottom}, color);
    if (b.bottom) CRenderEngine::FillRect(cr, {r.left, r.bottom - b.bottom, r.right, r.bottom}, color);
    return;
  }
  CRenderEngine::DrawBorder(cr, m_rcItem, m_nBorderSize, color, m_cxyBorderRound.cx, m_cxyBorderRound.cy);
}
