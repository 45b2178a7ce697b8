// CPaintManagerUI: layout, painting and input routing of one window.
#include "ui/PaintManager.h"

#include <algorithm>
#include <utility>

#include "app/Log.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "ui/AttrParse.h"
#include "ui/Container.h"
#include "ui/Control.h"
#include "ui/ControlAccessible.h"
#include "ui/NativeView.h"
#include "ui/ResourceStore.h"
#include "ui/UIText.h"

namespace {
std::wstring& DefaultFontName() {
  static std::wstring name = L"微软雅黑";
  return name;
}
}  // namespace

bool CPaintManagerUI::SetResourceZip(const void* data, size_t size) {
  return CResourceStore::Get().SetZip(data, size);
}

void CPaintManagerUI::SetResourcePath(const std::wstring& folder) {
  CResourceStore::Get().SetFolder(ToUtf8(folder));
}

int CPaintManagerUI::MessageLoop() { return RunMessageLoop(); }

void CPaintManagerUI::SetDefaultFontName(const std::wstring& name) { DefaultFontName() = name; }

CPaintManagerUI::CPaintManagerUI() { m_defaultFont = MakeFont(DefaultFontName(), 12, false, false, false); }

CPaintManagerUI::~CPaintManagerUI() {
  for (auto& t : m_timers) ::KillTimer(m_hWnd, t.windowId);
  m_timers.clear();
  m_notifiers.clear();
  m_delayedCleanup.clear();
  // The tree goes while this manager still answers the controls' reaping calls.
  m_root.reset();
}

void CPaintManagerUI::Init(HWND hwnd, HostWindow* host) {
  m_hWnd = hwnd;
  m_host = host;
}

void CPaintManagerUI::DetachHost() {
  auto views = m_nativeViews;
  for (CControlUI* c : views)
    if (auto* view = dynamic_cast<CNativeViewUI*>(c)) view->SetNativeWidget(nullptr);
  m_nativeViews.clear();
  m_host = nullptr;
}

bool CPaintManagerUI::AttachDialog(std::unique_ptr<CControlUI> root) {
  if (!root) return false;
  if (m_root) AddDelayedCleanup(std::move(m_root));
  m_pFocus = m_pEventHover = m_pEventCapture = nullptr;
  m_root = std::move(root);
  m_root->SetManager(this, nullptr, true);
  NeedUpdate();
  return true;
}

CControlUI* CPaintManagerUI::FindControl(const std::wstring& name) const {
  auto it = m_names.find(name);
  // The first registered control of that name wins, as skins are read top to bottom.
  return it != m_names.end() && !it->second.empty() ? it->second.front() : nullptr;
}

CControlUI* CPaintManagerUI::FindControl(CDuiPoint pt) const { return ControlAt(pt, UIFIND_ENABLED); }

CControlUI* CPaintManagerUI::ControlAt(CDuiPoint pt, UINT flags) const {
  flags |= UIFIND_VISIBLE | UIFIND_TOP_FIRST;
  if (m_pPopup && m_pPopup->IsVisible()) {
    if (CControlUI* c = m_pPopup->FindControlAt(pt, flags)) return c;
  }
  if (!m_root) return nullptr;
  return m_root->FindControlAt(pt, flags);
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent, const std::wstring& name) const {
  if (!parent) return nullptr;
  return parent->FindControl([&name](CControlUI* c) { return c->GetName() == name; }, UIFIND_ALL);
}

void CPaintManagerUI::RegisterName(CControlUI* control) {
  const std::wstring& name = control->GetName();
  if (name.empty()) return;
  // The reverse index keeps registering and forgetting constant-time per control, so lists
  // of thousands of rows with the same cell names build and close in linear time.
  auto [known, added] = m_nameOf.try_emplace(control, name);
  if (!added) {
    if (known->second == name) return;
    const std::wstring old = known->second;
    m_nameOf.erase(known);
    UnregisterName(control, old);
    m_nameOf.emplace(control, name);
  }
  m_names[name].push_back(control);
}

