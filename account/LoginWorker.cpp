#include "account/LoginWorker.h"

#include <atomic>
#include <thread>

#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "service/CatalogueParsers.h"

namespace {
std::atomic<int> g_running{0};
}  // namespace

void RunLoginThread(std::function<void()> body) {
  ++g_running;
  std::thread([body = std::move(body)] {
    body();
    --g_running;
  }).detach();
}

int PendingLoginThreads() { return g_running.load(); }

void StartLoginWorker(HWND frame) {
  // A frame gone by the time the catalogue is in drops the message.
  RunLoginThread([frame] {
    ParseGetMyCourse();
    PostMessage(frame, WM_LOGIN_DONE);
  });
}
