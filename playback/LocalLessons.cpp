// Downloaded lessons for the local player.
#include "playback/LocalLessons.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "downloads/DownloadTaskList.h"
#include "downloads/TaskFiles.h"
#include "playback/PlayerCatalogue.h"

namespace {

// Where a lesson stands in its class: its place in the class's list, or after every listed
// lesson in download order.
std::size_t Rank(const std::vector<LessonRecord>& listed, const std::string& lessonId, std::size_t downloadIndex) {
  for (std::size_t i = 0; i < listed.size(); ++i) {
    if (listed[i].id == lessonId) return i;
  }
  return listed.size() + downloadIndex;
}

}  // namespace

LocalLesson LocalLessonOf(const DownloadTask& task) {
  LocalLesson local;
  local.classId = task.classId;
  local.localPath = task.localFile;
  const PlayerCatalogue& catalogue = GetPlayerCatalogue();
  if (auto lesson = catalogue.findLesson ? catalogue.findLesson(task.classId, task.id) : std::nullopt) {
    local.lesson = *lesson;
    return local;
  }
  // A download the catalogue does not know (the class left the account's courses): it plays
  // from the start under its file's name.
  local.lesson.id = task.id;
  local.lesson.video = task.video.empty() ? task.id : task.video;
  local.lesson.name = std::filesystem::path(task.name).stem().string();
  local.lesson.learned_duration = std::string("0");
  return local;
}

std::optional<LocalLesson> DownloadedLesson(const std::string& classId, const std::string& lessonId) {
  std::optional<DownloadTask> task = DownloadTaskList::Get().FindTask(classId, lessonId, TaskKind::Video);
  if (!task || !IsCompleteOnDisk(*task)) return std::nullopt;
  return LocalLessonOf(*task);
}

std::optional<LocalLesson> DownloadedNeighbour(const std::string& classId, const std::string& lessonId, bool next) {
  std::optional<DownloadClass> downloads = DownloadTaskList::Get().FindClass(classId, TaskKind::Video);
  if (!downloads) return std::nullopt;
  const PlayerCatalogue& catalogue = GetPlayerCatalogue();
  const std::vector<LessonRecord> listed = catalogue.lessonsOf ? catalogue.lessonsOf(classId) : std::vector<LessonRecord>{};
  const std::vector<DownloadTask>& tasks = downloads->tasks;
  std::size_t here = listed.size() + tasks.size();
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    if (tasks[i].id == lessonId) here = Rank(listed, lessonId, i);
  }
  if (here == listed.size() + tasks.size()) here = Rank(listed, lessonId, tasks.size());
  const DownloadTask* best = nullptr;
  std::size_t bestRank = 0;
  for (std::size_t i = 0; i < tasks.size(); ++i) {
    const std::size_t rank = Rank(listed, tasks[i].id, i);
    if (next ? rank <= here : rank >= here) continue;
    if (best != nullptr && (next ? rank >= bestRank : rank <= bestRank)) continue;
    if (!IsCompleteOnDisk(tasks[i])) continue;
    best = &tasks[i];
    bestRank = rank;
  }
  if (best == nullptr) return std::nullopt;
  return LocalLessonOf(*best);
}
