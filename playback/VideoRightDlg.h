// The player's side panel: download, previous, next, bookmark and feedback. It knows the lesson
// being played (the player replaces it on every switch) and hands previous and next to
// the player (1054 with the target's resume position, then 1043 or 1045).
#pragma once

#include <functional>
#include <string>

#include "ui/Control.h"
#include "ui/WindowImplBase.h"

class VideoRightDlg : public WindowImplBase {
 public:
  static constexpr int kWidth = 103;
  static constexpr int kHeight = 240;

  VideoRightDlg(std::string classId, std::string vid, std::string lessonId);
  std::wstring GetWindowClassName() const override { return L"videoRightDlgClass"; }

  void SetLesson(const std::string& classId, const std::string& vid, const std::string& lessonId);
  const std::string& GetClassId() const { return m_classId; }
  const std::string& GetVid() const { return m_vid; }
  const std::string& GetLessonId() const { return m_lessonId; }

  // "下载中" and disabled while the lesson is in the download list, else "下  载".
  void RefreshDownloadButton();
  // Hands the neighbouring lesson to the player; false (with a toast) when there is none.
  bool PlayPrevious();
  bool PlayNext();
  // What "书  签" does: the player keeps a bookmark at the moment playing. Works offline.
  void SetAddNoteHandler(std::function<void()> handler) { m_addNote = std::move(handler); }

 protected:
  std::wstring GetSkinFile() override { return L"video_right_dlg.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;
  void OnHostMouse(const HostMouseEvent& event) override;

 private:
  bool PlayNeighbour(bool next);
  void Download();
  void OpenQuestion();
  void Toast(const std::wstring& text);

  std::string m_classId;
  std::string m_vid;
  std::string m_lessonId;
  std::function<void()> m_addNote;
  CControlUI* m_download = nullptr;
  int m_lastX = 0;
};
