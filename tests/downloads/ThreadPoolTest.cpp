// The worker pool: first-in first-out hand-out, never more than four jobs at once, the
// stop rules and the log lines (run under TSan too).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "DownloadTestSupport.h"
#include "support/Waiting.h"
#include "app/Log.h"
#include "downloads/ThreadPool.h"

namespace {

using namespace std::chrono_literals;

TEST(ThreadPoolTest, RunsJobsInSubmissionOrderAtMostFourAtOnce) {
  // Every job holds its worker until the test lets it finish, so which jobs run is decided
  // by the pool alone, never by how fast threads happen to be scheduled.
  ThreadPool pool;
  pool.Create();
  constexpr int kJobs = 10;
  std::mutex mutex;
  std::condition_variable released;
  int finishBelow = 0;  // jobs with a lower number may finish
  std::vector<int> started;
  std::atomic<int> running{0};
  std::atomic<int> mostRunning{0};
  EventCount startCount;
  EventCount done;
  for (int i = 0; i < kJobs; ++i) {
    pool.Submit([&, i] {
      const int now = ++running;
      int most = mostRunning.load();
      while (now > most && !mostRunning.compare_exchange_weak(most, now)) {
      }
      {
        std::unique_lock lock(mutex);
        started.push_back(i);
        startCount.Add();
        released.wait(lock, [&] { return i < finishBelow; });
      }
      --running;
      done.Add();
    });
  }
  auto letFinishBelow = [&](int number) {
    {
      std::lock_guard lock(mutex);
      finishBelow = number;
    }
    released.notify_all();
  };
  auto startedSoFar = [&] {
    std::lock_guard lock(mutex);
    return started;
  };

  // The four oldest jobs fill the four workers, in whatever order their threads run.
  ASSERT_TRUE(startCount.WaitFor(ThreadPool::kWorkerCount));
  std::vector<int> first = startedSoFar();
  std::sort(first.begin(), first.end());
  EXPECT_EQ(first, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(pool.BusyWorkers(), ThreadPool::kWorkerCount);
  // Each finished job frees one worker, which takes the oldest job still queued.
  for (int next = ThreadPool::kWorkerCount; next < kJobs; ++next) {
    letFinishBelow(next - ThreadPool::kWorkerCount + 1);
    ASSERT_TRUE(startCount.WaitFor(next + 1)) << "job " << next << " never started";
    EXPECT_EQ(startedSoFar().back(), next);
  }
  letFinishBelow(kJobs);
  ASSERT_TRUE(done.WaitFor(kJobs));
  pool.Shutdown();
  EXPECT_EQ(mostRunning.load(), ThreadPool::kWorkerCount);
}

TEST(ThreadPoolTest, JobsSubmittedBeforeCreateWaitForIt) {
  ThreadPool pool;
  EventCount done;
  pool.Submit([&] { done.Add(); });
  EXPECT_FALSE(done.WaitFor(1, 100ms)) << "a job ran before the pool was created";
  pool.Create();
  EXPECT_TRUE(done.WaitFor(1));
}

TEST(ThreadPoolTest, ShutdownDropsQueuedJobsAndLetsRunningJobsSeeIt) {
  ThreadPool pool;
  pool.Create();
  EventCount started;
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
    EventCount done;
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
