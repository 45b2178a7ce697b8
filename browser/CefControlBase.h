// The engine half of a browser control: owns the browser handler, registers the bridge
// functions for each new browser, tells the host window about creation (1037) and every
// finished load (1039), and offers the window LoadURL, ExecuteJavaScript and the
// developer tools. Where the view goes on screen is the subclass's (the toolkit control).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "browser/BrowserHandler.h"

// A rectangle in the host window's coordinates.
struct BrowserRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

class CefControlBase : public BrowserHandler::HandlerDelegate {
 public:
  CefControlBase() = default;
  ~CefControlBase() override;
  CefControlBase(const CefControlBase&) = delete;
  CefControlBase& operator=(const CefControlBase&) = delete;

  // The control joined its window: makes the handler, requests the browser and installs
  // the reactions to creation and loads. Later calls do nothing.
  void InitBrowser(HWND hostWindow);

  // Loads a page; before the browser exists the load waits for it (and before
  // InitBrowser it is lost).
  void LoadURL(const std::wstring& url);
  // Runs script in the main frame of the browser with that identifier; nothing happens
  // for an identifier of 0 or less or an unknown one.
  void ExecuteJavaScript(std::int64_t browserId, const std::wstring& script);

  virtual bool ShowDevTools();
  virtual void CloseDevTools();
  // Requests the browser when the handler has none.
  virtual void CreateBrowser();

  const std::wstring& GetLastURL() const { return m_lastUrl; }
  // A page that is its window's whole content (the player) takes the keyboard once it has
  // loaded, so its keys work without a click into it first.
  void SetTakesKeyboardOnLoad(bool takes) { m_takesKeyboard = takes; }
  std::shared_ptr<BrowserHandler> GetHandler() const { return m_handler; }

  // BrowserHandler::HandlerDelegate
  BrowserPtr GetBrowser() override;
  GtkWidget* GetBrowserHost() override;
  bool CloseAllBrowser() override;
  BrowserList GetBrowserList() override;
  void UpdateWindowPos() override;
  void OnLoadStart(const BrowserPtr& browser) override;
  void OnLoadEnd(const BrowserPtr& browser, int httpStatusCode) override;
  void OnLoadError(const BrowserPtr& browser, int errorCode, const std::wstring& errorText,
                   const std::wstring& failedUrl) override;
  bool OnBeforePopup(const std::wstring& targetUrl) override;
  bool OnAfterCreated(const BrowserPtr& browser) override;
  void OnRenderProcessTerminated(const BrowserPtr& browser, int status) override;
  JsFunction GetFunction(const std::wstring& functionName, std::int64_t browserId) override;

  // The log summary of a failed load (never shown).
  static std::wstring LoadErrorSummary(int errorCode, const std::wstring& errorText,
                                       const std::wstring& failedUrl);

 protected:
  // The control's rectangle in its window.
  virtual BrowserRect GetViewRect() const = 0;
  // Puts (or moves) a browser's view over the rectangle of the window.
  virtual void PlaceView(GtkWidget* view, const BrowserRect& rect) = 0;

  // Moves every browser's view to the rectangle; the current one is shown.
  void PlaceBrowsers(const BrowserRect& rect);

  std::shared_ptr<BrowserHandler> m_handler;
  std::wstring m_lastUrl;
  std::map<std::pair<std::wstring, std::int64_t>, JsFunction> m_functions;
  std::function<void()> m_onLoadStart;
  std::function<void(int)> m_onLoadEnd;
  std::function<void(const BrowserPtr&)> m_onAfterCreated;
  bool m_takesKeyboard = false;
};