void CPaintManagerUI::UnregisterName(CControlUI* control, const std::wstring& name) {
  // Every registered control is in the reverse index; one not there (or there under
  // another name) has nothing to forget here.
  auto known = m_nameOf.find(control);
  if (known == m_nameOf.end() || known->second != name) return;
  m_nameOf.erase(known);
  auto it = m_names.find(name);
  if (it == m_names.end()) return;
  auto& list = it->second;
  // Controls usually leave in the order they came, so the search ends at the front.
  auto found = std::find(list.begin(), list.end(), control);
  if (found != list.end()) list.erase(found);
  if (list.empty()) m_names.erase(it);
}

void CPaintManagerUI::ReapObjects(CControlUI* control) {
  auto forget = [this](CControlUI* c) {
    if (m_pFocus == c) m_pFocus = nullptr;
    if (m_pFocusKept == c) m_pFocusKept = nullptr;
    if (m_pEventHover == c) m_pEventHover = nullptr;
    if (m_pTipFrom == c) m_pTipFrom = nullptr;
    if (m_pEventCapture == c) m_pEventCapture = nullptr;
    if (m_pPopup == c) m_pPopup = nullptr;
    if (m_pPopupAnchor == c) m_pPopupAnchor = nullptr;
    if (m_pTipSuppressed == c) m_pTipSuppressed = nullptr;
    if (m_pTipOwner == c) HideToolTip();
    if (!c->GetName().empty()) UnregisterName(c, c->GetName());
    for (auto& [group, list] : m_optionGroups)
      list.erase(std::remove(list.begin(), list.end(), c), list.end());
    m_nativeViews.erase(c);
    KillTimers(c);
  };
  control->FindControl(
      [&](CControlUI* c) {
        forget(c);
        return false;
      },
      UIFIND_PRESENT);
  forget(control);
  m_notifiers.erase(std::remove(m_notifiers.begin(), m_notifiers.end(), dynamic_cast<INotifyUI*>(control)),
                    m_notifiers.end());
}

void CPaintManagerUI::AddDelayedCleanup(std::unique_ptr<CControlUI> control) {
  if (m_dispatchDepth == 0) return;  // not inside an event: `control` dies right here
  m_delayedCleanup.push_back(std::move(control));
}

void CPaintManagerUI::SetClientSize(int width, int height) {
  if (m_szClient.cx == width && m_szClient.cy == height) return;
  m_szClient = {width, height};
  NeedUpdate();
}

void CPaintManagerUI::NeedUpdate() {
  m_bUpdateNeeded = true;
  Invalidate();
}

void CPaintManagerUI::Invalidate() { Invalidate({0, 0, m_szClient.cx, m_szClient.cy}); }

void CPaintManagerUI::Invalidate(const CDuiRect& rc) {
  if (m_host && !rc.IsEmpty()) m_host->Invalidate({rc.left, rc.top, rc.GetWidth(), rc.GetHeight()});
}

void CPaintManagerUI::DoLayout() {
  if (!m_bUpdateNeeded || !m_root) return;
  m_bUpdateNeeded = false;
  m_root->SetPos({0, 0, m_szClient.cx, m_szClient.cy}, false);
  // A control that asked for an update while being placed gets it next time.
  PlaceNativeViews();
}

void CPaintManagerUI::Paint(cairo_t* cr, const CDuiRect& rcPaint) {
  // No clearing here: a layer paints over what lies below it (its owner's content and
  // native children share the backing store), so transparent parts must stay untouched.
  DoLayout();
  if (m_root) {
    cairo_save(cr);
    if (m_szRoundCorner.cx > 0) {
      CRenderEngine::RoundRectPath(cr, 0, 0, m_szClient.cx, m_szClient.cy, m_szRoundCorner.cx / 2.0,
                                   m_szRoundCorner.cy / 2.0);
      cairo_clip(cr);
    }
    m_root->DoPaint(cr, rcPaint);
    cairo_restore(cr);
  }
  if (m_pPopup && m_pPopup->IsVisible()) m_pPopup->DoPaint(cr, rcPaint);
  PaintFocusMark(cr, rcPaint);
}

