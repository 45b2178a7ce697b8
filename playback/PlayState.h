// What the player page reports of its playback ("playState") and the speed the student
// chose ("setPlaybackRate"), read from the bridge's JSON texts.
#pragma once

#include <optional>
#include <string_view>

enum class PlayState { Playing, Paused, Stalled, Ended, Stopped };

struct PlayStateReport {
  PlayState state = PlayState::Stopped;
  double seconds = 0;   // the position; never negative
  double duration = 0;  // 0 while unknown
  double rate = 1;
};

// {"state": "playing"|"paused"|"stalled"|"ended"|"stopped", "time": s, "duration": s,
// "rate": r}; nothing when the text is no JSON object or names no known state. Numbers
// that are missing, negative or not finite count as 0 (a rate as 1).
std::optional<PlayStateReport> ParsePlayState(std::wstring_view params);

// The speeds the page offers: 0.5x to 3x in quarter steps.
constexpr double kMinPlaybackRate = 0.5;
constexpr double kMaxPlaybackRate = 3.0;
bool IsOfferedPlaybackRate(double rate);
// {"rate": r} with an offered speed; nothing otherwise.
std::optional<double> ParsePlaybackRate(std::wstring_view params);

const char* PlayStateName(PlayState state);
