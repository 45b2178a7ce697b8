// Work that must not run on the main thread: it runs on a background worker and its typed
// result is handed back on the main loop, unless the task was cancelled first.
//
// Rules:
// - Run is called on the main thread; `done` runs there later (through PostToMainLoop),
//   never inside Run, and never after the task was cancelled or its handle destroyed.
// - A handle owns the delivery: destroying it cancels, so an object that keeps the handles
//   of its tasks as members is never called back after it is gone. `work` itself may still
//   be running; it can poll its CancelToken to stop early. Work whose result nobody needs
//   uses RunDetachedResult, whose `done` must only touch what outlives it.
// - Workers are threads of one process-wide pool, kept and reused, never detached. The pool
//   grows when every worker is busy, so a task waiting for the network never queues
//   another behind it. WaitForBackgroundTasks lets tests and shutdown wait for the work.
// - Work must not wait for the main thread (SendMessage from a worker is fine: the main
//   thread never waits for a worker).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

// What a running piece of work may check to stop early.
class CancelToken {
 public:
  CancelToken() : m_flag(std::make_shared<std::atomic<bool>>(false)) {}
  bool IsCancelled() const { return m_flag->load(); }
  void Cancel() const { m_flag->store(true); }

 private:
  std::shared_ptr<std::atomic<bool>> m_flag;
};

namespace background_detail {
// Queues `job` on the pool; counted as pending until it returns.
void Enqueue(std::function<void()> job);
void PostResult(std::function<void()> deliver);
}  // namespace background_detail

class BackgroundTask {
 public:
  BackgroundTask() = default;
  BackgroundTask(BackgroundTask&& other) noexcept : m_token(std::exchange(other.m_token, std::nullopt)) {}
  BackgroundTask& operator=(BackgroundTask&& other) noexcept {
    if (this != &other) {
      Cancel();
      m_token = std::exchange(other.m_token, std::nullopt);
    }
    return *this;
  }
  BackgroundTask(const BackgroundTask&) = delete;
  BackgroundTask& operator=(const BackgroundTask&) = delete;
  ~BackgroundTask() { Cancel(); }

  // `work(const CancelToken&)` runs on a worker and returns the result (or nothing);
  // `done(result)` (or `done()`) runs on the main thread unless cancelled first.
  template <class Work, class Done>
  [[nodiscard]] static BackgroundTask Run(Work work, Done done) {
    BackgroundTask task;
    task.m_token = CancelToken();
    Start(*task.m_token, std::move(work), std::move(done));
    return task;
  }

  // The same without a handle: nothing can cancel it, so `done` must only touch what lives
  // as long as the main loop (the model, the message core, posted windows by handle).
  template <class Work, class Done>
  static void RunDetachedResult(Work work, Done done) {
    Start(CancelToken(), std::move(work), std::move(done));
  }

  // `done` will not run; the work is told through its token.
  void Cancel() {
    if (m_token) {
      m_token->Cancel();
    }
  }
  bool IsRunning() const { return m_token && !m_token->IsCancelled(); }

 private:
  template <class Work, class Done>
  static void Start(CancelToken token, Work work, Done done) {
    using Result = std::invoke_result_t<Work&, const CancelToken&>;
    background_detail::Enqueue([token, work = std::move(work), done = std::move(done)]() mutable {
      if constexpr (std::is_void_v<Result>) {
        work(token);
        background_detail::PostResult([token, done = std::move(done)]() mutable {
          if (!token.IsCancelled()) {
            done();
          }
        });
      } else {
        auto result = std::make_shared<Result>(work(token));
        background_detail::PostResult([token, result, done = std::move(done)]() mutable {
          if (!token.IsCancelled()) {
            done(std::move(*result));
          }
        });
      }
    });
  }

  std::optional<CancelToken> m_token;
};

// Work queued or running (not counting results waiting for the main loop).
int PendingBackgroundTasks();
// True when no work is queued or running within `timeoutMs` (tests, shutdown).
bool WaitForBackgroundTasks(int timeoutMs);
