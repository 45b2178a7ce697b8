// The browser control of the toolkit (skin tag "cefcontrol"): a control whose browser view
// is a native child of the window, kept over the control's rectangle, below the window's
// layers, and shown only while the control and its parents are visible.
#pragma once

#include <memory>
#include <string>

#include "browser/CefControlBase.h"
#include "ui/NativeView.h"

class CefNativeControl : public CNativeViewUI, public CefControlBase {
 public:
  // Bound to the window that gets 1037, 1039 and the bridge messages.
  explicit CefNativeControl(HWND hostWindow) : m_hostWindow(hostWindow) {}
  ~CefNativeControl() override;

  // A window's CreateControl answer: a new control for "cefcontrol" (any case), else none.
  static std::unique_ptr<CControlUI> CreateFromTag(const std::wstring& tag, HWND hostWindow);
  // The same for a window that keeps its browser control: `browser` is set to the new
  // control. Without a browser engine (the display-less test host) "cefcontrol" becomes a
  // hidden plain control that keeps the skin whole, and `browser` stays as it was.
  static std::unique_ptr<CControlUI> CreateForWindow(const std::wstring& tag, HWND hostWindow,
                                                     CefNativeControl*& browser);

  std::wstring GetClass() const override { return L"CefControlUI"; }
  void* GetInterface(std::wstring_view name) override;
  // The control joined its window: the browser is requested.
  void DoInit() override;
  void SetPos(const CDuiRect& rc, bool needInvalidate = true) override;

 protected:
  BrowserRect GetViewRect() const override;
  void PlaceView(GtkWidget* view, const BrowserRect& rect) override;

 private:
  HWND m_hostWindow;
  // The browser whose view the window holds; kept alive while it is attached.
  BrowserPtr m_attached;
};
