// The question-bank view.
#include "mainwnd/QuestionView.h"

#include "browser/CefNativeControl.h"
#include "service/ServiceConfig.h"
#include "ui/Control.h"
#include "ui/UIText.h"
#include "ui/WindowImplBase.h"

std::wstring QuestionView::PageUrl() { return FromUtf8(GetSiteOrigin()) + L"/Tiku/index/index.html"; }

std::unique_ptr<CControlUI> QuestionView::CreateControl(const std::wstring& tag, HWND hostWindow) {
  return CefNativeControl::CreateForWindow(tag, hostWindow, m_browser);
}

void QuestionView::OnShown(WindowImplBase& window) {
  if (m_requested) return;
  m_requested = true;
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
