// The toast: a one-line grey bar with white text that closes itself after a second. It
// is the program's way of telling the user short things ("请检查网络连接").
#pragma once

#include <string>

#include "ui/WindowImplBase.h"

class CLabelUI;
class CControlUI;

constexpr UINT TIMER_TIP_CLOSE = 1058;
constexpr UINT kTipLifetimeMs = 1000;
constexpr int kTipHeight = 32;

class MessageBoxDlg : public WindowImplBase {
 public:
  std::wstring GetWindowClassName() const override { return L"MessageBoxDlgClass"; }
  void SetTipText(const std::wstring& text);

 protected:
  std::wstring GetSkinFile() override { return L"message_box_dlg.xml"; }
  void InitWindow() override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                              bool& bHandled) override;
  void OnFinalMessage(HWND hwnd) override;

 private:
  CLabelUI* m_tip = nullptr;
  CControlUI* m_layout = nullptr;
};

// Opens a toast of `width` x 32 centred horizontally over `owner`, `distance` pixels below
// the owner's top edge. Several toasts may be open at once. Returns the toast's handle.
HWND ShowTip(HWND owner, int distance, int width, const std::wstring& text);
