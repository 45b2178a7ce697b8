// CWindowWnd: registration, host window, show/close/modal and the base window procedure.
#include "ui/WindowWnd.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "app/Log.h"
#include "ui/ResourceStore.h"
#include "ui/UIText.h"

namespace {
std::unordered_map<HWND, CWindowWnd*>& Windows() {
  static std::unordered_map<HWND, CWindowWnd*> windows;
  return windows;
}
}  // namespace

CWindowWnd::CWindowWnd() = default;

CWindowWnd::~CWindowWnd() {
  if (m_hWnd != kNoWindow) {
    // Destroyed without DestroyWindow (an owner going away): release what is registered.
    Windows().erase(m_hWnd);
    UnregisterWindow(m_hWnd);
    if (m_modal) m_modal->running = false;
  }
}

CWindowWnd* CWindowWnd::FromHandle(HWND hwnd) {
  auto it = Windows().find(hwnd);
  return it != Windows().end() ? it->second : nullptr;
}

std::vector<CWindowWnd*> CWindowWnd::OwnedBy(HWND owner) {
  std::vector<CWindowWnd*> owned;
  for (const auto& [hwnd, wnd] : Windows()) {
    if (wnd->m_hOwner == owner) owned.push_back(wnd);
  }
  // Handles are given out in increasing order, so this is the order of creation.
  std::sort(owned.begin(), owned.end(), [](const CWindowWnd* a, const CWindowWnd* b) { return a->m_hWnd < b->m_hWnd; });
  return owned;
}

HWND CWindowWnd::Create(HWND owner, const std::wstring& title, UINT style, UINT exStyle, int x, int y, int cx,
                        int cy) {
  if (m_hWnd != kNoWindow) return m_hWnd;
  m_hOwner = owner;
  m_title = title;
  m_style = style;
  m_exStyle = exStyle;
  CWindowWnd* ownerWnd = FromHandle(owner);
  m_hWnd = RegisterWindow(this, GetWindowClassName(), title);
  if (m_hWnd == kNoWindow) {
    LogError(L"window registration failed: " + GetWindowClassName());
    return kNoWindow;
  }
  Windows()[m_hWnd] = this;
  HostKind kind = GetHostKind();
  if (kind == HostKind::Layer && !ownerWnd) kind = HostKind::TopLevel;
  m_host = GetHost().CreateHostWindow(this, ownerWnd ? ownerWnd->GetHostWindow() : nullptr, kind);
  m_host->SetTitle(ToUtf8(title));
  m_host->SetClassName(ToUtf8(GetWindowClassName()));
  m_host->SetScreenRect({x, y, cx, cy});
  HandleMessage(WM_CREATE, 0, 0, {});
  if (exStyle & WS_EX_TOPMOST) m_host->SetTopMost(true);
  if (style & WS_VISIBLE) ShowWindow(true, true);
  return m_hWnd;
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus) {
  if (m_host) m_host->Show(show, takeFocus);
}

void CWindowWnd::ShowWindowCmd(int command) {
  if (!m_host) return;
  switch (command) {
    case SW_HIDE:
      m_host->Show(false, false);
      break;
    case SW_SHOWNOACTIVATE:
      m_host->Show(true, false);
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
      m_host->Minimize();
      break;
    case SW_MAXIMIZE:
      m_host->Show(true, true);
      m_host->Maximize();
      break;
    case SW_RESTORE:
      m_host->Show(true, true);
      m_host->Restore();
      break;
    default:
      m_host->Show(true, true);
      break;
  }
}

UINT CWindowWnd::ShowModal() {
  if (m_hWnd == kNoWindow) return IDCANCEL;
  auto state = std::make_shared<ModalState>();
  m_modal = state;
  HWND ownerHandle = m_hOwner;  // `this` may be gone when the loop ends
  CWindowWnd* owner = FromHandle(ownerHandle);
  HostWindow* ownerHost = owner ? owner->GetHostWindow() : nullptr;
  if (ownerHost) ownerHost->SetEnabled(false);
  ShowWindow(true, true);
  RunNestedLoopUntil([state] { return !state->running; });
  // The owner may have gone while the modal loop ran; look it up again.
  if (CWindowWnd* again = FromHandle(ownerHandle)) {
    if (again->GetHostWindow()) {
      again->GetHostWindow()->SetEnabled(true);
      again->GetHostWindow()->Activate();
    }
  }
  return state->result;
}

void CWindowWnd::Close(UINT result) {
  if (m_hWnd == kNoWindow) return;
  PostMessage(m_hWnd, WM_CLOSE, result);
}

