// The sleep guard follows the download centre's events: it holds its inhibit exactly while
// some task waits for or receives bytes. (What the inhibit asks of the system is the
// inhibitor's own test, against a stand-in logind.)
#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

#include "study/DownloadSleepGuard.h"

namespace {

DownloadTask Task(const std::string& id, TaskKind kind = TaskKind::Video) {
  DownloadTask task;
  task.classId = "c1";
  task.id = id;
  task.kind = kind;
  return task;
}

class DownloadSleepGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // No bus of this machine is asked: the inhibit is only wanted, never granted here.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tavo-test-system-bus", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tavo-test-session-bus", 1);
  }
  DownloadTaskList m_list;
  DownloadCenter m_center{m_list};
};

TEST_F(DownloadSleepGuardTest, HoldsWhileAnyDownloadRunsAndOnlyThen) {
  DownloadSleepGuard guard(m_center);
  EXPECT_FALSE(guard.IsHolding());
  const DownloadTask video = Task("110101");
  const DownloadTask doc = Task("jy1", TaskKind::Document);

  struct Step {
    const char* what;
    std::function<void()> event;
    bool holding;
  };
  const std::vector<Step> steps = {
      {"a video is queued", [&] { m_center.ReportAdded(video); }, true},
      {"its bytes arrive", [&] { m_center.ReportProgress(video, 10); }, true},
      {"a document is queued too", [&] { m_center.ReportAdded(doc); }, true},
      {"the video is paused, the document still runs", [&] { m_center.ReportState(video, DownloadState::Paused); },
       true},
      {"the document finishes", [&] { m_center.ReportState(doc, DownloadState::Finished); }, false},
      {"the video is resumed", [&] { m_center.ReportState(video, DownloadState::Waiting); }, true},
      {"the video fails", [&] { m_center.ReportState(video, DownloadState::Failed); }, false},
      {"it is started again", [&] { m_center.ReportProgress(video, 40); }, true},
      {"it is removed", [&] { m_center.ReportRemoved(video); }, false},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.event();
    EXPECT_EQ(guard.IsHolding(), step.holding);
  }
  EXPECT_EQ(guard.RunningCount(), 0);
}

}  // namespace