void CPaintManagerUI::PaintFocusMark(cairo_t* cr, const CDuiRect& rcPaint) {
  // Edits show their caret; every other focused control gets a ring inside its edges.
  if (!m_bFocusVisible || !m_pFocus || !m_pFocus->IsVisible() || m_pFocus->GetInterface(L"Edit")) return;
  const CDuiRect& r = m_pFocus->GetPos();
  if (!rcPaint.Intersects(r) || r.GetWidth() < 6 || r.GetHeight() < 6) return;
  cairo_save(cr);
  cairo_rectangle(cr, rcPaint.left, rcPaint.top, rcPaint.GetWidth(), rcPaint.GetHeight());
  cairo_clip(cr);
  CRenderEngine::RoundRectPath(cr, r.left + 1.5, r.top + 1.5, r.GetWidth() - 3, r.GetHeight() - 3, 3, 3);
  cairo_set_source_rgb(cr, 0x1A / 255.0, 0x73 / 255.0, 0xE8 / 255.0);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void CPaintManagerUI::PlaceNativeViews() {
  if (!m_host) return;
  for (CControlUI* c : m_nativeViews) {
    if (auto* view = dynamic_cast<CNativeViewUI*>(c)) view->UpdateNativePlacement();
  }
}

bool CPaintManagerUI::SetWindowAttribute(std::wstring_view name, std::wstring_view value) {
  CDuiSize sz;
  CDuiRect rc;
  bool b = false;
  bool ok = true;
  // Window sizes beyond any screen are refused rather than allocated.
  auto sane = [](CDuiSize s) { return s.cx >= 0 && s.cy >= 0 && s.cx <= 16384 && s.cy <= 16384; };
  if (name == L"size") {
    if ((ok = ParseSize(value, sz) && sane(sz))) SetInitSize(sz.cx, sz.cy);
  } else if (name == L"caption") {
    if ((ok = ParseRect(value, rc))) SetCaptionRect(rc);
  } else if (name == L"sizebox") {
    if ((ok = ParseRect(value, rc))) SetSizeBox(rc);
  } else if (name == L"mininfo") {
    if ((ok = ParseSize(value, sz) && sane(sz))) SetMinInfo(sz.cx, sz.cy);
  } else if (name == L"maxinfo") {
    if ((ok = ParseSize(value, sz) && sane(sz))) SetMaxInfo(sz.cx, sz.cy);
  } else if (name == L"roundcorner") {
    if ((ok = ParseSize(value, sz))) SetRoundCorner(sz.cx, sz.cy);
  } else if (name == L"tooltipbkcolor" || name == L"tooltipbordercolor" || name == L"tooltiptextcolor") {
    DWORD c = 0;
    if ((ok = ParseColor(value, c)))
      (name == L"tooltipbkcolor" ? m_tip.background : name == L"tooltipbordercolor" ? m_tip.border : m_tip.textColor) = c;
  } else if (name == L"bktrans") {
    if ((ok = ParseBool(value, b))) SetBackgroundTransparent(b);
  } else if (name == L"showshadow" || name == L"shadowimage" || name == L"shadowcorner" ||
             name == L"shadowsize" || name == L"shadowdarkness" || name == L"shadowsharpness" ||
             name == L"shadowcolor" || name == L"layered" || name == L"opacity" || name == L"alpha" ||
             name == L"showdirty" || name == L"disabledfontcolor" || name == L"defaultfontcolor" ||
             name == L"trans") {
    // Accepted: the compositor draws shadows of undecorated windows on this platform.
  } else {
    return false;
  }
  return ok;
}

void CPaintManagerUI::AddFont(int id, const std::wstring& name, int size, bool bold, bool underline,
                              bool italic, bool isDefault) {
  auto font = MakeFont(name.empty() ? DefaultFontName() : name, size, bold, underline, italic);
  m_fonts[id] = font;
  if (isDefault) m_defaultFont = font;
}

const TFontInfo* CPaintManagerUI::GetFont(int id) const {
  auto it = m_fonts.find(id);
  return it != m_fonts.end() ? it->second.get() : m_defaultFont.get();
}

void CPaintManagerUI::AddDefaultAttributeList(const std::wstring& tag, const std::wstring& list) {
  m_defaultAttrs[tag] = list;
}

const std::wstring* CPaintManagerUI::GetDefaultAttributeList(const std::wstring& tag) const {
  auto it = m_defaultAttrs.find(tag);
  return it != m_defaultAttrs.end() ? &it->second : nullptr;
}

const std::wstring* CPaintManagerUI::GetStyle(const std::wstring& name) const {
  auto it = m_styles.find(name);
  return it != m_styles.end() ? &it->second : nullptr;
}

void CPaintManagerUI::AddOptionGroup(const std::wstring& group, CControlUI* control) {
  auto& list = m_optionGroups[group];
  if (std::find(list.begin(), list.end(), control) == list.end()) list.push_back(control);
}

const std::vector<CControlUI*>* CPaintManagerUI::GetOptionGroup(const std::wstring& group) const {
  auto it = m_optionGroups.find(group);
  return it != m_optionGroups.end() ? &it->second : nullptr;
}

void CPaintManagerUI::RemoveOptionGroup(const std::wstring& group, CControlUI* control) {
  auto it = m_optionGroups.find(group);
  if (it == m_optionGroups.end()) return;
  auto& list = it->second;
  list.erase(std::remove(list.begin(), list.end(), control), list.end());
}

void CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
  if (std::find(m_notifiers.begin(), m_notifiers.end(), notifier) == m_notifiers.end())
    m_notifiers.push_back(notifier);
}

void CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
  m_notifiers.erase(std::remove(m_notifiers.begin(), m_notifiers.end(), notifier), m_notifiers.end());
}

void CPaintManagerUI::SendNotify(CControlUI* control, const std::wstring& type, WPARAM wParam, LPARAM lParam,
                                 bool async) {
  TNotifyUI msg;
  msg.sType = type;
  msg.pSender = control;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.ptMouse = m_ptLastMouse;
  SendNotify(msg, async);
}

void CPaintManagerUI::SendNotify(TNotifyUI& msg, bool async) {
  if (async) {
    m_asyncNotify.push_back(msg);
    if (m_hWnd) ::PostMessage(m_hWnd, WM_NULL);
    return;
  }
  ++m_dispatchDepth;
  // A notifier may remove itself or others while being told; work on a copy.
  auto notifiers = m_notifiers;
  for (INotifyUI* n : notifiers) {
    if (std::find(m_notifiers.begin(), m_notifiers.end(), n) == m_notifiers.end()) continue;
    n->Notify(msg);
  }
  if (--m_dispatchDepth == 0) m_delayedCleanup.clear();
}

void CPaintManagerUI::FlushAsyncNotify() {
  while (!m_asyncNotify.empty()) {
    TNotifyUI msg = m_asyncNotify.front();
    m_asyncNotify.pop_front();
    SendNotify(msg, false);
  }
}

void CPaintManagerUI::SendEvent(CControlUI* control, TEventUI& event) {
  if (!control) return;
  event.pSender = control;
  ++m_dispatchDepth;
  control->DoEvent(event);
  if (--m_dispatchDepth == 0) m_delayedCleanup.clear();
}

void CPaintManagerUI::SetFocus(CControlUI* control) {
  if (control == m_pFocus) return;
  if (m_pFocus) {
    TEventUI e;
    e.Type = UIEvent::KillFocus;
    CControlUI* old = m_pFocus;
    m_pFocus = nullptr;
    SendEvent(old, e);
    CControlAccessible::Report(old, AccEvent::StateChanged);
    SendNotify(old, DUI_MSGTYPE_KILLFOCUS);
  }
  if (control && control->GetManager() == this && control->IsVisible() && control->IsEnabled()) {
    m_pFocus = control;
    TEventUI e;
    e.Type = UIEvent::SetFocus;
    SendEvent(control, e);
    CControlAccessible::Report(control, AccEvent::Focus);
    SendNotify(control, DUI_MSGTYPE_SETFOCUS);
  }
}

