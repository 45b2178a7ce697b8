#include "playback/PlayerCatalogue.h"

#include "downloads/DownloadTaskList.h"
#include "mainwnd/CourseLists.h"
#include "mainwnd/MainDlg.h"
#include "mainwnd/PlayerLink.h"

namespace {

CourseLists* Lists() {
  MainDlg* main = GetMainDlg();
  return main ? main->GetCourseLists() : nullptr;
}

PlayerCatalogue MainWindowCatalogue() {
  PlayerCatalogue c;
  c.findLesson = [](const std::string& classId, const std::string& vid) -> std::optional<LessonRecord> {
    CourseLists* lists = Lists();
    return lists ? lists->Catalogue().FindLessonByVideo(classId, vid) : std::nullopt;
  };
  c.storeLearned = [](const std::string& classId, const std::string& vid, const std::string& seconds) {
    if (CourseLists* lists = Lists()) lists->Catalogue().SetLearnedDuration(classId, vid, seconds);
  };
  c.showProgress = [](const std::string& classId, const std::string& vid, int64_t seconds) {
    if (CourseLists* lists = Lists()) lists->UpdateLessonProgress(classId, vid, seconds);
  };
  c.markLesson = [](const std::string& classId, const std::string& lessonId) {
    if (CourseLists* lists = Lists()) lists->SaveLastPosition(classId, lessonId);
  };
  c.previousLesson = [](const std::string& classId, const std::string& vid, std::string& newVid,
                        std::string& newLearned) {
    CourseLists* lists = Lists();
    return lists && lists->PreviousLesson(classId, vid, newVid, newLearned);
  };
  c.nextLesson = [](const std::string& classId, const std::string& vid, std::string& newVid,
                    std::string& newLearned) {
    CourseLists* lists = Lists();
    return lists && lists->NextLesson(classId, vid, newVid, newLearned);
  };
  c.isDownloading = [](const std::string& classId, const std::string& vid) {
    return DownloadTaskList::Get().FindTask(classId, vid, TaskKind::Video).has_value();
  };
  c.startDownload = [](const std::string& classId, const std::string& vid) {
    const PlayerLink& link = GetPlayerLink();
    return link.downloadLesson && link.downloadLesson(classId, vid);
  };
  return c;
}

PlayerCatalogue g_catalogue = MainWindowCatalogue();

}  // namespace

const PlayerCatalogue& GetPlayerCatalogue() { return g_catalogue; }
void SetPlayerCatalogue(PlayerCatalogue catalogue) { g_catalogue = std::move(catalogue); }
void ResetPlayerCatalogue() { g_catalogue = MainWindowCatalogue(); }
