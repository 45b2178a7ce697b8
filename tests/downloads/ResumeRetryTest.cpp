// Downloads on unreliable servers: a resume continues only the copy the partial file came
// from (also after the program was killed mid-transfer), transport failures are retried
// inside the job (and a pause or delete ends the wait at once), only a file of the full
// size counts as finished, and a download never writes into a file it did not create. One
// table runs against a scripted file server, a shorter one against nginx, whose own ETag
// and If-Range are used.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DownloadTestSupport.h"
#include "TestServers.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/CourseDB.h"
#include "downloads/DownloadJob.h"
#include "downloads/DownloadTaskList.h"
#include "downloads/RetryPolicy.h"
#include "downloads/TaskFiles.h"
#include "downloads/ThreadPool.h"
#include "platform/MessageCore.h"
#include "platform/MessageWindow.h"
#include "platform/Messages.h"
#include "service/CurlSupport.h"
#include "service/DownloadResponse.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Copy = ScriptedFileServer::Copy;
using Fault = ScriptedFileServer::Fault;
using Step = ScriptedFileServer::Step;

// Fast retries for the table: the same schedule shape in milliseconds.
RetryPolicy FastRetries() { return RetryPolicy{.delays = {5ms, 10ms, 20ms, 40ms}}; }

class ResumeRetryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_temp.UseForXdg();
    ASSERT_TRUE(OpenLog(L"browserlog"));
    InitMessageCore();
    m_window = std::make_unique<MessageWindow>(
        [this](UINT msg, WPARAM wParam, LPARAM, const Payload& payload) -> LRESULT {
          auto* task = PayloadAs<DownloadTask>(payload);
          if (!task) return 0;
          if (msg == WM_DOWNLOAD_RESULT) m_results.emplace_back(wParam, *task);
          if (msg == WM_DOWNLOAD_PROGRESS) m_percents.push_back(static_cast<int>(wParam));
          return 0;
        });
    DownloadTaskList::Get().Clear();
    SetTransportLimits({5, 10});
    SetRetryPolicy(FastRetries());
    m_pool.Create();
  }
  void TearDown() override {
    m_pool.Shutdown();
    CourseDB::Release();
    m_window.reset();
    ShutdownMessageCore();
    DownloadTaskList::Get().Clear();
    SetTransportLimits({});
    SetRetryPolicy({});
    CloseLog();
  }

  DownloadTask NewTask(const std::string& id, const std::string& url) {
    DownloadTask task;
    task.notifyWindow = m_window->GetHWND();
    task.id = id;
    task.classId = "c1";
    task.className = "Class";
    task.name = id + ".bin";
    task.url = url;
    task.localFile = (m_temp.Path() / "dl" / task.name).string();
    task.kind = TaskKind::Video;
    fs::create_directories(m_temp.Path() / "dl");
    return task;
  }
  void Start(const DownloadTask& task) {
    ASSERT_TRUE(DownloadTaskList::Get().AddTask(task, task.kind));
    ASSERT_TRUE(SubmitDownload(task, m_pool));
  }
  void SetState(const std::string& id, TaskState state) {
    auto task = DownloadTaskList::Get().FindTask("c1", id, TaskKind::Video);
    ASSERT_TRUE(task);
    task->state = state;
    DownloadTaskList::Get().UpdateTask(*task, TaskKind::Video);
  }
  // What the manager window's resume does: the entry keeps what the job handed back.
  void Resume(const std::string& id) {
    SetState(id, TaskState::Waiting);
    ASSERT_TRUE(SubmitDownload(*DownloadTaskList::Get().FindTask("c1", id, TaskKind::Video), m_pool));
  }
  // The next result for `id` after the `skip` already seen.
  std::pair<WPARAM, DownloadTask> WaitResult(const std::string& id, std::size_t skip = 0,
                                             std::chrono::milliseconds guard = 20s) {
    auto count = [&] {
      std::size_t n = 0;
      for (const auto& r : m_results) n += r.second.id == id ? 1 : 0;
      return n;
    };
    RunUntil([&] { return count() > skip; }, guard);
    std::size_t n = 0;
    for (const auto& r : m_results) {
      if (r.second.id == id && n++ == skip) return r;
    }
    return {99, {}};
  }
  void WaitLog(const std::string& text) {
    RunUntil([&] { return ReadDayLogs().find(text) != std::string::npos; });
  }

  TempFolder m_temp;
  std::unique_ptr<MessageWindow> m_window;
  std::vector<std::pair<WPARAM, DownloadTask>> m_results;
  std::vector<int> m_percents;
  ThreadPool m_pool;
};

