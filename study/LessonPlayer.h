// What the windows ask of playback: play a lesson online, play a downloaded one, send the
// learning positions kept unsent. The lists and the main window hold a reference handed
// in by the program (tests hand in a recording fake); playback implements it above them.
#pragma once

#include <cstdint>
#include <string>

#include "service/Records.h"

struct DownloadTask;

class LessonPlayer {
 public:
  virtual ~LessonPlayer() = default;
  // Plays `lesson` of `classId` online: opens the player or switches the open one to it.
  virtual void PlayOnline(const std::string& classId, const LessonRecord& lesson) = 0;
  // Plays the task's downloaded video from the disk, from `fromSecond` (a bookmark's moment)
  // when above 0, else where the student left it.
  virtual void PlayDownloaded(const DownloadTask& task, int64_t fromSecond) = 0;
  // Sends the learning positions kept unsent for the signed-in account, oldest first.
  virtual void SendKeptProgress() = 0;
};
