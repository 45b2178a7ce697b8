// The course lists open the online player, which lives in a higher module; the program
// connects the two at start-up through this small link (tests connect a fake). The player
// reaches back for the download of a lesson from its side panel the same way.
#pragma once

#include <functional>
#include <string>

#include "service/Records.h"

struct PlayerLink {
  // Plays a lesson online: opens the player or switches the open one to the lesson.
  std::function<void(const std::string& classId, const LessonRecord& lesson)> playOnline;
  // Adds the lesson (class id, lesson id) to the downloads or resumes it; true when it was
  // added or resumed. Filled by the program with its download centre.
  std::function<bool(const std::string& classId, const std::string& lessonId)> downloadLesson;
  // Sends the learning positions kept unsent for the signed-in account, oldest first.
  // Filled by the player side; the main window calls it once a sign-in succeeded.
  std::function<void()> sendKeptProgress;
};

// Each side installs its own half; neither replaces the other's.
void SetPlayOnline(std::function<void(const std::string& classId, const LessonRecord& lesson)> playOnline);
void SetLessonDownloader(
    std::function<bool(const std::string& classId, const std::string& lessonId)> download);
void SetKeptProgressSender(std::function<void()> send);
const PlayerLink& GetPlayerLink();

// Plays `lesson` of `classId` online through the link; false when no player is linked.
bool PlayLessonOnline(const std::string& classId, const LessonRecord& lesson);
// Sends the kept learning positions through the link; false when no player side is linked.
bool SendKeptProgress();
