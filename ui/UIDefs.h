// Geometry, events, notifications and flags shared by every control of the toolkit.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/Types.h"

class CControlUI;

struct CDuiPoint {
  int x = 0;
  int y = 0;
};

struct CDuiSize {
  int cx = 0;
  int cy = 0;
};

struct CDuiRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int GetWidth() const { return right - left; }
  int GetHeight() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(CDuiPoint pt) const { return pt.x >= left && pt.x < right && pt.y >= top && pt.y < bottom; }
  bool Intersects(const CDuiRect& o) const {
    return std::max(left, o.left) < std::min(right, o.right) &&
           std::max(top, o.top) < std::min(bottom, o.bottom);
  }
  CDuiRect Intersect(const CDuiRect& o) const {
    CDuiRect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
               std::min(bottom, o.bottom)};
    if (r.IsEmpty()) return {};
    return r;
  }
  CDuiRect Union(const CDuiRect& o) const {
    if (IsEmpty()) return o;
    if (o.IsEmpty()) return *this;
    return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
            std::max(bottom, o.bottom)};
  }
  void Offset(int dx, int dy) {
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
  }
  // Shrinks by an inset given as a rectangle of four margins.
  void Deflate(const CDuiRect& m) {
    left += m.left;
    top += m.top;
    right -= m.right;
    bottom -= m.bottom;
  }
  bool operator==(const CDuiRect&) const = default;
};

// Input events delivered to controls by the paint manager.
enum class UIEvent {
  MouseMove,
  MouseLeave,
  MouseEnter,
  MouseHover,
  ButtonDown,
  ButtonUp,
  RButtonDown,
  RButtonUp,
  DblClick,
  ScrollWheel,
  KeyDown,
  KeyUp,
  Char,
  SetFocus,
  KillFocus,
  Timer,
  SetCursor,
  ContextMenu,
  ImePreedit,
};

// Modifier bits of events.
constexpr UINT MK_SHIFT = 0x4;
constexpr UINT MK_CONTROL = 0x8;
constexpr UINT MK_ALT = 0x20;

// Key codes of KeyDown/KeyUp events (the Windows virtual-key numbers).
constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_SPACE = 0x20;
constexpr UINT VK_PRIOR = 0x21;
constexpr UINT VK_NEXT = 0x22;
constexpr UINT VK_END = 0x23;
constexpr UINT VK_HOME = 0x24;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;
constexpr UINT VK_DELETE = 0x2E;

struct TEventUI {
  UIEvent Type = UIEvent::MouseMove;
  CControlUI* pSender = nullptr;
  uint32_t dwTimestamp = 0;
  CDuiPoint ptMouse;
  UINT chKey = 0;      // key code for KeyDown/KeyUp
  UINT wKeyState = 0;  // MK_* bits
  std::wstring text;   // typed text for Char, pre-edit text for ImePreedit
  WPARAM wParam = 0;   // timer id for Timer
  LPARAM lParam = 0;   // wheel: +1 up, -1 down
};

struct TNotifyUI {
  std::wstring sType;
  std::wstring sVirtualWnd;
  CControlUI* pSender = nullptr;
  uint32_t dwTimestamp = 0;
  CDuiPoint ptMouse;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class INotifyUI {
 public:
  virtual ~INotifyUI() = default;
  virtual void Notify(TNotifyUI& msg) = 0;
};

// Notification types.
inline constexpr const wchar_t* DUI_MSGTYPE_CLICK = L"click";
inline constexpr const wchar_t* DUI_MSGTYPE_SELECTCHANGED = L"selectchanged";
inline constexpr const wchar_t* DUI_MSGTYPE_TEXTCHANGED = L"textchanged";
inline constexpr const wchar_t* DUI_MSGTYPE_ITEMCLICK = L"itemclick";
inline constexpr const wchar_t* DUI_MSGTYPE_ITEMSELECT = L"itemselect";
inline constexpr const wchar_t* DUI_MSGTYPE_ITEMDBCLICK = L"itemdbclick";
inline constexpr const wchar_t* DUI_MSGTYPE_TREEITEMDBCLICK = L"treeitemdbclick";
inline constexpr const wchar_t* DUI_MSGTYPE_MOUSEENTER = L"mouseenter";
inline constexpr const wchar_t* DUI_MSGTYPE_MOUSELEAVE = L"mouseleave";
inline constexpr const wchar_t* DUI_MSGTYPE_SETFOCUS = L"setfocus";
inline constexpr const wchar_t* DUI_MSGTYPE_KILLFOCUS = L"killfocus";
inline constexpr const wchar_t* DUI_MSGTYPE_RETURN = L"return";
inline constexpr const wchar_t* DUI_MSGTYPE_MENU = L"menu";
inline constexpr const wchar_t* DUI_MSGTYPE_WINDOWINIT = L"windowinit";
inline constexpr const wchar_t* DUI_MSGTYPE_SCROLL = L"scroll";
inline constexpr const wchar_t* DUI_MSGTYPE_TIMER = L"timer";

// Text placement bits (the DrawText names).
constexpr UINT DT_TOP = 0x0;
constexpr UINT DT_LEFT = 0x0;
constexpr UINT DT_CENTER = 0x1;
constexpr UINT DT_RIGHT = 0x2;
constexpr UINT DT_VCENTER = 0x4;
constexpr UINT DT_BOTTOM = 0x8;
constexpr UINT DT_WORDBREAK = 0x10;
constexpr UINT DT_SINGLELINE = 0x20;
constexpr UINT DT_END_ELLIPSIS = 0x8000;

// What a control wants from the paint manager.
constexpr UINT UIFLAG_TABSTOP = 0x1;
constexpr UINT UIFLAG_SETCURSOR = 0x2;
constexpr UINT UIFLAG_WANTRETURN = 0x4;

// FindControl flags.
constexpr UINT UIFIND_ALL = 0x0;
constexpr UINT UIFIND_VISIBLE = 0x1;
constexpr UINT UIFIND_ENABLED = 0x2;
constexpr UINT UIFIND_HITTEST = 0x4;
constexpr UINT UIFIND_TOP_FIRST = 0x8;
// Only the controls that exist now: children made on demand (list rows' cells) stay unmade.
constexpr UINT UIFIND_PRESENT = 0x10;

// Button states used to pick images and colours.
constexpr UINT UISTATE_FOCUSED = 0x1;
constexpr UINT UISTATE_SELECTED = 0x2;
constexpr UINT UISTATE_DISABLED = 0x4;
constexpr UINT UISTATE_HOT = 0x8;
constexpr UINT UISTATE_PUSHED = 0x10;
constexpr UINT UISTATE_CAPTURED = 0x40;

// Mouse cursor shapes a control may ask for.
enum class UICursor { Arrow, Hand, IBeam, SizeWE, SizeNS, SizeNWSE, SizeNESW };

// Colours are 0xAARRGGBB.
using DWORD = uint32_t;
