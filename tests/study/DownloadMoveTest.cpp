// Moving downloads to a new folder: across file systems with the mover stopped at each
// step as by a crash and finished by a fresh one, a full and a read-only target that stop
// with nothing lost, and taken names that are never overwritten.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "downloads/CourseDB.h"
#include "downloads/DownloadTaskList.h"
#include "downloads/TaskFiles.h"
#include "platform/BackgroundTask.h"
#include "platform/MessageCore.h"
#include "study/DownloadMove.h"
#include "support/GuardedLoop.h"

namespace {

namespace fs = std::filesystem;

std::string Bytes(std::size_t size, int seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + seed * 7) % 251);
  return bytes;
}

std::string Read(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// A tmpfs mounted for the test (a second file system), unmounted when it goes.
struct Tmpfs {
  fs::path at;
  bool mounted = false;
  Tmpfs(fs::path point, const char* options, unsigned long flags = 0) : at(std::move(point)) {
    fs::create_directories(at);
    mounted = ::mount("tmpfs", at.c_str(), "tmpfs", flags, options) == 0;
  }
  ~Tmpfs() {
    if (mounted) ::umount2(at.c_str(), MNT_DETACH);
  }
};

// The files a lesson row of the course database names.
struct StoredFiles {
  std::string localFile;
  std::string partFile;
};

class DownloadMoveTest : public testing::Test {
 protected:
  void SetUp() override {
    InitMessageCore();
    std::string pattern = (fs::temp_directory_path() / "tavo-move-XXXXXX").string();
    m_root = ::mkdtemp(pattern.data());
    m_old = m_root / "old";
    fs::create_directories(m_old);
    m_db = std::make_unique<CourseDB>(fs::path(m_root / "course.db").wstring());
    m_db->Open();
    m_db->CreateTables();
    ASSERT_TRUE(m_db->IsOpened());
    m_list.AddClass("c1", "class", TaskKind::Video);
  }
  void TearDown() override {
    EXPECT_TRUE(WaitForBackgroundTasks(10000));
    PumpPendingMessages();
    ShutdownMessageCore();
    m_tmpfs.reset();
    std::error_code ignored;
    fs::permissions(m_root, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(m_root, ignored);
  }

  // A finished lesson (its whole file in the old folder) or an unfinished one (bytes in its
  // partial file only).
  void AddLesson(const std::string& id, const std::string& bytes, bool finished) {
    DownloadTask task;
    task.kind = TaskKind::Video;
    task.classId = "c1";
    task.id = id;
    task.name = id + ".mp4";
    task.localFile = (m_old / task.name).string();
    task.partFile = PartFileOf(task.localFile);
    task.total = static_cast<std::int64_t>(bytes.size()) * (finished ? 1 : 2);
    Write(finished ? task.localFile : task.partFile, bytes);
    m_bytes[id] = bytes;
    m_finished[id] = finished;
    m_db->InsertLesson("c1", id, task.name, "http://school.test/" + id, std::to_string(task.total),
                       task.localFile);
    m_db->SaveResumeInfo(task);
    ASSERT_TRUE(m_list.AddTask(task, TaskKind::Video));
  }

  std::vector<DownloadTask> Tasks() const {
    std::vector<DownloadTask> tasks;
    for (const DownloadClass& entry : m_list.SnapshotClasses(TaskKind::Video))
      tasks.insert(tasks.end(), entry.tasks.begin(), entry.tasks.end());
    return tasks;
  }

  void Plan(const fs::path& to) {
    ASSERT_TRUE(m_db->AddPendingMoves(PlanMoves(Tasks(), m_old.string() + "/", to.string() + "/")));
  }

  // Runs a fresh mover over the stored plan until it reports.
  MoveReport RunMover(MoveMode mode, DownloadMover::StopHook stop = {}) {
    DownloadMover mover(*m_db, m_list, mode);
    mover.SetStopHook(std::move(stop));
    MoveReport report;
    bool finished = false;
    mover.onFinished = [&](const MoveReport& got) {
      report = got;
      finished = true;
      PostQuitMessage(0);
    };
    mover.Run();
    if (!finished) {
      EXPECT_EQ(RunMessageLoopWithGuard(20000), 0) << "the mover did not finish";
    }
    return report;
  }

  StoredFiles Stored(const std::string& id) {
    sqlite3* raw = nullptr;
    sqlite3_open((m_root / "course.db").c_str(), &raw);
    StoredFiles files;
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(raw, "select localFile, partFile from lesson where lessonid = ?", -1, &query, nullptr);
    sqlite3_bind_text(query, 1, id.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(query) == SQLITE_ROW) {
      files.localFile = reinterpret_cast<const char*>(sqlite3_column_text(query, 0));
      files.partFile = reinterpret_cast<const char*>(sqlite3_column_text(query, 1));
    }
    sqlite3_finalize(query);
    sqlite3_close(raw);
    return files;
  }

  // Every task, in the database and in the list, names a file that holds its own bytes in
  // `folder`.
  void ExpectEveryTaskIn(const fs::path& folder) {
    for (const auto& [id, bytes] : m_bytes) {
      SCOPED_TRACE(id);
      const StoredFiles stored = Stored(id);
      const auto entry = m_list.FindTask("c1", id, TaskKind::Video);
      ASSERT_TRUE(entry);
      EXPECT_EQ(entry->localFile, stored.localFile);
      EXPECT_EQ(entry->partFile, stored.partFile);
      EXPECT_EQ(fs::path(stored.localFile).parent_path(), folder);
      EXPECT_EQ(stored.partFile, PartFileOf(stored.localFile));
      const std::string& file = m_finished[id] ? stored.localFile : stored.partFile;
      EXPECT_TRUE(Read(file) == bytes) << file << " does not hold the task's bytes";
    }
  }

  bool NothingPending() { return m_db->PendingMoves().empty(); }

  // The target folder on a file system of its own when a tmpfs can be mounted, otherwise on
  // this one, where copies are forced so that the cross-device path is the one taken.
  MoveMode SecondFileSystem(const char* options = "size=16m") {
    m_tmpfs = std::make_unique<Tmpfs>(m_root / "other", options);
    return m_tmpfs->mounted ? MoveMode::Auto : MoveMode::Copy;
  }

  fs::path m_root;
  fs::path m_old;
  std::unique_ptr<CourseDB> m_db;
  DownloadTaskList m_list;
  std::map<std::string, std::string> m_bytes;
  std::map<std::string, bool> m_finished;
  std::unique_ptr<Tmpfs> m_tmpfs;
};

TEST_F(DownloadMoveTest, AMoveAcrossFileSystemsStoppedAtAnyStepIsFinishedByTheNextMover) {
  struct Case {
    const char* name;
    DownloadMover::Phase phase;
    bool halfCopy;  // the crash left a partly written copy behind
  };
  const Case cases[] = {
      {"before the second file", DownloadMover::Phase::BeforeMove, false},
      {"in the middle of the second copy", DownloadMover::Phase::BeforeMove, true},
      {"second file in place, its task not yet pointed", DownloadMover::Phase::FileInPlace, false},
      {"second task pointed, its old file still there", DownloadMover::Phase::TaskPointed, false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    TearDown();
    m_bytes.clear();
    m_finished.clear();
    m_list.Clear();
    SetUp();
    const MoveMode mode = SecondFileSystem();
    const fs::path target = m_tmpfs->at / "Tavo";
    fs::create_directories(target);
    AddLesson("l1", Bytes(300000, 1), true);
    AddLesson("l2", Bytes(1 << 20, 2), true);
    AddLesson("l3", Bytes(70000, 3), false);
    Plan(target);

    const MoveReport first = RunMover(mode, [&](const PendingMove& move, DownloadMover::Phase phase) {
      return move.id == "l2" && phase == test.phase;
    });
    EXPECT_TRUE(first.interrupted);
    EXPECT_EQ(first.moved, 1);
    if (test.halfCopy) {
      const auto pending = m_db->PendingMoves();
      ASSERT_FALSE(pending.empty());
      Write(pending.front().target + ".moving", Bytes(1000, 9));
    }

    const MoveReport second = RunMover(mode);
    EXPECT_FALSE(second.interrupted);
    EXPECT_EQ(second.outcome, MoveOutcome::Moved);
    ExpectEveryTaskIn(target);
    EXPECT_TRUE(NothingPending());
    EXPECT_TRUE(fs::is_empty(m_old)) << "an old file was left behind";
    for (const auto& entry : fs::directory_iterator(target))
      EXPECT_EQ(entry.path().string().find(".moving"), std::string::npos) << entry.path();
  }
}

TEST_F(DownloadMoveTest, AFullTargetStopsTheMoveAndTheRestKeepTheirOldFiles) {
  const MoveMode mode = SecondFileSystem("size=1m");
  if (!m_tmpfs->mounted) GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
  AddLesson("l1", Bytes(600000, 1), true);
  AddLesson("l2", Bytes(600000, 2), true);
  AddLesson("l3", Bytes(600000, 3), false);
  Plan(m_tmpfs->at);
  const MoveReport report = RunMover(mode);
  EXPECT_EQ(report.outcome, MoveOutcome::NoRoom);
  EXPECT_EQ(report.moved, 1);
  EXPECT_FALSE(MoveStopTip(report.outcome).empty());
  EXPECT_TRUE(NothingPending());
  EXPECT_TRUE(Read(Stored("l1").localFile) == m_bytes["l1"]);
  EXPECT_EQ(fs::path(Stored("l1").localFile).parent_path(), m_tmpfs->at);
  m_bytes.erase("l1");
  ExpectEveryTaskIn(m_old);
  for (const auto& entry : fs::directory_iterator(m_tmpfs->at))
    EXPECT_EQ(entry.path().filename(), "l1.mp4") << "the failed copy left " << entry.path();
}

TEST_F(DownloadMoveTest, AReadOnlyTargetStopsTheMoveWithNothingLost) {
  fs::path target = m_root / "locked";
  fs::create_directories(target);
  MoveMode mode = MoveMode::Auto;
  if (::geteuid() == 0) {
    // Permissions do not stop root: a file system mounted read-only does.
    m_tmpfs = std::make_unique<Tmpfs>(target, "size=1m", MS_RDONLY);
    if (!m_tmpfs->mounted) GTEST_SKIP() << "root without the right to mount: no read-only folder";
  } else {
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_exec);
  }
  AddLesson("l1", Bytes(5000, 1), true);
  AddLesson("l2", Bytes(7000, 2), false);
  for (MoveMode each : {mode, MoveMode::Copy}) {
    Plan(target);
    const MoveReport report = RunMover(each);
    EXPECT_EQ(report.outcome, MoveOutcome::NotWritable);
    EXPECT_EQ(report.moved, 0);
    EXPECT_FALSE(MoveStopTip(report.outcome).empty());
    EXPECT_TRUE(NothingPending());
    ExpectEveryTaskIn(m_old);
  }
}

TEST_F(DownloadMoveTest, TakenNamesAtTheTargetAreNeverOverwritten) {
  const fs::path target = m_root / "new";
  fs::create_directories(target);
  Write(target / "l1.mp4", "the student's own file");
  AddLesson("l1", Bytes(4000, 1), true);
  AddLesson("l2", Bytes(4000, 2), true);
  AddLesson("l3", Bytes(4000, 3), false);
  Plan(target);
  // Names taken after the plan was made: by another file, and by a different copy of a
  // task's bytes.
  Write(target / "l2.mp4", "arrived after the plan");
  Write(target / "l3.mp4.part", Bytes(3999, 3));
  for (MoveMode mode : {MoveMode::Auto, MoveMode::Copy}) {
    SCOPED_TRACE(mode == MoveMode::Auto ? "rename" : "copy");
    const MoveReport report = RunMover(mode);
    EXPECT_EQ(report.outcome, MoveOutcome::Moved);
    EXPECT_EQ(report.moved, 3);
    ExpectEveryTaskIn(target);
    EXPECT_EQ(Read(target / "l1.mp4"), "the student's own file");
    EXPECT_EQ(Read(target / "l2.mp4"), "arrived after the plan");
    EXPECT_TRUE(Read(target / "l3.mp4.part") == Bytes(3999, 3));
    EXPECT_EQ(Stored("l1").localFile, (target / "l1 (2).mp4").string());
    if (mode == MoveMode::Auto) {
      // Back to the old folder for the copy round.
      const fs::path old = m_old;
      m_old = target;
      Plan(old);
      RunMover(MoveMode::Auto);
      m_old = old;
      ExpectEveryTaskIn(m_old);
      Plan(target);
    }
  }
}

}  // namespace