void CWindowWnd::DestroyWindow() {
  if (m_hWnd == kNoWindow) return;
  HWND hwnd = m_hWnd;
  HandleMessage(WM_DESTROY, 0, 0, {});
  // Layers of this window go with it.
  std::vector<CWindowWnd*> owned;
  for (auto& [h, w] : Windows())
    if (w->m_hOwner == hwnd && w->GetHostKind() == HostKind::Layer) owned.push_back(w);
  for (CWindowWnd* w : owned) w->DestroyWindow();
  m_host.reset();
  Windows().erase(hwnd);
  UnregisterWindow(hwnd);
  m_hWnd = kNoWindow;
  if (m_modal) {
    m_modal->result = m_closeResult;
    m_modal->running = false;
    m_modal.reset();
  }
  OnFinalMessage(hwnd);
}

void CWindowWnd::CenterWindow() {
  if (!m_host) return;
  HostRect r = m_host->GetScreenRect();
  HostRect area = GetHost().GetWorkArea();
  CWindowWnd* owner = FromHandle(m_hOwner);
  if (owner && owner->GetHostWindow() && GetHostKind() != HostKind::TopLevel)
    area = owner->GetHostWindow()->GetScreenRect();
  r.x = area.x + (area.width - r.width) / 2;
  r.y = area.y + (area.height - r.height) / 2;
  m_host->SetScreenRect(r);
}

void CWindowWnd::SetIcon(UINT resourceId) {
  // The icon is the skin picture "icon_<id>.png"; without one the desktop entry's stays.
  std::string bytes;
  if (!m_host || !CResourceStore::Get().ReadFile("icon_" + std::to_string(resourceId) + ".png", bytes)) return;
  m_host->SetIcon(std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

void CWindowWnd::SetWindowText(const std::wstring& title) {
  m_title = title;
  if (m_hWnd != kNoWindow) SetWindowTitle(m_hWnd, title);
  if (m_host) m_host->SetTitle(ToUtf8(title));
}

CDuiRect CWindowWnd::GetWindowRect() const {
  if (!m_host) return {};
  HostRect r = m_host->GetScreenRect();
  return {r.x, r.y, r.x + r.width, r.y + r.height};
}

void CWindowWnd::MoveWindow(const CDuiRect& rc) {
  if (m_host) m_host->SetScreenRect({rc.left, rc.top, rc.GetWidth(), rc.GetHeight()});
}

void CWindowWnd::SetTopMost(bool topMost) {
  if (m_host) m_host->SetTopMost(topMost);
}

bool CWindowWnd::IsIconic() const { return m_host && m_host->IsMinimized(); }
bool CWindowWnd::IsZoomed() const { return m_host && m_host->IsMaximized(); }
bool CWindowWnd::IsWindowVisible() const { return m_host && m_host->IsVisible(); }

void CWindowWnd::BringToFront() {
  if (!m_host) return;
  m_host->Show(true, true);
  if (m_host->IsMinimized()) m_host->Restore();
  m_host->Activate();
}

void CWindowWnd::RegisterHotKey(int id, UINT modifiers, UINT key) { m_hotKeys[id] = {modifiers, key}; }
void CWindowWnd::UnregisterHotKey(int id) { m_hotKeys.erase(id); }

bool CWindowWnd::OnHostHotKey(const HostKeyEvent& event) {
  if (!event.down) return false;
  UINT mods = 0;
  if (event.modifiers & 0x20) mods |= MOD_ALT;     // MK_ALT
  if (event.modifiers & 0x8) mods |= MOD_CONTROL;  // MK_CONTROL
  if (event.modifiers & 0x4) mods |= MOD_SHIFT;    // MK_SHIFT
  for (auto& [id, hk] : m_hotKeys) {
    if (hk.modifiers == mods && hk.key == event.key) {
      PostMessage(m_hWnd, WM_HOTKEY, static_cast<WPARAM>(id));
      return true;
    }
  }
  return false;
}

void CWindowWnd::OnHostCloseRequest() { PostMessage(m_hWnd, WM_SYSCOMMAND, SC_CLOSE); }

LRESULT CWindowWnd::HandleMessage(UINT msg, WPARAM wParam, LPARAM, const Payload&) {
  switch (msg) {
    case WM_CLOSE:
      m_closeResult = static_cast<UINT>(wParam);
      DestroyWindow();
      return 0;
    case WM_SYSCOMMAND:
      if (!m_host) return 0;
      if (wParam == SC_MINIMIZE)
        m_host->Minimize();
      else if (wParam == SC_MAXIMIZE)
        m_host->Maximize();
      else if (wParam == SC_RESTORE)
        m_host->Restore();
      else if (wParam == SC_CLOSE)
        Close(IDCLOSE);
      return 0;
    default:
      return 0;
  }
}
