#include "account/LoginWorker.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/Log.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "service/CatalogueParsers.h"
#include "study/CatalogueCache.h"

namespace {
std::mutex g_mutex;
std::condition_variable g_ended;
int g_running = 0;
}  // namespace

void RunLoginThread(std::function<void()> body) {
  {
    std::lock_guard lock(g_mutex);
    ++g_running;
  }
  std::thread([body = std::move(body)] {
    body();
    std::lock_guard lock(g_mutex);
    --g_running;
    g_ended.notify_all();
  }).detach();
}

int PendingLoginThreads() {
  std::lock_guard lock(g_mutex);
  return g_running;
}

bool WaitForLoginThreads(int timeoutMs) {
  std::unique_lock lock(g_mutex);
  return g_ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return g_running == 0; });
}

void StartLoginWorker(HWND frame) {
  // A frame gone by the time the catalogue is in drops the message.
  RunLoginThread([frame] {
    // The catalogue is kept as it arrives, for a later start without the network.
    LoadAndKeepSubjects();
    PostMessage(frame, WM_LOGIN_DONE);
  });
}

void StartOfflineWorker(HWND frame) {
  RunLoginThread([frame] {
    if (!CatalogueCache::OfSignedInAccount().RecallSubjects())
      LogError(L"offline start: no kept catalogue for this account");
    PostMessage(frame, WM_LOGIN_DONE);
  });
}
