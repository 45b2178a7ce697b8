// The download task list: its add/find/update/remove rules, the job bookkeeping that
// keeps two jobs off one file, and many threads using it at once (run under TSan too).
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "downloads/DownloadTaskList.h"

namespace {

DownloadTask Task(const std::string& classId, const std::string& id, const std::string& className = "Class",
                  TaskKind kind = TaskKind::Video) {
  DownloadTask task;
  task.classId = classId;
  task.id = id;
  task.className = className;
  task.kind = kind;
  task.localFile = "/tmp/" + classId + "-" + id;
  return task;
}

class TaskListTest : public ::testing::Test {
 protected:
  void SetUp() override { list.Clear(); }
  void TearDown() override { list.Clear(); }
  DownloadTaskList& list = DownloadTaskList::Get();
};

TEST_F(TaskListTest, AddTaskRefusesADuplicateIdAndTakesOverTheClassName) {
  EXPECT_TRUE(list.AddTask(Task("c1", "v1", "Old name"), TaskKind::Video));
  EXPECT_FALSE(list.AddTask(Task("c1", "v1", "Other"), TaskKind::Video));
  EXPECT_EQ(list.FindClass("c1", TaskKind::Video)->className, "Old name");
  EXPECT_TRUE(list.AddTask(Task("c1", "v2", "New name"), TaskKind::Video));
  EXPECT_EQ(list.FindClass("c1", TaskKind::Video)->className, "New name");
  EXPECT_EQ(list.FindClass("c1", TaskKind::Video)->tasks.size(), 2u);
  // The same ids of the other kind are another list.
  EXPECT_FALSE(list.FindTask("c1", "v1", TaskKind::Document));
  EXPECT_TRUE(list.AddTask(Task("c1", "v1", "Docs", TaskKind::Document), TaskKind::Document));
}

TEST_F(TaskListTest, AddClassAndAppendTask) {
  EXPECT_FALSE(list.AppendTask(Task("c1", "v1"), TaskKind::Video));  // no class entry yet
  EXPECT_TRUE(list.AddClass("c1", "Class", TaskKind::Video));
  EXPECT_FALSE(list.AddClass("c1", "Again", TaskKind::Video));
  EXPECT_TRUE(list.AppendTask(Task("c1", "v1"), TaskKind::Video));
  EXPECT_TRUE(list.AppendTask(Task("c1", "v1"), TaskKind::Video));  // no duplicate check
  EXPECT_EQ(list.FindClass("c1", TaskKind::Video)->tasks.size(), 2u);
}

TEST_F(TaskListTest, RemoveTaskKeepsTheEmptyClassEntry) {
  list.AddTask(Task("c1", "v1"), TaskKind::Video);
  list.AddTask(Task("c2", "v1"), TaskKind::Video);
  list.RemoveTask("c1", "v1", TaskKind::Video);
  EXPECT_FALSE(list.FindTask("c1", "v1", TaskKind::Video));
  EXPECT_TRUE(list.FindTask("c2", "v1", TaskKind::Video));
  EXPECT_EQ(list.ClassCount(TaskKind::Video), 2);
  EXPECT_TRUE(list.FindClass("c1", TaskKind::Video)->tasks.empty());
  list.Clear();
  EXPECT_EQ(list.ClassCount(TaskKind::Video), 0);
}

TEST_F(TaskListTest, OtherKindsFindAndAddNothing) {
  for (TaskKind kind : {TaskKind::None, TaskKind::Avatar}) {
    EXPECT_FALSE(list.AddTask(Task("c1", "v1", "C", kind), kind));
    EXPECT_FALSE(list.AddClass("c1", "C", kind));
    EXPECT_FALSE(list.FindTask("c1", "v1", kind));
    EXPECT_EQ(list.ClassCount(kind), 0);
    EXPECT_TRUE(list.SnapshotClasses(kind).empty());
  }
}

TEST_F(TaskListTest, UpdateTaskOverwritesTheRecordButNeverRollsBackItsJobNumber) {
  list.AddTask(Task("c1", "v1"), TaskKind::Video);
  DownloadTask stale = *list.FindTask("c1", "v1", TaskKind::Video);
  const auto job = list.BeginJob("c1", "v1", TaskKind::Video);
  ASSERT_TRUE(job);
  stale.state = TaskState::Paused;
  EXPECT_TRUE(list.UpdateTask(stale, TaskKind::Video));
  const auto entry = list.FindTask("c1", "v1", TaskKind::Video);
  EXPECT_EQ(entry->state, TaskState::Paused);
  EXPECT_EQ(entry->jobNumber, job->jobNumber);
  EXPECT_FALSE(list.UpdateTask(Task("c1", "missing"), TaskKind::Video));
}

TEST_F(TaskListTest, OnlyTheNewestJobMayTakeTheFileAndOnlyOnceTheOlderLetsGo) {
  list.AddTask(Task("c1", "v1"), TaskKind::Video);
  const DownloadTask first = *list.BeginJob("c1", "v1", TaskKind::Video);
  EXPECT_EQ(list.ClaimJob(first, nullptr), DownloadTaskList::Claim::Acquired);
  const DownloadTask second = *list.BeginJob("c1", "v1", TaskKind::Video);
  EXPECT_NE(first.jobNumber, second.jobNumber);
  EXPECT_EQ(list.ClaimJob(first, nullptr), DownloadTaskList::Claim::Superseded);
  EXPECT_EQ(list.ClaimJob(second, nullptr), DownloadTaskList::Claim::Busy);
  list.EndJob(second);  // not the holder: changes nothing
  EXPECT_EQ(list.ClaimJob(second, nullptr), DownloadTaskList::Claim::Busy);
  list.EndJob(first);
  EXPECT_EQ(list.ClaimJob(second, nullptr), DownloadTaskList::Claim::Acquired);
  list.RemoveTask("c1", "v1", TaskKind::Video);
  EXPECT_EQ(list.ClaimJob(second, nullptr), DownloadTaskList::Claim::Missing);

  // Removed and added again while the old job still holds the file: the new job waits.
  list.AddTask(Task("c1", "v1"), TaskKind::Video);
  const DownloadTask third = *list.BeginJob("c1", "v1", TaskKind::Video);
  EXPECT_EQ(list.ClaimJob(third, nullptr), DownloadTaskList::Claim::Busy);
  list.EndJob(second);
  EXPECT_EQ(list.ClaimJob(third, nullptr), DownloadTaskList::Claim::Acquired);
  list.EndJob(third);
}

TEST_F(TaskListTest, ManyThreadsAtOnceKeepTheListConsistent) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      const std::string classId = "c" + std::to_string(t % 2);
      for (int i = 0; i < kRounds; ++i) {
        const std::string id = std::to_string(t) + "-" + std::to_string(i);
        list.AddTask(Task(classId, id), TaskKind::Video);
        if (auto task = list.FindTask(classId, id, TaskKind::Video)) {
          task->state = TaskState::Paused;
          list.UpdateTask(*task, TaskKind::Video);
        }
        if (auto job = list.BeginJob(classId, id, TaskKind::Video)) {
          if (list.ClaimJob(*job, nullptr) == DownloadTaskList::Claim::Acquired) list.EndJob(*job);
        }
        list.SnapshotClasses(TaskKind::Video);
        if (i % 2) list.RemoveTask(classId, id, TaskKind::Video);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  int tasks = 0;
  for (const DownloadClass& entry : list.SnapshotClasses(TaskKind::Video)) {
    for (const DownloadTask& task : entry.tasks) {
      EXPECT_EQ(task.state, TaskState::Paused);
      ++tasks;
    }
  }
  EXPECT_EQ(list.ClassCount(TaskKind::Video), 2);
  EXPECT_EQ(tasks, kThreads * kRounds / 2);
}

}  // namespace
