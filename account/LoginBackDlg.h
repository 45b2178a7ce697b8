// The login frame: the program's first window and the last one standing. A white title
// bar with the logo, the avatar and the window buttons; it owns the welcome panel, the
// sign-in form and the title shadow, which are layers kept at fixed places on it. When
// the catalogue has loaded it hides them all and opens the main window; when it is
// finally destroyed the message loop ends.
#pragma once

#include <memory>
#include <string>

#include "ui/Control.h"
#include "ui/WindowImplBase.h"

class CButtonUI;
class CHeadUI;
class LoginMidDlg;
class LoginDelegate;
class LoginDlg;
class TitleShadowDlg;

class LoginBackDlg : public WindowImplBase {
 public:
  // The main window and the offline start are asked of `delegate` (nothing without one).
  explicit LoginBackDlg(LoginDelegate* delegate = nullptr);
  ~LoginBackDlg() override;

  std::wstring GetWindowClassName() const override;  // "loginBackDlgClass"

  // Shows or hides the welcome panel, the form (its busy layer hidden first) and the
  // title shadow; the sign-out path calls it after showing the frame again.
  void ShowChildren(bool show);

  // The owned windows (null before InitWindow ran).
  LoginMidDlg* GetMidDlg() const { return m_mid.get(); }
  LoginDlg* GetLoginDlg() const { return m_login.get(); }
  TitleShadowDlg* GetTitleShadow() const { return m_shadow.get(); }
  CHeadUI* GetHeadButton() const { return m_head; }

  // Places the three owned windows relative to the frame rectangle `frame` (screen). The
  // layers move with the frame by themselves; a new size needs this again.
  void LayoutChildren(const CDuiRect& frame);

  std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag) override;

 protected:
  std::wstring GetSkinFile() override { return L"login_back.xml"; }
  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                              bool& bHandled) override;
  LRESULT OnSize(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  void OnFinalMessage(HWND hwnd) override;

 private:
  void SyncMaxRestoreButtons();
  void OnLoginDone();
  // The avatar of the account named in the form, or the default picture.
  void ShowAccountAvatar();

  std::unique_ptr<LoginMidDlg> m_mid;
  std::unique_ptr<LoginDlg> m_login;
  std::unique_ptr<TitleShadowDlg> m_shadow;
  LoginDelegate* m_delegate = nullptr;
  CHeadUI* m_head = nullptr;
  CButtonUI* m_closeBtn = nullptr;
  CButtonUI* m_minBtn = nullptr;
  CButtonUI* m_maxBtn = nullptr;
  CButtonUI* m_restoreBtn = nullptr;
};

// The process-wide login frame pointer (may be null).
LoginBackDlg* GetLoginFrame();
void SetLoginFrame(LoginBackDlg* frame);
