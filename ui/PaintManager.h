// One per window: owns the control tree, lays it out and paints it, routes the host's
// input to controls (hover, capture, focus, tab order), delivers notifications and runs
// per-control timers. The static part holds the process-wide skin resources.
#pragma once

#include <cairo.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/host/Host.h"
#include "ui/Render.h"
#include "ui/UIDefs.h"

class CControlUI;

// Where a point of the window is for the window manager.
enum class HitArea { Client, Caption, SizeBox };

class CPaintManagerUI {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI();
  CPaintManagerUI(const CPaintManagerUI&) = delete;
  CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

  // Process-wide skin resources: the zip held in memory, or a folder on disk.
  static void SetInstance(void*) {}
  static void* GetResourceDll() { return nullptr; }
  static void SetResourceType(int) {}
  static bool SetResourceZip(const void* data, size_t size);
  static void SetResourcePath(const std::wstring& folder);
  // Runs the main thread's messages until the quit message.
  static int MessageLoop();

  void Init(HWND hwnd, HostWindow* host);
  // The host window is going: native children are taken off it and painting stops.
  void DetachHost();
  HWND GetPaintWindow() const { return m_hWnd; }
  HostWindow* GetHostWindow() const { return m_host; }

  // Takes the control tree; the previous one is destroyed.
  bool AttachDialog(std::unique_ptr<CControlUI> root);
  CControlUI* GetRoot() const { return m_root.get(); }
  CControlUI* FindControl(const std::wstring& name) const;
  CControlUI* FindControl(CDuiPoint pt) const;
  CControlUI* FindSubControlByName(CControlUI* parent, const std::wstring& name) const;
  // Bookkeeping by controls: names, and forgetting a control that leaves the tree.
  void RegisterName(CControlUI* control);
  void UnregisterName(CControlUI* control, const std::wstring& name);
  void ReapObjects(CControlUI* control);
  // Frees a removed control after the current event has been handled.
  void AddDelayedCleanup(std::unique_ptr<CControlUI> control);

  // Size, layout and painting.
  void SetClientSize(int width, int height);
  CDuiSize GetClientSize() const { return m_szClient; }
  void NeedUpdate();
  bool IsUpdateNeeded() const { return m_bUpdateNeeded; }
  // For a change that placed its own controls (a list row filling its cells in place): the
  // window needs no new layout for it. Leaves an update asked for before alone.
  void KeepUpdateState(bool wasNeeded) { m_bUpdateNeeded = wasNeeded; }
  void Invalidate();
  void Invalidate(const CDuiRect& rc);
  void DoLayout();
  void Paint(cairo_t* cr, const CDuiRect& rcPaint);

  // The <Window> attributes.
  CDuiSize GetInitSize() const { return m_szInit; }
  void SetInitSize(int cx, int cy) { m_szInit = {cx, cy}; }
  const CDuiRect& GetCaptionRect() const { return m_rcCaption; }
  void SetCaptionRect(const CDuiRect& rc) { m_rcCaption = rc; }
  const CDuiRect& GetSizeBox() const { return m_rcSizeBox; }
  void SetSizeBox(const CDuiRect& rc) { m_rcSizeBox = rc; }
  CDuiSize GetMinInfo() const { return m_szMin; }
  void SetMinInfo(int cx, int cy) { m_szMin = {cx, cy}; }
  CDuiSize GetMaxInfo() const { return m_szMax; }
  void SetMaxInfo(int cx, int cy) { m_szMax = {cx, cy}; }
  CDuiSize GetRoundCorner() const { return m_szRoundCorner; }
  void SetRoundCorner(int cx, int cy) { m_szRoundCorner = {cx, cy}; }
  bool IsBackgroundTransparent() const { return m_bTransparent; }
  void SetBackgroundTransparent(bool t) { m_bTransparent = t; }
  bool SetWindowAttribute(std::wstring_view name, std::wstring_view value);

  // Fonts by index; -1 or an unknown index gives the default font.
  void AddFont(int id, const std::wstring& name, int size, bool bold, bool underline, bool italic,
               bool isDefault = false);
  const TFontInfo* GetFont(int id) const;
  static void SetDefaultFontName(const std::wstring& name);

  // Default attribute lists per control class tag ("Button", "Edit", ...).
  void AddDefaultAttributeList(const std::wstring& tag, const std::wstring& list);
  const std::wstring* GetDefaultAttributeList(const std::wstring& tag) const;
  // Named styles for `style="name"` (the <Style> tag).
  void AddStyle(const std::wstring& name, const std::wstring& list) { m_styles[name] = list; }
  const std::wstring* GetStyle(const std::wstring& name) const;

  // Option groups: at most one selected option per group.
  void AddOptionGroup(const std::wstring& group, CControlUI* control);
  const std::vector<CControlUI*>* GetOptionGroup(const std::wstring& group) const;
  void RemoveOptionGroup(const std::wstring& group, CControlUI* control);

  void AddNotifier(INotifyUI* notifier);
  void RemoveNotifier(INotifyUI* notifier);
  void SendNotify(CControlUI* control, const std::wstring& type, WPARAM wParam = 0, LPARAM lParam = 0,
                  bool async = false);
  void SendNotify(TNotifyUI& msg, bool async = false);
  // Delivers notifications queued with async = true (the window calls this).
  void FlushAsyncNotify();

