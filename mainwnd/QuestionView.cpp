// The question-bank view.
#include "mainwnd/QuestionView.h"

#include <glib.h>

#include <cstdlib>
#include <string>

#include "app/Log.h"
#include "browser/Browser.h"
#include "browser/CefNativeControl.h"
#include "service/ServiceConfig.h"
#include "ui/Control.h"
#include "ui/UIText.h"
#include "ui/WindowImplBase.h"

std::wstring QuestionView::PageUrl() { return FromUtf8(GetSiteOrigin()) + L"/Tiku/index/index.html"; }

std::unique_ptr<CControlUI> QuestionView::CreateControl(const std::wstring& tag, HWND hostWindow) {
  return CefNativeControl::CreateForWindow(tag, hostWindow, m_browser);
}

namespace {
constexpr unsigned kDefaultReleaseDelayMs = 5 * 60 * 1000;
}

QuestionView::~QuestionView() { CancelRelease(); }

unsigned QuestionView::ReleaseDelayMs() {
  static const unsigned delay = [] {
    const char* text = std::getenv("TAVO_QUESTION_RELEASE_MS");
    if (text == nullptr || *text == '\0') return kDefaultReleaseDelayMs;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (*end != '\0' || value == 0 || value > kDefaultReleaseDelayMs) {
      LogError(L"TAVO_QUESTION_RELEASE_MS ignored: not a delay of 1 to 300000 ms");
      return kDefaultReleaseDelayMs;
    }
    return static_cast<unsigned>(value);
  }();
  return delay;
}

void QuestionView::OnShown(WindowImplBase& window) {
  CancelRelease();
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

void QuestionView::OnHidden() {
  if (!m_requested || !m_browser || m_releaseTimer != 0) return;
  m_releaseTimer = g_timeout_add(ReleaseDelayMs(), &QuestionView::OnReleaseDue, this);
}

int QuestionView::OnReleaseDue(void* self) {
  auto* view = static_cast<QuestionView*>(self);
  view->m_releaseTimer = 0;
  view->Release();
  return G_SOURCE_REMOVE;
}

void QuestionView::CancelRelease() {
  if (m_releaseTimer != 0) g_source_remove(m_releaseTimer);
  m_releaseTimer = 0;
}

void QuestionView::Release() {
  BrowserPtr browser = m_browser ? m_browser->GetBrowser() : nullptr;
  if (!browser) return;
  browser->TerminateWebProcess();
  m_requested = false;
  LogNormal(L"question page released while hidden");
}

void QuestionView::Close() {
  CancelRelease();
  if (m_browser) m_browser->CloseAllBrowser();
  m_browser = nullptr;
}
