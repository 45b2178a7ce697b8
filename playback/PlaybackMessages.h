// Messages and timer ids private to the player windows (the shared numbers are in
// platform/Messages.h).
#pragma once

#include "platform/Types.h"

// A background request of a player window finished: the payload is a PlayerTaskDone whose
// continuation runs on the main thread (dropped with the message when the window is gone).
constexpr UINT WM_PLAYER_TASK_DONE = 1095;

// Timers of the online player.
constexpr UINT kPlayerIdleTimer = 1056;  // overlays hide 5 s after the last movement
constexpr UINT kPlayerFullScreenClickTimer = 1073;
constexpr UINT kPlayerCloseTimer = 1080;  // the page never answered while closing
constexpr UINT kPlayerIdleMs = 5000;
constexpr UINT kPlayerCloseLimitMs = 3000;

// Timers of the question window.
constexpr UINT kQuestionSuccessTimer = 1064;
constexpr UINT kQuestionFailureTimer = 1065;
constexpr UINT kQuestionCloseTimer = 1066;
constexpr UINT kQuestionBackTimer = 1040;
