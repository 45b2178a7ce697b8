// The avatar button at the right of the main window's title bar (skin tag
// "MoveMyInfoButton"): a round avatar that owns the profile popup. Hovering it opens the
// popup below it; leaving it closes the popup unless the pointer went into the popup.
#pragma once

#include <memory>

#include "account/HeadUI.h"
#include "account/MyInfoDlg.h"

class MainDlg;

class MoveMyInfoButton : public CHeadUI, public MyInfoDlg::Owner {
 public:
  explicit MoveMyInfoButton(MainDlg& main);
  ~MoveMyInfoButton() override;

  std::wstring GetClass() const override { return L"MoveMyInfoButtonUI"; }
  void DoEvent(TEventUI& event) override;

  // Creates the popup (hidden), which asks the service for the account at once. Called
  // once the main window exists.
  void CreatePopup();
  MyInfoDlg* GetPopup() const { return m_popup.get(); }

  // MyInfoDlg::Owner
  HWND GetMainWindow() const override;
  void ShowPersonPanel(const AccountRecord& record) override;
  void ShowDownSetPanel() override;
  void SignOut() override;
  bool IsPopupShown() const override { return m_popupShown; }

 private:
  MainDlg& m_main;
  std::unique_ptr<MyInfoDlg> m_popup;
  bool m_popupShown = false;
};
