// The client of the browsers of one browser control.
#include "browser/BrowserHandler.h"

#include <algorithm>
#include <cstdlib>

#include "app/Log.h"
#include "app/TextConv.h"
#include "browser/ClientAppBrowser.h"
#include "browser/LoopTask.h"
#include "browser/renderer/BridgeProtocol.h"
#include "browser/renderer/OriginPolicy.h"

namespace {

// The engine-neutral codes the control works with.
constexpr int kErrorAborted = -3;
constexpr int kTerminationKilled = 1;
constexpr int kTerminationCrashed = 2;
constexpr int kTerminationOutOfMemory = 3;

bool IsAbort(const GError* error) {
  return g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
         g_error_matches(error, WEBKIT_POLICY_ERROR,
                         WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE);
}

// A certificate that only fails because its issuer is the extra CA of $TAVO_CA_FILE
// (the demo school's) is trusted for its host; every other certificate error stands.
bool TrustedByExtraCa(GTlsCertificate* certificate, const char* uri, std::string& host) {
  const char* caFile = std::getenv("TAVO_CA_FILE");
  if (!caFile || !*caFile) return false;
  GError* error = nullptr;
  auto ca = GRef<GTlsCertificate>::Adopt(g_tls_certificate_new_from_file(caFile, &error));
  if (!ca) {
    LogError(L"TAVO_CA_FILE unreadable: " + Utf8ToWide(error ? error->message : ""));
    g_clear_error(&error);
    return false;
  }
  auto identity = GRef<GSocketConnectable>::Adopt(g_network_address_parse_uri(uri, 443, nullptr));
  if (!identity) return false;
  if (g_tls_certificate_verify(certificate, identity.get(), ca.get()) != 0) return false;
  host = g_network_address_get_hostname(G_NETWORK_ADDRESS(identity.get()));
  return true;
}

}  // namespace

std::shared_ptr<BrowserHandler> BrowserHandler::Create(HWND hostWindow, HandlerDelegate* delegate) {
  return std::shared_ptr<BrowserHandler>(new BrowserHandler(hostWindow, delegate));
}

BrowserHandler::~BrowserHandler() {
  for (const auto& browser : m_browsers) g_signal_handlers_disconnect_by_data(browser->GetView(), this);
}

void BrowserHandler::CreateBrowser() {
  PostLoopTask([weak = weak_from_this()] {
    auto self = weak.lock();
    if (!self) return;
    auto browser = std::make_shared<Browser>(ClientAppBrowser::Get().NewView());
    self->Connect(browser);
    self->OnAfterCreated(browser);
  });
}

void BrowserHandler::Connect(const BrowserPtr& browser) {
  WebKitWebView* view = browser->GetView();
  g_signal_connect(view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);
  g_signal_connect(view, "create", G_CALLBACK(OnCreate), this);
  g_signal_connect(view, "context-menu", G_CALLBACK(OnContextMenu), this);
  g_signal_connect(view, "script-dialog", G_CALLBACK(OnScriptDialog), this);
  g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(view, "load-failed", G_CALLBACK(OnLoadFailed), this);
  g_signal_connect(view, "load-failed-with-tls-errors", G_CALLBACK(OnTlsError), this);
  g_signal_connect(view, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), this);
  g_signal_connect(view, "user-message-received", G_CALLBACK(OnUserMessage), this);
}

BrowserPtr BrowserHandler::FindBrowser(WebKitWebView* view) const {
  for (const auto& browser : m_browsers) {
    if (browser->GetView() == view) return browser;
  }
  return nullptr;
}

void BrowserHandler::OnAfterCreated(const BrowserPtr& browser) {
  m_browsers.push_back(browser);
  if (m_browser) m_browser->WasHidden(true);
  m_browser = browser;
  if (m_delegate) {
    m_delegate->OnAfterCreated(browser);
    m_delegate->UpdateWindowPos();
  }
  auto tasks = std::move(m_pendingTasks);
  m_pendingTasks.clear();
  for (auto& task : tasks) task();
}

