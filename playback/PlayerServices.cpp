#include "playback/PlayerServices.h"

#include "app/SystemInfo.h"
#include "platform/BackgroundTask.h"
#include "platform/MessageCore.h"
#include "playback/PlaybackMessages.h"
#include "service/AccountParsers.h"

namespace {

PlayerServices ServiceDefaults() {
  PlayerServices services;
  services.fetchPlayAuth = [](const std::string& vid) { return ParseGetPalyVideoCode(vid); };
  services.reportProgress = [](const std::string& seconds, const std::string& lessonId) {
    return ParseUpLearnRecord(seconds, lessonId);
  };
  services.sendQuestion = [](const std::string& type, const std::string& content, const std::string& classId,
                             const std::string& lessonId) {
    return ParseUpMyQuestions(type, content, classId, lessonId);
  };
  services.isOnline = [] { return IsNetworkConnected(); };
  return services;
}

PlayerServices g_services = ServiceDefaults();

}  // namespace

const PlayerServices& GetPlayerServices() { return g_services; }
void SetPlayerServices(PlayerServices services) { g_services = std::move(services); }
void ResetPlayerServices() { g_services = ServiceDefaults(); }

void RunPlayerTask(HWND window, std::function<std::function<void()>()> work) {
  // The answer goes to the window by handle, so a window closed meanwhile drops it.
  BackgroundTask::RunDetachedResult(
      [window, work = std::move(work)](const CancelToken&) {
        std::function<void()> then = work();
        PostMessage(window, WM_PLAYER_TASK_DONE, 0, 0, MakePayload<PlayerTaskDone>(PlayerTaskDone{std::move(then)}));
      },
      [] {});
}

int PendingPlayerTasks() { return PendingBackgroundTasks(); }

bool WaitForPlayerTasks(int timeoutMs) { return WaitForBackgroundTasks(timeoutMs); }
