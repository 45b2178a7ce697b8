// What the desktop sees of the open online player: the screen kept awake while a lesson
// plays (not while paused, ended or closed) and the player on the desktop's media controls
// with the lesson's title and position. The player window owns it and feeds it the page's
// reports; the inhibit and the media controls go when it goes.
#pragma once

#include <functional>
#include <string>

#include "platform/Inhibitor.h"
#include "platform/MprisService.h"
#include "playback/PlayState.h"

class PlayerDesktop {
 public:
  // What the media controls ask of the player window.
  struct Commands {
    std::function<void()> play;
    std::function<void()> pause;
    std::function<void()> playPause;
    std::function<void()> next;
    std::function<void()> previous;
    std::function<void(double seconds)> seekTo;
    std::function<void()> raise;
  };

  explicit PlayerDesktop(Commands commands);

  // Another lesson is in the player (its position starts unknown).
  void SetLesson(const std::string& lessonId, const std::string& title);
  void OnPlayState(const PlayStateReport& report);

  bool KeepsScreenAwake() const { return m_awake.IsWanted(); }
  const MprisService& Mpris() const { return m_mpris; }

 private:
  Inhibitor m_awake;
  MprisService m_mpris;
  std::string m_lessonId;
  std::string m_title;
  double m_duration = 0;
};