namespace {
// The stop that holds the focus: the focused control, or the stop it lies in (a list's row
// takes the focus when the arrows select it, and Tab goes on from the list).
CControlUI* CurrentTabStop(CControlUI* focus, const std::vector<CControlUI*>& stops) {
  for (CControlUI* c = focus; c; c = c->GetParent()) {
    if (std::find(stops.begin(), stops.end(), c) != stops.end()) return c;
  }
  return nullptr;
}
}  // namespace

std::vector<CControlUI*> CPaintManagerUI::TabStops() const {
  std::vector<CControlUI*> stops;
  if (!m_root) return stops;
  m_root->FindControl(
      [&stops](CControlUI* c) {
        if ((c->GetControlFlags() & UIFLAG_TABSTOP) && c->IsKeyboardEnabled()) stops.push_back(c);
        return false;
      },
      UIFIND_VISIBLE | UIFIND_ENABLED);
  return stops;
}

bool CPaintManagerUI::SetNextTabControl(bool forward) {
  std::vector<CControlUI*> stops = TabStops();
  if (stops.empty()) return false;
  auto it = std::find(stops.begin(), stops.end(), CurrentTabStop(m_pFocus, stops));
  size_t index;
  if (it == stops.end())
    index = forward ? 0 : stops.size() - 1;
  else {
    auto cur = static_cast<size_t>(it - stops.begin());
    index = forward ? (cur + 1) % stops.size() : (cur + stops.size() - 1) % stops.size();
  }
  SetFocus(stops[index]);
  return true;
}

bool CPaintManagerUI::EnterTabOrder(bool forward) {
  std::vector<CControlUI*> stops = TabStops();
  if (stops.empty()) return false;
  m_pFocusKept = nullptr;
  m_bFocusVisible = true;
  SetFocus(forward ? stops.front() : stops.back());
  if (m_pFocus) m_pFocus->Invalidate();
  return true;
}

bool CPaintManagerUI::SetTimer(CControlUI* control, UINT id, UINT ms) {
  for (auto& t : m_timers) {
    if (t.control == control && t.id == id) return ::SetTimer(m_hWnd, t.windowId, ms);
  }
  if (!m_hWnd) return false;
  UINT windowId = m_nextTimer++;
  if (!::SetTimer(m_hWnd, windowId, ms)) return false;
  m_timers.push_back({control, id, windowId});
  return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* control, UINT id) {
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->control == control && it->id == id) {
      ::KillTimer(m_hWnd, it->windowId);
      m_timers.erase(it);
      return true;
    }
  }
  return false;
}

void CPaintManagerUI::KillTimers(CControlUI* control) {
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (it->control == control) {
      ::KillTimer(m_hWnd, it->windowId);
      it = m_timers.erase(it);
    } else {
      ++it;
    }
  }
}

bool CPaintManagerUI::HandleTimer(UINT windowTimerId) {
  for (auto& t : m_timers) {
    if (t.windowId == windowTimerId) {
      TEventUI e;
      e.Type = UIEvent::Timer;
      e.wParam = t.id;
      SendEvent(t.control, e);
      return true;
    }
  }
  return false;
}

void CPaintManagerUI::UpdateCursor(CControlUI* control) {
  if (!m_host) return;
  if (control && (control->GetControlFlags() & UIFLAG_SETCURSOR)) {
    TEventUI e;
    e.Type = UIEvent::SetCursor;
    e.ptMouse = m_ptLastMouse;
    SendEvent(control, e);
  } else {
    HostEdge edge;
    HitArea area = HitTest(m_ptLastMouse, edge);
    HostCursor cursor = HostCursor::Arrow;
    if (area == HitArea::SizeBox) {
      switch (edge) {
        case HostEdge::West:
        case HostEdge::East:
          cursor = HostCursor::SizeWE;
          break;
        case HostEdge::North:
        case HostEdge::South:
          cursor = HostCursor::SizeNS;
          break;
        case HostEdge::NorthWest:
        case HostEdge::SouthEast:
          cursor = HostCursor::SizeNWSE;
          break;
        default:
          cursor = HostCursor::SizeNESW;
          break;
      }
    }
    m_host->SetCursor(cursor);
  }
}

