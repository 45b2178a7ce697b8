// The question-bank view.
#include "mainwnd/QuestionView.h"

#include "browser/CefNativeControl.h"
#include "browser/ClientAppBrowser.h"
#include "service/ServiceConfig.h"
#include "ui/Control.h"
#include "ui/UIText.h"
#include "ui/WindowImplBase.h"

std::wstring QuestionView::PageUrl() { return FromUtf8(GetSiteOrigin()) + L"/Tiku/index/index.html"; }

std::unique_ptr<CControlUI> QuestionView::CreateControl(const std::wstring& tag, HWND hostWindow) {
  std::unique_ptr<CControlUI> control = CefNativeControl::CreateFromTag(tag, hostWindow);
  if (control && !ClientAppBrowser::IsCreated()) {
    // No engine: an empty hidden stand-in keeps the skin whole.
    control = std::make_unique<CControlUI>();
    control->SetVisible(false);
    return control;
  }
  if (control) m_browser = static_cast<CefNativeControl*>(control.get());
  return control;
}

void QuestionView::Load(WindowImplBase& window) {
  CControlUI* status = window.FindControl(L"lbQuestionsLoading");
  if (!m_browser) {
    if (status) status->SetText(L"题库暂时无法打开");
    return;
  }
  if (status) status->SetVisible(false);
  m_browser->LoadURL(PageUrl());
}

void QuestionView::ShowDevTools() {
  if (m_browser) m_browser->ShowDevTools();
}

void QuestionView::Close() {
  if (m_browser) m_browser->CloseAllBrowser();
  m_browser = nullptr;
}
