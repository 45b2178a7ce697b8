// A window of the toolkit: a registered message target (handle, class name, title) with a
// host window (GTK or test host). It builds nothing by itself: WindowImplBase adds the
// skin. Rectangles are screen coordinates; owned windows become layers of their owner.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/MessageCore.h"
#include "platform/host/Host.h"
#include "ui/UIDefs.h"
#include "ui/WindowDefs.h"

class CWindowWnd : public MessageTarget, public HostWindowDelegate {
 public:
  CWindowWnd();
  ~CWindowWnd() override;
  CWindowWnd(const CWindowWnd&) = delete;
  CWindowWnd& operator=(const CWindowWnd&) = delete;

  HWND GetHWND() const { return m_hWnd; }
  HWND GetOwner() const { return m_hOwner; }
  HostWindow* GetHostWindow() const { return m_host.get(); }
  static CWindowWnd* FromHandle(HWND hwnd);
  // The windows `owner` owns, oldest first.
  static std::vector<CWindowWnd*> OwnedBy(HWND owner);

  virtual std::wstring GetWindowClassName() const = 0;
  // How the host shows this window: a top-level window without owner, a layer of its
  // owner otherwise; override to get a transient dialog or a popup.
  virtual HostKind GetHostKind() const { return m_hOwner ? HostKind::Layer : HostKind::TopLevel; }

  // Creates the window; a zero size means the skin's size. Returns 0 on failure.
  HWND Create(HWND owner, const std::wstring& title, UINT style, UINT exStyle, int x = 0, int y = 0,
              int cx = 0, int cy = 0);
  void ShowWindow(bool show = true, bool takeFocus = true);
  void ShowWindowCmd(int command);
  // Runs a nested loop until the window closes; returns the value given to Close.
  UINT ShowModal();
  // Asks the window to close (posted); OnClose may refuse.
  void Close(UINT result = IDOK);
  // Destroys at once: OnDestroy, the host window goes, then OnFinalMessage.
  void DestroyWindow();
  void CenterWindow();
  void SetIcon(UINT resourceId);
  void SetWindowText(const std::wstring& title);
  const std::wstring& GetWindowText() const { return m_title; }

  CDuiRect GetWindowRect() const;
  void MoveWindow(const CDuiRect& rc);
  void SetTopMost(bool topMost);
  bool IsIconic() const;
  bool IsZoomed() const;
  bool IsWindowVisible() const;
  // Shows, restores and raises the window and gives it the focus.
  void BringToFront();

  // Window-level hot keys: a matching key press posts WM_HOTKEY with `id`.
  void RegisterHotKey(int id, UINT modifiers, UINT key);
  void UnregisterHotKey(int id);

  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload) override;

 protected:
  virtual LRESULT OnCreate(UINT, WPARAM, LPARAM, bool& bHandled) {
    bHandled = false;
    return 0;
  }
  // Called after the window is gone; the object may delete itself here.
  virtual void OnFinalMessage(HWND) {}
  // Window coordinates of the host's events reach these (the toolkit overrides them).
  void OnHostPaint(cairo_t*, const HostRect&) override {}
  void OnHostSize(int, int) override {}
  void OnHostMouse(const HostMouseEvent&) override {}
  bool OnHostKey(const HostKeyEvent&) override { return false; }
  bool OnHostHotKey(const HostKeyEvent& event) override;
  void OnHostText(const std::string&) override {}
  void OnHostPreedit(const std::string&, int) override {}
  void OnHostFocus(bool) override {}
  void OnHostCloseRequest() override;

  HWND m_hWnd = kNoWindow;
  HWND m_hOwner = kNoWindow;
  std::unique_ptr<HostWindow> m_host;
  std::wstring m_title;
  UINT m_style = 0;
  UINT m_exStyle = 0;
  struct HotKey {
    UINT modifiers;
    UINT key;
  };
  std::map<int, HotKey> m_hotKeys;
  struct ModalState {
    bool running = true;
    UINT result = IDCANCEL;
  };
  std::shared_ptr<ModalState> m_modal;
  UINT m_closeResult = IDCANCEL;
};
