#include "account/LoginDlg.h"

#include <algorithm>
#include <utility>

#include "account/AccountFolder.h"
#include "account/LoginWorker.h"
#include "account/LoginDelegate.h"
#include "account/MessageBoxDlg.h"
#include "account/SavedCredentials.h"
#include "account/SqUserDB.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/Settings.h"
#include "app/TextConv.h"
#include "app/Values.h"
#include "downloads/CourseDB.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "service/AccountParsers.h"
#include "service/Endpoints.h"
#include "service/Session.h"
#include "service/UsageReport.h"
#include "ui/Button.h"
#include "ui/Edit.h"
#include "ui/GifAnim.h"
#include "ui/Label.h"
#include "ui/Option.h"

namespace {
constexpr const wchar_t* kEnabledColour = L"bkcolor=\"#FFFF854D\"";
constexpr const wchar_t* kDisabledColour = L"bkcolor=\"#66FF854D\"";
constexpr int kPassWidthAccount = 270;
constexpr int kPassWidthSms = 212;
constexpr size_t kMobileLength = 11;
constexpr int kSmsWaitSeconds = 60;
const std::string kLoginOk = "登录成功";
const std::string kSmsSent = "发送成功";
const std::wstring kGetCode = L"获取验证码";
// Shown when the school's service did not answer within its time limit.
const std::wstring kServiceTooSlow = L"学校服务器长时间没有回应，请检查网络后重试";
// Shown when the service let the student in but its answer names no usable account.
const std::wstring kNoAccountRecord = L"无法读取账号信息，请稍后重试";
// The school cannot be reached and the account cannot start offline.
const std::wstring kOfflineWrongPassword = L"无法连接学校，且密码与本机上次登录时不同";
const std::wstring kOfflineFirstStart = L"无法连接学校服务器：首次在本机登录需要联网";
constexpr int kOfflineTipDistance = 560;
constexpr int kOfflineTipWidth = 320;
}  // namespace

// What a request thread carries back to the form: the service's message and what was sent.
struct LoginDlg::Answer {
  std::string message;
  bool timedOut = false;
  // The school gave no answer of its own; then whether the account may start offline.
  bool unreachable = false;
  OfflineVerdict offline = OfflineVerdict::NeverSignedIn;
  bool sms = false;
  std::string account;
  std::string password;
  // The account's own name, which names its data folder; empty when the answer has none.
  std::string folder;
  // The data folder an offline start of this sign-in name opens.
  std::string offlineFolder;
};

namespace {

// The data folder whose check an offline start of `signInName` (as typed) is judged by:
// the account's own folder kept at its last sign-in here when that name was another (the
// mobile number), else the folder of the name itself. A kept folder that cannot be an
// account's (an edited file) is not followed; nor can one lead to another account's data,
// as its folder holds no check of this name and password.
std::string OfflineFolderOf(const std::string& signInName) {
  std::string folder = SqUserDB::Get().FolderOf(signInName);
  if (folder.empty()) return signInName;
  if (const std::wstring problem = AccountNameProblem(folder); !problem.empty()) {
    LogError(L"the kept folder of a sign-in name is not used: " + problem);
    return signInName;
  }
  return folder;
}

}  // namespace

