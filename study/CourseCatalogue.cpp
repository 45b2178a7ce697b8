// The catalogue of the signed-in student.
#include "study/CourseCatalogue.h"

#include <algorithm>
#include <utility>

#include "app/Log.h"
#include "app/TextConv.h"

namespace {

struct FetchOutcome {
  ClassDetailResult result = ClassDetailResult::NoAnswer;
  ClassDetail detail;
};

struct SubjectsOutcome {
  bool filled = false;
  SubjectList list;
};

}  // namespace

CourseCatalogue::CourseCatalogue(Fetcher fetcher) : m_fetcher(std::move(fetcher)) {}

void CourseCatalogue::AddObserver(CatalogueObserver& observer) {
  if (std::find(m_observers.begin(), m_observers.end(), &observer) == m_observers.end())
    m_observers.push_back(&observer);
}

void CourseCatalogue::RemoveObserver(CatalogueObserver& observer) {
  m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), &observer), m_observers.end());
}

template <typename Event>
void CourseCatalogue::Notify(void (CatalogueObserver::*handler)(const Event&), const Event& event) {
  // A copy: an observer may go (and remove itself) while it is told.
  const std::vector<CatalogueObserver*> observers = m_observers;
  for (CatalogueObserver* observer : observers) {
    if (std::find(m_observers.begin(), m_observers.end(), observer) != m_observers.end())
      (observer->*handler)(event);
  }
}

void CourseCatalogue::LoadClass(const std::string& classId) {
  const ClassLoad load = LoadOf(classId);
  if (load == ClassLoad::Loading || load == ClassLoad::Ready) return;
  m_loads[classId] = ClassLoad::Loading;
  Fetch(classId, false);
}

void CourseCatalogue::Refresh() {
  if (m_subjectsFetcher) {
    SubjectsFetcher fetcher = m_subjectsFetcher;
    m_subjectsFetch = BackgroundTask::Run(
        [fetcher](const CancelToken&) {
          SubjectsOutcome outcome;
          outcome.filled = fetcher(outcome.list);
          return outcome;
        },
        [this](SubjectsOutcome outcome) { OnSubjectsFetched(outcome.filled, std::move(outcome.list)); });
  }
  for (const auto& [classId, load] : m_loads) {
    // A class on its way gets the school's answer anyway; one never shown is fetched when asked.
    if (load == ClassLoad::Ready && m_fetches.count(classId) == 0) Fetch(classId, true);
  }
}

void CourseCatalogue::Fetch(const std::string& classId, bool refresh) {
  Fetcher fetcher = m_fetcher;
  m_fetches[classId] = BackgroundTask::Run(
      [fetcher, classId](const CancelToken&) {
        FetchOutcome outcome;
        outcome.result = fetcher(classId, outcome.detail);
        return outcome;
      },
      [this, classId, refresh](FetchOutcome outcome) {
        // The handle goes with the entry; its delivery is this very call, already made.
        m_fetches.erase(classId);
        if (refresh)
          OnRefreshed(classId, outcome.result, std::move(outcome.detail));
        else
          OnFetched(classId, outcome.result, std::move(outcome.detail));
      });
}

void CourseCatalogue::OnRefreshed(const std::string& classId, ClassDetailResult result, ClassDetail detail) {
  if (result != ClassDetailResult::Filled) {
    LogNormal(L"catalogue refresh kept class " + AnsiToWide(classId) + L" as it was");
    return;
  }
  m_lessons[classId] = std::move(detail.lessons);
  LogNormal(L"catalogue refresh class " + AnsiToWide(classId));
  Notify(&CatalogueObserver::OnClassLoaded, ClassLoaded{classId, detail.lastLearnLessonId});
}

void CourseCatalogue::OnSubjectsFetched(bool filled, SubjectList list) {
  if (!filled) {
    LogNormal(L"catalogue refresh kept the subject tree as it was");
    return;
  }
  gSubjectList = std::move(list);
  // A class still in the tree shows the school's documents now; one gone keeps its own.
  for (auto& [classId, docs] : m_docs) {
    if (gSubjectList.HasClass(classId)) docs = gSubjectList.DocumentsOf(classId);
  }
  LogNormal(L"catalogue refresh subject tree");
  Notify(&CatalogueObserver::OnSubjectsRefreshed, SubjectsRefreshed{});
}

void CourseCatalogue::OnFetched(const std::string& classId, ClassDetailResult result, ClassDetail detail) {
  if (result == ClassDetailResult::Refused || result == ClassDetailResult::NoAnswer) {
    m_loads[classId] = ClassLoad::Failed;
    Notify(&CatalogueObserver::OnClassFailed, ClassFailed{classId, result});
    return;
  }
  // A service fault leaves the detail empty: the class has no lessons to show.
  m_loads[classId] = ClassLoad::Ready;
  PutLessons(classId, std::move(detail.lessons));
  Notify(&CatalogueObserver::OnClassLoaded, ClassLoaded{classId, detail.lastLearnLessonId});
}

ClassLoad CourseCatalogue::LoadOf(const std::string& classId) const {
  const auto it = m_loads.find(classId);
  return it == m_loads.end() ? ClassLoad::NotAsked : it->second;
}

const std::vector<LessonRecord>& CourseCatalogue::Lessons(const std::string& classId) const {
  static const std::vector<LessonRecord> kNone;
  const auto it = m_lessons.find(classId);
  return it == m_lessons.end() ? kNone : it->second;
}

const std::vector<DocumentRecord>& CourseCatalogue::Documents(const std::string& classId) const {
  static const std::vector<DocumentRecord> kNone;
  const auto it = m_docs.find(classId);
  return it == m_docs.end() ? kNone : it->second;
}

void CourseCatalogue::PutLessons(const std::string& classId, std::vector<LessonRecord> lessons) {
  m_lessons.try_emplace(classId, std::move(lessons));
}

void CourseCatalogue::PutDocuments(const std::string& classId, std::vector<DocumentRecord> docs) {
  m_docs.try_emplace(classId, std::move(docs));
}

std::optional<LessonRecord> CourseCatalogue::FindLesson(const std::string& classId,
                                                        const std::string& lessonId) const {
  for (const LessonRecord& lesson : Lessons(classId)) {
    if (lesson.id == lessonId) return lesson;
  }
  return std::nullopt;
}

bool CourseCatalogue::SetLearnedDuration(const std::string& classId, const std::string& lessonId,
                                         const std::string& seconds) {
  const auto it = m_lessons.find(classId);
  if (it == m_lessons.end()) return false;
  for (LessonRecord& lesson : it->second) {
    if (lesson.id != lessonId) continue;
    lesson.learned_duration = seconds;
    return true;
  }
  return false;
}

void CourseCatalogue::Clear() {
  m_fetches.clear();  // cancels: no answer of the old sign-in arrives after this
  m_subjectsFetch.Cancel();
  m_lessons.clear();
  m_docs.clear();
  m_loads.clear();
}
