// The download centre: the state a row derives its look and click from, the typed events
// its observers get, and the player's lesson download seam.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "study/DownloadCenter.h"

namespace {

DownloadTask Task(const std::string& id, std::int64_t downloaded, std::int64_t total,
                  TaskState state = TaskState::Waiting) {
  DownloadTask task;
  task.classId = "c1";
  task.className = "Class";
  task.id = id;
  task.kind = TaskKind::Video;
  task.downloaded = downloaded;
  task.total = total;
  task.state = state;
  return task;
}

struct Recorder : DownloadObserver {
  std::vector<std::string> seen;
  void OnTaskAdded(const TaskAdded& e) override { seen.push_back("added " + e.task.id); }
  void OnTaskProgress(const TaskProgress& e) override {
    seen.push_back("progress " + e.key.id + " " + std::to_string(e.percent));
  }
  void OnTaskStateChanged(const TaskStateChanged& e) override {
    seen.push_back("state " + e.key.id + " " + std::to_string(static_cast<int>(e.state)));
  }
  void OnTaskRemoved(const TaskRemoved& e) override { seen.push_back("removed " + e.key.id); }
};

TEST(DownloadCenterTest, StateOfATaskNobodyReportedComesFromTheTaskList) {
  DownloadTaskList list;
  DownloadCenter center(list);
  struct Case {
    DownloadTask task;
    DownloadState expected;
  } cases[] = {
      {Task("whole", 100, 100), DownloadState::Finished},
      {Task("part", 40, 100), DownloadState::Waiting},
      {Task("nothing", 0, 100), DownloadState::None},  // a restored task with no byte: "下载"
      {Task("paused", 40, 100, TaskState::Paused), DownloadState::Paused},
      {Task("unknown-size", 0, 0), DownloadState::None},
  };
  for (const Case& c : cases) ASSERT_TRUE(list.AddTask(c.task, TaskKind::Video));
  for (const Case& c : cases) EXPECT_EQ(center.StateOf(KeyOf(c.task)), c.expected) << c.task.id;
  EXPECT_EQ(center.StateOf({TaskKind::Video, "c1", "absent"}), DownloadState::None);
  // The same ids of another kind are other tasks.
  EXPECT_EQ(center.StateOf({TaskKind::Document, "c1", "whole"}), DownloadState::None);
}

TEST(DownloadCenterTest, ReportsSetTheStateAndReachEveryObserverInOrder) {
  DownloadTaskList list;
  DownloadCenter center(list);
  Recorder first;
  Recorder second;
  center.AddObserver(first);
  center.AddObserver(second);
  center.AddObserver(first);  // once only
  DownloadTask task = Task("v1", 0, 100);
  ASSERT_TRUE(list.AddTask(task, TaskKind::Video));

  center.ReportAdded(task);
  EXPECT_EQ(center.StateOf(KeyOf(task)), DownloadState::Waiting);
  task.downloaded = 50;
  center.ReportProgress(task, 50);
  EXPECT_EQ(center.StateOf(KeyOf(task)), DownloadState::Transferring);
  center.ReportState(task, DownloadState::Paused);
  EXPECT_EQ(center.StateOf(KeyOf(task)), DownloadState::Paused);
  center.ReportProgress(task, 140);  // a percentage out of range is clamped
  center.RemoveObserver(second);
  list.RemoveTask("c1", "v1", TaskKind::Video);
  center.ReportRemoved(task);
  EXPECT_EQ(center.StateOf(KeyOf(task)), DownloadState::None);

  const std::string paused = "state v1 " + std::to_string(static_cast<int>(DownloadState::Paused));
  const std::vector<std::string> expected = {"added v1", "progress v1 50", paused, "progress v1 100", "removed v1"};
  EXPECT_EQ(first.seen, expected);
  EXPECT_EQ(second.seen, std::vector<std::string>(expected.begin(), expected.end() - 1));
}

TEST(DownloadCenterTest, AnObserverMayLeaveWhileAnEventIsDelivered) {
  DownloadTaskList list;
  DownloadCenter center(list);
  Recorder later;
  struct Leaver : DownloadObserver {
    DownloadCenter* center = nullptr;
    Recorder* other = nullptr;
    void OnTaskAdded(const TaskAdded&) override { center->RemoveObserver(*other); }
  } leaver;
  leaver.center = &center;
  leaver.other = &later;
  center.AddObserver(leaver);
  center.AddObserver(later);
  center.ReportAdded(Task("v1", 0, 1));
  EXPECT_TRUE(later.seen.empty());  // removed before its turn: not called
}

TEST(DownloadCenterTest, LessonDownloadGoesToTheInstalledStarter) {
  DownloadCenter center;
  EXPECT_FALSE(center.DownloadLesson("c1", "v1"));  // nothing installed: not started
  std::vector<std::string> asked;
  center.SetLessonStarter([&](const std::string& classId, const std::string& video) {
    asked.push_back(classId + "/" + video);
    return video != "refused";
  });
  EXPECT_TRUE(center.DownloadLesson("c1", "v1"));
  EXPECT_FALSE(center.DownloadLesson("c1", "refused"));
  EXPECT_EQ(asked, (std::vector<std::string>{"c1/v1", "c1/refused"}));
  center.SetLessonStarter(nullptr);
  EXPECT_FALSE(center.DownloadLesson("c1", "v1"));
}

}  // namespace
