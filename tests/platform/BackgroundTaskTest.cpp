// Background work: results come back on the main loop, in order with messages, and a
// cancelled or dropped handle never calls back.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>

#include "platform/BackgroundTask.h"
#include "platform/MessageCore.h"

namespace {

class BackgroundTaskTest : public ::testing::Test {
 protected:
  void SetUp() override { InitMessageCore(); }
  void TearDown() override {
    EXPECT_TRUE(WaitForBackgroundTasks(10000));
    PumpPendingMessages();
    ShutdownMessageCore();
  }
  // Pumps the loop until `done` or a 10 s deadline.
  static bool PumpUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      PumpPendingMessages();
      std::this_thread::yield();
    }
    return true;
  }
};

TEST_F(BackgroundTaskTest, ResultArrivesOnTheMainThreadNotInsideRun) {
  std::thread::id workerThread;
  std::string got;
  bool onMain = false;
  BackgroundTask task = BackgroundTask::Run(
      [&](const CancelToken&) {
        workerThread = std::this_thread::get_id();
        return std::string("answer");
      },
      [&](std::string result) {
        got = std::move(result);
        onMain = IsMainThread();
      });
  EXPECT_TRUE(got.empty());
  ASSERT_TRUE(PumpUntil([&] { return !got.empty(); }));
  EXPECT_EQ(got, "answer");
  EXPECT_TRUE(onMain);
  EXPECT_NE(workerThread, std::this_thread::get_id());
}

TEST_F(BackgroundTaskTest, CancelledOrDestroyedHandlesNeverCallBack) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> sawCancel{false};
  int calls = 0;
  BackgroundTask cancelled = BackgroundTask::Run(
      [&, released](const CancelToken& token) {
        released.wait();
        sawCancel = token.IsCancelled();
      },
      [&] { ++calls; });
  {
    BackgroundTask dropped = BackgroundTask::Run([released](const CancelToken&) { released.wait(); return 1; },
                                                 [&](int) { ++calls; });
  }
  cancelled.Cancel();
  release.set_value();
  bool marker = false;
  BackgroundTask last = BackgroundTask::Run([](const CancelToken&) {}, [&] { marker = true; });
  ASSERT_TRUE(WaitForBackgroundTasks(10000));
  ASSERT_TRUE(PumpUntil([&] { return marker; }));
  PumpPendingMessages();
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(sawCancel);
}

TEST_F(BackgroundTaskTest, ASlowTaskDoesNotHoldUpAnother) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  bool slowDone = false;
  bool quickDone = false;
  BackgroundTask slow = BackgroundTask::Run([released](const CancelToken&) { released.wait(); }, [&] { slowDone = true; });
  BackgroundTask quick = BackgroundTask::Run([](const CancelToken&) {}, [&] { quickDone = true; });
  ASSERT_TRUE(PumpUntil([&] { return quickDone; }));
  EXPECT_FALSE(slowDone);
  release.set_value();
  ASSERT_TRUE(PumpUntil([&] { return slowDone; }));
}

TEST_F(BackgroundTaskTest, PostedClosuresKeepTheirOrderAcrossThreads) {
  std::vector<int> order;
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i) {
      PostToMainLoop([&order, i] { order.push_back(i); });
    }
  });
  poster.join();
  ASSERT_TRUE(PumpUntil([&] { return order.size() == 100; }));
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(order[i], i);
  }
}

}  // namespace