const std::string kA = RandomBytes(64 * 1024 + 7, 1);
const std::string kB = RandomBytes(64 * 1024 + 333, 2);
const std::string kShort = RandomBytes(2000, 3);
const Copy kCopyA{kA, "\"a-1\"", "Mon, 07 Dec 2026 10:00:00 GMT"};
const Copy kCopyB{kB, "\"b-2\"", "Tue, 08 Dec 2026 11:00:00 GMT"};
const Copy kCopyShort{kShort, "\"s-3\"", "Wed, 09 Dec 2026 12:00:00 GMT"};

enum class Sends { ETag, LastModified };
enum class Then {
  Nothing,
  PauseWhileWaiting,   // pause during the wait for a retry, then resume
  DeleteWhileWaiting,  // delete during the wait for a retry
  Resume,              // resume after the first result
};

struct Case {
  const char* name;
  Sends sends;
  std::string local;         // bytes on disk before the job
  const Copy* remembered;    // the copy whose validator the task remembers, or none
  std::int64_t fullSize;     // the remembered full size
  const Copy* server;        // what the server has now
  std::vector<Step> faults;  // the first requests' failures
  Then then;
  WPARAM first;  // the first result: 0 finished, 1 failed, 3 stopped
  std::string file;
  std::vector<std::string> log;  // lines the case must leave
  bool ifRange = false;          // the first request carries If-Range
  std::size_t requests = 0;      // how many requests the server sees (0: unchecked)
};

