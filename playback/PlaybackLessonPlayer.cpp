// Playback behind the windows' LessonPlayer.
#include "playback/PlaybackLessonPlayer.h"

#include "playback/OnlinePlayer.h"
#include "playback/PlayLocal.h"
#include "playback/ProgressQueue.h"

void PlaybackLessonPlayer::PlayOnline(const std::string& classId, const LessonRecord& lesson) {
  OpenOnlinePlayer(classId, lesson, &m_downloads);
}

void PlaybackLessonPlayer::PlayDownloaded(const DownloadTask& task, int64_t fromSecond) {
  PlayLocal(task, {}, fromSecond);
}

void PlaybackLessonPlayer::SendKeptProgress() { ResumeUnsentProgress(); }
