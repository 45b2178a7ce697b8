// The client of the browsers of one browser control: creates the views, listens to their
// WebKit signals and reports life-cycle, load and bridge events to its delegate. Links that
// would open a window open in place, pages get no context menu and no script dialogs.
#pragma once

#include <webkit2/webkit2.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "browser/Browser.h"
#include "browser/JsFunctionTable.h"
#include "platform/Types.h"

using BrowserList = std::vector<BrowserPtr>;

class BrowserHandler : public std::enable_shared_from_this<BrowserHandler> {
 public:
  // What the handler asks of the control that owns it (the lower module's way up).
  class HandlerDelegate {
   public:
    virtual ~HandlerDelegate() = default;
    virtual BrowserPtr GetBrowser() = 0;
    // The current browser's native widget, or none.
    virtual GtkWidget* GetBrowserHost() = 0;
    virtual bool CloseAllBrowser() = 0;
    virtual BrowserList GetBrowserList() = 0;
    virtual void UpdateWindowPos() = 0;
    virtual void OnLoadStart(const BrowserPtr& browser) = 0;
    virtual void OnLoadEnd(const BrowserPtr& browser, int httpStatusCode) = 0;
    virtual void OnLoadError(const BrowserPtr& browser, int errorCode, const std::wstring& errorText,
                             const std::wstring& failedUrl) = 0;
    // True to open the target in the current browser.
    virtual bool OnBeforePopup(const std::wstring& targetUrl) = 0;
    virtual bool OnAfterCreated(const BrowserPtr& browser) = 0;
    virtual void OnRenderProcessTerminated(const BrowserPtr& browser, int status) = 0;
    // The bridge function of (function name, browser identifier), or an empty function.
    virtual JsFunction GetFunction(const std::wstring& functionName, std::int64_t browserId) = 0;
  };

  static std::shared_ptr<BrowserHandler> Create(HWND hostWindow, HandlerDelegate* delegate);
  ~BrowserHandler();

  // Requests a new browser; it is created on the main loop and reported through
  // OnAfterCreated (so a caller may queue work for it first).
  void CreateBrowser();

  BrowserPtr GetBrowser() const { return m_browser; }
  const BrowserList& GetBrowserList() const { return m_browsers; }
  HWND GetHostWindow() const { return m_hostWindow; }
  // The control goes away before the handler may: it clears both.
  void SetHostWindow(HWND hostWindow) { m_hostWindow = hostWindow; }
  void SetDelegate(HandlerDelegate* delegate) { m_delegate = delegate; }

  // Queues a task to run once the first browser exists.
  void AddPendingTask(std::function<void()> task) { m_pendingTasks.push_back(std::move(task)); }

  // Closes every browser of the list from the main loop; true when the task was queued.
  bool CloseAllBrowser();
  // Closes one browser now (its view is destroyed when the last reference goes).
  void CloseBrowser(const BrowserPtr& browser);

  // "CallCppFunc" from a page: the registered bridge function is called from the main loop
  // with a responder that sends "JsCallBack" to the same page.
  bool OnProcessMessageReceived(const BrowserPtr& browser, WebKitUserMessage* message);

 private:
  BrowserHandler(HWND hostWindow, HandlerDelegate* delegate)
      : m_hostWindow(hostWindow), m_delegate(delegate) {}
  void OnAfterCreated(const BrowserPtr& browser);
  void OnBeforeClose(const BrowserPtr& browser);
  BrowserPtr FindBrowser(WebKitWebView* view) const;
  void Connect(const BrowserPtr& browser);

  static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self);
  static gboolean OnContextMenu(WebKitWebView* view, WebKitContextMenu* menu, GdkEvent* event,
                                WebKitHitTestResult* hit, gpointer self);
  static gboolean OnScriptDialog(WebKitWebView* view, WebKitScriptDialog* dialog, gpointer self);
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
  static gboolean OnLoadFailed(WebKitWebView* view, WebKitLoadEvent event, gchar* uri, GError* error,
                               gpointer self);
  static gboolean OnTlsError(WebKitWebView* view, gchar* uri, GTlsCertificate* certificate,
                             GTlsCertificateFlags errors, gpointer self);
  static void OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                                     gpointer self);
  static gboolean OnUserMessage(WebKitWebView* view, WebKitUserMessage* message, gpointer self);

  BrowserPtr m_browser;
  BrowserList m_browsers;
  HWND m_hostWindow;
  HandlerDelegate* m_delegate;
  std::vector<std::function<void()>> m_pendingTasks;
};
