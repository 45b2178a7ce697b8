// The worker pool: first-in first-out hand-out, never more than four jobs at once, the
// stop rules and the log lines (run under TSan too).
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "DownloadTestSupport.h"
#include "app/Log.h"
#include "downloads/ThreadPool.h"

namespace {

using namespace std::chrono_literals;

// Lets a test wait for a count that worker threads raise.
class Counter {
 public:
  void Add() {
    std::lock_guard lock(m_mutex);
    ++m_value;
    m_changed.notify_all();
  }
  bool WaitFor(int value, std::chrono::milliseconds guard = 20s) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, guard, [&] { return m_value >= value; });
  }
  int Value() {
    std::lock_guard lock(m_mutex);
    return m_value;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_value = 0;
};

TEST(ThreadPoolTest, RunsJobsInSubmissionOrderAtMostFourAtOnce) {
  ThreadPool pool;
  pool.Create();
  constexpr int kJobs = 10;
  std::mutex mutex;
  std::vector<int> started;
  std::atomic<int> running{0};
  std::atomic<int> mostRunning{0};
  Counter done;
  for (int i = 0; i < kJobs; ++i) {
    pool.Submit([&, i] {
      const int now = ++running;
      int most = mostRunning.load();
      while (now > most && !mostRunning.compare_exchange_weak(most, now)) {
      }
      {
        std::lock_guard lock(mutex);
        started.push_back(i);
      }
      std::this_thread::sleep_for(60ms);
      --running;
      done.Add();
    });
  }
  ASSERT_TRUE(done.WaitFor(kJobs));
  pool.Shutdown();
  std::vector<int> expected(kJobs);
  for (int i = 0; i < kJobs; ++i) expected[i] = i;
  EXPECT_EQ(started, expected);
  EXPECT_LE(mostRunning.load(), ThreadPool::kWorkerCount);
  EXPECT_GE(mostRunning.load(), 2);  // jobs do run side by side
}

TEST(ThreadPoolTest, JobsSubmittedBeforeCreateWaitForIt) {
  ThreadPool pool;
  Counter done;
  pool.Submit([&] { done.Add(); });
  std::this_thread::sleep_for(120ms);
  EXPECT_EQ(done.Value(), 0);
  pool.Create();
  EXPECT_TRUE(done.WaitFor(1));
}

TEST(ThreadPoolTest, ShutdownDropsQueuedJobsAndLetsRunningJobsSeeIt) {
  ThreadPool pool;
  pool.Create();
  Counter started;
  std::atomic<bool> sawStop{false};
  for (int i = 0; i < ThreadPool::kWorkerCount; ++i) {
    pool.Submit([&] {
      started.Add();
      while (!pool.IsStopping()) std::this_thread::sleep_for(5ms);
      sawStop = true;
    });
  }
  std::atomic<int> extraRan{0};
  for (int i = 0; i < 3; ++i) pool.Submit([&] { ++extraRan; });
  ASSERT_TRUE(started.WaitFor(ThreadPool::kWorkerCount));
  pool.Shutdown();
  EXPECT_TRUE(sawStop);
  EXPECT_EQ(extraRan.load(), 0);
  pool.Submit([&] { ++extraRan; });  // after shutdown: dropped
  EXPECT_EQ(extraRan.load(), 0);
}

TEST(ThreadPoolTest, WritesItsLogLines) {
  TempFolder temp;
  temp.UseForXdg();
  ASSERT_TRUE(OpenLog(L"browserlog"));
  {
    ThreadPool pool;
    pool.Create();
    Counter done;
    pool.Submit([&] { done.Add(); });
    ASSERT_TRUE(done.WaitFor(1));
    pool.Shutdown();
  }
  CloseLog();
  const std::string log = ReadDayLogs();
  for (const char* line : {"ThreadFunc 1 ResumeThread", "all threads exit", "CheckExecMsgThread quit",
                           "ThreadFunc 1 exit", "ThreadFunc 4 exit"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  }
  EXPECT_LT(log.find("all threads exit"), log.find("CheckExecMsgThread quit"));
}

}  // namespace
