// The class-detail worker.
#include "mainwnd/ClassFetch.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/MessageCore.h"

namespace {
std::mutex g_mutex;
std::condition_variable g_ended;
int g_running = 0;
}  // namespace

void StartClassFetch(HWND receiver, UINT msg, const std::string& classId) {
  {
    std::lock_guard lock(g_mutex);
    ++g_running;
  }
  std::thread([receiver, msg, classId] {
    auto outcome = std::make_shared<ClassFetchResult>();
    outcome->classId = classId;
    outcome->result = FetchClassDetail(classId, outcome->detail);
    PostMessage(receiver, msg, 0, 0, std::move(outcome));
    std::lock_guard lock(g_mutex);
    --g_running;
    g_ended.notify_all();
  }).detach();
}

int PendingClassFetches() {
  std::lock_guard lock(g_mutex);
  return g_running;
}

bool WaitForClassFetches(int timeoutMs) {
  std::unique_lock lock(g_mutex);
  return g_ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return g_running == 0; });
}
