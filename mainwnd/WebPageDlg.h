// A small window of the program's own that shows a web page, for a desktop without a web
// browser: where the desktop cannot open an address (the buy page, an outside link), the
// page opens here instead of nothing happening.
#pragma once

#include <string>

#include "ui/WindowImplBase.h"

class CefNativeControl;

class WebPageDlg : public WindowImplBase {
 public:
  explicit WebPageDlg(std::wstring url) : m_url(std::move(url)) {}
  std::wstring GetWindowClassName() const override { return L"webPageDlgClass"; }
  std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag) override;
  void Notify(TNotifyUI& msg) override;

 protected:
  std::wstring GetSkinFile() override { return L"web_page_dlg.xml"; }
  void InitWindow() override;
  void OnFinalMessage(HWND hwnd) override;

 private:
  std::wstring m_url;
  CefNativeControl* m_browser = nullptr;
};

// Opens `url` in a new WebPageDlg; false when no window or no browser engine is there.
bool OpenWebPageWindow(const std::wstring& url);
