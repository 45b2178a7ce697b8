// The local player: a downloaded lesson in the same player page, overlays, keys and look as
// the online player (it is that window), its media the lesson's file, which the local web
// server lends the page (web/LocalMediaShares.h) while it plays: the page's sandbox stays
// closed to the student's folders. Previous and next go among the class's downloaded lessons
// and need no network; positions are reported (and kept while the service cannot take them)
// as the online player reports them. There is one local player; another downloaded lesson
// started while it is open is handed to it (WM_LOCAL_PLAY_FILE).
#pragma once

#include <cstdint>
#include <string>

#include "playback/LocalLessons.h"
#include "playback/VideoPlayDlg.h"

// What WM_LOCAL_PLAY_FILE carries: the lesson to play in place of the current one.
struct LocalPlayFile {
  LocalLesson lesson;
  int64_t fromSecond = 0;  // a bookmark's moment: replays the lesson from there even when it plays
};

class VideoLocalPlayDlg : public VideoPlayDlg {
 public:
  explicit VideoLocalPlayDlg(LocalLesson lesson);
  ~VideoLocalPlayDlg() override;
  std::wstring GetWindowClassName() const override { return L"videoLocalPlayDlgClass"; }

  const std::string& GetLocalPath() const { return m_localPath; }
  // The address the page plays the file from; empty before the page asked for it.
  const std::string& GetMediaAddress() const { return m_address; }

 protected:
  void AnswerPlayAuth(const JsResponder& responder) override;
  void ReplayWithFreshAuth() override;
  std::optional<LessonRecord> FindSwitchLesson(const std::string& classId, const std::string& lessonId) override;
  // The window keeps the title "Tavo" (it is found by it); the title bar names the lesson.
  void NameWindow(const std::string&) override {}
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload,
                              bool& bHandled) override;
  void OnFinalMessage(HWND hwnd) override;

 private:
  // Takes the lent address back.
  void Unshare();

  std::string m_localPath;
  std::string m_address;
};

// Plays the downloaded lesson of `task`: the open local player switches to it, else a new one
// opens (after an open online player has closed). It starts at `fromSecond` when given, else
// where the student left it.
void OpenLocalPlayer(const DownloadTask& task, int64_t fromSecond = 0);
