// Downloaded lessons as the local player plays them: the lesson (from the catalogue when it
// knows it, else from its download) with its file, and the downloaded lessons before and
// after it in its class. Main thread (reads the download list and the disk's file sizes).
#pragma once

#include <optional>
#include <string>

#include "service/Records.h"

struct DownloadTask;

struct LocalLesson {
  std::string classId;
  LessonRecord lesson;     // id, video, name and resume position ("learned_duration")
  std::string localPath;   // narrow (locale) text
};

LocalLesson LocalLessonOf(const DownloadTask& task);

// The lesson of the class whose file is complete on disk, nearest before or after lesson
// `lessonId` in the order of the class's list (lessons the catalogue does not know follow in
// the order they were downloaded). None at either end.
std::optional<LocalLesson> DownloadedNeighbour(const std::string& classId, const std::string& lessonId, bool next);
// The downloaded lesson itself, when its file is complete on disk.
std::optional<LocalLesson> DownloadedLesson(const std::string& classId, const std::string& lessonId);
