#include "playback/PlayerCatalogue.h"

#include "mainwnd/CourseLists.h"
#include "mainwnd/MainDlg.h"

namespace {

CourseLists* Lists() {
  MainDlg* main = GetMainDlg();
  return main ? main->GetCourseLists() : nullptr;
}

PlayerCatalogue MainWindowCatalogue() {
  PlayerCatalogue c;
  c.findLesson = [](const std::string& classId, const std::string& lessonId) -> std::optional<LessonRecord> {
    CourseLists* lists = Lists();
    return lists ? lists->Catalogue().FindLesson(classId, lessonId) : std::nullopt;
  };
  c.lessonsOf = [](const std::string& classId) {
    CourseLists* lists = Lists();
    return lists ? lists->Catalogue().Lessons(classId) : std::vector<LessonRecord>{};
  };
  c.storeLearned = [](const std::string& classId, const std::string& lessonId, const std::string& seconds) {
    if (CourseLists* lists = Lists()) lists->Catalogue().SetLearnedDuration(classId, lessonId, seconds);
  };
  c.showProgress = [](const std::string& classId, const std::string& lessonId, int64_t seconds) {
    if (CourseLists* lists = Lists()) lists->UpdateLessonProgress(classId, lessonId, seconds);
  };
  c.markLesson = [](const std::string& classId, const std::string& lessonId) {
    if (CourseLists* lists = Lists()) lists->SaveLastPosition(classId, lessonId);
  };
  c.previousLesson = [](const std::string& classId, const std::string& lessonId, std::string& newLessonId,
                        std::string& newLearned) {
    CourseLists* lists = Lists();
    return lists && lists->PreviousLesson(classId, lessonId, newLessonId, newLearned);
  };
  c.nextLesson = [](const std::string& classId, const std::string& lessonId, std::string& newLessonId,
                    std::string& newLearned) {
    CourseLists* lists = Lists();
    return lists && lists->NextLesson(classId, lessonId, newLessonId, newLearned);
  };
  return c;
}

PlayerCatalogue g_catalogue = MainWindowCatalogue();

}  // namespace

const PlayerCatalogue& GetPlayerCatalogue() { return g_catalogue; }
void SetPlayerCatalogue(PlayerCatalogue catalogue) { g_catalogue = std::move(catalogue); }
void ResetPlayerCatalogue() { g_catalogue = MainWindowCatalogue(); }
