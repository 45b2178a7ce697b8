// The profile panel and the title-bar avatar.
#include "mainwnd/PersonPanel.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "account/HeadUI.h"
#include "account/MessageBoxDlg.h"
#include "app/FileUtil.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/DownloadTask.h"
#include "mainwnd/MainDlg.h"
#include "mainwnd/MoveMyInfoButton.h"
#include "platform/Messages.h"
#include "service/AccountParsers.h"
#include "ui/Dialogs.h"
#include "ui/ResourceStore.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTipDistance = 553;
constexpr int kTipWidth = 200;

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

}  // namespace

PersonPanel::PersonPanel(MainDlg& main) : m_main(main) {}

std::wstring PersonPanel::DefaultAvatar() {
  const std::wstring installed = GetExeFolder() + L"htmllocal/header_def.png";
  std::error_code ec;
  return fs::exists(WideToAnsi(installed), ec) ? installed : L"header_def.png";
}

std::wstring PersonPanel::CheckAvatarFile(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return L"图片文件不存在";
  if (fs::file_size(path, ec) > kMaxAvatarBytes || ec) return L"图片不能超过5MB";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!CResourceStore::DecodeImage(bytes.str())) return L"请选择图片文件";
  return {};
}

CHeadUI* PersonPanel::PanelAvatar() const { return m_main.FindControlAs<CHeadUI>(L"headPersonInfo"); }
CHeadUI* PersonPanel::TitleAvatar() const { return m_main.FindControlAs<CHeadUI>(L"btnMyInfo"); }

void PersonPanel::Show(const AccountRecord& record) {
  if (m_nickname.empty()) m_nickname = record.nickname;
  if (CControlUI* edit = m_main.FindControl(L"edNickName")) edit->SetText(AnsiToWide(m_nickname));
  if (CControlUI* account = m_main.FindControl(L"edAccount")) account->SetText(AnsiToWide(record.mobile));
  m_panelPicture = FileExists(m_avatarPath) ? m_avatarPath : std::string();
  if (CHeadUI* avatar = PanelAvatar())
    avatar->SetHeadImage(m_panelPicture.empty() ? DefaultAvatar() : AnsiToWide(m_panelPicture));
}

bool PersonPanel::HandleNotify(TNotifyUI& msg) {
  if (msg.sType != DUI_MSGTYPE_CLICK || !msg.pSender) return false;
  const std::wstring& name = msg.pSender->GetName();
  if (name == L"headPersonInfo") {
    if (!m_busy) ChooseAvatar();
    return true;
  }
  if (name == L"btnSavePersonInfo") {
    if (!m_busy) SaveNickname();
    return true;
  }
  if (name == L"btnPersonInfo") {
    m_main.LeavePersonPanel();
    return true;
  }
  return false;
}

void PersonPanel::ChooseAvatar() {
  const std::wstring chosen = ChooseFile(m_main.GetHWND());
  if (chosen.empty()) return;
  const std::string path = WideToAnsi(chosen);
  SetBusy(true);
  m_avatarUpload = BackgroundTask::Run(
      [path](const CancelToken&) {
        ProfileAnswer answer;
        answer.value = path;
        answer.reason = CheckAvatarFile(path);
        if (answer.reason.empty()) {
          answer.ok = ParseModifyPersonHead(path);
          if (!answer.ok) answer.reason = L"头像上传失败，请稍后重试";
        }
        return answer;
      },
      [this](ProfileAnswer answer) { OnAvatarUploaded(answer); });
}

void PersonPanel::SaveNickname() {
  CControlUI* edit = m_main.FindControl(L"edNickName");
  const std::string nickname = edit ? WideToAnsi(edit->GetText()) : std::string();
  if (nickname.find_first_not_of(" \t") == std::string::npos) {
    Tip(L"请输入昵称");
    return;
  }
  SetBusy(true);
  m_nicknameSave = BackgroundTask::Run(
      [nickname](const CancelToken&) {
        AccountRecord record;
        record.nickname = nickname;
        ProfileAnswer answer;
        answer.value = nickname;
        answer.ok = PraseUpPersonInfo(record);
        if (!answer.ok) answer.reason = L"保存失败，请稍后重试";
        return answer;
      },
      [this](ProfileAnswer answer) { OnNicknameSaved(answer); });
}

bool PersonPanel::Failed(const ProfileAnswer& answer) {
  SetBusy(false);
  if (answer.ok) return false;
  Tip(answer.reason);
  return true;
}

void PersonPanel::OnAvatarUploaded(const ProfileAnswer& answer) {
  if (Failed(answer)) return;
  // The panel shows the new picture; the title bar follows when the profile is saved.
  m_avatarPath = answer.value;
  m_panelPicture = answer.value;
  if (CHeadUI* avatar = PanelAvatar()) avatar->SetHeadImage(AnsiToWide(m_panelPicture));
}

void PersonPanel::OnNicknameSaved(const ProfileAnswer& answer) {
  if (Failed(answer)) return;
  m_nickname = answer.value;
  m_userRecord.nickname = answer.value;
  if (auto* button = m_main.FindControlAs<MoveMyInfoButton>(L"btnMyInfo"); button && button->GetPopup())
    button->GetPopup()->SetNickName(m_nickname);
  ShowTitleAvatar(m_panelPicture);
  m_main.LeavePersonPanel();
}

void PersonPanel::SetBusy(bool busy) {
  m_busy = busy;
  if (CControlUI* save = m_main.FindControl(L"btnSavePersonInfo")) save->SetEnabled(!busy);
}

void PersonPanel::Tip(const std::wstring& text) { ShowTip(m_main.GetHWND(), kTipDistance, kTipWidth, text); }

void PersonPanel::ShowTitleAvatar(const std::string& path) {
  if (CHeadUI* title = TitleAvatar())
    title->SetHeadImage(FileExists(path) ? AnsiToWide(path) : DefaultAvatar());
}

void PersonPanel::OnAvatarReady(const std::string& path) {
  m_avatarPath = path;
  ShowTitleAvatar(path);
}

void PersonPanel::OnAvatarDefault() {
  // The popup asks for the default while the picture is still being fetched; a picture
  // that already arrived (its download can finish first) stays.
  if (!FileExists(m_avatarPath)) ShowTitleAvatar({});
}

bool PersonPanel::OnDownloadResult(WPARAM result, const DownloadTask* task) {
  if (!task || task->kind != TaskKind::Avatar) return false;
  if (result == 0 && !task->localFile.empty()) {
    // Only the newest picture stays in the account's header folder.
    DeleteFolderExcept(WideToAnsi(GetHeaderFolder()), task->localFile);
    PostMessage(m_main.GetHWND(), WM_AVATAR_READY, 0, 0, MakePayload<std::string>(task->localFile));
  }
  return true;
}