void CPaintManagerUI::UpdateHover(CDuiPoint pt, uint32_t time) {
  CControlUI* hit = FindControl(pt);
  // A disabled control takes no input but still explains itself: the tooltip is looked
  // up from what is drawn under the pointer, whatever its state.
  CControlUI* shown = ControlAt(pt, 0);
  if (hit == m_pEventHover) {
    if (shown != m_pTipFrom) {
      m_pTipFrom = shown;
      UpdateToolTip();
    }
    return;
  }
  m_pTipFrom = shown;
  if (m_pEventHover) {
    TEventUI e;
    e.Type = UIEvent::MouseLeave;
    e.ptMouse = pt;
    e.dwTimestamp = time;
    CControlUI* old = m_pEventHover;
    m_pEventHover = nullptr;
    SendEvent(old, e);
    SendNotify(old, DUI_MSGTYPE_MOUSELEAVE);
  }
  m_pEventHover = hit;
  if (hit != m_pTipSuppressed) m_pTipSuppressed = nullptr;
  UpdateToolTip();
  if (hit) {
    TEventUI e;
    e.Type = UIEvent::MouseEnter;
    e.ptMouse = pt;
    e.dwTimestamp = time;
    SendEvent(hit, e);
    if (m_pEventHover == hit) SendNotify(hit, DUI_MSGTYPE_MOUSEENTER);
  }
}

void CPaintManagerUI::UpdateToolTip() {
  // The nearest tooltip up the tree: a label inside a button shows the button's.
  CControlUI* owner = m_pTipFrom ? m_pTipFrom : m_pEventHover;
  while (owner && owner->GetToolTip().empty()) owner = owner->GetParent();
  if (!owner || m_pTipSuppressed || m_pEventCapture) {
    HideToolTip();
    return;
  }
  auto toHost = [](const CDuiRect& r) { return HostRect{r.left, r.top, r.GetWidth(), r.GetHeight()}; };
  HostToolTip tip = m_tip;
  tip.text = ToUtf8(owner->GetToolTip());
  tip.target = toHost(owner->GetVisibleRect());
  tip.avoid = m_pPopup && m_pPopup->IsVisible() ? toHost(m_pPopup->GetPos()) : HostRect{};
  if (owner == m_pTipOwner && tip == m_tip) return;
  m_pTipOwner = owner;
  m_tip = tip;
  if (m_host) m_host->ShowToolTip(m_tip);
}

void CPaintManagerUI::HideToolTip() {
  if (m_pEventHover) m_pTipSuppressed = m_pEventHover;
  m_pTipOwner = nullptr;
  if (m_tip.text.empty()) return;
  m_tip.text.clear();
  if (m_host) m_host->ShowToolTip(m_tip);
}

