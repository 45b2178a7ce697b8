// What the player windows ask of the school's service, as replaceable functions (tests
// put fakes here), and the way they ask: on a pooled worker, with the answer posted
// back to the window that asked.
#pragma once

#include <functional>
#include <string>

#include "platform/Types.h"

struct PlayerServices {
  // The play authorisation of a video; empty on any failure.
  std::function<std::string(const std::string& vid)> fetchPlayAuth;
  // Reports whole seconds learned of a lesson; true when the service accepted it.
  std::function<bool(const std::string& seconds, const std::string& lessonId)> reportProgress;
  // Sends a question about a video; true when the service accepted it.
  std::function<bool(const std::string& type, const std::string& content, const std::string& classId,
                     const std::string& lessonId)>
      sendQuestion;
  // True while the computer is connected.
  std::function<bool()> isOnline;
};

// The functions in use: the service's own until SetPlayerServices replaces them.
const PlayerServices& GetPlayerServices();
void SetPlayerServices(PlayerServices services);
void ResetPlayerServices();

// The continuation a finished task hands back (payload of WM_PLAYER_TASK_DONE).
struct PlayerTaskDone {
  std::function<void()> then;
};

// Runs `work` on a pooled worker (BackgroundTask); its result is handed to `then` on the main thread
// through WM_PLAYER_TASK_DONE to `window`. When the window is gone meanwhile nothing runs.
void RunPlayerTask(HWND window, std::function<std::function<void()>()> work);
// Tasks still running (tests wait for none before they end).
int PendingPlayerTasks();
bool WaitForPlayerTasks(int timeoutMs);
