// WindowImplBase: skin building and the default window behaviour.
#include "ui/WindowImplBase.h"

#include <algorithm>

#include "app/Log.h"
#include "ui/Control.h"

WindowImplBase::WindowImplBase() = default;

WindowImplBase::~WindowImplBase() { m_pm.DetachHost(); }

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = true;
  m_pm.Init(m_hWnd, m_host.get());
  CDialogBuilder builder;
  std::unique_ptr<CControlUI> root = builder.Create(GetSkinFolder() + GetSkinFile(), this, &m_pm);
  if (!root) {
    LogError(L"window " + GetWindowClassName() + L": skin " + GetSkinFile() + L" could not be built");
    root = std::make_unique<CControlUI>();
  }
  m_pm.AttachDialog(std::move(root));
  m_pm.AddNotifier(this);
  m_pm.SetTabLeaveHandler([this](bool forward) { return PassTabToNeighbour(forward); });
  HostRect r = m_host->GetScreenRect();
  CDuiSize init = m_pm.GetInitSize();
  if ((r.width <= 0 || r.height <= 0) && init.cx > 0 && init.cy > 0) {
    r.width = init.cx;
    r.height = init.cy;
    m_host->SetScreenRect(r);
  }
  m_pm.SetClientSize(m_host->GetScreenRect().width, m_host->GetScreenRect().height);
  CDuiSize minSize = m_pm.GetMinInfo();
  if (minSize.cx > 0 || minSize.cy > 0) m_host->SetMinSize(minSize.cx, minSize.cy);
  InitWindow();
  m_pm.SendNotify(m_pm.GetRoot(), DUI_MSGTYPE_WINDOWINIT, 0, 0, true);
  return 0;
}

bool WindowImplBase::PassTabToNeighbour(bool forward) {
  // The ring: the top window first, then the layers of it that share its Tab order.
  const HWND top = SharesOwnerTabOrder() ? m_hOwner : m_hWnd;
  std::vector<WindowImplBase*> ring;
  if (auto* topWnd = dynamic_cast<WindowImplBase*>(FromHandle(top))) ring.push_back(topWnd);
  for (CWindowWnd* w : OwnedBy(top)) {
    auto* layer = dynamic_cast<WindowImplBase*>(w);
    if (layer && layer->SharesOwnerTabOrder() && layer->IsWindowVisible()) ring.push_back(layer);
  }
  auto self = std::find(ring.begin(), ring.end(), this);
  if (ring.size() < 2 || self == ring.end()) return false;
  const size_t n = ring.size();
  const auto at = static_cast<size_t>(self - ring.begin());
  for (size_t step = 1; step < n; ++step) {
    WindowImplBase* next = ring[forward ? (at + step) % n : (at + n - step) % n];
    if (!next->IsWindowVisible() || !next->m_pm.HasTabStops() || !next->m_host) continue;
    next->m_host->Activate();
    return next->m_pm.EnterTabOrder(forward);
  }
  return false;
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, const Payload&, bool& bHandled) {
  bHandled = false;
  return 0;
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = false;
  return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = false;
  return 0;
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = false;
  return 0;
}

LRESULT WindowImplBase::OnSysCommand(UINT, WPARAM, LPARAM, bool& bHandled) {
  bHandled = false;
  return 0;
}

LRESULT WindowImplBase::OnNcHitTest(UINT, WPARAM, LPARAM lParam, bool& bHandled) {
  bHandled = true;
  CDuiPoint pt{static_cast<int16_t>(lParam & 0xFFFF), static_cast<int16_t>((lParam >> 16) & 0xFFFF)};
  HostEdge edge = HostEdge::East;
  switch (m_pm.HitTest(pt, edge)) {
    case HitArea::Caption:
      return HTCAPTION;
    case HitArea::Client:
      return HTCLIENT;
    case HitArea::SizeBox:
      switch (edge) {
        case HostEdge::West:
          return HTLEFT;
        case HostEdge::East:
          return HTRIGHT;
        case HostEdge::North:
          return HTTOP;
        case HostEdge::South:
          return HTBOTTOM;
        case HostEdge::NorthWest:
          return HTTOPLEFT;
        case HostEdge::NorthEast:
          return HTTOPRIGHT;
        case HostEdge::SouthWest:
          return HTBOTTOMLEFT;
        case HostEdge::SouthEast:
          return HTBOTTOMRIGHT;
      }
  }
  return HTCLIENT;
}

