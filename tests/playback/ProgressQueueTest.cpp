// The queue of learning positions the service did not take: kept per account and lesson,
// a newer position replacing an older one, sent oldest first, a round ending at the first
// refusal, and an entry the service always refuses given up in the end.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <mutex>
#include <thread>

#include "WindowTestKit.h"
#include "playback/ProgressQueue.h"

namespace {

class ProgressQueueTest : public WindowTestKit {
 protected:
  void SetUp() override {
    WindowTestKit::SetUp();
    queue = std::make_unique<ProgressQueue>((m_root / "course.db").wstring());
    ASSERT_TRUE(queue->IsOpen());
  }
  void TearDown() override {
    queue.reset();
    WindowTestKit::TearDown();
  }

  // Runs one round with a sender that takes the first `accept` reports; returns them.
  std::vector<std::string> Round(const std::string& account, int accept) {
    auto sent = std::make_shared<std::vector<std::string>>();
    auto mutex = std::make_shared<std::mutex>();
    auto left = std::make_shared<int>(accept);
    bool finished = false;
    queue->Flush(
        account,
        [sent, mutex, left](const std::string& seconds, const std::string& lessonId) {
          std::lock_guard lock(*mutex);
          if (*left == 0) return false;
          --*left;
          sent->push_back(lessonId + "@" + seconds);
          return true;
        },
        [&](int) { finished = true; });
    EXPECT_TRUE(RunUntil([&] { return finished; }));
    std::lock_guard lock(*mutex);
    return *sent;
  }

  std::unique_ptr<ProgressQueue> queue;
};

TEST_F(ProgressQueueTest, KeptReplacedAndSentOldestFirst) {
  queue->Keep("xm", "l1", "c1", "v1", "10");
  queue->Keep("xm", "l2", "c1", "v2", "20");
  queue->Keep("fang", "l9", "c9", "v9", "90");
  queue->Keep("xm", "l1", "c1", "v1", "15");  // newer position of l1: replaces it, now newest
  std::vector<UnsentProgress> pending = queue->Pending("xm");
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending[0].lessonId, "l2");
  EXPECT_EQ(pending[1].seconds, "15");

  EXPECT_EQ(Round("xm", 10), (std::vector<std::string>{"l2@20", "l1@15"}));
  EXPECT_TRUE(queue->Pending("xm").empty());
  EXPECT_EQ(queue->Pending("fang").size(), 1u);  // another account's positions stay
}

TEST_F(ProgressQueueTest, ARoundEndsAtTheFirstRefusalAndKeepsTheRest) {
  for (const char* lesson : {"l1", "l2", "l3"}) queue->Keep("xm", lesson, "c1", lesson, "5");
  EXPECT_EQ(Round("xm", 1), std::vector<std::string>{"l1@5"});
  std::vector<UnsentProgress> pending = queue->Pending("xm");
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending[0].lessonId, "l2");
  EXPECT_EQ(pending[0].attempts, 1);
  EXPECT_EQ(pending[1].attempts, 0);
}

TEST_F(ProgressQueueTest, SurvivesReopeningAndGivesUpWhatIsAlwaysRefused) {
  queue->Keep("xm", "l1", "c1", "v1", "42");
  queue = std::make_unique<ProgressQueue>((m_root / "course.db").wstring());
  ASSERT_EQ(queue->Pending("xm").size(), 1u);
  for (int i = 0; i < ProgressQueue::kMaxAttempts; ++i) Round("xm", 0);
  EXPECT_TRUE(queue->Pending("xm").empty());
}

// Another connection writing course.db while the queue opens it: the queue waits for it
// instead of giving up for the whole run.
TEST_F(ProgressQueueTest, OpensWhileAnotherConnectionWritesTheFile) {
  queue.reset();
  const std::string path = (m_root / "fresh.db").string();
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; CREATE TABLE downloads(x);", nullptr, nullptr, nullptr), SQLITE_OK);
  std::thread writer([other] {
    // The other writer's moment of work (far below the 2 s the queue waits), not a wait
    // for an event: the queue must open whether the lock ends before or during its open.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  });
  ProgressQueue opened((m_root / "fresh.db").wstring());
  writer.join();
  sqlite3_close(other);
  EXPECT_TRUE(opened.IsOpen());
}

}  // namespace
