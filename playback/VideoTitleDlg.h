// The player's title bar: a layer over the top of the player with the lesson name and the
// minimise, maximise/restore and close buttons. Dragging it moves the player; the pointer
// hovering it or leaving it through an outer edge tells the player (1052, 1051).
#pragma once

#include <string>

#include "ui/Control.h"
#include "ui/WindowImplBase.h"

class VideoTitleDlg : public WindowImplBase {
 public:
  static constexpr int kHeight = 102;

  explicit VideoTitleDlg(std::wstring title) : m_title(std::move(title)) {}
  std::wstring GetWindowClassName() const override { return L"videoTitleDlgClass"; }

  // The lesson name: label text and tooltip.
  void SetTitle(const std::wstring& title);
  const std::wstring& GetTitle() const { return m_title; }
  void ShowLabel(bool show);
  void ShowButtons(bool show);
  bool IsLabelShown() const;
  bool AreButtonsShown() const;
  // True until the maximise button was used: its next click maximises.
  bool MaximiseNext() const { return m_maximiseNext; }

 protected:
  std::wstring GetSkinFile() override { return L"video_title_dlg.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;
  void OnHostMouse(const HostMouseEvent& event) override;

 private:
  bool OverButton(int x, int y) const;

  std::wstring m_title;
  CControlUI* m_label = nullptr;
  CControlUI* m_min = nullptr;
  CControlUI* m_max = nullptr;
  CControlUI* m_close = nullptr;
  bool m_maximiseNext = true;
  bool m_hovering = false;
  int m_lastX = 0;
  int m_lastY = 0;
};