void WindowImplBase::Notify(TNotifyUI& msg) {
  if (msg.sType == DUI_MSGTYPE_CLICK) OnClick(msg);
}

void WindowImplBase::OnClick(TNotifyUI& msg) {
  if (!msg.pSender) return;
  const std::wstring& name = msg.pSender->GetName();
  if (name == L"closebtn")
    Close(IDCLOSE);
  else if (name == L"minbtn")
    PostMessage(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE);
  else if (name == L"maxbtn")
    PostMessage(m_hWnd, WM_SYSCOMMAND, SC_MAXIMIZE);
  else if (name == L"restorebtn")
    PostMessage(m_hWnd, WM_SYSCOMMAND, SC_RESTORE);
}

LRESULT WindowImplBase::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload) {
  bool handled = false;
  LRESULT result = 0;
  switch (msg) {
    case WM_CREATE:
      result = OnCreate(msg, wParam, lParam, handled);
      break;
    case WM_CLOSE:
      result = OnClose(msg, wParam, lParam, handled);
      break;
    case WM_DESTROY:
      result = OnDestroy(msg, wParam, lParam, handled);
      m_pm.RemoveNotifier(this);
      m_pm.DetachHost();
      break;
    case WM_SIZE:
      result = OnSize(msg, wParam, lParam, handled);
      break;
    case WM_SYSCOMMAND:
      result = OnSysCommand(msg, wParam, lParam, handled);
      break;
    case WM_NCHITTEST:
      result = OnNcHitTest(msg, wParam, lParam, handled);
      break;
    case WM_TIMER:
      handled = m_pm.HandleTimer(static_cast<UINT>(wParam));
      break;
    case WM_UI_ASYNC_NOTIFY:
      m_pm.FlushAsyncNotify();
      handled = true;
      break;
    default:
      break;
  }
  if (handled) return result;
  result = HandleCustomMessage(msg, wParam, lParam, payload, handled);
  if (handled) return result;
  return CWindowWnd::HandleMessage(msg, wParam, lParam, payload);
}

AccessibleNode* WindowImplBase::AccessibleRoot() {
  CControlUI* root = m_pm.GetRoot();
  return root ? root->GetAccessible() : nullptr;
}

void WindowImplBase::OnHostPaint(cairo_t* cr, const HostRect& dirty) {
  m_pm.Paint(cr, {dirty.x, dirty.y, dirty.x + dirty.width, dirty.y + dirty.height});
}

void WindowImplBase::OnHostSize(int width, int height) {
  m_pm.SetClientSize(width, height);
  // WM_SIZE only once the controls exist (the host reports a size while being created).
  if (m_hWnd != kNoWindow && m_pm.GetRoot()) {
    LPARAM size = static_cast<LPARAM>((width & 0xFFFF) | ((height & 0xFFFF) << 16));
    HandleMessage(WM_SIZE, IsZoomed() ? 2 : 0, size, {});
  }
}

void WindowImplBase::OnHostStateChanged() {
  // Swap the maximise and restore buttons the skins show in the title bar.
  CControlUI* maxBtn = m_pm.FindControl(L"maxbtn");
  CControlUI* restoreBtn = m_pm.FindControl(L"restorebtn");
  if (maxBtn && restoreBtn) {
    maxBtn->SetVisible(!IsZoomed());
    restoreBtn->SetVisible(IsZoomed());
  }
}

