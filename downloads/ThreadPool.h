// The worker pool of the download engine: four workers and a dispatcher that hands the
// oldest queued job to the lowest-numbered idle worker, at most one job per 50 ms cycle.
// Idle threads sleep on condition variables; nothing polls.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

class ThreadPool {
 public:
  using Job = std::function<void()>;
  static constexpr int kWorkerCount = 4;
  static constexpr std::chrono::milliseconds kDispatchCycle{50};

  ThreadPool();
  ~ThreadPool();  // shuts down when still running
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  // The process's pool (created, not started, on first use).
  static ThreadPool& Get();

  // Starts the workers and the dispatcher; does nothing when already started.
  void Create();
  // Queues the job; callable from any thread, returns at once. Jobs queued before Create
  // wait for it; jobs queued after Shutdown are dropped.
  void Submit(Job job);
  // Stops the dispatcher (waiting for it) and the workers. Jobs still queued are dropped.
  // A worker inside a job is given `grace` to finish; one that does not is left to end
  // with the process (jobs watch IsStopping to end early).
  void Shutdown(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));
  // True once Shutdown has begun; long jobs poll it to stop early.
  bool IsStopping() const;

  // How many jobs are running right now (tests and benchmarks).
  int BusyWorkers() const;

 private:
  struct State;
  static void ThreadFunc(std::shared_ptr<State> state, int index);
  static void CheckExecMsgThread(std::shared_ptr<State> state);
  std::shared_ptr<State> m_state;
};
