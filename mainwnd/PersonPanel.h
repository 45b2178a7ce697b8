// The profile side of the main window: the panel "vlPersonInfo" (round avatar, nickname
// edit, account, save) and the avatar in the title bar. Choosing a picture uploads it;
// saving sends the nickname; both requests run on threads of their own and the window
// shows their outcome: a refused change gets a tip and the title bar keeps what it had.
#pragma once

#include <memory>
#include <string>

#include "platform/BackgroundTask.h"
#include "service/Records.h"
#include "ui/Control.h"

class CHeadUI;
class MainDlg;
struct DownloadTask;

class PersonPanel {
 public:
  // Pictures over 5 MB are refused before anything is sent.
  static constexpr std::uintmax_t kMaxAvatarBytes = 5u * 1024 * 1024;

  explicit PersonPanel(MainDlg& main);

  // Fills the panel (the main window has switched to it): the nickname kept since the
  // last save, else the record's; the mobile number; the current avatar or the default.
  void Show(const AccountRecord& record);
  // Clicks on the panel's controls; false for anything else.
  bool HandleNotify(TNotifyUI& msg);

  // The title-bar avatar messages of the main window. The default picture never replaces
  // one that arrived already.
  void OnAvatarReady(const std::string& path);
  void OnAvatarDefault();
  // WM_DOWNLOAD_RESULT of an avatar download (kind 1); true when it was one.
  bool OnDownloadResult(WPARAM result, const DownloadTask* task);

  const std::string& GetNickname() const { return m_nickname; }
  const std::string& GetAvatarPath() const { return m_avatarPath; }
  bool IsBusy() const { return m_busy; }

  // The default avatar: htmllocal/header_def.png next to the program, else the skin's.
  static std::wstring DefaultAvatar();
  // Why a chosen picture cannot be sent ("" when it can): missing, too large, no image.
  static std::wstring CheckAvatarFile(const std::string& path);

 private:
  void ChooseAvatar();
  void SaveNickname();
  // What a profile request's worker hands back.
  struct ProfileAnswer {
    bool ok = false;
    std::wstring reason;  // shown when not ok
    std::string value;    // the picture's path or the nickname
  };
  // Ends the busy state; true (after the tip) when the request failed.
  bool Failed(const ProfileAnswer& answer);
  void OnAvatarUploaded(const ProfileAnswer& answer);
  void OnNicknameSaved(const ProfileAnswer& answer);
  void SetBusy(bool busy);
  void ShowTitleAvatar(const std::string& path);
  void Tip(const std::wstring& text);
  CHeadUI* PanelAvatar() const;
  CHeadUI* TitleAvatar() const;

  MainDlg& m_main;
  AccountRecord m_userRecord;  // only its nickname is ever filled
  std::string m_nickname;
  std::string m_avatarPath;
  std::string m_panelPicture;  // the picture the panel shows, when it is not the default
  bool m_busy = false;
  // Requests on their way; no answer arrives after the panel has gone.
  BackgroundTask m_avatarUpload;
  BackgroundTask m_nicknameSave;
};