TEST_F(ResumeRetryTest, ResumesRestartsAndRetriesAgainstAScriptedServer) {
  const std::string a1000 = kA.substr(0, 1000);
  const std::string aSize = std::to_string(kA.size());
  // clang-format off
  const std::vector<Case> cases = {
      {"same copy: 206 continues", Sends::ETag, a1000, &kCopyA, 0, &kCopyA, {}, Then::Nothing, 0, kA,
       {}, true, 1},
      {"new ETag: 200, clean restart", Sends::ETag, a1000, &kCopyA, 0, &kCopyB, {}, Then::Nothing, 0, kB,
       {"validator mismatch: had \"a-1\", the server has \"b-2\"",
        "changed on the server, downloading from the start"}, true, 2},
      {"new Last-Modified: 200, clean restart", Sends::LastModified, a1000, &kCopyA, 0, &kCopyB, {},
       Then::Nothing, 0, kB, {"validator mismatch: had Mon, 07 Dec 2026 10:00:00 GMT"}, true, 2},
      {"no validator: appends as before", Sends::ETag, std::string(1000, 'x'), nullptr, 0, &kCopyA, {},
       Then::Nothing, 0, std::string(1000, 'x') + kA.substr(1000), {}, false, 1},
      {"server copy shorter: restart", Sends::ETag, kA.substr(0, 5000), nullptr, 0, &kCopyShort, {},
       Then::Nothing, 0, kShort, {"has 2000 bytes, the local file 5000, downloading from the start"},
       false, 2},
      {"416 at the end, same size: complete", Sends::ETag, kA, &kCopyA, 0, &kCopyA, {}, Then::Nothing, 0,
       kA, {}, true, 1},
      {"416 with another size: restart", Sends::ETag, kA.substr(0, 3000), &kCopyA,
       std::int64_t(kA.size()), &kCopyA, {{Fault::Bare416}}, Then::Nothing, 0, kA,
       {"has " + aSize + " bytes, the local file 3000, downloading from the start"}, true, 2},
      {"cut three times, then served", Sends::ETag, "", nullptr, 0, &kCopyA,
       {{Fault::CutMidBody}, {Fault::CutMidBody}, {Fault::CutMidBody}}, Then::Nothing, 0, kA,
       {"retry 1 of 4", "retry 3 of 4"}, false, 4},
      {"503 Retry-After: 2, then served", Sends::ETag, "", nullptr, 0, &kCopyA, {{Fault::Busy, 2}},
       Then::Nothing, 0, kA, {"retry 1 of 4 in 2000 ms after code:22 status:503"}, false, 2},
      {"pause while waiting to retry", Sends::ETag, "", nullptr, 0, &kCopyA, {{Fault::Busy}},
       Then::PauseWhileWaiting, 3, kA, {"retry 1 of 1 in "}, false, 2},
      {"delete while waiting to retry", Sends::ETag, "", nullptr, 0, &kCopyA, {{Fault::Busy}},
       Then::DeleteWhileWaiting, 3, "", {"retry 1 of 1 in "}, false, 1},
      {"short body: failure, then the resume completes", Sends::ETag, "", nullptr, 0, &kCopyA,
       std::vector<Step>(5, {Fault::ShortBody}), Then::Resume, 1, kA, {"retry 4 of 4"}, false, 6},
  };
  // clang-format on
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The one real Retry-After; waits to be cut short are long enough never to end.
    const bool waitsLong = c.then == Then::PauseWhileWaiting || c.then == Then::DeleteWhileWaiting;
    SetRetryPolicy(waitsLong ? RetryPolicy{.delays = {60s}} : FastRetries());
    auto served = [&](const Copy* copy) {
      return Copy{copy->body, c.sends == Sends::ETag ? copy->etag : "",
                  c.sends == Sends::LastModified ? copy->lastModified : ""};
    };
    ScriptedFileServer server(served(c.server));
    server.Queue(c.faults);
    const std::string id = "case" + std::to_string(++number);
    DownloadTask task = NewTask(id, server.Url("/" + id + "?token=secret"));
    if (!c.local.empty()) WriteFile(task.localFile, c.local);
    task.downloaded = static_cast<std::int64_t>(c.local.size());
    if (c.remembered)
      task.validator = c.sends == Sends::ETag ? c.remembered->etag : c.remembered->lastModified;
    task.fullSize = c.fullSize;
    const auto started = Clock::now();
    Start(task);

    if (waitsLong) {
      WaitLog("/" + id + "?token=*** retry 1");
      const auto asked = Clock::now();
      if (c.then == Then::PauseWhileWaiting) SetState(id, TaskState::Paused);
      if (c.then == Then::DeleteWhileWaiting) DownloadTaskList::Get().RemoveTask("c1", id, TaskKind::Video);
      const auto [result, record] = WaitResult(id, 0, 5s);
      EXPECT_LT(Clock::now() - asked, 2s);
      EXPECT_EQ(result, c.first);
      EXPECT_EQ(record.state, c.then == Then::PauseWhileWaiting ? TaskState::Paused : TaskState::Removed);
      if (c.then == Then::PauseWhileWaiting) Resume(id);
    } else {
      EXPECT_EQ(WaitResult(id).first, c.first);
      if (c.then == Then::Resume) Resume(id);
    }
    if (c.then == Then::PauseWhileWaiting || c.then == Then::Resume) {
      const auto [result, record] = WaitResult(id, 1);
      EXPECT_EQ(result, 0u);
    }
    if (c.faults.size() == 1 && c.faults[0].retryAfter == 2) {
      const auto took = Clock::now() - started;
      EXPECT_GE(took, 1900ms);
      EXPECT_LT(took, 6s);
    }
    const std::string got = ReadFile(task.localFile);
    EXPECT_EQ(got.size(), c.file.size());
    EXPECT_TRUE(got == c.file) << "the file differs from the expected bytes";
    // A finished job hands back what identifies the copy it holds now.
    const auto& [lastResult, lastRecord] = m_results.back();
    if (lastResult == 0 && c.file == c.server->body) {
      EXPECT_EQ(lastRecord.fullSize, static_cast<std::int64_t>(c.server->body.size()));
      EXPECT_EQ(lastRecord.validator, c.sends == Sends::ETag ? c.server->etag : c.server->lastModified);
    }
    const auto heads = server.Heads();
    ASSERT_FALSE(heads.empty());
    EXPECT_EQ(heads.front().find("If-Range:") != std::string::npos, c.ifRange) << heads.front();
    if (c.requests) {
      EXPECT_EQ(heads.size(), c.requests);
    }
    const std::string log = ReadDayLogs();
    for (const std::string& line : c.log) {
      EXPECT_NE(log.find("/" + id + "?token=*** " + line), std::string::npos) << line;
    }
    EXPECT_EQ(log.find("secret"), std::string::npos);
  }
}

