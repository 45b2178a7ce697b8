// The playback error panel: the error code and a retry button (1053 to the player).
#pragma once

#include <string>

#include "ui/Control.h"
#include "ui/WindowImplBase.h"

class VideoErrorDlg : public WindowImplBase {
 public:
  static constexpr int kWidth = 485;
  static constexpr int kHeight = 482;

  std::wstring GetWindowClassName() const override { return L"videoErrorDlgClass"; }
  void SetCode(const std::wstring& code);
  std::wstring GetCode() const;

 protected:
  std::wstring GetSkinFile() override { return L"video_error_dlg.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;

 private:
  CControlUI* m_code = nullptr;
};