void CPaintManagerUI::HandleMouse(const HostMouseEvent& me) {
  DoLayout();
  CDuiPoint pt{me.x, me.y};
  m_ptLastMouse = pt;
  TEventUI e;
  e.ptMouse = pt;
  e.wKeyState = me.modifiers;
  e.dwTimestamp = me.time;
  switch (me.type) {
    case HostMouseType::Move: {
      if (m_pEventCapture) {
        e.Type = UIEvent::MouseMove;
        SendEvent(m_pEventCapture, e);
        return;
      }
      UpdateHover(pt, me.time);
      if (m_pEventHover) {
        e.Type = UIEvent::MouseMove;
        SendEvent(m_pEventHover, e);
      }
      UpdateCursor(m_pEventHover);
      return;
    }
    case HostMouseType::Leave:
      HideToolTip();
      m_pTipSuppressed = nullptr;
      m_pTipFrom = nullptr;
      if (m_pEventHover && !m_pEventCapture) {
        TEventUI le;
        le.Type = UIEvent::MouseLeave;
        le.ptMouse = pt;
        CControlUI* old = m_pEventHover;
        m_pEventHover = nullptr;
        SendEvent(old, le);
        SendNotify(old, DUI_MSGTYPE_MOUSELEAVE);
      }
      return;
    case HostMouseType::Down: {
      if (m_bFocusVisible && m_pFocus) m_pFocus->Invalidate();
      m_bFocusVisible = false;
      if (m_pPopup && m_pPopup->IsVisible() && !m_pPopup->GetPos().Contains(pt) &&
          !(m_pPopupAnchor && m_pPopupAnchor->GetPos().Contains(pt))) {
        CControlUI* popup = m_pPopup;
        m_pPopup = nullptr;
        popup->SetVisible(false);
        Invalidate();
      }
      UpdateHover(pt, me.time);
      HideToolTip();
      CControlUI* hit = FindControl(pt);
      if (!hit) {
        SetFocus(nullptr);
        return;
      }
      bool inPopup = false;
      for (CControlUI* c = hit; c; c = c->GetParent()) inPopup = inPopup || c == m_pPopup;
      // A press in the drop-down list leaves the focus with the control that opened it.
      if (hit->GetControlFlags() & UIFLAG_TABSTOP)
        SetFocus(hit);
      else if (m_pFocus && !inPopup)
        SetFocus(nullptr);
      m_pEventCapture = hit;
      e.Type = me.button == 3 ? UIEvent::RButtonDown : UIEvent::ButtonDown;
      SendEvent(hit, e);
      return;
    }
    case HostMouseType::DoubleClick: {
      CControlUI* hit = FindControl(pt);
      if (!hit) return;
      m_pEventCapture = hit;
      e.Type = UIEvent::DblClick;
      SendEvent(hit, e);
      return;
    }
    case HostMouseType::Up: {
      CControlUI* target = m_pEventCapture ? m_pEventCapture : FindControl(pt);
      m_pEventCapture = nullptr;
      if (!target) return;
      e.Type = me.button == 3 ? UIEvent::RButtonUp : UIEvent::ButtonUp;
      SendEvent(target, e);
      if (me.button == 3) {
        TEventUI ce = e;
        ce.Type = UIEvent::ContextMenu;
        SendEvent(target, ce);
      }
      UpdateHover(pt, me.time);
      return;
    }
    case HostMouseType::Wheel: {
      CControlUI* hit = FindControl(pt);
      if (!hit) return;
      e.Type = UIEvent::ScrollWheel;
      e.lParam = me.wheel;
      HideToolTip();
      SendEvent(hit, e);
      // Content moved under the pointer: the hovered control may be another one now, and
      // its tooltip waits until the pointer moves on.
      UpdateHover(pt, me.time);
      HideToolTip();
      return;
    }
  }
}

bool CPaintManagerUI::HandleKey(const HostKeyEvent& ke) {
  if (ke.down) HideToolTip();
  TEventUI e;
  e.Type = ke.down ? UIEvent::KeyDown : UIEvent::KeyUp;
  e.chKey = ke.key;
  e.wKeyState = ke.modifiers;
  e.ptMouse = m_ptLastMouse;
  if (ke.down && ke.key == VK_TAB &&
      !(m_pFocus && (m_pFocus->GetControlFlags() & UIFLAG_WANTRETURN) && (ke.modifiers & MK_CONTROL))) {
    m_bFocusVisible = true;
    const bool forward = (ke.modifiers & MK_SHIFT) == 0;
    // From the last stop (or the first, backwards) the Tab order may go on in another window.
    std::vector<CControlUI*> stops = TabStops();
    const bool atEnd =
        stops.empty() || CurrentTabStop(m_pFocus, stops) == (forward ? stops.back() : stops.front());
    if (atEnd && m_onTabLeave && m_onTabLeave(forward)) return true;
    return SetNextTabControl(forward);
  }
  if (!m_pFocus) return false;
  if (ke.down && ke.key != VK_ESCAPE && !m_bFocusVisible) {
    m_bFocusVisible = true;
    m_pFocus->Invalidate();
  }
  SendEvent(m_pFocus, e);
  return true;
}