void LoginDlg::InitWindow() {
  m_accountLogin = FindControlAs<COptionUI>(L"accountLogin");
  m_smsLogin = FindControlAs<COptionUI>(L"smsLogin");
  m_accountLine = FindControl(L"accountLoginLine");
  m_smsLine = FindControl(L"smsLoginLine");
  m_user = FindControlAs<CEditUI>(L"usrname");
  m_pass = FindControlAs<CEditUI>(L"pass");
  m_iconPass = FindControl(L"iconpass");
  m_spacePass = FindControl(L"spacepass");
  m_getSmsCode = FindControlAs<CButtonUI>(L"getSmsCode");
  m_errorTip = FindControlAs<CLabelUI>(L"lbErrorTip");
  m_savePass = FindControlAs<COptionUI>(L"optSavePass");
  m_autoLogin = FindControlAs<COptionUI>(L"optAutoLogin");
  m_login = FindControlAs<CButtonUI>(L"login");
  m_busy = FindControl(L"vLayLoginGif");
  if (!m_accountLogin || !m_smsLogin || !m_user || !m_pass || !m_getSmsCode || !m_errorTip || !m_savePass ||
      !m_autoLogin || !m_login || !m_busy) {
    LogError(L"login.xml lacks controls of the login form");
    return;
  }
  ShowBusy(false);
  UpdateLoginButton();
  LogNormal(L"login form ready, asking the keyring");

  SavedCredentials saved;
  if (m_accountLogin->IsSelected() && m_savePass->IsSelected()) saved = LoadSavedCredentials();
  m_user->SetText(AnsiToWide(saved.user));
  // The keyring is asked even without a remembered account, to know whether the option
  // can be offered.
  m_keyringTask = LoadRememberedPassword(saved.user, [this, saved](const RememberedPassword& remembered) {
    OnRememberedPassword(saved, remembered);
  });
}

void LoginDlg::OnRememberedPassword(const SavedCredentials& saved, const RememberedPassword& remembered) {
  LogNormal(L"the keyring answered");
  m_keyring = remembered.keyring;
  if (m_keyring == Keyring::kUnavailable) {
    RefuseRememberPassword();
    return;
  }
  // What the student typed or chose meanwhile stays as it is.
  if (remembered.password.empty() || m_requestPending || IsSmsMode() || !m_savePass->IsSelected() ||
      WideToAnsi(m_user->GetText()) != saved.user || !m_pass->GetText().empty()) {
    return;
  }
  m_pass->SetText(AnsiToWide(remembered.password));
  UpdateLoginButton();
  if (saved.autoLogin) DoLogin();
}

void LoginDlg::RefuseRememberPassword() {
  m_savePass->Selected(false);
  m_autoLogin->Selected(false);
  ShowTip(L"未找到系统密钥环，无法记住密码");
}

std::wstring LoginDlg::GetAccountText() const { return m_user ? m_user->GetText() : std::wstring(); }

std::wstring LoginDlg::GetAccountName() const {
  return m_user && m_accountLogin && m_smsLogin && !IsSmsMode() ? m_user->GetText() : std::wstring();
}

bool LoginDlg::IsSmsMode() const { return !(m_accountLogin->IsSelected() || !m_smsLogin->IsSelected()); }

void LoginDlg::SetButtonEnabled(CButtonUI* button, bool enabled) {
  button->ApplyAttributeList(enabled ? kEnabledColour : kDisabledColour);
  button->SetEnabled(enabled);
}

void LoginDlg::UpdateLoginButton() {
  // A greyed button says what it waits for, in the words of the fields' hints.
  const bool sms = IsSmsMode();
  const bool noUser = m_user->GetText().empty();
  const bool noPass = m_pass->GetText().empty();
  std::wstring missing;
  if (noUser && noPass)
    missing = sms ? L"请输入手机号和验证码" : L"请输入账号和密码";
  else if (noUser)
    missing = sms ? L"请输入手机号" : L"请输入账号";
  else if (noPass)
    missing = sms ? L"请输入验证码" : L"请输入密码";
  SetButtonEnabled(m_login, missing.empty());
  m_login->SetToolTip(missing);
}

void LoginDlg::ShowTip(const std::wstring& text) {
  // What the student was told, for anyone reading the log after a failed sign-in.
  LogNormal(L"login tip: " + text);
  m_errorTip->SetText(text);
  ::SetTimer(GetHWND(), TIMER_ERROR_TIP, kErrorTipMs);
}

void LoginDlg::ShowBusy(bool show) {
  if (!m_busy) return;
  m_busy->SetVisible(show);
  if (auto* gif = FindControlAs<CGifAnimUI>(L"gLoginGif")) {
    if (show)
      gif->PlayGif();
    else
      gif->StopGif();
  }
}

