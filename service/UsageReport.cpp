// The usage report's thread and the gate other requests wait at.
#include "service/UsageReport.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "service/Endpoints.h"

namespace {

struct ReportState {
  std::mutex mutex;
  std::condition_variable finished;
  bool started = false;
  bool done = false;
  std::thread thread;
};

ReportState& State() {
  static ReportState state;
  return state;
}

}  // namespace

void StartUsageReport() {
  ReportState& state = State();
  std::lock_guard lock(state.mutex);
  if (state.started) return;
  state.started = true;
  state.thread = std::thread([&state] {
    UpPcInfo();
    std::lock_guard done(state.mutex);
    state.done = true;
    state.finished.notify_all();
  });
}

void AwaitUsageReport() {
  ReportState& state = State();
  std::unique_lock lock(state.mutex);
  state.finished.wait(lock, [&state] { return !state.started || state.done; });
}

bool AwaitUsageReportFor(std::chrono::milliseconds limit) {
  ReportState& state = State();
  std::unique_lock lock(state.mutex);
  return state.finished.wait_for(lock, limit, [&state] { return !state.started || state.done; });
}

void JoinUsageReport() {
  ReportState& state = State();
  std::thread thread;
  {
    std::lock_guard lock(state.mutex);
    thread = std::move(state.thread);
  }
  if (thread.joinable()) thread.join();
}

bool JoinUsageReportFor(std::chrono::milliseconds limit) {
  ReportState& state = State();
  std::thread thread;
  {
    std::unique_lock lock(state.mutex);
    if (!state.finished.wait_for(lock, limit, [&state] { return !state.started || state.done; })) {
      if (state.thread.joinable()) state.thread.detach();
      return false;
    }
    thread = std::move(state.thread);
  }
  if (thread.joinable()) thread.join();
  return true;
}