  CControlUI* GetFocus() const { return m_pFocus; }
  // The focused control is marked once the keyboard moved the focus, until the next click.
  bool IsFocusVisible() const { return m_bFocusVisible; }
  void SetFocus(CControlUI* control);
  bool SetNextTabControl(bool forward = true);
  // Focuses the first (forward) or last stop, marked as moved by the keyboard; false when
  // the window has no stop.
  bool EnterTabOrder(bool forward);
  bool HasTabStops() const { return !TabStops().empty(); }
  // Asked when Tab would wrap around this window's stops; returns true when it moved the
  // focus on to another window (a window whose Tab order continues in its neighbours).
  void SetTabLeaveHandler(std::function<bool(bool forward)> handler) { m_onTabLeave = std::move(handler); }
  CControlUI* GetHover() const { return m_pEventHover; }
  void SetCapture(CControlUI* control) { m_pEventCapture = control; }
  void ReleaseCapture() { m_pEventCapture = nullptr; }
  CControlUI* GetCapture() const { return m_pEventCapture; }

  // Per-control timers on the window's timers; the window forwards WM_TIMER here.
  bool SetTimer(CControlUI* control, UINT id, UINT ms);
  bool KillTimer(CControlUI* control, UINT id);
  void KillTimers(CControlUI* control);
  bool HandleTimer(UINT windowTimerId);
  static constexpr UINT kFirstControlTimer = 0x40000000;

  // Input from the host, in window coordinates.
  void HandleMouse(const HostMouseEvent& event);
  bool HandleKey(const HostKeyEvent& event);
  void HandleText(const std::string& utf8);
  void HandlePreedit(const std::string& utf8, int cursor);
  void HandleFocus(bool focused);
  HitArea HitTest(CDuiPoint pt, HostEdge& edge) const;
  CDuiPoint GetMousePos() const { return m_ptLastMouse; }
  // The tooltip now asked of the host (empty text: none) and the control it belongs to.
  const HostToolTip& GetToolTipShown() const { return m_tip; }
  CControlUI* GetToolTipOwner() const { return m_pTipOwner; }

  // Keeps the input method informed about the focused edit's caret.
  void SetTextInput(bool enabled, const CDuiRect& caret);
  // Native children are placed after every layout.
  void AddNativeView(CControlUI* control) { m_nativeViews.insert(control); }
  void RemoveNativeView(CControlUI* control) { m_nativeViews.erase(control); }

  // A control drawn above all others and given the mouse first (drop-down lists).
  // A press on `anchor` (the control that opened it) is left to the anchor to handle.
  void SetPopup(CControlUI* popup, CControlUI* anchor = nullptr) {
    m_pPopup = popup;
    m_pPopupAnchor = anchor;
    Invalidate();
  }
  CControlUI* GetPopup() const { return m_pPopup; }

 private:
  // The controls Tab stops at, in tree order.
  std::vector<CControlUI*> TabStops() const;
  // The topmost visible control at `pt` (the popup first) that also matches `flags`.
  CControlUI* ControlAt(CDuiPoint pt, UINT flags) const;
  void SendEvent(CControlUI* control, TEventUI& event);
  void UpdateHover(CDuiPoint pt, uint32_t time);
  void UpdateCursor(CControlUI* control);
  // Shows the tooltip of the hovered control (the nearest one up the tree), or none.
  void UpdateToolTip();
  // Hides the tooltip; it stays hidden until the pointer reaches another control, so a
  // click, a scroll or a key never brings it back over what the student is looking at.
  void HideToolTip();
  void PlaceNativeViews();
  void PaintFocusMark(cairo_t* cr, const CDuiRect& rcPaint);

  HWND m_hWnd = 0;
  HostWindow* m_host = nullptr;
  std::unique_ptr<CControlUI> m_root;
  std::unordered_map<std::wstring, std::deque<CControlUI*>> m_names;  // in registration order
  std::unordered_map<const CControlUI*, std::wstring> m_nameOf;       // the name each is registered under
  std::vector<std::unique_ptr<CControlUI>> m_delayedCleanup;
  CDuiSize m_szClient;
  CDuiSize m_szInit;
  CDuiSize m_szMin;
  CDuiSize m_szMax;
  CDuiSize m_szRoundCorner;
  CDuiRect m_rcCaption;
  CDuiRect m_rcSizeBox;
  bool m_bTransparent = false;
  bool m_bUpdateNeeded = true;
  std::map<int, std::shared_ptr<TFontInfo>> m_fonts;
  std::shared_ptr<TFontInfo> m_defaultFont;
  std::map<std::wstring, std::wstring> m_defaultAttrs;
  std::map<std::wstring, std::wstring> m_styles;
  std::map<std::wstring, std::vector<CControlUI*>> m_optionGroups;
  std::vector<INotifyUI*> m_notifiers;
  std::deque<TNotifyUI> m_asyncNotify;
  CControlUI* m_pFocus = nullptr;
  CControlUI* m_pFocusKept = nullptr;  // the focused control while the window is away
  CControlUI* m_pEventHover = nullptr;
  CControlUI* m_pEventCapture = nullptr;
  CControlUI* m_pPopup = nullptr;
  CControlUI* m_pPopupAnchor = nullptr;
  CControlUI* m_pTipOwner = nullptr;       // whose tooltip shows
  CControlUI* m_pTipFrom = nullptr;        // under the pointer, enabled or not
  CControlUI* m_pTipSuppressed = nullptr;  // the hovered control whose tooltip was put away
  HostToolTip m_tip;                       // text, place and the window's tooltip colours
  struct TimerInfo {
    CControlUI* control;
    UINT id;
    UINT windowId;
  };
  std::vector<TimerInfo> m_timers;
  UINT m_nextTimer = kFirstControlTimer;
  std::set<CControlUI*> m_nativeViews;
  CDuiPoint m_ptLastMouse;
  int m_dispatchDepth = 0;
  bool m_bFocusVisible = false;
  std::function<bool(bool forward)> m_onTabLeave;
};