void LoginDlg::SwitchToAccount() {
  m_pass->SetText(m_savePass->IsSelected() ? m_stashedPassword : std::wstring());
  if (m_user->GetText().empty()) m_user->SetText(std::exchange(m_stashedAccount, {}));
  for (CControlUI* c : {m_accountLine, m_iconPass, m_spacePass}) {
    if (c) c->SetVisible(true);
  }
  m_savePass->SetVisible(true);
  m_autoLogin->SetVisible(true);
  if (m_smsLine) m_smsLine->SetVisible(false);
  m_getSmsCode->SetVisible(false);
  m_pass->SetFixedWidth(kPassWidthAccount);
  m_errorTip->SetText(L"");
  m_user->SetNumberOnly(false);
  m_pass->SetPasswordMode(true);
  m_user->SetHintText(L"请输入账号");
  m_pass->SetHintText(L"请输入密码");
  UpdateLoginButton();
}

void LoginDlg::SwitchToSms() {
  for (CControlUI* c : {m_accountLine, m_iconPass, m_spacePass}) {
    if (c) c->SetVisible(false);
  }
  m_savePass->SetVisible(false);
  m_autoLogin->SetVisible(false);
  if (m_smsLine) m_smsLine->SetVisible(true);
  m_getSmsCode->SetVisible(true);
  m_pass->SetFixedWidth(kPassWidthSms);
  m_pass->SetText(L"");
  // The field is reused for the mobile number: an account name never shows as one.
  const std::wstring user = m_user->GetText();
  if (!std::all_of(user.begin(), user.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
    m_stashedAccount = user;
    m_user->SetText(L"");
  }
  m_errorTip->SetText(L"");
  SetButtonEnabled(m_getSmsCode, m_user->GetText().size() == kMobileLength);
  m_user->SetNumberOnly(true);
  m_pass->SetPasswordMode(false);
  m_user->SetHintText(L"请输入手机号");
  m_pass->SetHintText(L"请输入验证码");
  UpdateLoginButton();
}

void LoginDlg::Notify(TNotifyUI& msg) {
  CControlUI* sender = msg.pSender;
  if (msg.sType == DUI_MSGTYPE_SELECTCHANGED && sender) {
    if (sender == m_accountLogin && m_accountLogin->IsSelected()) {
      SwitchToAccount();
    } else if (sender == m_smsLogin && m_smsLogin->IsSelected()) {
      m_stashedPassword = m_pass->GetText();
      SwitchToSms();
    } else if (sender == m_savePass && !m_savePass->IsSelected()) {
      m_autoLogin->Selected(false);
    } else if (sender == m_savePass && m_keyring == Keyring::kUnavailable) {
      RefuseRememberPassword();
    } else if (sender == m_autoLogin && m_autoLogin->IsSelected()) {
      m_savePass->Selected(true);
    }
  } else if (msg.sType == DUI_MSGTYPE_CLICK && sender) {
    if (sender == m_login)
      DoLogin();
    else if (sender == m_getSmsCode)
      SendSms();
  } else if (msg.sType == DUI_MSGTYPE_TEXTCHANGED && sender) {
    if (sender == m_user) {
      UpdateLoginButton();
      if (IsSmsMode()) {
        m_getSmsCode->SetText(kGetCode);
        SetButtonEnabled(m_getSmsCode, m_user->GetText().size() == kMobileLength);
      }
    } else if (sender == m_pass) {
      UpdateLoginButton();
    }
  } else if (msg.sType == DUI_MSGTYPE_RETURN && (sender == m_user || sender == m_pass)) {
    // Enter in either field signs in, as the button would.
    if (m_login->IsEnabled()) DoLogin();
  }
  WindowImplBase::Notify(msg);
}

void LoginDlg::DoLogin() {
  if (!m_login || m_requestPending) return;
  std::string account = WideToAnsi(m_user->GetText());
  std::string password = WideToAnsi(m_pass->GetText());
  bool sms = IsSmsMode();
  std::wstring tip;
  if (account.empty() || password.empty()) {
    tip = L"账号或密码不能为空";
  } else if (sms) {
    if (m_user->GetText().size() != kMobileLength)
      tip = L"手机号位数不是11位";
    else if (!IsNumber(account))
      tip = L"手机号只能为数字";
  }
  if (!tip.empty()) {
    ShowTip(tip);
    return;
  }

  ShowBusy(true);
  m_requestPending = true;
  HWND self = GetHWND();
  const std::string offlineFolder = sms ? std::string() : OfflineFolderOf(account);
  const std::wstring offlineDb = sms ? std::wstring() : offline_start::DbPathOf(offlineFolder);
  RunLoginThread([self, sms, account, password, offlineFolder, offlineDb] {
    auto answer = std::make_shared<Answer>();
    const ServiceReply reply =
        offline_start::SignInReply(sms, account, password, offlineDb, answer->unreachable, answer->offline);
    answer->message = sms ? ParseLoginSmsCodeAnswer(reply.body) : ParseLoginUsrNameAnswer(reply.body);
    answer->timedOut = reply.failure == TransportFailure::TimedOut;
    if (answer->message == kLoginOk) answer->folder = PrepareAccountFolder(reply.body, account);
    answer->sms = sms;
    answer->account = account;
    answer->password = password;
    answer->offlineFolder = offlineFolder;
    PostMessage(self, WM_LOGIN_ANSWER, 0, 0, answer);
  });
}

void LoginDlg::OnLoginAnswer(const Answer& answer) {
  m_requestPending = false;
  if (answer.unreachable && !answer.sms &&
      OnSchoolUnreachable(answer.account, answer.offlineFolder, answer.password, answer.offline))
    return;
  if (answer.message != kLoginOk) {
    ShowTip(answer.timedOut ? kServiceTooSlow : AnsiToWide(answer.message));
    ShowBusy(false);
    return;
  }
  if (answer.folder.empty()) {
    // Nobody can be signed in without an account to keep the data of.
    ClearSessionToken();
    ShowTip(kNoAccountRecord);
    ShowBusy(false);
    return;
  }
  bool autoLogin = m_autoLogin->IsSelected();
  WriteRegString(L"autoLogin", autoLogin ? L"1" : L"0");
  LogNormal(L"登录成功，获取用户信息");
  SetSignedInAccount(answer.folder);
  // The next use of the course database opens the one of this account.
  CourseDB::Release();
  StoreSignInCredentials(answer.sms ? SignInMode::kSms : SignInMode::kPassword, answer.account,
                         answer.password,
                         m_savePass->IsSelected() ? RememberPassword::kYes : RememberPassword::kNo,
                         autoLogin ? AutoLogin::kYes : AutoLogin::kNo, m_keyring);
  // An offline start knows only the typed name: the check of that name is kept in the
  // account's folder, and a name other than the folder's (the mobile number) is remembered
  // to lead there.
  if (!answer.sms) {
    const bool remember = m_savePass->IsSelected();
    offline_start::KeepCheck(answer.account, answer.folder, answer.password,
                             remember ? RememberPassword::kYes : RememberPassword::kNo);
    if (remember && answer.account != answer.folder)
      SqUserDB::Get().SetFolder(answer.account, answer.folder);
    else
      SqUserDB::Get().RemoveFolder(answer.account);
  }
  StartCatalogueLoad();
  // The busy layer stays until the frame hears that the catalogue is in.
}

bool LoginDlg::OnSchoolUnreachable(const std::string& account, const std::string& folder,
                                   const std::string& password, OfflineVerdict verdict) {
  switch (verdict) {
    case OfflineVerdict::Allowed:
      break;
    case OfflineVerdict::WrongPassword:
      // Never a way around a wrong password: the form waits as after a refusal.
      LogNormal(L"offline start refused: the password differs from the last sign-in here");
      ShowTip(kOfflineWrongPassword);
      ShowBusy(false);
      return true;
    case OfflineVerdict::NeverSignedIn:
      // The form's tip keeps its usual text (none, or "too slow"); the toast says why
      // there is no offline mode.
      LogNormal(L"no offline start: this account never signed in here with its password remembered");
      ::ShowTip(m_frame != kNoWindow ? m_frame : GetHWND(), kOfflineTipDistance, kOfflineTipWidth,
                kOfflineFirstStart);
      return false;
  }
  LogNormal(L"the school cannot be reached: starting offline from what this computer kept");
  // The folder of the account; the catch-up signs in again with the name as typed.
  SetSignedInAccount(folder);
  // The next use of the course database opens the one of this account.
  CourseDB::Release();
  if (m_delegate) m_delegate->StartOffline(account, password);
  if (!m_loginThread) {
    m_loginThread = true;
    StartOfflineWorker(m_frame != kNoWindow ? m_frame : GetOwner());
  }
  return true;
}

void LoginDlg::StartCatalogueLoad() {
  if (m_loginThread) return;
  m_loginThread = true;
  StartLoginWorker(m_frame != kNoWindow ? m_frame : GetOwner());
}

void LoginDlg::OnCatalogueLoaded() {
  if (m_errorTip) m_errorTip->SetText(L"");
  m_loginThread = false;
}

void LoginDlg::SendSms() {
  if (!m_user || m_requestPending) return;
  std::string mobile = WideToAnsi(m_user->GetText());
  ShowBusy(true);
  m_requestPending = true;
  HWND self = GetHWND();
  RunLoginThread([self, mobile] {
    AwaitUsageReport();
    auto answer = std::make_shared<Answer>();
    answer->message = ParseSendSmsCode(mobile);
    answer->sms = true;
    answer->account = mobile;
    PostMessage(self, WM_SMS_ANSWER, 0, 0, answer);
  });
}

void LoginDlg::OnSmsAnswer(const Answer& answer) {
  m_requestPending = false;
  ShowBusy(false);
  if (answer.message == kSmsSent) {
    m_smsCountdown = kSmsWaitSeconds;
    ::SetTimer(GetHWND(), TIMER_SMS_COUNTDOWN, kSmsCountdownMs);
    m_getSmsCode->SetText(L"已发送(" + std::to_wstring(kSmsWaitSeconds) + L"s)");
  } else {
    ShowTip(AnsiToWide(answer.message));
  }
}

void LoginDlg::OnCountdownTick() {
  int current = m_smsCountdown;
  m_smsCountdown = current - 1;
  if (current <= 1) {
    ::KillTimer(GetHWND(), TIMER_SMS_COUNTDOWN);
    m_smsCountdown = 0;
    m_getSmsCode->SetText(L"重新获取");
  } else {
    m_getSmsCode->SetText(L"已发送(" + std::to_wstring(m_smsCountdown) + L"s)");
  }
}

LRESULT LoginDlg::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM, const Payload& payload,
                                      bool& bHandled) {
  bHandled = false;
  if (!m_login) return 0;
  if (msg == WM_TIMER && wParam == TIMER_SMS_COUNTDOWN) {
    OnCountdownTick();
    bHandled = true;
  } else if (msg == WM_TIMER && wParam == TIMER_ERROR_TIP) {
    m_errorTip->SetText(L"");
    ::KillTimer(GetHWND(), TIMER_ERROR_TIP);
    bHandled = true;
  } else if ((msg == WM_LOGIN_ANSWER || msg == WM_SMS_ANSWER) && payload) {
    const Answer& answer = *PayloadAs<Answer>(payload);
    if (msg == WM_LOGIN_ANSWER)
      OnLoginAnswer(answer);
    else
      OnSmsAnswer(answer);
    bHandled = true;
  }
  return 0;
}
