// The end-of-video panel: previous, replay and next (1049 to the player with 0, 1, 2). The
// page may swallow the click: the player then hit-tests the cursor here.
#pragma once

#include <string>

#include "ui/Control.h"
#include "ui/WindowImplBase.h"

class VideoPlayEndDlg : public WindowImplBase {
 public:
  static constexpr int kWidth = 514;
  static constexpr int kHeight = 144;

  std::wstring GetWindowClassName() const override { return L"videoPlayEndDlgClass"; }
  // The choice (0 previous, 1 replay, 2 next) under a screen point, checking the enabled
  // buttons in that order; -1 for none.
  int HitTest(int screenX, int screenY) const;

 protected:
  std::wstring GetSkinFile() override { return L"video_play_end_dlg.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;

 private:
  CControlUI* m_buttons[3] = {nullptr, nullptr, nullptr};
};
