// The profile popup under the main window's avatar button: nickname and account, and
// "修改个人资料", "下载设置", "退出". When created it asks the service for the account record
// (on a worker) and then fetches the avatar picture, which goes to the main
// window (WM_AVATAR_READY with the path, or WM_AVATAR_DEFAULT while there is none yet).
#pragma once

#include <memory>
#include <string>

#include "platform/BackgroundTask.h"
#include "service/Records.h"
#include "ui/Control.h"
#include "ui/WindowImplBase.h"

class MyInfoDlg : public WindowImplBase {
 public:
  // What the popup asks of the main window, which lives in a higher module.
  class Owner {
   public:
    virtual ~Owner() = default;
    virtual HWND GetMainWindow() const = 0;
    virtual void ShowPersonPanel(const AccountRecord& record) = 0;
    virtual void ShowDownSetPanel() = 0;
    virtual void SignOut() = 0;
    // True while the pointer is on the avatar button: the popup stays open.
    virtual bool IsPopupShown() const = 0;
  };

  explicit MyInfoDlg(Owner& owner);
  std::wstring GetWindowClassName() const override { return L"myInfoDlgClass"; }

  // Moves the popup under the avatar button at (x, y) of the main window.
  void PlaceBelowButton(int x, int y);
  // The labels show this nickname (after a profile save); the record keeps its own.
  void SetNickName(const std::string& nickname);
  const AccountRecord& GetAccountRecord() const { return m_accountRecord; }
  bool HasAnswer() const { return m_answered; }

  // The account label: the mobile number, or empty when it equals the nickname.
  static std::string AccountLabelFor(const std::string& nickname, const std::string& mobile);

  void Notify(TNotifyUI& msg) override;

 protected:
  std::wstring GetSkinFile() override { return L"my_info.xml"; }
  void InitWindow() override;
  void OnHostMouse(const HostMouseEvent& event) override;
  void OnHostFocus(bool focused) override;

 private:
  struct PersonInfoAnswer;
  void OnPersonInfo(PersonInfoAnswer answer);
  void ShowLabels(const std::string& nickname);
  void HideUnlessPinned();

  Owner& m_owner;
  AccountRecord m_accountRecord;
  bool m_answered = false;
  CControlUI* m_nickName = nullptr;
  CControlUI* m_account = nullptr;
  BackgroundTask m_infoFetch;
};
