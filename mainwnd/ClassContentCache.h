// The lessons and documents of each class seen in this session, keyed by class id. The
// first store for a class wins; readers get copies. Emptied when the main window closes.
// Main thread only.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "service/Records.h"

class ClassContentCache {
 public:
  static ClassContentCache& Get();

  void PutLessons(const std::string& classId, std::vector<LessonRecord> lessons);
  void PutDocs(const std::string& classId, std::vector<DocumentRecord> docs);
  std::vector<LessonRecord> GetLessons(const std::string& classId) const;
  std::vector<DocumentRecord> GetDocs(const std::string& classId) const;
  bool HasLessons(const std::string& classId) const { return m_lessons.count(classId) != 0; }
  // The player's new resume position of (class, video); false when the lesson is unknown.
  bool SetLearnedDuration(const std::string& classId, const std::string& videoId, const std::string& seconds);
  void Clear();

 private:
  std::map<std::string, std::vector<LessonRecord>> m_lessons;
  std::map<std::string, std::vector<DocumentRecord>> m_docs;
};
