// The worker pool behind BackgroundTask: threads that are kept, reused and joined.
#include "platform/BackgroundTask.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "platform/MessageCore.h"

namespace {

class WorkerPool {
 public:
  void Enqueue(std::function<void()> job) {
    std::lock_guard lock(m_mutex);
    m_jobs.push_back(std::move(job));
    ++m_pending;
    // Every queued job needs a worker of its own: idle workers already woken for earlier
    // jobs do not count.
    if (m_jobs.size() > static_cast<size_t>(m_idle)) {
      m_workers.emplace_back([this] { WorkerLoop(); });
    } else {
      m_wake.notify_one();
    }
  }

  int Pending() {
    std::lock_guard lock(m_mutex);
    return m_pending;
  }

  bool WaitIdle(int timeoutMs) {
    std::unique_lock lock(m_mutex);
    return m_finished.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_pending == 0; });
  }

 private:
  void WorkerLoop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
      ++m_idle;
      m_wake.wait(lock, [this] { return !m_jobs.empty(); });
      --m_idle;
      std::function<void()> job = std::move(m_jobs.front());
      m_jobs.pop_front();
      lock.unlock();
      job();
      job = nullptr;  // captured state goes before the task counts as finished
      lock.lock();
      --m_pending;
      m_finished.notify_all();
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::condition_variable m_finished;
  std::deque<std::function<void()>> m_jobs;
  // Kept for the life of the process: a worker blocked in a slow request must not hold up
  // the program's exit, so the pool is never destroyed and its threads end with the process.
  std::vector<std::thread> m_workers;
  int m_idle = 0;
  int m_pending = 0;
};

WorkerPool& ThePool() {
  alignas(WorkerPool) static unsigned char storage[sizeof(WorkerPool)];
  static WorkerPool* pool = ::new (storage) WorkerPool();
  return *pool;
}

}  // namespace

namespace background_detail {
void Enqueue(std::function<void()> job) { ThePool().Enqueue(std::move(job)); }
void PostResult(std::function<void()> deliver) { PostToMainLoop(std::move(deliver)); }
}  // namespace background_detail

int PendingBackgroundTasks() { return ThePool().Pending(); }
bool WaitForBackgroundTasks(int timeoutMs) { return ThePool().WaitIdle(timeoutMs); }
