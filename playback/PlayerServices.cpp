#include "playback/PlayerServices.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/SystemInfo.h"
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

std::mutex g_mutex;
std::condition_variable g_ended;
int g_running = 0;
PlayerServices g_services = ServiceDefaults();

}  // namespace

const PlayerServices& GetPlayerServices() { return g_services; }
void SetPlayerServices(PlayerServices services) { g_services = std::move(services); }
void ResetPlayerServices() { g_services = ServiceDefaults(); }

void RunPlayerTask(HWND window, std::function<std::function<void()>()> work) {
  {
    std::lock_guard lock(g_mutex);
    ++g_running;
  }
  std::thread([window, work = std::move(work)] {
    std::function<void()> then = work();
    PostMessage(window, WM_PLAYER_TASK_DONE, 0, 0,
                MakePayload<PlayerTaskDone>(PlayerTaskDone{std::move(then)}));
    std::lock_guard lock(g_mutex);
    --g_running;
    g_ended.notify_all();
  }).detach();
}

int PendingPlayerTasks() {
  std::lock_guard lock(g_mutex);
  return g_running;
}

bool WaitForPlayerTasks(int timeoutMs) {
  std::unique_lock lock(g_mutex);
  return g_ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return g_running == 0; });
}
