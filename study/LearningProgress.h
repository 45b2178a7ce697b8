// How far a student got in each lesson: the furthest point ever reached, per account and
// lesson, kept in course.db. A lesson's row shows this, so watching a finished lesson again
// (the player reports where it stands now, which is where the next play resumes) never
// lowers what the row says. Main thread only.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "downloads/CourseStore.h"

struct sqlite3;

class LearningProgress {
 public:
  // The store in the course database at `path`; without a usable file the points are kept
  // for this run only (with a log line).
  explicit LearningProgress(const std::wstring& path);
  ~LearningProgress();
  LearningProgress(const LearningProgress&) = delete;
  LearningProgress& operator=(const LearningProgress&) = delete;

  // The furthest point of the lesson in whole seconds (0 when none is known).
  int64_t FurthestOf(const std::string& account, const std::string& lessonId);
  // Records that the lesson was seen up to `seconds` (from the school or the player) and
  // returns the furthest point now: never less than before.
  int64_t Reach(const std::string& account, const std::string& lessonId, int64_t seconds);

 private:
  CourseStoreConnection m_db;
  std::map<std::pair<std::string, std::string>, int64_t> m_points;
};
