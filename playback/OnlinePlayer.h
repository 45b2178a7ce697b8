// Opening the online player: the one player window is found by its class name and the
// current player title; a lesson either opens a new player or switches the open one.
#pragma once

#include <string>

#include "platform/Types.h"
#include "service/Records.h"

class DownloadCenter;

// The current player title (the lesson name the open player shows; empty without one).
const std::wstring& CurrentPlayerTitle();
void SetCurrentPlayerTitle(const std::wstring& title);
// The open online player, or kNoWindow.
HWND FindOnlinePlayer();

// Plays `lesson` of `classId` online: the open player switches to it (1046), else a new
// player opens at 800 x 600 (grown to its skin's minimum), centred over the main window. An
// open local player closes first (one player at a time). A new player's side panel adds
// downloads to `downloads` (without one it offers none).
void OpenOnlinePlayer(const std::string& classId, const LessonRecord& lesson, DownloadCenter* downloads = nullptr);

class VideoPlayDlg;
// Places a player window just created centred over the main window (over the work area
// without one) and shows it.
void ShowNewPlayer(VideoPlayDlg& player);
