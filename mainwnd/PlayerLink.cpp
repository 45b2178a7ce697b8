#include "mainwnd/PlayerLink.h"

namespace {
PlayerLink& Link() {
  static PlayerLink link;
  return link;
}
}  // namespace

void SetPlayOnline(std::function<void(const std::string&, const LessonRecord&)> playOnline) {
  Link().playOnline = std::move(playOnline);
}
void SetLessonDownloader(std::function<bool(const std::string&, const std::string&)> download) {
  Link().downloadLesson = std::move(download);
}
void SetKeptProgressSender(std::function<void()> send) { Link().sendKeptProgress = std::move(send); }
const PlayerLink& GetPlayerLink() { return Link(); }

bool PlayLessonOnline(const std::string& classId, const LessonRecord& lesson) {
  if (!Link().playOnline) return false;
  Link().playOnline(classId, lesson);
  return true;
}

bool SendKeptProgress() {
  if (!Link().sendKeptProgress) return false;
  Link().sendKeptProgress();
  return true;
}
