// The engine half of a browser control.
#include "browser/CefControlBase.h"

#include "app/Log.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"

namespace {
constexpr int kErrorAborted = -3;
constexpr wchar_t kCrashUrl[] = L"chrome://crash";
}  // namespace

CefControlBase::~CefControlBase() {
  if (!m_handler) return;
  if (BrowserPtr browser = m_handler->GetBrowser()) m_handler->CloseBrowser(browser);
  // Work still queued for the handler must not reach this control or its window.
  m_handler->SetHostWindow(kNoWindow);
  m_handler->SetDelegate(nullptr);
  m_handler.reset();
}

void CefControlBase::InitBrowser(HWND hostWindow) {
  if (m_handler) return;
  m_handler = BrowserHandler::Create(hostWindow, this);
  CreateBrowser();
  m_onAfterCreated = [this](const BrowserPtr& browser) {
    const HWND host = m_handler->GetHostWindow();
    for (const auto& entry : JsFunctionTable) {
      m_functions.try_emplace(
          {entry.name, browser->GetIdentifier()},
          [host](const std::wstring& name, const std::wstring& params, const JsResponder& responder) {
            DispatchJsCall(host, name, params, responder);
          });
    }
    PostMessage(host, WM_BROWSER_CREATED, static_cast<WPARAM>(browser->GetIdentifier()), 0);
  };
  m_onLoadEnd = [this](int) { PostMessage(m_handler->GetHostWindow(), WM_BROWSER_LOAD_END, 0, 0); };
  m_onLoadStart = [] {};
}

void CefControlBase::CreateBrowser() {
  if (m_handler && !m_handler->GetBrowser()) m_handler->CreateBrowser();
}

void CefControlBase::LoadURL(const std::wstring& url) {
  if (!m_handler) return;
  if (BrowserPtr browser = m_handler->GetBrowser()) {
    browser->LoadURL(url);
    m_lastUrl = url;
    LogNormal(L"加载网址，URL=" + url);
    return;
  }
  m_handler->AddPendingTask([this, url] { LoadURL(url); });
}

void CefControlBase::ExecuteJavaScript(std::int64_t browserId, const std::wstring& script) {
  if (!m_handler || browserId <= 0) return;
  for (const auto& browser : m_handler->GetBrowserList()) {
    if (browser->GetIdentifier() == browserId) browser->ExecuteJavaScript(script);
  }
}

bool CefControlBase::ShowDevTools() {
  if (BrowserPtr browser = GetBrowser()) {
    // The inspector opens in a window of its own.
    webkit_web_inspector_show(webkit_web_view_get_inspector(browser->GetView()));
  }
  return true;
}

void CefControlBase::CloseDevTools() {
  if (BrowserPtr browser = GetBrowser())
    webkit_web_inspector_close(webkit_web_view_get_inspector(browser->GetView()));
}

BrowserPtr CefControlBase::GetBrowser() { return m_handler ? m_handler->GetBrowser() : nullptr; }

GtkWidget* CefControlBase::GetBrowserHost() {
  BrowserPtr browser = GetBrowser();
  return browser ? browser->GetWidget() : nullptr;
}

bool CefControlBase::CloseAllBrowser() { return m_handler ? m_handler->CloseAllBrowser() : false; }

BrowserList CefControlBase::GetBrowserList() {
  return m_handler ? m_handler->GetBrowserList() : BrowserList();
}

void CefControlBase::UpdateWindowPos() { PlaceBrowsers(GetViewRect()); }

void CefControlBase::PlaceBrowsers(const BrowserRect& rect) {
  if (!m_handler) return;
  BrowserPtr current = m_handler->GetBrowser();
  for (const auto& browser : m_handler->GetBrowserList()) {
    if (browser == current) browser->WasHidden(false);
    PlaceView(browser->GetWidget(), rect);
  }
}

void CefControlBase::OnLoadStart(const BrowserPtr&) {
  if (m_onLoadStart) m_onLoadStart();
}

void CefControlBase::OnLoadEnd(const BrowserPtr& browser, int httpStatusCode) {
  if (m_takesKeyboard && browser && browser->GetWidget()) gtk_widget_grab_focus(browser->GetWidget());
  if (m_onLoadEnd) m_onLoadEnd(httpStatusCode);
}

bool CefControlBase::OnAfterCreated(const BrowserPtr& browser) {
  if (m_onAfterCreated) m_onAfterCreated(browser);
  return false;
}

bool CefControlBase::OnBeforePopup(const std::wstring&) { return true; }

JsFunction CefControlBase::GetFunction(const std::wstring& functionName, std::int64_t browserId) {
  auto found = m_functions.find({functionName, browserId});
  return found == m_functions.end() ? JsFunction() : found->second;
}

std::wstring CefControlBase::LoadErrorSummary(int errorCode, const std::wstring& errorText,
                                              const std::wstring& failedUrl) {
  return L"<html><head><title>Page failed to load</title></head><body bgcolor=\"white\">"
         L"<h2>Page failed to load.</h2><h4>URL:  <a href=\"" +
         failedUrl + L"\">" + failedUrl + L"</a><br/>Error:  " + errorText + L" (" +
         std::to_wstring(errorCode) + L")</h4></body></html> ";
}

void CefControlBase::OnLoadError(const BrowserPtr& browser, int errorCode, const std::wstring& errorText,
                                 const std::wstring& failedUrl) {
  if (errorCode == kErrorAborted) return;
  browser->LoadString(errorText, failedUrl);
  LogError(L"OnLoadError加载错误(含重新加载)！ " + LoadErrorSummary(errorCode, errorText, failedUrl));
}

void CefControlBase::OnRenderProcessTerminated(const BrowserPtr& browser, int status) {
  if (m_lastUrl.empty() || m_lastUrl == kCrashUrl) return;
  // The program ended it itself (a page released while hidden).
  if (status == WEBKIT_WEB_PROCESS_TERMINATED_BY_API) return;
  const std::wstring url = browser->GetURL();
  if (url.empty()) return;
  LogError(L"OnRenderProcessTerminated status=" + std::to_wstring(status) + L",url=" + url);
}
