// The worker pool: one lock guards the queue and the worker table; the dispatcher and each
// worker sleep on their own condition variable until there is something to do.
#include "downloads/ThreadPool.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "app/Log.h"

struct ThreadPool::State {
  struct Worker {
    int number = 0;
    bool idle = true;
    bool stop = false;
    bool exited = false;
    Job job;
    std::condition_variable wake;
    std::thread thread;
  };

  mutable std::mutex mutex;
  std::deque<Job> queue;
  std::array<Worker, kWorkerCount> workers;
  std::condition_variable dispatcherWake;
  std::condition_variable workerExited;
  std::thread dispatcher;
  bool created = false;
  bool stopping = false;
  bool dispatcherStop = false;

  bool CanHandOut() const {
    if (queue.empty()) return false;
    for (const Worker& w : workers) {
      if (w.idle) return true;
    }
    return false;
  }
};

ThreadPool::ThreadPool() : m_state(std::make_shared<State>()) {}

ThreadPool::~ThreadPool() { Shutdown(); }

ThreadPool& ThreadPool::Get() {
  // Never destroyed: the program shuts it down explicitly at its end.
  static ThreadPool* pool = new ThreadPool();
  return *pool;
}

void ThreadPool::Create() {
  std::lock_guard lock(m_state->mutex);
  if (m_state->created || m_state->stopping) return;
  m_state->created = true;
  for (int i = 0; i < kWorkerCount; ++i) {
    State::Worker& worker = m_state->workers[i];
    worker.number = i + 1;
    worker.idle = true;
    worker.thread = std::thread(ThreadFunc, m_state, i);
  }
  m_state->dispatcher = std::thread(CheckExecMsgThread, m_state);
}

void ThreadPool::Submit(Job job) {
  std::lock_guard lock(m_state->mutex);
  if (m_state->stopping) return;
  m_state->queue.push_back(std::move(job));
  m_state->dispatcherWake.notify_one();
}

bool ThreadPool::IsStopping() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->stopping;
}

int ThreadPool::BusyWorkers() const {
  std::lock_guard lock(m_state->mutex);
  int busy = 0;
  for (const State::Worker& w : m_state->workers) busy += w.idle ? 0 : 1;
  return busy;
}

void ThreadPool::Shutdown(std::chrono::milliseconds grace) {
  std::thread dispatcher;
  {
    std::lock_guard lock(m_state->mutex);
    if (m_state->stopping) return;
    m_state->stopping = true;
    m_state->queue.clear();
    if (!m_state->created) return;
    for (State::Worker& w : m_state->workers) {
      w.stop = true;
      w.wake.notify_one();
    }
    LogNormal(L"all threads exit");
    m_state->dispatcherStop = true;
    m_state->dispatcherWake.notify_one();
    dispatcher = std::move(m_state->dispatcher);
  }
  dispatcher.join();

  std::unique_lock lock(m_state->mutex);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  m_state->workerExited.wait_until(lock, deadline, [&] {
    for (const State::Worker& w : m_state->workers) {
      if (!w.exited) return false;
    }
    return true;
  });
  for (State::Worker& w : m_state->workers) {
    // A worker still inside a long job keeps the shared state alive and ends on its own.
    if (w.exited) {
      w.thread.join();
    } else {
      w.thread.detach();
    }
  }
}

void ThreadPool::ThreadFunc(std::shared_ptr<State> state, int index) {
  ThreadPool::State::Worker& self = state->workers[index];
  std::unique_lock lock(state->mutex);
  for (;;) {
    self.wake.wait(lock, [&] { return self.stop || self.job; });
    if (self.stop) break;
    ThreadPool::Job job = std::move(self.job);
    self.job = nullptr;
    lock.unlock();
    job();
    job = nullptr;  // the job's captures are released outside the lock
    lock.lock();
    self.idle = true;
    state->dispatcherWake.notify_one();
  }
  LogNormal(L"ThreadFunc " + std::to_wstring(self.number) + L" exit");
  self.exited = true;
  state->workerExited.notify_all();
}

void ThreadPool::CheckExecMsgThread(std::shared_ptr<State> state) {
  using Clock = std::chrono::steady_clock;
  std::unique_lock lock(state->mutex);
  Clock::time_point nextHandOut = Clock::now();
  for (;;) {
    if (state->dispatcherStop) break;
    if (!state->CanHandOut()) {
      // Sleep until a job is queued or a worker goes idle.
      state->dispatcherWake.wait(lock, [&] { return state->dispatcherStop || state->CanHandOut(); });
      continue;
    }
    if (Clock::now() < nextHandOut) {
      state->dispatcherWake.wait_until(lock, nextHandOut, [&] { return state->dispatcherStop; });
      continue;
    }
    for (ThreadPool::State::Worker& worker : state->workers) {
      if (!worker.idle) continue;
      worker.job = std::move(state->queue.front());
      state->queue.pop_front();
      worker.idle = false;
      worker.wake.notify_one();
      LogNormal(L"ThreadFunc " + std::to_wstring(worker.number) + L" ResumeThread");
      break;
    }
    nextHandOut = Clock::now() + ThreadPool::kDispatchCycle;
  }
  LogNormal(L"CheckExecMsgThread quit");
}