void BrowserHandler::OnBeforeClose(const BrowserPtr& browser) {
  auto found = std::find(m_browsers.begin(), m_browsers.end(), browser);
  if (found == m_browsers.end()) return;
  m_browsers.erase(found);
  if (browser != m_browser) return;
  m_browser = m_browsers.empty() ? nullptr : m_browsers.back();
  if (m_browser) {
    m_browser->WasHidden(false);
    m_browser->Reload();
  }
}

bool BrowserHandler::CloseAllBrowser() {
  PostLoopTask([weak = weak_from_this(), browsers = m_browsers] {
    auto self = weak.lock();
    if (!self) return;
    for (const auto& browser : browsers) self->CloseBrowser(browser);
  });
  return true;
}

void BrowserHandler::CloseBrowser(const BrowserPtr& browser) {
  g_signal_handlers_disconnect_by_data(browser->GetView(), this);
  OnBeforeClose(browser);
  // Nothing of the page may reach the screen once it is closed, even while a copy of the
  // pointer keeps the view alive.
  browser->WasHidden(true);
}

bool BrowserHandler::OnProcessMessageReceived(const BrowserPtr& browser, WebKitUserMessage* message) {
  if (std::string(webkit_user_message_get_name(message)) != kCallCppFunc) return false;
  GVariant* params = webkit_user_message_get_parameters(message);
  if (!params || !g_variant_is_of_type(params, G_VARIANT_TYPE(kCallCppFuncType))) {
    LogError(L"BrowserHandler: malformed CallCppFunc");
    return true;
  }
  const char* name = nullptr;
  const char* text = nullptr;
  g_variant_get(params, "(&s&s)", &name, &text);
  // The web process is not trusted to have kept the bridge from foreign pages: the page the
  // view shows now must be of a trusted origin.
  const std::string& pageUrl = browser->GetCommittedUrl();
  if (!ClientAppBrowser::IsTrustedUrl(pageUrl)) {
    LogError(L"CallCppFunc " + Utf8ToWide(name) + L" refused: untrusted page " +
             Utf8ToWide(OriginForLog(pageUrl)));
    return true;
  }
  // The host window runs from the loop, not inside WebKit's signal: it may close the view.
  PostLoopTask([weak = weak_from_this(), weakBrowser = std::weak_ptr<Browser>(browser),
                functionName = std::string(name), paramText = std::string(text)] {
    auto self = weak.lock();
    auto target = weakBrowser.lock();
    if (!self || !target || !self->m_delegate) return;
    const std::wstring wideName = Utf8ToWide(functionName);
    JsFunction function = self->m_delegate->GetFunction(wideName, target->GetIdentifier());
    if (!function) return;
    JsResponder responder = [weakBrowser, functionName](int code, const std::wstring& resultText) {
      PostLoopTask([weakBrowser, functionName, code, utf8 = WideToUtf8(resultText)] {
        auto page = weakBrowser.lock();
        if (!page) return;
        // An answer never follows the page to another origin.
        if (const std::string& url = page->GetCommittedUrl(); !ClientAppBrowser::IsTrustedUrl(url)) {
          LogError(L"JsCallBack " + Utf8ToWide(functionName) + L" dropped: untrusted page " +
                   Utf8ToWide(OriginForLog(url)));
          return;
        }
        page->SendProcessMessage(kJsCallBack,
                                 g_variant_new(kJsCallBackType, functionName.c_str(), code, utf8.c_str()));
      });
    };
    function(wideName, Utf8ToWide(paramText), responder);
  });
  return true;
}

gboolean BrowserHandler::OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                        WebKitPolicyDecisionType type, gpointer data) {
  if (type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) return FALSE;
  auto* self = static_cast<BrowserHandler*>(data);
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  OnCreate(view, action, self);
  webkit_policy_decision_ignore(decision);
  return TRUE;
}

