// The question-bank view of the main window: the school's question page in a browser
// control ("cefcontrol") inside "vlQuestions". The browser's view is a native child that
// shows and hides with its holder. The page loads when the view is first shown, not at
// sign-in: until then no web process runs for it. A page left hidden for a while gives its
// web process back (a large share of the program's memory) and loads again when shown.
// Without a browser engine (the display-less test host) no browser is made and the holder
// says so.
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
  // The view was hidden: a loaded page is released after ReleaseDelayMs() unless the view
  // is shown again before.
  void OnHidden();
  // True once the page was asked for (and not released since).
  bool Requested() const { return m_requested; }
  // How long a hidden page keeps its web process: five minutes, or TAVO_QUESTION_RELEASE_MS.
  static unsigned ReleaseDelayMs();
  // Opens the page's developer tools (the hot key); nothing without a browser.
  void ShowDevTools();
  // The window is going: the browser is released.
  void Close();
  ~QuestionView();
  bool HasBrowser() const { return m_browser != nullptr; }

  static std::wstring PageUrl();

 private:
  void CancelRelease();
  void Release();
  static int OnReleaseDue(void* self);

  CefNativeControl* m_browser = nullptr;
  bool m_requested = false;
  // The GLib source of a pending release; 0 when none.
  unsigned m_releaseTimer = 0;
};
