#include "playback/PlayerDesktop.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr double kMicroseconds = 1e6;
// A reported position this far from where playback should be by now was a jump (a seek).
constexpr int64_t kJumpUs = 1'500'000;

int64_t Us(double seconds) { return static_cast<int64_t>(std::llround(seconds * kMicroseconds)); }

MprisService::Commands MediaCommands(PlayerDesktop::Commands commands) {
  MprisService::Commands mpris;
  mpris.play = commands.play;
  mpris.pause = commands.pause;
  mpris.playPause = commands.playPause;
  mpris.next = commands.next;
  mpris.previous = commands.previous;
  mpris.raise = commands.raise;
  if (commands.seekTo) {
    mpris.setPosition = [seekTo = commands.seekTo](int64_t us) { seekTo(static_cast<double>(us) / kMicroseconds); };
  }
  return mpris;
}

MprisService::Status StatusOf(PlayState state) {
  switch (state) {
    case PlayState::Playing:
    case PlayState::Stalled:  // still meant to play: the page is reconnecting
      return MprisService::Status::Playing;
    case PlayState::Paused:
      return MprisService::Status::Paused;
    case PlayState::Ended:
    case PlayState::Stopped:
      break;
  }
  return MprisService::Status::Stopped;
}

}  // namespace

PlayerDesktop::PlayerDesktop(Commands commands)
    : m_awake(InhibitKind::Idle, "正在播放课程视频"), m_mpris(MediaCommands(std::move(commands))) {}

void PlayerDesktop::SetLesson(const std::string& lessonId, const std::string& title) {
  m_lessonId = lessonId;
  m_title = title;
  m_duration = 0;
  m_mpris.SetTrack({lessonId, title, 0});
  m_mpris.SetStatus(MprisService::Status::Stopped, 0, 1);
}

void PlayerDesktop::OnPlayState(const PlayStateReport& report) {
  // A lecture that plays (or waits for its network to come back) keeps the screen on.
  if (report.state == PlayState::Playing || report.state == PlayState::Stalled) {
    m_awake.Hold();
  } else {
    m_awake.Release();
  }
  if (report.duration > 0 && report.duration != m_duration) {
    m_duration = report.duration;
    m_mpris.SetTrack({m_lessonId, m_title, Us(report.duration)});
  }
  const int64_t position = Us(report.seconds);
  const bool jumped = std::llabs(position - m_mpris.PositionUs()) > kJumpUs;
  m_mpris.SetStatus(StatusOf(report.state), position, report.rate);
  if (jumped) m_mpris.Seeked(position);
}