void WindowImplBase::OnHostMouse(const HostMouseEvent& event) {
  if (m_layerDrag.active && TrackLayerResize(event)) return;
  if ((event.type == HostMouseType::Down || event.type == HostMouseType::DoubleClick) && event.button == 1 &&
      m_host) {
    bool handled = false;
    LPARAM point = static_cast<LPARAM>((event.x & 0xFFFF) | ((event.y & 0xFFFF) << 16));
    LRESULT hit = OnNcHitTest(WM_NCHITTEST, 0, point, handled);
    if (hit == HTCAPTION) {
      if (event.type == HostMouseType::DoubleClick) {
        if (m_pm.GetSizeBox().right > 0 || m_pm.GetSizeBox().bottom > 0) {
          PostMessage(m_hWnd, WM_SYSCOMMAND, IsZoomed() ? SC_RESTORE : SC_MAXIMIZE);
        }
      } else {
        m_host->BeginMoveDrag();
      }
      return;
    }
    static const std::pair<LRESULT, HostEdge> kEdges[] = {{HTLEFT, HostEdge::West},
                                                          {HTRIGHT, HostEdge::East},
                                                          {HTTOP, HostEdge::North},
                                                          {HTBOTTOM, HostEdge::South},
                                                          {HTTOPLEFT, HostEdge::NorthWest},
                                                          {HTTOPRIGHT, HostEdge::NorthEast},
                                                          {HTBOTTOMLEFT, HostEdge::SouthWest},
                                                          {HTBOTTOMRIGHT, HostEdge::SouthEast}};
    for (auto& [code, edge] : kEdges) {
      if (hit == code) {
        if (GetHostKind() == HostKind::Layer && m_hOwner != kNoWindow) {
          BeginLayerResize(event, edge);
          return;
        }
        m_host->BeginResizeDrag(edge);
        return;
      }
    }
  }
  m_pm.HandleMouse(event);
}

void WindowImplBase::BeginLayerResize(const HostMouseEvent& event, HostEdge edge) {
  const CDuiRect now = GetWindowRect();
  m_layerDrag.active = true;
  m_layerDrag.edge = edge;
  m_layerDrag.pressX = now.left + event.x;
  m_layerDrag.pressY = now.top + event.y;
  m_layerDrag.start = now;
}

bool WindowImplBase::TrackLayerResize(const HostMouseEvent& event) {
  const CDuiRect now = GetWindowRect();
  const int screenX = now.left + event.x;
  const int screenY = now.top + event.y;
  if (event.type == HostMouseType::Up) {
    m_layerDrag.active = false;
    return true;
  }
  if (event.type != HostMouseType::Move) return event.type != HostMouseType::Leave;
  const HostEdge e = m_layerDrag.edge;
  const bool west = e == HostEdge::West || e == HostEdge::NorthWest || e == HostEdge::SouthWest;
  const bool east = e == HostEdge::East || e == HostEdge::NorthEast || e == HostEdge::SouthEast;
  const bool north = e == HostEdge::North || e == HostEdge::NorthWest || e == HostEdge::NorthEast;
  const bool south = e == HostEdge::South || e == HostEdge::SouthWest || e == HostEdge::SouthEast;
  auto clamp = [](int value, int low, int high) {
    if (high > 0 && value > high) value = high;
    return std::max({value, low, 1});
  };
  const CDuiSize minSize = m_pm.GetMinInfo();
  const CDuiSize maxSize = m_pm.GetMaxInfo();
  const CDuiRect& s = m_layerDrag.start;
  const int dx = screenX - m_layerDrag.pressX;
  const int dy = screenY - m_layerDrag.pressY;
  CDuiRect rc = s;
  if (east || west) {
    int width = clamp(s.GetWidth() + (east ? dx : -dx), minSize.cx, maxSize.cx);
    if (east)
      rc.right = s.left + width;
    else
      rc.left = s.right - width;
  }
  if (north || south) {
    int height = clamp(s.GetHeight() + (south ? dy : -dy), minSize.cy, maxSize.cy);
    if (south)
      rc.bottom = s.top + height;
    else
      rc.top = s.bottom - height;
  }
  if (!(rc == now)) MoveWindow(rc);
  return true;
}

bool WindowImplBase::OnHostKey(const HostKeyEvent& event) {
  // Escape closes a dialog, a popup or a window shown modally, unless a drop-down list is
  // open (it closes that).
  HostKind kind = GetHostKind();
  bool closable = kind == HostKind::Dialog || kind == HostKind::Popup || (m_modal && m_modal->running);
  if (event.down && event.key == VK_ESCAPE && !m_pm.GetPopup() && closable) {
    Close(IDCANCEL);
    return true;
  }
  return m_pm.HandleKey(event);
}

void WindowImplBase::OnHostText(const std::string& utf8) { m_pm.HandleText(utf8); }
void WindowImplBase::OnHostPreedit(const std::string& utf8, int cursor) { m_pm.HandlePreedit(utf8, cursor); }
void WindowImplBase::OnHostFocus(bool focused) { m_pm.HandleFocus(focused); }
