// A LessonPlayer that records what the windows asked of it, for tests of the lists and
// the main window without the player windows.
#pragma once

#include <string>
#include <vector>

#include "downloads/DownloadTask.h"
#include "study/LessonPlayer.h"

class RecordingLessonPlayer : public LessonPlayer {
 public:
  void PlayOnline(const std::string& classId, const LessonRecord& lesson) override {
    online.push_back(classId + "/" + lesson.video + "@" + lesson.learned_duration);
  }
  void PlayDownloaded(const DownloadTask& task, int64_t fromSecond) override {
    downloaded.push_back(task.localFile);
    downloadedFrom.push_back(fromSecond);
  }
  void SendKeptProgress() override { ++keptProgressSends; }

  std::vector<std::string> online;      // "class/video@learned" per online play
  std::vector<std::string> downloaded;  // the local file per downloaded play
  std::vector<int64_t> downloadedFrom;  // and the moment it was asked to start at
  int keptProgressSends = 0;
};
