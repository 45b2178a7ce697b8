// The question-bank view of the main window: the school's question page in a browser
// control ("cefcontrol") inside "vlQuestions". The browser's view is a native child that
// shows and hides with its holder. The page loads when the view is first shown, not at
// sign-in: until then no web process runs for it. Without a browser engine (the
// display-less test host) no browser is made and the holder says so.
#pragma once

#include <memory>
#include <string>

#include "platform/Types.h"
#include "ui/Forward.h"

class CefNativeControl;

class QuestionView {
 public:
  // The window's control factory asks here for the skin tag "cefcontrol".
  std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag, HWND hostWindow);
  // The view is being shown: the first time, the question page (site origin +
  // "/Tiku/index/index.html") starts loading, or the holder shows that it cannot open here.
  void OnShown(WindowImplBase& window);
  // True once the page was asked for.
  bool Requested() const { return m_requested; }
  // Opens the page's developer tools (the hot key); nothing without a browser.
  void ShowDevTools();
  // The window is going: the browser is released.
  void Close();
  bool HasBrowser() const { return m_browser != nullptr; }

  static std::wstring PageUrl();

 private:
  CefNativeControl* m_browser = nullptr;
  bool m_requested = false;
};