GtkWidget* BrowserHandler::OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
  auto* self = static_cast<BrowserHandler*>(data);
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  if (self->m_browser && uri && *uri) {
    const std::wstring target = Utf8ToWide(uri);
    if (!self->m_delegate || self->m_delegate->OnBeforePopup(target)) self->m_browser->LoadURL(target);
  }
  // No window is ever opened: the target opens in place.
  return nullptr;
}

gboolean BrowserHandler::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                       WebKitHitTestResult* hit, gpointer) {
  // Edit fields keep their menu (cut, copy, paste, input methods); the page has none.
  return webkit_hit_test_result_context_is_editable(hit) ? FALSE : TRUE;
}

gboolean BrowserHandler::OnScriptDialog(WebKitWebView*, WebKitScriptDialog*, gpointer) {
  // Handled without showing anything: alert returns, confirm answers false, prompt null.
  return TRUE;
}

void BrowserHandler::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
  auto* self = static_cast<BrowserHandler*>(data);
  BrowserPtr browser = self->FindBrowser(view);
  if (browser && event == WEBKIT_LOAD_COMMITTED) {
    const char* uri = webkit_web_view_get_uri(view);
    browser->SetCommittedUrl(uri ? uri : "");
  }
  if (!browser || !self->m_delegate) return;
  if (event == WEBKIT_LOAD_STARTED) {
    self->m_delegate->OnLoadStart(browser);
  } else if (event == WEBKIT_LOAD_FINISHED) {
    int status = 0;
    if (WebKitWebResource* resource = webkit_web_view_get_main_resource(view)) {
      if (WebKitURIResponse* response = webkit_web_resource_get_response(resource)) {
        status = static_cast<int>(webkit_uri_response_get_status_code(response));
      }
    }
    self->m_delegate->OnLoadEnd(browser, status);
  }
}

gboolean BrowserHandler::OnLoadFailed(WebKitWebView* view, WebKitLoadEvent, gchar* uri, GError* error,
                                      gpointer data) {
  auto* self = static_cast<BrowserHandler*>(data);
  BrowserPtr browser = self->FindBrowser(view);
  if (!browser || !self->m_delegate) return FALSE;
  const int code = IsAbort(error) ? kErrorAborted : error->code;
  self->m_delegate->OnLoadError(browser, code, Utf8ToWide(error->message), Utf8ToWide(uri ? uri : ""));
  // The control shows its own error page (or nothing, for an abort).
  return TRUE;
}

gboolean BrowserHandler::OnTlsError(WebKitWebView* view, gchar* uri, GTlsCertificate* certificate,
                                    GTlsCertificateFlags errors, gpointer) {
  std::string host;
  if (TrustedByExtraCa(certificate, uri, host)) {
    webkit_web_context_allow_tls_certificate_for_host(webkit_web_view_get_context(view), certificate,
                                                      host.c_str());
    webkit_web_view_load_uri(view, uri);
    return TRUE;
  }
  LogError(L"TLS certificate refused, flags=" + std::to_wstring(static_cast<int>(errors)) + L",url=" +
           Utf8ToWide(uri ? uri : ""));
  return FALSE;
}

void BrowserHandler::OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                                            gpointer data) {
  auto* self = static_cast<BrowserHandler*>(data);
  BrowserPtr browser = self->FindBrowser(view);
  if (!browser || !self->m_delegate) return;
  int status = kTerminationCrashed;
  if (reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT) status = kTerminationOutOfMemory;
  if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) status = kTerminationKilled;
  self->m_delegate->OnRenderProcessTerminated(browser, status);
}

gboolean BrowserHandler::OnUserMessage(WebKitWebView* view, WebKitUserMessage* message, gpointer data) {
  auto* self = static_cast<BrowserHandler*>(data);
  BrowserPtr browser = self->FindBrowser(view);
  if (!browser) return FALSE;
  return self->OnProcessMessageReceived(browser, message) ? TRUE : FALSE;
}