// A school that announces 1 MB and then sends without end: the file stops at the announced
// size and the job fails (keeping the bytes, so it can be resumed) instead of filling the disk.
TEST_F(ResumeRetryTest, ABodyPastItsAnnouncedSizeStopsTheDownload) {
  constexpr std::int64_t kAnnounced = 1024 * 1024;
  constexpr std::int64_t kLocal = 100000;
  // A client without a limit would be stopped here, far past the announced size.
  constexpr std::size_t kServerGivesUp = 24 * 1024 * 1024;
  struct Case {
    const char* name;
    std::string head;
    bool chunked;
    std::int64_t local;  // bytes on disk before the job
  };
  const Case cases[] = {
      {"200 without a length", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", false, 0},
      {"200 chunked without end", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", true, 0},
      {"206 past its Content-Range total",
       "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(kLocal) + "-" +
           std::to_string(kAnnounced - 1) + "/" + std::to_string(kAnnounced) +
           "\r\nConnection: close\r\n\r\n",
       false, kLocal},
  };
  int number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RawHttpServer server([&c](const std::string&, int socket) {
      RawHttpServer::SendAll(socket, c.head);
      const std::string block(64 * 1024, 'z');
      const std::string chunk = "10000\r\n" + block + "\r\n";
      const std::string& piece = c.chunked ? chunk : block;
      for (std::size_t sent = 0; sent < kServerGivesUp; sent += block.size()) {
        if (::send(socket, piece.data(), piece.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(piece.size()))
          return;
      }
    });
    const std::string id = "endless" + std::to_string(++number);
    DownloadTask task = NewTask(id, server.Url("/" + id));
    task.total = kAnnounced;
    if (c.local > 0) WriteFile(task.localFile, std::string(static_cast<std::size_t>(c.local), 'a'));
    task.downloaded = c.local;
    Start(task);
    EXPECT_EQ(WaitResult(id).first, 1u);
    std::error_code error;
    EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(task.localFile, error)), kAnnounced);
    EXPECT_NE(ReadDayLogs().find("/" + id + " sends more than its 1048576 bytes, stopped"),
              std::string::npos);
    EXPECT_EQ(server.Heads().size(), 1u) << "sending too much is not worth a retry";
  }
}

// A transfer cut at a third is resumed inside the job; the row's percentage goes on from
// where it was instead of counting only the part still to come.
TEST_F(ResumeRetryTest, PercentageNeverFallsWhenARetryResumesTheTransfer) {
  const std::string body = RandomBytes(3 * 1024 * 1024, 4);
  const std::string size = std::to_string(body.size());
  RawHttpServer server([&](const std::string& head, int socket) {
    const std::size_t range = head.find("Range: bytes=");
    const std::size_t from = range == std::string::npos ? 0 : std::stoul(head.substr(range + 13));
    RawHttpServer::SendAll(
        socket, (from == 0 ? "HTTP/1.1 200 OK\r\n"
                           : "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(from) +
                                 "-" + std::to_string(body.size() - 1) + "/" + size + "\r\n") +
                    "Content-Length: " + std::to_string(body.size() - from) +
                    "\r\nConnection: close\r\n\r\n");
    // The first answer ends at a third; the pieces come apart so that progress is seen.
    const std::size_t end = from == 0 ? body.size() / 3 : body.size();
    for (std::size_t at = from; at < end; at += 64 * 1024) {
      RawHttpServer::SendAll(socket, body.substr(at, std::min<std::size_t>(64 * 1024, end - at)));
      std::this_thread::sleep_for(2ms);
    }
  });
  DownloadTask task = NewTask("cut", server.Url("/cut"));
  task.total = static_cast<std::int64_t>(body.size());
  Start(task);
  EXPECT_EQ(WaitResult("cut").first, 0u);
  EXPECT_TRUE(ReadFile(task.localFile) == body);
  const auto heads = server.Heads();
  ASSERT_EQ(heads.size(), 2u);
  EXPECT_NE(heads[1].find("Range: bytes=" + std::to_string(body.size() / 3) + "-"), std::string::npos)
      << heads[1];
  ASSERT_GT(m_percents.size(), 4u);
  EXPECT_TRUE(std::is_sorted(m_percents.begin(), m_percents.end())) << ::testing::PrintToString(m_percents);
  EXPECT_EQ(m_percents.back(), 100);
}

