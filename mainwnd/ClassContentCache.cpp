// The per-class lesson and document cache.
#include "mainwnd/ClassContentCache.h"

ClassContentCache& ClassContentCache::Get() {
  static ClassContentCache cache;
  return cache;
}

void ClassContentCache::PutLessons(const std::string& classId, std::vector<LessonRecord> lessons) {
  m_lessons.try_emplace(classId, std::move(lessons));
}

void ClassContentCache::PutDocs(const std::string& classId, std::vector<DocumentRecord> docs) {
  m_docs.try_emplace(classId, std::move(docs));
}

std::vector<LessonRecord> ClassContentCache::GetLessons(const std::string& classId) const {
  auto it = m_lessons.find(classId);
  return it == m_lessons.end() ? std::vector<LessonRecord>{} : it->second;
}

std::vector<DocumentRecord> ClassContentCache::GetDocs(const std::string& classId) const {
  auto it = m_docs.find(classId);
  return it == m_docs.end() ? std::vector<DocumentRecord>{} : it->second;
}

void ClassContentCache::Clear() {
  m_lessons.clear();
  m_docs.clear();
}

bool ClassContentCache::SetLearnedDuration(const std::string& classId, const std::string& videoId,
                                           const std::string& seconds) {
  auto it = m_lessons.find(classId);
  if (it == m_lessons.end()) return false;
  bool found = false;
  for (LessonRecord& lesson : it->second) {
    if (lesson.video != videoId) continue;
    lesson.learned_duration = seconds;
    found = true;
  }
  return found;
}
