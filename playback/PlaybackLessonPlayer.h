// The program's LessonPlayer: the online player window, local playback and the unsent
// progress queue. It hands the download centre to every player it opens, so the side
// panel's download button adds the lesson where the main window's rows do.
#pragma once

#include "study/LessonPlayer.h"

class DownloadCenter;

class PlaybackLessonPlayer : public LessonPlayer {
 public:
  explicit PlaybackLessonPlayer(DownloadCenter& downloads) : m_downloads(downloads) {}

  void PlayOnline(const std::string& classId, const LessonRecord& lesson) override;
  void PlayDownloaded(const DownloadTask& task, int64_t fromSecond) override;
  void SendKeptProgress() override;

 private:
  DownloadCenter& m_downloads;
};
