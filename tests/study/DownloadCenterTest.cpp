// The download centre: the state a row derives its look and click from, the typed events
// its observers get, and the player's lesson download seam.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "downloads/CourseDB.h"
#include "study/DownloadCenter.h"

namespace {

namespace fs = std::filesystem;

// A private folder, removed with everything in it.
struct Folder {
  fs::path path;
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "tavo-center-XXXXXX").string();
    path = ::mkdtemp(pattern.data());
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string File(const std::string& name, std::size_t bytes) const {
    const fs::path file = path / name;
    std::ofstream(file, std::ios::binary) << std::string(bytes, 'x');
    return file.string();
  }
};

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
  const Folder folder;
  DownloadTask whole = Task("whole", 100, 100);
  whole.localFile = folder.File("whole.mp4", 100);
  struct Case {
    DownloadTask task;
    DownloadState expected;
  } cases[] = {
      {whole, DownloadState::Finished},
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

TEST(DownloadCenterTest, AfterARestartFinishedTasksAreFinishedAndTheOthersStartOnAClick) {
  const Folder folder;
  CourseDB db((folder.path / "course.db").wstring());
  db.OpenChecked();
  ASSERT_TRUE(db.IsOpened());
  DownloadTaskList& list = DownloadTaskList::Get();
  list.Clear();
  struct Case {
    const char* id;
    std::int64_t fullSize;   // stored by the last transfer, 0: none stored
    bool partFile;           // the task has a partial file of its own (else a row from before those)
    std::size_t finalBytes;  // under the final name
    std::size_t partBytes;
    DownloadState expected;
  };
  // Every task was announced with 100 bytes when its download began.
  const Case cases[] = {
      {"finished", 100, true, 100, 0, DownloadState::Finished},
      {"finished, the copy became shorter", 80, true, 80, 0, DownloadState::Finished},
      {"finished, row from before part files", 80, false, 80, 0, DownloadState::Finished},
      {"finished, no size stored", 0, false, 100, 0, DownloadState::Finished},
      {"a shorter file than the stored size", 100, false, 80, 0, DownloadState::Paused},
      {"partly downloaded", 100, true, 0, 40, DownloadState::Paused},
      {"partly downloaded, row from before", 0, false, 40, 0, DownloadState::Paused},
      {"nothing downloaded yet", 0, true, 0, 0, DownloadState::Paused},
  };
  int number = 0;
  for (const Case& c : cases) {
    DownloadTask task = Task("v" + std::to_string(++number), 0, 100);
    task.localFile = (folder.path / (task.id + ".mp4")).string();
    if (c.finalBytes > 0) folder.File(task.id + ".mp4", c.finalBytes);
    if (c.partFile) task.partFile = folder.File(task.id + ".mp4.part", c.partBytes);
    if (c.partFile && c.partBytes == 0 && c.finalBytes > 0) fs::remove(task.partFile);
    task.fullSize = c.fullSize;
    db.InsertClass("c1", "Class", TaskKind::Video);
    db.InsertLesson("c1", task.id, task.id + ".mp4", "http://school/" + task.id, "100", task.localFile);
    db.SaveResumeInfo(task);
  }
  db.GetAllClass(TaskKind::Video);
  db.GetLesson("c1", "Class", kNoWindow);
  DownloadCenter center;
  number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const TaskKey key{TaskKind::Video, "c1", "v" + std::to_string(++number)};
    EXPECT_EQ(center.StateOf(key), c.expected);
  }
  list.Clear();
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

// Downloads stored when a video stood for its lesson take their lessons once the class is
// known: each the first lesson of its video that has no download yet. Observers see the old
// key go and the lesson's state; the file on disk is the same.
TEST(DownloadCenterTest, TasksStoredUnderAVideoTakeTheirLessonsOnce) {
  const Folder folder;
  const std::string finished = folder.File("a.mp4", 100);
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open((folder.path / "course.db").c_str(), &raw), SQLITE_OK);
  const std::string old =
      "create table class(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,classname text);"
      "create table lesson(id INTEGER PRIMARY KEY AUTOINCREMENT,classid text,vid text, name text,url text, "
      "fsize text, localFile text default '');"
      "insert into class values (null, 'c1', 'Class');"
      "insert into lesson values (null, 'c1', 'vA', 'a.mp4', 'http://x/a', '100', '" +
      finished +
      "');"
      "insert into lesson values (null, 'c1', 'vB', 'b.mp4', 'http://x/b', '100', '');";
  ASSERT_EQ(sqlite3_exec(raw, old.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(raw);
  CourseDB db((folder.path / "course.db").wstring());
  db.OpenChecked();
  // Lesson 22 got a download of its own since.
  db.InsertLesson("c1", "22", "c.mp4", "http://x/b", "100", "", "vB");
  DownloadTaskList& list = DownloadTaskList::Get();
  list.Clear();
  db.GetAllClass(TaskKind::Video);
  db.GetLesson("c1", "Class", kNoWindow);

  DownloadCenter center(list);
  Recorder recorder;
  center.AddObserver(recorder);
  std::vector<LessonRecord> lessons(4);
  for (int i = 0; i < 4; ++i) {
    lessons[i].id = std::to_string(21 + i);
    lessons[i].video = i % 2 == 0 ? "vA" : "vB";
  }
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(center.AdoptLessons(db, "c1", lessons), (Pairs{{"vA", "21"}, {"vB", "24"}}));
  EXPECT_EQ(center.StateOf({TaskKind::Video, "c1", "21"}), DownloadState::Finished);
  EXPECT_EQ(center.StateOf({TaskKind::Video, "c1", "vA"}), DownloadState::None);
  EXPECT_EQ(list.FindTask("c1", "21", TaskKind::Video)->localFile, finished);
  EXPECT_EQ(list.FindTask("c1", "24", TaskKind::Video)->video, "vB");
  const auto state = [](DownloadState s) { return std::to_string(static_cast<int>(s)); };
  EXPECT_EQ(recorder.seen,
            (std::vector<std::string>{"removed vA", "state 21 " + state(DownloadState::Finished),
                                      "removed vB", "state 24 " + state(DownloadState::Paused)}));
  EXPECT_TRUE(center.AdoptLessons(db, "c1", lessons).empty());
  EXPECT_TRUE(db.VideoKeyedLessons("c1").empty());
  list.Clear();
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

namespace {

// Records which tasks the centre started again, and reports them as waiting (as a manager
// window does once the job is submitted).
struct StartLog {
  explicit StartLog(DownloadCenter& c) : center(c) {}
  DownloadCenter& center;
  std::vector<std::string> started;
  void Install() {
    for (TaskKind kind : {TaskKind::Video, TaskKind::Document})
      center.SetTaskResumer(kind, [this](const DownloadTask& task) {
        started.push_back(task.id);
        center.ReportState(task, DownloadState::Waiting);
      });
  }
};

}  // namespace

// Which tasks go on by themselves: what a restart or a failure stopped while the switch is
// on; what the disk or the network held always; never what the student paused, what is
// finished or what a job already runs for.
TEST(DownloadCenterTest, ResumeUnfinishedStartsWhatNobodyPausedAndHonoursTheSwitch) {
  const Folder folder;
  DownloadTaskList list;
  DownloadCenter center(list);
  DownloadTask finished = Task("finished", 100, 100, TaskState::Paused);
  finished.localFile = folder.File("finished.mp4", 100);
  DownloadTask studentPaused = Task("paused by the student", 40, 100, TaskState::Paused);
  studentPaused.pausedByStudent = true;
  const DownloadTask tasks[] = {
      Task("restored", 40, 100, TaskState::Paused),
      Task("failed", 0, 100),
      Task("disk full", 40, 100),
      Task("held for the network", 0, 100),
      Task("running", 40, 100),
      finished,
      studentPaused,
  };
  for (const DownloadTask& task : tasks) ASSERT_TRUE(list.AddTask(task, TaskKind::Video));
  center.ReportState(tasks[1], DownloadState::Failed);
  center.ReportState(tasks[2], DownloadState::DiskFull);
  center.ReportState(tasks[3], DownloadState::HeldForNetwork);
  center.ReportProgress(tasks[4], 40);

  // Nothing happens without a way to start a task.
  center.ResumeUnfinished();
  EXPECT_EQ(center.StateOf(KeyOf(tasks[0])), DownloadState::Paused);

  {
    StartLog log(center);
    log.Install();
    center.Conditions().SetAutoResume(false);
    center.ResumeUnfinished();
    EXPECT_EQ(log.started, (std::vector<std::string>{"disk full", "held for the network"}));
  }
  {
    StartLog log(center);
    log.Install();
    center.Conditions().SetAutoResume(true);
    center.ResumeUnfinished();
    EXPECT_EQ(log.started, (std::vector<std::string>{"restored", "failed"}));
    // Once started, a second call starts nothing twice.
    log.started.clear();
    center.ResumeUnfinished();
    EXPECT_TRUE(log.started.empty());
  }
  center.SetTaskResumer(TaskKind::Video, nullptr);
  center.SetTaskResumer(TaskKind::Document, nullptr);
}

TEST(DownloadCenterTest, ResumeHeldStartsOnlyTasksHeldForThatReason) {
  DownloadTaskList list;
  DownloadCenter center(list);
  const DownloadTask disk = Task("disk", 40, 100);
  const DownloadTask network = Task("network", 0, 100);
  ASSERT_TRUE(list.AddTask(disk, TaskKind::Video));
  ASSERT_TRUE(list.AddTask(network, TaskKind::Video));
  center.ReportState(disk, DownloadState::DiskFull);
  center.ReportState(network, DownloadState::HeldForNetwork);
  EXPECT_TRUE(center.AnyIn(DownloadState::DiskFull));
  StartLog log(center);
  log.Install();
  center.ResumeHeld(DownloadState::DiskFull);
  EXPECT_EQ(log.started, std::vector<std::string>{"disk"});
  EXPECT_FALSE(center.AnyIn(DownloadState::DiskFull));
  center.ResumeHeld(DownloadState::HeldForNetwork);
  EXPECT_EQ(log.started, (std::vector<std::string>{"disk", "network"}));
}

// The room a download needs is what is still to come plus the reserve; a folder that does not
// exist yet is measured on the nearest folder above it; an unknown free space holds nothing.
TEST(DownloadCenterTest, TheSpaceCheckNamesBothNumbers) {
  DownloadConditions conditions;
  std::string asked;
  std::optional<std::int64_t> free = 300LL * 1024 * 1024;
  conditions.SetFreeSpaceProbe([&](const std::string& folder) {
    asked = folder;
    return free;
  });
  EXPECT_FALSE(conditions.CheckRoom("/media/usb/", 40LL * 1024 * 1024));
  EXPECT_EQ(asked, "/media/usb/");
  const auto shortfall = conditions.CheckRoom("/media/usb/", 50LL * 1024 * 1024);
  ASSERT_TRUE(shortfall);
  EXPECT_EQ(shortfall->needed, 50LL * 1024 * 1024 + kDiskReserveBytes);
  EXPECT_EQ(shortfall->available, 300LL * 1024 * 1024);
  EXPECT_EQ(ShortfallTip(*shortfall), L"磁盘空间不足：需要 306MB，可用 300MB");
  free.reset();
  EXPECT_FALSE(conditions.CheckRoom("/media/usb/", 1LL << 50));

  const Folder folder;
  const auto real = FreeBytesOnDisk((folder.path / "not" / "made" / "yet").string() + "/");
  ASSERT_TRUE(real);
  EXPECT_GT(*real, 0);
  EXPECT_EQ(FolderOf("/a/b/c.mp4"), "/a/b/");
}

TEST(DownloadCenterTest, AMeteredNetworkHoldsDownloadsUnlessAllowed) {
  DownloadConditions conditions;
  EXPECT_FALSE(conditions.HoldForNetwork());  // no monitor: not metered
  bool metered = true;
  conditions.SetMeteredProbe([&] { return metered; });
  EXPECT_TRUE(conditions.HoldForNetwork());
  conditions.SetMeteredAllowed(true);
  EXPECT_FALSE(conditions.HoldForNetwork());
  conditions.SetMeteredAllowed(false);
  metered = false;
  EXPECT_FALSE(conditions.HoldForNetwork());
}