void CPaintManagerUI::HandleText(const std::string& utf8) {
  if (!m_pFocus) return;
  TEventUI e;
  e.Type = UIEvent::Char;
  e.text = FromUtf8(utf8);
  SendEvent(m_pFocus, e);
}

void CPaintManagerUI::HandlePreedit(const std::string& utf8, int cursor) {
  if (!m_pFocus) return;
  TEventUI e;
  e.Type = UIEvent::ImePreedit;
  e.text = FromUtf8(utf8);
  e.wParam = static_cast<WPARAM>(std::max(0, cursor));
  SendEvent(m_pFocus, e);
}

void CPaintManagerUI::HandleFocus(bool focused) {
  if (!focused) {
    HideToolTip();
    if (m_pFocus) {
      // Keep which control has the focus for when the window comes back, but let it know.
      TEventUI e;
      e.Type = UIEvent::KillFocus;
      CControlUI* f = m_pFocus;
      m_pFocus = nullptr;
      m_pFocusKept = f;
      SendEvent(f, e);
    }
    if (m_pEventCapture) m_pEventCapture = nullptr;
    return;
  }
  // Back again: the control that had the focus has it again, so Tab goes on from there.
  CControlUI* kept = std::exchange(m_pFocusKept, nullptr);
  if (!m_pFocus && kept && kept->IsVisible() && kept->IsEnabled()) SetFocus(kept);
}

HitArea CPaintManagerUI::HitTest(CDuiPoint pt, HostEdge& edge) const {
  const CDuiRect& sb = m_rcSizeBox;
  int w = m_szClient.cx;
  int h = m_szClient.cy;
  if (m_host && !m_host->IsMaximized() && (sb.left || sb.top || sb.right || sb.bottom)) {
    bool l = pt.x < sb.left, r = pt.x >= w - sb.right, t = pt.y < sb.top, b = pt.y >= h - sb.bottom;
    if (t && l) {
      edge = HostEdge::NorthWest;
      return HitArea::SizeBox;
    }
    if (t && r) {
      edge = HostEdge::NorthEast;
      return HitArea::SizeBox;
    }
    if (b && l) {
      edge = HostEdge::SouthWest;
      return HitArea::SizeBox;
    }
    if (b && r) {
      edge = HostEdge::SouthEast;
      return HitArea::SizeBox;
    }
    if (l) {
      edge = HostEdge::West;
      return HitArea::SizeBox;
    }
    if (r) {
      edge = HostEdge::East;
      return HitArea::SizeBox;
    }
    if (t) {
      edge = HostEdge::North;
      return HitArea::SizeBox;
    }
    if (b) {
      edge = HostEdge::South;
      return HitArea::SizeBox;
    }
  }
  const CDuiRect& cap = m_rcCaption;
  // caption="0,0,0,72": left, top and right margins with the band's height.
  CDuiRect band{cap.left, cap.top, w - cap.right, cap.bottom};
  if (cap.bottom > 0 && band.Contains(pt)) {
    CControlUI* hit = FindControl(pt);
    // Interactive controls in the band keep their clicks; the rest of the band drags.
    for (CControlUI* c = hit; c; c = c->GetParent()) {
      if (c->GetControlFlags() & (UIFLAG_TABSTOP | UIFLAG_SETCURSOR)) return HitArea::Client;
    }
    return HitArea::Caption;
  }
  return HitArea::Client;
}

void CPaintManagerUI::SetTextInput(bool enabled, const CDuiRect& caret) {
  if (m_host) m_host->SetTextInput(enabled, {caret.left, caret.top, caret.GetWidth(), caret.GetHeight()});
}
