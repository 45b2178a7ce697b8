// The sign-in form: account and password, or mobile number and SMS code. Requests run on
// their own threads behind the busy layer and come back to the form as posted messages;
// a successful sign-in stores the saved credentials and starts the catalogue load, whose
// end the frame hears as WM_LOGIN_DONE. The remembered password comes from the desktop
// keyring on a worker; without a keyring no password is remembered and the form says so.
#pragma once

#include <string>

#include "account/OfflineStart.h"
#include "account/SavedCredentials.h"
#include "platform/BackgroundTask.h"
#include "ui/WindowImplBase.h"

class CButtonUI;
class CControlUI;
class CEditUI;
class CLabelUI;
class COptionUI;
class LoginDelegate;

constexpr UINT TIMER_SMS_COUNTDOWN = 1028;
constexpr UINT TIMER_ERROR_TIP = 1055;
constexpr UINT kErrorTipMs = 3000;
constexpr UINT kSmsCountdownMs = 1000;

class LoginDlg : public WindowImplBase {
 public:
  // `frame` receives WM_LOGIN_DONE when the catalogue has loaded; an offline start is
  // handed to `delegate` (none without one).
  explicit LoginDlg(HWND frame = kNoWindow, LoginDelegate* delegate = nullptr)
      : m_frame(frame), m_delegate(delegate) {}
  std::wstring GetWindowClassName() const override { return L"loginDlgClass"; }

  // Validates the fields and sends the sign-in request (ignored while one is out).
  void DoLogin();
  // Asks for an SMS code for the number in "usrname".
  void SendSms();
  // The busy layer over the form.
  void ShowBusy(bool show);
  // The frame heard WM_LOGIN_DONE: the tip is cleared and a new load may start later.
  void OnCatalogueLoaded();

  // The text of the account field (empty before InitWindow ran).
  std::wstring GetAccountText() const;
  // The account name in the form: the account field on the password tab, empty on the SMS
  // tab (the field holds a mobile number there).
  std::wstring GetAccountName() const;
  bool IsRequestPending() const { return m_requestPending; }
  bool IsCatalogueLoading() const { return m_loginThread; }
  int GetSmsCountdown() const { return m_smsCountdown; }
  // Whether a desktop keyring answered (kUnknown until the first answer is in).
  Keyring GetKeyring() const { return m_keyring; }

  void Notify(TNotifyUI& msg) override;

 protected:
  std::wstring GetSkinFile() override { return L"login.xml"; }
  void InitWindow() override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                              bool& bHandled) override;

 private:
  struct Answer;
  void SwitchToAccount();
  void SwitchToSms();
  void UpdateLoginButton();
  void SetButtonEnabled(CButtonUI* button, bool enabled);
  void ShowTip(const std::wstring& text);
  void OnLoginAnswer(const Answer& answer);
  // The school could not be reached: starts offline when the account may (true), or says
  // why not. False leaves the answer to the usual handling (an empty or "too slow" tip).
  // `account` as typed; `folder` the data folder its offline check was found in.
  bool OnSchoolUnreachable(const std::string& account, const std::string& folder, const std::string& password,
                           OfflineVerdict verdict);
  void OnSmsAnswer(const Answer& answer);
  void OnCountdownTick();
  void StartCatalogueLoad();
  void OnRememberedPassword(const SavedCredentials& saved, const RememberedPassword& remembered);
  // No keyring: "remember password" (and so "auto sign-in") is cleared, with the reason.
  void RefuseRememberPassword();
  bool IsSmsMode() const;

  HWND m_frame;
  LoginDelegate* m_delegate;
  std::wstring m_stashedPassword;
  std::wstring m_stashedAccount;  // the account name put away while the mobile tab shows
  int m_smsCountdown = 0;
  bool m_loginThread = false;     // a catalogue load runs
  bool m_requestPending = false;  // a sign-in or SMS request is out
  Keyring m_keyring = Keyring::kUnknown;
  BackgroundTask m_keyringTask;  // the remembered password being read

  COptionUI* m_accountLogin = nullptr;
  COptionUI* m_smsLogin = nullptr;
  CControlUI* m_accountLine = nullptr;
  CControlUI* m_smsLine = nullptr;
  CEditUI* m_user = nullptr;
  CEditUI* m_pass = nullptr;
  CControlUI* m_iconPass = nullptr;
  CControlUI* m_spacePass = nullptr;
  CButtonUI* m_getSmsCode = nullptr;
  CLabelUI* m_errorTip = nullptr;
  COptionUI* m_savePass = nullptr;
  COptionUI* m_autoLogin = nullptr;
  CButtonUI* m_login = nullptr;
  CControlUI* m_busy = nullptr;
};
