// The texts the online player exchanges with its page: the script calls it runs there and
// the JSON it reads from and hands to the bridge. Values from outside (ids, the play
// authorisation) are escaped so a quote in them cannot end the script string.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// `text` (UTF-8) as the inside of a single-quoted script string.
std::wstring JsQuoted(std::string_view text);

std::wstring ScriptReplay(const std::string& vid, const std::string& playAuth);
std::wstring ScriptSeek(const std::string& seconds);
std::wstring ScriptGetPlayCurrentTime(const std::string& lessonId, const std::string& classId,
                                      const std::string& vid);
std::wstring ScriptSetPrismPlayerSize(int width, int height);
inline constexpr const wchar_t* kScriptPlayerReplay = L"playerReplay()";
inline constexpr const wchar_t* kScriptPlayerPause = L"playerPause()";
inline constexpr const wchar_t* kScriptPlayerPlay = L"playerPlay()";
// Plays when paused, pauses when playing (the desktop's play/pause key).
inline constexpr const wchar_t* kScriptPlayerToggle = L"playerToggle()";
// The current time of the page's video in seconds (-1 without a video): the local player
// shows the file as the browser's own media page, which has no script of ours.
inline constexpr const wchar_t* kScriptVideoCurrentTime =
    L"(function(){var v=document.querySelector('video');return v?v.currentTime:-1;})()";
// Moves to exactly `seconds` (a position the desktop's media controls chose).
std::wstring ScriptPlayerSeekTo(double seconds);

// The answer to "getVidAndPlayAuth": {"vid":..,"playAuth":..,"width":"<w>px","height":"<h>px",
// "lessonId":..,"classId":..}. The page sends the two ids back with its pause reports.
std::string PlayAuthAnswer(const std::string& vid, const std::string& playAuth, int width, int height,
                           const std::string& lessonId, const std::string& classId);
// The same with what the page is told besides: "reconnectMs" (how long it tries to reconnect
// a dropped stream) and "playbackRate" (the student's kept speed), after the six members.
struct PageOptions {
  int reconnectMs = 30000;
  double playbackRate = 1;
};
std::string PlayAuthAnswer(const std::string& vid, const std::string& playAuth, int width, int height,
                           const std::string& lessonId, const std::string& classId, const PageOptions& options);

// The answer for a downloaded lesson: the same members with "src", the address its file is
// served at by the local web server, after an empty "playAuth".
std::string LocalMediaAnswer(const std::string& vid, const std::string& src, int width, int height,
                             const std::string& lessonId, const std::string& classId, const PageOptions& options);

// "setPlayCurrentTime" and "pauseVideo": the position in whole seconds (a missing or
// non-numeric "time" is 0; fractions are cut, never rounded) and the three ids.
struct ProgressReport {
  int64_t seconds = 0;
  std::string lessonId;
  std::string classId;
  std::string vid;
};
// Nothing when the text is not a JSON object.
std::optional<ProgressReport> ParseProgressReport(std::wstring_view params);
// An integer member ("error_code", "drag"); 0 when missing or not an integer; nothing when
// the text is not a JSON object.
std::optional<int64_t> ParseIntegerMember(std::wstring_view params, const char* name);
