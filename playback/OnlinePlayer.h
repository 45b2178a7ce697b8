// Opening the online player: the one player window is found by its class name and the
// current player title; a lesson either opens a new player or switches the open one.
#pragma once

#include <string>

#include "platform/Types.h"
#include "service/Records.h"

// The current player title (the lesson name the open player shows; empty without one).
const std::wstring& CurrentPlayerTitle();
void SetCurrentPlayerTitle(const std::wstring& title);
// The open online player, or kNoWindow.
HWND FindOnlinePlayer();

// Plays `lesson` of `classId` online: the open player switches to it (1046), else a new
// player opens at 800 x 600 (grown to its skin's minimum), centred over the main window. An
// open local player closes first (one player at a time).
void OpenOnlinePlayer(const std::string& classId, const LessonRecord& lesson);

class VideoPlayDlg;
// Places a player window just created centred over the main window (over the work area
// without one) and shows it.
void ShowNewPlayer(VideoPlayDlg& player);

// Connects the course lists' play click to OpenOnlinePlayer and the main window's sign-in
// to the sending of kept learning positions (the program calls this at start-up).
void InstallPlayerLink();