// The names in a folder, sorted.
std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(ResumeRetryTest, ADownloadNeverWritesIntoAFileItDidNotCreate) {
  const std::string title = "同名课.mp4";
  const std::string second = "同名课 (2).mp4";
  struct Row {
    const char* name;
    std::string theirs;                // the student's own file under the lesson's name; empty: none
    std::vector<const Copy*> lessons;  // lessons with that one title, in the order added
    bool fails = false;                // the school answers "busy" until the retries run out
  };
  const std::vector<Row> rows = {
      {"a shorter file of the same name", std::string(1400, 's'), {&kCopyA}},
      {"a file of equal size", RandomBytes(kA.size(), 21), {&kCopyA}},
      {"a longer file", RandomBytes(kA.size() + 5000, 22), {&kCopyA}},
      {"two lessons with one title", "", {&kCopyA, &kCopyB}},
      {"a failure after a collision", std::string(1400, 'f'), {&kCopyA}, true},
  };
  int number = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const fs::path folder = m_temp.Path() / ("collide" + std::to_string(++number));
    fs::create_directories(folder);
    if (!row.theirs.empty()) WriteFile(folder / title, row.theirs);
    std::vector<std::unique_ptr<ScriptedFileServer>> servers;
    std::vector<DownloadTask> tasks;
    for (const Copy* copy : row.lessons) {
      servers.push_back(std::make_unique<ScriptedFileServer>(*copy));
      if (row.fails) servers.back()->Queue(std::vector<Step>(5, {Fault::Busy}));
      const std::string id = "collide" + std::to_string(number) + "-" + std::to_string(tasks.size());
      DownloadTask task = NewTask(id, servers.back()->Url("/" + id));
      task.total = static_cast<std::int64_t>(copy->body.size());
      task.localFile = (folder / title).string();
      ASSERT_TRUE(DownloadTaskList::Get().AddNewTask(task));
      tasks.push_back(task);
    }
    for (const DownloadTask& task : tasks) ASSERT_TRUE(SubmitDownload(task, m_pool));
    for (std::size_t i = 0; i < tasks.size(); ++i) {
      const auto [result, record] = WaitResult(tasks[i].id);
      EXPECT_EQ(result, row.fails ? 1u : 0u);
      EXPECT_EQ(record.localFile, tasks[i].localFile);
      if (!row.fails) {
        EXPECT_TRUE(ReadFile(record.localFile) == row.lessons[i]->body) << record.localFile;
      }
    }
    // Each task had a path of its own, beside the student's file, whose bytes never change.
    const std::string firstName = row.theirs.empty() ? title : second;
    EXPECT_EQ(fs::path(tasks[0].localFile).filename().string(), firstName);
    if (tasks.size() > 1) {
      EXPECT_EQ(fs::path(tasks[1].localFile).filename().string(), second);
    }
    if (!row.theirs.empty()) {
      EXPECT_TRUE(ReadFile(folder / title) == row.theirs);
    }
    // No partial file is left, and a failure leaves nothing of its own.
    std::vector<std::string> expected;
    if (!row.theirs.empty()) expected.push_back(title);
    if (!row.fails) {
      for (const DownloadTask& task : tasks) expected.push_back(fs::path(task.localFile).filename().string());
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(folder), expected);
  }
}

