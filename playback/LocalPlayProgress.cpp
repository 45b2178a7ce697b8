// Keeping a local play's position.
#include "playback/LocalPlayProgress.h"

#include <cmath>
#include <cstdint>

#include "app/Folders.h"
#include "playback/PlayerCatalogue.h"
#include "playback/ProgressQueue.h"

void RecordLocalPosition(const std::string& classId, const std::string& lessonId, double seconds) {
  if (lessonId.empty() || !std::isfinite(seconds) || seconds < 1 || GetSignedInAccount().empty()) return;
  const int64_t whole = static_cast<int64_t>(seconds);
  const std::string text = std::to_string(whole);
  const PlayerCatalogue& catalogue = GetPlayerCatalogue();
  std::string vid;
  if (catalogue.findLesson) {
    if (auto lesson = catalogue.findLesson(classId, lessonId)) vid = lesson->video;
  }
  KeepUnsentProgress(lessonId, classId, vid, text);
  if (catalogue.showProgress) catalogue.showProgress(classId, lessonId, whole);
  if (catalogue.storeLearned) catalogue.storeLearned(classId, lessonId, text);
}
