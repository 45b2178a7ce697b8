// The program's own web page window.
#include "mainwnd/WebPageDlg.h"

#include "account/SelfOwnedWindows.h"
#include "app/Log.h"
#include "browser/CefNativeControl.h"
#include "browser/ClientAppBrowser.h"
#include "ui/Control.h"

std::unique_ptr<CControlUI> WebPageDlg::CreateControl(const std::wstring& tag) {
  std::unique_ptr<CControlUI> control = CefNativeControl::CreateFromTag(tag, m_hWnd);
  if (control) m_browser = static_cast<CefNativeControl*>(control.get());
  return control;
}

void WebPageDlg::InitWindow() {
  if (CControlUI* title = FindControl(L"lbTitle")) title->SetText(m_url);
  if (m_browser) m_browser->LoadURL(m_url);
}

void WebPageDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender && msg.pSender->GetName() == L"closebtn") {
    if (m_browser) m_browser->CloseAllBrowser();
    m_browser = nullptr;
    Close();
    return;
  }
  WindowImplBase::Notify(msg);
}

void WebPageDlg::OnFinalMessage(HWND) {
  // Frees this object when the function returns; nothing may follow.
  std::unique_ptr<CWindowWnd> self = ReleaseSelfOwned(this);
}

bool OpenWebPageWindow(const std::wstring& url) {
  if (!ClientAppBrowser::IsCreated()) return false;
  auto dlg = std::make_unique<WebPageDlg>(url);
  if (dlg->Create(kNoWindow, L"Tavo", UI_WNDSTYLE_FRAME, 0, 0, 0, 1024, 700) == kNoWindow) return false;
  WebPageDlg* page = AdoptSelfOwned(std::move(dlg));
  page->CenterWindow();
  page->ShowWindow(true, true);
  LogNormal(L"no desktop browser: " + url + L" opens in the program's own window");
  return true;
}