// The validator of a lesson row as the course database holds it.
std::string StoredValidator(const fs::path& db, const std::string& id) {
  sqlite3* raw = nullptr;
  std::string value;
  if (sqlite3_open_v2(db.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* query = nullptr;
    if (sqlite3_prepare_v2(raw, "select validator from lesson where vid = ?", -1, &query, nullptr) ==
        SQLITE_OK) {
      sqlite3_bind_text(query, 1, id.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(query) == SQLITE_ROW)
        value = reinterpret_cast<const char*>(sqlite3_column_text(query, 0));
    }
    sqlite3_finalize(query);
  }
  sqlite3_close_v2(raw);
  return value;
}

TEST_F(ResumeRetryTest, AfterAKillMidTransferTheResumeAsksForTheCopyTheBytesCameFrom) {
  // Two copies of one size: only the validator tells them apart. A third of one is more
  // than the transfer's file buffer, so that part of it reaches the disk.
  constexpr std::size_t kSize = 3 * 1024 * 1024 + 3000;
  const std::string oldBody = RandomBytes(kSize, 31);
  const std::string newBody = RandomBytes(kSize, 32);
  ScriptedFileServer server({oldBody, "\"old-1\"", ""});
  server.Queue({{Fault::StallMidBody}});
  DownloadTask task = NewTask("crash", server.Url("/crash.mp4"));
  task.total = static_cast<std::int64_t>(oldBody.size());
  // What adding a lesson does: the list entry, then its rows in the course database.
  ASSERT_TRUE(DownloadTaskList::Get().AddNewTask(task));
  CourseDB* db = CourseDB::Get();
  ASSERT_TRUE(db->IsOpened());
  db->InsertClass(task.classId, task.className, TaskKind::Video);
  db->InsertLesson(task.classId, task.id, task.name, task.url, std::to_string(task.total), task.localFile);
  db->SaveResumeInfo(task);
  const fs::path dbFile = fs::path(WideToUtf8(GetDbFolder())) / "course.db";
  ASSERT_TRUE(SubmitDownload(task, m_pool));

  // A third of the old copy is on disk and the transfer hangs: the validator must already
  // be stored, since nothing else will store it.
  ASSERT_TRUE(RunUntil([&] { return FileSizeOnDisk(TransferFile(task)) > 0; }, 10s));
  EXPECT_TRUE(RunUntil([&] { return StoredValidator(dbFile, "crash") == "\"old-1\""; }, 5s));

  // The program dies: its memory goes, no pause or result reaches the course database.
  DownloadTaskList::Get().Clear();
  WaitResult("crash");
  CourseDB::Release();
  server.SetCopy({newBody, "\"new-2\"", ""});

  // The restart loads the task from the course database; the student resumes it.
  db = CourseDB::Get();
  db->GetAllClass(TaskKind::Video);
  db->GetLesson("c1", "Class", m_window->GetHWND());
  const auto restored = DownloadTaskList::Get().FindTask("c1", "crash", TaskKind::Video);
  ASSERT_TRUE(restored);
  EXPECT_EQ(restored->fullSize, static_cast<std::int64_t>(kSize));
  Resume("crash");
  const auto [result, record] = WaitResult("crash", 1);
  EXPECT_EQ(result, 0u);
  EXPECT_TRUE(ReadFile(record.localFile) == newBody) << "the file mixes the old and the new copy";
  const auto heads = server.Heads();
  ASSERT_EQ(heads.size(), 3u);
  EXPECT_NE(heads[1].find("If-Range: \"old-1\""), std::string::npos) << heads[1];
  EXPECT_EQ(heads[2].find("Range:"), std::string::npos) << heads[2];
}

TEST_F(ResumeRetryTest, NginxRestartsWhenTheFileWasReplacedBetweenPauseAndResume) {
  TempFolder files;
  NginxServer nginx(files.Path() / "www", files.Path() / "nginx", "256k");
  WriteFile(files.Path() / "www" / "probe.bin", "x");
  if (!nginx.Start()) GTEST_SKIP() << "nginx is not installed or did not start";
  const std::string first = RandomBytes(300 * 1024, 4);
  struct Row {
    const char* name;
    std::string replacement;  // empty: the file stays
    bool restarts;
  };
  const Row rows[] = {{"unchanged: 206 with If-Range", "", false},
                      {"replaced, same size: 200, restart", RandomBytes(first.size(), 5), true},
                      {"replaced, shorter: 200, restart", RandomBytes(20 * 1024, 6), true}};
  int number = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string name = "v" + std::to_string(++number) + ".bin";
    const fs::path served = files.Path() / "www" / name;
    WriteFile(served, first);
    const std::string id = "nginx" + std::to_string(number);
    const DownloadTask task = NewTask(id, nginx.Url("/slow/" + name));
    Start(task);
    // Pause once part of the file is on disk.
    RunUntil([&] {
      std::error_code ec;
      return fs::file_size(task.localFile, ec) >= 16 * 1024 && !ec;
    });
    SetState(id, TaskState::Paused);
    const auto [stopped, record] = WaitResult(id);
    ASSERT_EQ(stopped, 3u);
    EXPECT_FALSE(record.validator.empty());  // nginx's ETag, kept for the resume
    const auto partial = fs::file_size(task.localFile);
    ASSERT_LT(partial, first.size());

    std::string expected = first;
    if (!row.replacement.empty()) {
      WriteFile(served, row.replacement);
      // nginx's ETag is made of the time and size: move the time for the same size.
      fs::last_write_time(served, fs::last_write_time(served) + 10s);
      expected = row.replacement;
    }
    Resume(id);
    EXPECT_EQ(WaitResult(id, 1).first, 0u);
    EXPECT_TRUE(ReadFile(task.localFile) == expected) << "the file differs from the server's copy";
    const std::string log = ReadDayLogs();
    EXPECT_EQ(log.find("/slow/" + name + " validator mismatch") != std::string::npos, row.restarts);
    // nginx logs a request after answering it: the resumed request with its range.
    const std::string range = "bytes=" + std::to_string(partial) + "-";
    RunUntil([&] {
      for (const auto& r : nginx.Requests()) {
        if (r.uri == "/slow/" + name && r.range == range) return r.status == (row.restarts ? 200 : 206);
      }
      return false;
    });
  }
}

