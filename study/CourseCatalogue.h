// What the student bought, class by class: each class's lessons and documents, held in
// memory once seen, fetched from the school on a worker when first asked for. Observers
// learn when a class arrives or fails. Main thread only.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/BackgroundTask.h"
#include "service/CatalogueParsers.h"
#include "service/Records.h"

// Where a class's lessons stand.
enum class ClassLoad { NotAsked, Loading, Ready, Failed };

struct ClassLoaded {
  std::string classId;
  // The lesson the school says the student learned last (may be empty).
  std::string lastLearnLessonId;
};

struct ClassFailed {
  std::string classId;
  // Refused (the sign-in is no longer valid) or NoAnswer (no network, no usable answer).
  ClassDetailResult result = ClassDetailResult::NoAnswer;
};

// The school gave a new subject tree (gSubjectList was replaced) after the session came
// back online; documents of the classes in it are the new ones.
struct SubjectsRefreshed {};

class CatalogueObserver {
 public:
  virtual void OnClassLoaded(const ClassLoaded&) {}
  virtual void OnClassFailed(const ClassFailed&) {}
  virtual void OnSubjectsRefreshed(const SubjectsRefreshed&) {}

 protected:
  ~CatalogueObserver() = default;
};

class CourseCatalogue {
 public:
  // Fills a class's detail from the school; runs on a worker. Tests hand in their own.
  using Fetcher = std::function<ClassDetailResult(const std::string& classId, ClassDetail& detail)>;

  explicit CourseCatalogue(Fetcher fetcher = FetchClassDetail);
  // Fills a whole subject tree from the school (true when it answered with one); runs on a
  // worker. Without one, Refresh leaves the subject tree as it is.
  using SubjectsFetcher = std::function<bool(SubjectList& list)>;
  void SetSubjectsFetcher(SubjectsFetcher fetcher) { m_subjectsFetcher = std::move(fetcher); }
  CourseCatalogue(const CourseCatalogue&) = delete;
  CourseCatalogue& operator=(const CourseCatalogue&) = delete;

  // Observers are not owned; one removes itself before it goes.
  void AddObserver(CatalogueObserver& observer);
  void RemoveObserver(CatalogueObserver& observer);

  // Starts fetching the class's lessons unless they are here or on their way; a class whose
  // fetch failed is fetched again.
  void LoadClass(const std::string& classId);
  ClassLoad LoadOf(const std::string& classId) const;
  // Fetches the subject tree and every class whose lessons are here again (the school is
  // back after an offline start). A new tree replaces gSubjectList and observers hear
  // OnSubjectsRefreshed; a new lesson list replaces the one held and observers hear
  // OnClassLoaded. A class the school no longer gives, or no answer, keeps what is held
  // (and nobody hears of it), so a class that disappeared still shows what the student
  // downloaded.
  void Refresh();

  // The class's lessons and documents as known now (empty when not known). The first list
  // stored for a class stays: later answers do not reorder rows already shown.
  const std::vector<LessonRecord>& Lessons(const std::string& classId) const;
  const std::vector<DocumentRecord>& Documents(const std::string& classId) const;
  void PutLessons(const std::string& classId, std::vector<LessonRecord> lessons);
  void PutDocuments(const std::string& classId, std::vector<DocumentRecord> docs);

  // The lesson `lessonId` of the class. Lessons are told apart by their ids: several may
  // play one video.
  std::optional<LessonRecord> FindLesson(const std::string& classId, const std::string& lessonId) const;
  // Stores the player's new resume position (whole seconds, decimal) of (class, lesson);
  // false when the class has no such lesson.
  bool SetLearnedDuration(const std::string& classId, const std::string& lessonId,
                          const std::string& seconds);

  // Forgets every class and drops fetches on their way (sign-out).
  void Clear();

 private:
  void OnFetched(const std::string& classId, ClassDetailResult result, ClassDetail detail);
  void OnRefreshed(const std::string& classId, ClassDetailResult result, ClassDetail detail);
  void OnSubjectsFetched(bool filled, SubjectList list);
  void Fetch(const std::string& classId, bool refresh);
  template <typename Event>
  void Notify(void (CatalogueObserver::*handler)(const Event&), const Event& event);

  Fetcher m_fetcher;
  std::map<std::string, std::vector<LessonRecord>> m_lessons;
  std::map<std::string, std::vector<DocumentRecord>> m_docs;
  std::map<std::string, ClassLoad> m_loads;
  std::map<std::string, BackgroundTask> m_fetches;
  SubjectsFetcher m_subjectsFetcher;
  BackgroundTask m_subjectsFetch;
  std::vector<CatalogueObserver*> m_observers;
};
