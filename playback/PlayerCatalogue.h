// What the player windows need from the main window's course lists and catalogue, as
// replaceable functions (tests put fakes here). The defaults reach the open main window;
// without one they find nothing and change nothing.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "service/Records.h"

// A lesson is (class id, lesson id) throughout: lessons of a class may play one video.
struct PlayerCatalogue {
  // The lesson of (class id, lesson id) in the catalogue.
  std::function<std::optional<LessonRecord>(const std::string& classId, const std::string& lessonId)>
      findLesson;
  // The class's lessons in the order of its list (empty when the class is not known).
  std::function<std::vector<LessonRecord>(const std::string& classId)> lessonsOf;
  // Stores a new learned duration (whole seconds, decimal) for the lesson.
  std::function<void(const std::string& classId, const std::string& lessonId, const std::string& seconds)>
      storeLearned;
  // Shows a learning position in the lesson's row.
  std::function<void(const std::string& classId, const std::string& lessonId, int64_t seconds)> showProgress;
  // Remembers (class id, lesson id) as the last lesson watched.
  std::function<void(const std::string& classId, const std::string& lessonId)> markLesson;
  // The lesson before or after the lesson in its list: its lesson id and learned seconds;
  // the list moves its "正在观看" marker there. False at the ends.
  std::function<bool(const std::string& classId, const std::string& lessonId, std::string& newLessonId,
                     std::string& newLearned)>
      previousLesson;
  std::function<bool(const std::string& classId, const std::string& lessonId, std::string& newLessonId,
                     std::string& newLearned)>
      nextLesson;
};

const PlayerCatalogue& GetPlayerCatalogue();
void SetPlayerCatalogue(PlayerCatalogue catalogue);
void ResetPlayerCatalogue();
