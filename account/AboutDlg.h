// The about window: the program's version and who makes it. At most one exists; choosing
// "about" again raises it to the front once, without keeping it above other programs.
#pragma once

#include <string>

#include "ui/WindowImplBase.h"

class CLabelUI;

// Takes the about window out of the top-most band shortly after it was raised.
constexpr UINT TIMER_ABOUT_UNTOPMOST = 1061;
constexpr UINT kAboutUntopmostMs = 200;

class AboutDlg : public WindowImplBase {
 public:
  // The version text shown; the program's own by default.
  explicit AboutDlg(std::wstring versionText);
  AboutDlg();
  std::wstring GetWindowClassName() const override { return L"aboutDlgClass"; }

 protected:
  std::wstring GetSkinFile() override { return L"about_dlg.xml"; }
  void InitWindow() override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                              bool& bHandled) override;
  void OnFinalMessage(HWND hwnd) override;

 private:
  std::wstring m_versionText;
  CLabelUI* m_version = nullptr;
};

// The label text for a version: "Tavo:" + version + "版本".
std::wstring AboutVersionLabel(const std::wstring& versionText);

// Opens the about window (centred, shown, top-most for a moment) or, when it is already
// open, raises it the same way. Returns its handle.
HWND OpenOrRaiseAboutWindow();
