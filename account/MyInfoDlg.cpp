// The profile popup.
#include "account/MyInfoDlg.h"

#include "account/HeaderIcon.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "platform/Messages.h"
#include "platform/BackgroundTask.h"
#include "service/AccountParsers.h"
#include "service/Session.h"

namespace {

constexpr int kWidth = 267;
constexpr int kHeight = 178;
constexpr int kLeftOfButton = 211;
constexpr int kBelowButton = 22;

}  // namespace

struct MyInfoDlg::PersonInfoAnswer {
  AccountRecord record;
  std::string avatarPath;  // the local copy of the avatar, when there is one already
};

MyInfoDlg::MyInfoDlg(Owner& owner) : m_owner(owner) {}

std::string MyInfoDlg::AccountLabelFor(const std::string& nickname, const std::string& mobile) {
  return mobile == nickname ? std::string() : mobile;
}

void MyInfoDlg::InitWindow() {
  m_nickName = FindControl(L"lbNickName");
  m_account = FindControl(L"lbAccount");
  for (CControlUI* label : {m_nickName, m_account})
    if (label) label->SetAttribute(L"endellipsis", L"true");
  // The request waits for the service: it runs on a worker, the answer comes back here
  // unless the popup has gone by then.
  LogNormal(L"ParseGetPersonInfo");
  const bool signedIn = !GetSessionToken().empty();
  const HWND main = m_owner.GetMainWindow();
  m_infoFetch = BackgroundTask::Run(
      [main, signedIn](const CancelToken&) {
        PersonInfoAnswer answer;
        // Without a session there is no account to ask about: the labels stay empty.
        if (signedIn) ParseGetPersonInfo(answer.record);
        // The picture's folder is on disk: looked at here too, not on the main loop.
        LogNormal(L"DownloadHeaderIcon");
        answer.avatarPath = DownloadHeaderIcon(main, answer.record.avatar);
        return answer;
      },
      [this](PersonInfoAnswer answer) { OnPersonInfo(std::move(answer)); });
}

void MyInfoDlg::OnPersonInfo(PersonInfoAnswer answer) {
  m_accountRecord = std::move(answer.record);
  const std::string& path = answer.avatarPath;
  m_answered = true;
  const HWND main = m_owner.GetMainWindow();
  if (!path.empty())
    PostMessage(main, WM_AVATAR_READY, 0, 0, MakePayload<std::string>(path));
  else
    PostMessage(main, WM_AVATAR_DEFAULT);
  ShowLabels(m_accountRecord.nickname);
  LogNormal(L"MyInfoDlg::InitWindow end");
}

void MyInfoDlg::ShowLabels(const std::string& nickname) {
  const std::wstring name = AnsiToWide(nickname);
  if (m_nickName) {
    m_nickName->SetText(name);
    m_nickName->SetToolTip(name);
  }
  if (m_account) {
    const std::string account = AccountLabelFor(nickname, m_accountRecord.mobile);
    m_account->SetText(AnsiToWide(account));
    m_account->SetToolTip(account.empty() ? std::wstring() : name);
  }
}

void MyInfoDlg::SetNickName(const std::string& nickname) { ShowLabels(nickname); }

void MyInfoDlg::Notify(TNotifyUI& msg) {
  if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender) {
    const std::wstring& name = msg.pSender->GetName();
    if (name == L"btnExit") {
      ShowWindow(false, false);
      m_owner.SignOut();
      return;
    }
    if (name == L"btnModifyPersonInfo") {
      ShowWindow(false, false);
      m_owner.ShowPersonPanel(m_accountRecord);
      return;
    }
    if (name == L"btnDownSet") {
      ShowWindow(false, false);
      m_owner.ShowDownSetPanel();
      return;
    }
  }
  WindowImplBase::Notify(msg);
}

void MyInfoDlg::HideUnlessPinned() {
  if (!m_owner.IsPopupShown()) ShowWindow(false, false);
}

void MyInfoDlg::OnHostMouse(const HostMouseEvent& event) {
  if (event.type == HostMouseType::Leave) HideUnlessPinned();
  WindowImplBase::OnHostMouse(event);
}

void MyInfoDlg::OnHostFocus(bool focused) {
  if (!focused) HideUnlessPinned();
  WindowImplBase::OnHostFocus(focused);
}

void MyInfoDlg::PlaceBelowButton(int x, int y) {
  CDuiRect main;
  if (CWindowWnd* window = CWindowWnd::FromHandle(m_owner.GetMainWindow())) main = window->GetWindowRect();
  const int left = main.left + x - kLeftOfButton;
  const int top = main.top + y + kBelowButton;
  MoveWindow({left, top, left + kWidth, top + kHeight});
}