TEST(RetryPolicyTest, WaitsGrowWithJitterAndRetryAfterIsCapped) {
  std::mt19937 random(7);
  const RetryPolicy policy;
  for (std::size_t retry = 0; retry < 4; ++retry) {
    const auto base = policy.delays[retry];
    for (int i = 0; i < 20; ++i) {
      const auto delay = RetryDelay(policy, retry, 0, -1, random);
      EXPECT_GE(delay, base * 3 / 4);
      EXPECT_LE(delay, base * 5 / 4);
    }
  }
  EXPECT_EQ(RetryDelay(policy, 0, 503, 2, random), 2s);
  EXPECT_EQ(RetryDelay(policy, 0, 429, 3600, random), 60s);
  EXPECT_EQ(RetryDelay(policy, 0, 429, 0, random), 0s);
  const auto other = RetryDelay(policy, 0, 500, 30, random);  // Retry-After only counts for 429 and 503
  EXPECT_LE(other, 1250ms);

  EXPECT_TRUE(IsRetryableFailure(CURLE_OPERATION_TIMEDOUT, 0));
  EXPECT_TRUE(IsRetryableFailure(CURLE_RECV_ERROR, 0));
  EXPECT_TRUE(IsRetryableFailure(CURLE_PARTIAL_FILE, 200));
  EXPECT_TRUE(IsRetryableFailure(CURLE_HTTP_RETURNED_ERROR, 502));
  EXPECT_TRUE(IsRetryableFailure(CURLE_HTTP_RETURNED_ERROR, 429));
  EXPECT_FALSE(IsRetryableFailure(CURLE_HTTP_RETURNED_ERROR, 404));
  EXPECT_FALSE(IsRetryableFailure(CURLE_WRITE_ERROR, 0));
  EXPECT_FALSE(IsRetryableFailure(CURLE_ABORTED_BY_CALLBACK, 0));
}

TEST(DownloadResponseTest, HeadersOfTheLastAnswerCount) {
  DownloadResponse response;
  const std::time_t now = curl_getdate("Mon, 07 Dec 2026 10:00:00 GMT", nullptr);
  for (const char* line : {"HTTP/1.1 302 Found\r\n", "ETag: \"old\"\r\n", "HTTP/1.1 206 Partial Content\r\n",
                           "etag: W/\"weak\"\r\n", "Last-Modified: Sun, 06 Dec 2026 09:00:00 GMT\r\n",
                           "content-range: bytes 100-199/5000\r\n", "Content-Length: 100\r\n"}) {
    response.Add(line, now);
  }
  EXPECT_EQ(response.status, 206);
  EXPECT_EQ(response.Validator(), "Sun, 06 Dec 2026 09:00:00 GMT");  // a weak ETag cannot guard a range
  EXPECT_EQ(response.rangeStart, 100);
  EXPECT_EQ(response.FullSize(), 5000);

  DownloadResponse refused;
  for (const char* line : {"HTTP/1.1 416 Range Not Satisfiable\r\n", "Content-Range: bytes */777\r\n"}) {
    refused.Add(line, now);
  }
  EXPECT_EQ(refused.FullSize(), 777);

  // A value that would smuggle a header line into the next request is not kept.
  DownloadResponse hostile;
  hostile.Add("HTTP/1.1 200 OK\r\n", now);
  hostile.Add("ETag: \"x\"\rX-Injected: 1\r\n", now);
  EXPECT_EQ(hostile.Validator(), "");
  hostile.Add("ETag: \"" + std::string(300, 'e') + "\"\r\n", now);
  EXPECT_EQ(hostile.Validator(), "");

  DownloadResponse busy;
  busy.Add("HTTP/1.1 503 Busy\r\n", now);
  busy.Add("Retry-After: Mon, 07 Dec 2026 10:00:30 GMT\r\n", now);
  EXPECT_EQ(busy.retryAfterSeconds, 30);
  busy.Add("Retry-After: soon\r\n", now);
  EXPECT_EQ(busy.retryAfterSeconds, -1);
}

}  // namespace
