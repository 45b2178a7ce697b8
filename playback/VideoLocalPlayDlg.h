// The local player: a downloaded H.264 video played by the browser straight from its file.
// There is one local player; another video started while it is open is handed to it
// (WM_LOCAL_PLAY_FILE) and replaces the one playing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ui/Control.h"
#include "ui/WindowImplBase.h"

class CefNativeControl;
class CLabelUI;

// Alt+Ctrl+Shift+I: developer tools of the player's page.
constexpr int kLocalPlayerHotKeyId = 1027;

// What WM_LOCAL_PLAY_FILE carries.
struct LocalPlayFile {
  std::string localPath;  // narrow (locale) text
  std::string fileName;   // shown in the title bar
  std::string classId;    // the lesson whose position the player keeps from now on
  std::string id;
};

// How often the player asks its page where the video stands, to keep the position.
constexpr unsigned kLocalPositionMs = 3000;

class VideoLocalPlayDlg : public WindowImplBase {
 public:
  VideoLocalPlayDlg(std::string classId, std::string id, std::string fileName, std::string localPath);
  std::wstring GetWindowClassName() const override { return L"videoLocalPlayDlgClass"; }
  std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag) override;

  const std::string& GetLocalPath() const { return m_localPath; }
  const std::string& GetLessonId() const { return m_id; }
  std::int64_t GetBrowserId() const { return m_browserId; }
  CefNativeControl* GetBrowserControl() const { return m_browser; }

 protected:
  std::wstring GetSkinFile() override { return L"video_local_play_dlg.xml"; }
  void InitWindow() override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                              bool& bHandled) override;
  LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  void OnFinalMessage(HWND hwnd) override;

 private:
  // Loads the current file when the browser and the file exist.
  void LoadVideo();
  void ShowName();
  // Asks the page for the video's time and keeps it for the lesson that plays now.
  void KeepPosition();

  std::string m_classId;
  std::string m_id;
  std::string m_fileName;
  std::string m_localPath;
  CefNativeControl* m_browser = nullptr;
  std::int64_t m_browserId = 0;
  // The last position kept (whole seconds), so a paused video is not kept again and again.
  std::int64_t m_keptSeconds = -1;
};

// Opens the local player with the file, or hands the file to the one that is open.
void OpenLocalPlayer(const std::string& classId, const std::string& id, const std::string& fileName,
                     const std::string& localPath);
