// The download engine end to end on loopback: real transfers from nginx and from scripted
// servers, with pause, resume and delete steered through the task list the way the
// manager windows do it, and the messages the task's window receives.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "DownloadTestSupport.h"
#include "TestServers.h"
#include "app/Log.h"
#include "downloads/CourseDB.h"
#include "downloads/DownloadJob.h"
#include "downloads/DownloadTaskList.h"
#include "downloads/RetryPolicy.h"
#include "downloads/TaskProgress.h"
#include "downloads/ThreadPool.h"
#include "platform/MessageCore.h"
#include "platform/MessageWindow.h"
#include "platform/Messages.h"
#include "service/CurlSupport.h"
#include "service/HttpDownload.h"
#include "support/Waiting.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Seen {
  UINT msg = 0;
  WPARAM wParam = 0;
  DownloadTask task;
  bool lParamIsPayload = false;
};

// Files nginx serves, made once for the whole suite.
struct SourceFile {
  const char* name;
  std::size_t size;
};
constexpr SourceFile kSmall{"small.bin", 300 * 1024 + 17};
constexpr SourceFile kBig{"big.bin", 2 * 1024 * 1024 + 5};  // about 4 s at the slow rate
constexpr SourceFile kMedium{"medium.bin", 1024 * 1024};

class DownloadEngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_files = new TempFolder();
    for (const SourceFile& source : {kSmall, kBig, kMedium}) {
      WriteFile(s_files->Path() / "www" / source.name,
                RandomBytes(source.size, static_cast<uint32_t>(source.size)));
    }
    s_nginx = new NginxServer(s_files->Path() / "www", s_files->Path() / "nginx");
    s_nginxStarted = s_nginx->Start();
    s_demo = new DemoSchool(TAVO_DEMO_SERVICE, s_files->Path() / "demo");
    s_demoStarted = s_demo->Start();
  }
  static void TearDownTestSuite() {
    delete s_demo;
    delete s_nginx;
    delete s_files;
  }

  void SetUp() override {
    ASSERT_TRUE(s_nginxStarted) << "nginx did not start";
    m_temp.UseForXdg();
    ASSERT_TRUE(OpenLog(L"browserlog"));
    InitMessageCore();
    m_window = std::make_unique<MessageWindow>(
        [this](UINT msg, WPARAM wParam, LPARAM lParam, const Payload& payload) -> LRESULT {
          if (msg != WM_DOWNLOAD_PROGRESS && msg != WM_DOWNLOAD_RESULT) return 0;
          Seen seen{msg, wParam, {}, lParam == reinterpret_cast<LPARAM>(payload.get())};
          if (auto* task = PayloadAs<DownloadTask>(payload)) seen.task = *task;
          m_seen.push_back(seen);
          return 0;
        });
    DownloadTaskList::Get().Clear();
    SetTransportLimits({5, 60});
    SetDownloadFileOptions({});
    SetRetryPolicy(RetryPolicy{.delays = {}});  // these cases check single transfers
  }
  void TearDown() override {
    m_pool.Shutdown();
    m_window.reset();
    ShutdownMessageCore();
    DownloadTaskList::Get().Clear();
    SetTransportLimits({});
    SetDownloadFileOptions({});
    SetRetryPolicy({});
    CloseLog();
  }

  static std::string Source(const SourceFile& source) {
    return ReadFile(s_files->Path() / "www" / source.name);
  }

  DownloadTask NewTask(const std::string& id, const std::string& url, std::int64_t total,
                       TaskKind kind = TaskKind::Video) {
    DownloadTask task;
    task.notifyWindow = m_window->GetHWND();
    task.id = id;
    task.classId = "c1";
    task.className = "Class";
    task.name = id + ".bin";
    task.url = url;
    task.localFile = (m_temp.Path() / "dl" / task.name).string();
    task.total = kind == TaskKind::Document ? total / 1024 : total;
    task.kind = kind;
    fs::create_directories(m_temp.Path() / "dl");
    return task;
  }
  // What a starter does: add the task to the list and submit its job.
  void Start(const DownloadTask& task, bool createPool = true) {
    if (task.kind != TaskKind::Avatar) {
      ASSERT_TRUE(DownloadTaskList::Get().AddTask(task, task.kind));
    }
    ASSERT_TRUE(SubmitDownload(task, m_pool));
    if (createPool) m_pool.Create();
  }
  // What the manager window's pause and resume do to the list.
  void Pause(const std::string& id, TaskKind kind = TaskKind::Video) {
    auto task = DownloadTaskList::Get().FindTask("c1", id, kind);
    ASSERT_TRUE(task);
    task->state = TaskState::Paused;
    DownloadTaskList::Get().UpdateTask(*task, kind);
  }
  void Resume(const std::string& id, TaskKind kind = TaskKind::Video) {
    auto task = DownloadTaskList::Get().FindTask("c1", id, kind);
    ASSERT_TRUE(task);
    std::error_code ec;
    const auto size = fs::file_size(task->localFile, ec);
    task->downloaded = ec ? 0 : static_cast<std::int64_t>(kind == TaskKind::Document ? size / 1024 : size);
    task->state = TaskState::Waiting;
    DownloadTaskList::Get().UpdateTask(*task, kind);
    ASSERT_TRUE(SubmitDownload(*task, m_pool));
  }

  std::vector<Seen> Results(const std::string& id) const {
    std::vector<Seen> results;
    for (const Seen& s : m_seen) {
      if (s.msg == WM_DOWNLOAD_RESULT && s.task.id == id) results.push_back(s);
    }
    return results;
  }
  std::vector<int> Percents(const std::string& id) const {
    std::vector<int> percents;
    for (const Seen& s : m_seen) {
      if (s.msg == WM_DOWNLOAD_PROGRESS && s.task.id == id) percents.push_back(static_cast<int>(s.wParam));
    }
    return percents;
  }
  Seen WaitResult(const std::string& id, std::chrono::milliseconds guard = 30s) {
    RunUntil([&] { return !Results(id).empty(); }, guard);
    auto results = Results(id);
    return results.empty() ? Seen{} : results.back();
  }
  void WaitPercent(const std::string& id, int percent) {
    RunUntil([&] {
      auto p = Percents(id);
      return !p.empty() && p.back() >= percent;
    });
  }
  std::int64_t SizeOnDisk(const DownloadTask& task) const {
    std::error_code ec;
    const auto size = fs::file_size(task.localFile, ec);
    return ec ? -1 : static_cast<std::int64_t>(size);
  }

  static inline TempFolder* s_files = nullptr;
  static inline NginxServer* s_nginx = nullptr;
  static inline bool s_nginxStarted = false;
  static inline DemoSchool* s_demo = nullptr;
  static inline bool s_demoStarted = false;
  TempFolder m_temp;
  std::unique_ptr<MessageWindow> m_window;
  std::vector<Seen> m_seen;
  ThreadPool m_pool;
};

TEST_F(DownloadEngineTest, FreshDownloadEqualsTheSourceAndReportsRisingProgress) {
  const DownloadTask task = NewTask("fresh", s_nginx->Url("/small.bin"), kSmall.size);
  Start(task);
  const Seen result = WaitResult("fresh");
  EXPECT_EQ(result.wParam, 0u);
  EXPECT_TRUE(result.lParamIsPayload);
  EXPECT_EQ(Sha256Hex(ReadFile(task.localFile)), Sha256Hex(Source(kSmall)));
  const auto percents = Percents("fresh");
  ASSERT_FALSE(percents.empty());
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_LE(percents.back(), 100);
  for (const Seen& s : m_seen) {
    if (s.msg == WM_DOWNLOAD_PROGRESS) {
      EXPECT_EQ(s.task.state, TaskState::Transferring);
    }
  }
}

TEST_F(DownloadEngineTest, ResumesAfterAPartialFileWithARangeRequest) {
  DownloadTask task = NewTask("partial", s_nginx->Url("/small.bin?resume"), kSmall.size);
  const std::string source = Source(kSmall);
  WriteFile(task.localFile, source.substr(0, 1000));
  task.downloaded = 1000;
  Start(task);
  EXPECT_EQ(WaitResult("partial").wParam, 0u);
  EXPECT_EQ(Sha256Hex(ReadFile(task.localFile)), Sha256Hex(source));
  // nginx writes its access log line after the answer went out: wait for the line.
  EXPECT_TRUE(WaitUntil([&] {
    for (const auto& r : s_nginx->Requests()) {
      if (r.uri == "/small.bin?resume") return r.range == "bytes=1000-" && r.status == 206;
    }
    return false;
  }));
  // The first percentage counts the 1000 bytes already on disk.
  ASSERT_FALSE(Percents("partial").empty());
}

TEST_F(DownloadEngineTest, PauseInTheMiddleThenResumeIsByteIdentical) {
  const DownloadTask task = NewTask("pause", s_nginx->Url("/slow/big.bin?pause"), kBig.size);
  Start(task);
  WaitPercent("pause", 10);
  Pause("pause");
  const Seen stopped = WaitResult("pause");
  EXPECT_EQ(stopped.wParam, 3u);
  EXPECT_EQ(stopped.task.state, TaskState::Paused);
  const std::int64_t partial = SizeOnDisk(task);
  EXPECT_GT(partial, 0);
  EXPECT_LT(partial, static_cast<std::int64_t>(kBig.size));
  // A pause is the student's wish, not a failure: no error line for it.
  const std::string log = ReadDayLogs();
  EXPECT_EQ(log.find("big.bin?pause curl ret"), std::string::npos) << log;
  EXPECT_EQ(log.find("big.bin?pause return code"), std::string::npos) << log;
  EXPECT_NE(log.find("big.bin?pause stopped on request"), std::string::npos) << log;

  m_seen.clear();
  Resume("pause");
  EXPECT_EQ(WaitResult("pause").wParam, 0u);
  EXPECT_EQ(Sha256Hex(ReadFile(task.localFile)), Sha256Hex(Source(kBig)));
  // nginx logs a request after answering it: wait for the resumed one to appear.
  const std::string expectedRange = "bytes=" + std::to_string(partial) + "-";
  std::vector<NginxServer::Request> requests;
  WaitUntil([&] {
    requests = s_nginx->Requests();
    return !requests.empty() && requests.back().range == expectedRange;
  });
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests.back().range, expectedRange);
  // Progress after the resume counts the bytes already on disk.
  ASSERT_FALSE(Percents("pause").empty());
  EXPECT_GE(Percents("pause").front(),
            static_cast<int>(partial * 100 / static_cast<std::int64_t>(kBig.size)));
}

TEST_F(DownloadEngineTest, PauseAndResumeBeforeTheOldJobStoppedNeverRunTwoTransfersAtOnce) {
  // The first answer sends one chunk and holds the rest back until the test lets it go, so
  // the first job learns of the pause only when its next chunk arrives, after it has
  // appended that chunk. A ranged request gets the rest at once. A second job that started
  // meanwhile would find the file shorter than it ends up and append bytes already there.
  const std::string body = RandomBytes(400 * 1024, 11);
  Gate restOfFirstAnswer;
  RawHttpServer server([&](const std::string& head, int socket) {
    const size_t at = head.find("Range: bytes=");
    if (at != std::string::npos) {
      const size_t from = std::stoul(head.substr(at + 13));
      RawHttpServer::SendAll(
          socket, "HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(body.size() - from) +
                      "\r\nContent-Range: bytes " + std::to_string(from) + "-" +
                      std::to_string(body.size() - 1) + "/" + std::to_string(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body.substr(from));
      return;
    }
    RawHttpServer::SendAll(socket, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                       "\r\nConnection: close\r\n\r\n");
    RawHttpServer::SendAll(socket, body.substr(0, 40 * 1024));
    restOfFirstAnswer.Wait();
    for (size_t sent = 40 * 1024; sent < body.size() && !server.Stopping(); sent += 40 * 1024) {
      RawHttpServer::SendAll(socket, body.substr(sent, 40 * 1024));
    }
  });
  const DownloadTask task = NewTask("quick", server.Url("/quick"), static_cast<std::int64_t>(body.size()));
  Start(task);
  WaitPercent("quick", 10);  // the whole first chunk is on disk, the rest is held back
  Pause("quick");
  Resume("quick");
  // The second job is on a worker beside the first (unless the first already ended on its
  // own idle progress check); only then does the first job's next chunk arrive.
  RunUntil([&] { return m_pool.BusyWorkers() == 2 || !Results("quick").empty(); });
  restOfFirstAnswer.Open();
  RunUntil([&] {
    for (const Seen& s : Results("quick")) {
      if (s.wParam == 0) return true;
    }
    return false;
  });
  EXPECT_EQ(SizeOnDisk(task), static_cast<std::int64_t>(body.size()));
  EXPECT_EQ(Sha256Hex(ReadFile(task.localFile)), Sha256Hex(body));
  for (const Seen& s : Results("quick")) EXPECT_NE(s.wParam, 1u);
}

TEST_F(DownloadEngineTest, ANewJobWaitsUntilTheOlderJobOfTheFileLetsGo) {
  const DownloadTask task = NewTask("holder", s_nginx->Url("/small.bin?holder"), kSmall.size);
  ASSERT_TRUE(DownloadTaskList::Get().AddTask(task, TaskKind::Video));
  // An older job that is still inside its transfer holds the file.
  const DownloadTask older = *DownloadTaskList::Get().BeginJob("c1", "holder", TaskKind::Video);
  ASSERT_EQ(DownloadTaskList::Get().ClaimJob(older, nullptr), DownloadTaskList::Claim::Acquired);
  ASSERT_TRUE(SubmitDownload(task, m_pool));
  m_pool.Create();
  RunUntil([&] { return m_pool.BusyWorkers() == 1; });
  // A wrong job would open the file at once; give it a few of its claim attempts' time.
  EXPECT_FALSE(WaitUntil([&] { return fs::exists(task.localFile); }, 300ms))
      << "the new job touched the file";
  EXPECT_TRUE(m_seen.empty());
  DownloadTaskList::Get().EndJob(older);
  EXPECT_EQ(WaitResult("holder").wParam, 0u);
  EXPECT_EQ(Sha256Hex(ReadFile(task.localFile)), Sha256Hex(Source(kSmall)));
}

TEST_F(DownloadEngineTest, DeleteInTheMiddleStopsTheTransferAndKeepsThePartialFile) {
  const DownloadTask task = NewTask("delete", s_nginx->Url("/slow/big.bin?delete"), kBig.size);
  CourseDB db((m_temp.Path() / "course.db").wstring());
  db.Open();
  db.CreateTables();
  db.InsertClass("c1", "Class", TaskKind::Video);
  db.InsertLesson("c1", "delete", task.name, task.url, std::to_string(task.total), task.localFile);
  Start(task);
  WaitPercent("delete", 10);
  DownloadTaskList::Get().RemoveTask("c1", "delete", TaskKind::Video);
  db.DeleteLesson("delete");
  const Seen stopped = WaitResult("delete");
  EXPECT_EQ(stopped.wParam, 3u);
  EXPECT_EQ(stopped.task.state, TaskState::Removed);
  EXPECT_FALSE(DownloadTaskList::Get().FindTask("c1", "delete", TaskKind::Video));
  EXPECT_FALSE(db.HasLesson("delete"));
  EXPECT_GT(SizeOnDisk(task), 0);
  EXPECT_LT(SizeOnDisk(task), static_cast<std::int64_t>(kBig.size));
}

TEST_F(DownloadEngineTest, PauseWhileQueuedStopsWithoutATransfer) {
  const DownloadTask task = NewTask("queued", s_nginx->Url("/slow/big.bin?queued"), kBig.size);
  Start(task, /*createPool=*/false);
  Pause("queued");
  m_pool.Create();
  const Seen stopped = WaitResult("queued");
  EXPECT_EQ(stopped.wParam, 3u);
  EXPECT_EQ(stopped.task.state, TaskState::Paused);
  EXPECT_LE(SizeOnDisk(task), 0);
  EXPECT_TRUE(Percents("queued").empty());
}

TEST_F(DownloadEngineTest, FiveDownloadsAtOnceRunAtMostFourTransfersAtTheServer) {
  std::vector<DownloadTask> tasks;
  for (int i = 0; i < 5; ++i) {
    tasks.push_back(NewTask("five" + std::to_string(i),
                            s_nginx->Url("/slow/medium.bin?five=" + std::to_string(i)), kMedium.size));
    Start(tasks.back());
  }
  RunUntil(
      [&] {
        for (const auto& task : tasks) {
          if (Results(task.id).empty()) return false;
        }
        return true;
      },
      60s);
  const std::string hash = Sha256Hex(Source(kMedium));
  for (const auto& task : tasks) {
    EXPECT_EQ(Results(task.id).back().wParam, 0u) << task.id;
    EXPECT_EQ(Sha256Hex(ReadFile(task.localFile)), hash) << task.id;
  }
  const int most = s_nginx->MaxConcurrent("/slow/medium.bin?five=");
  EXPECT_LE(most, 4);
  EXPECT_GE(most, 2);
}

TEST_F(DownloadEngineTest, ServersThatDoNotHonourTheRangeNeverCorruptTheFile) {
  const std::string body = RandomBytes(200 * 1024, 7);
  const std::string whole = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                            "\r\nConnection: close\r\n\r\n" + body;
  // How each server answers a request with a Range header; without one it sends `whole`.
  const std::pair<const char*, std::string> servers[] = {
      {"ignores", whole},
      {"otherrange", "HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(body.size()) +
                         "\r\nContent-Range: bytes 0-" + std::to_string(body.size() - 1) + "/" +
                         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body},
  };
  // A correct prefix and a wrong one: either way the result is the server's file.
  const std::pair<const char*, std::string> partials[] = {{"prefix", body.substr(0, 1000)},
                                                          {"stale", std::string(1000, 'x')}};
  for (const auto& [serverName, rangedAnswer] : servers) {
    RawHttpServer server([&](const std::string& head, int socket) {
      RawHttpServer::SendAll(socket, head.find("Range:") != std::string::npos ? rangedAnswer : whole);
    });
    for (const auto& [partialName, partial] : partials) {
      const std::string id = std::string(serverName) + "-" + partialName;
      const DownloadTask task = NewTask(id, server.Url("/file"), static_cast<std::int64_t>(body.size()));
      WriteFile(task.localFile, partial);
      Start(task);
      EXPECT_EQ(WaitResult(id).wParam, 0u) << id;
      EXPECT_EQ(Sha256Hex(ReadFile(task.localFile)), Sha256Hex(body)) << id;
    }
    ASSERT_FALSE(server.Heads().empty());
    EXPECT_NE(server.Heads().front().find("Range: bytes=1000-"), std::string::npos);
  }
}

TEST_F(DownloadEngineTest, FailuresLeaveTheFileAsItWas) {
  // An error page is never appended to the partial file.
  RawHttpServer notFound([](const std::string&, int socket) {
    RawHttpServer::SendAll(
        socket, "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found");
  });
  DownloadTask missing = NewTask("missing", notFound.Url("/gone"), 5000);
  WriteFile(missing.localFile, std::string(1000, 'p'));
  Start(missing);
  EXPECT_EQ(WaitResult("missing").wParam, 1u);
  EXPECT_EQ(ReadFile(missing.localFile), std::string(1000, 'p'));

  // A file that was complete before is not sent to the network and stays as it is.
  DownloadTask complete =
      NewTask("complete", "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/x", 3000);
  WriteFile(complete.localFile, std::string(3000, 'c'));
  Start(complete);
  EXPECT_EQ(WaitResult("complete").wParam, 0u);
  EXPECT_EQ(ReadFile(complete.localFile), std::string(3000, 'c'));

  // Complete on disk with no known size: the server says the range is past the end.
  DownloadTask whole = NewTask("whole", s_nginx->Url("/small.bin?whole"), 0);
  WriteFile(whole.localFile, Source(kSmall));
  Start(whole);
  EXPECT_EQ(WaitResult("whole").wParam, 0u);
  EXPECT_EQ(Sha256Hex(ReadFile(whole.localFile)), Sha256Hex(Source(kSmall)));

  // The connection ends before the announced length: failure, what arrived stays.
  RawHttpServer cut([](const std::string&, int socket) {
    RawHttpServer::SendAll(socket, "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\nConnection: close\r\n\r\n" +
                                       std::string(700, 'k'));
  });
  DownloadTask shortAnswer = NewTask("short", cut.Url("/short"), 5000);
  Start(shortAnswer);
  EXPECT_EQ(WaitResult("short").wParam, 1u);
  EXPECT_EQ(ReadFile(shortAnswer.localFile), std::string(700, 'k'));

  // Unreachable server, partial file: failure, and the bytes on disk stay.
  DownloadTask refused =
      NewTask("refused", "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/x", 3000);
  WriteFile(refused.localFile, std::string(100, 'r'));
  Start(refused);
  EXPECT_EQ(WaitResult("refused").wParam, 1u);
  EXPECT_EQ(ReadFile(refused.localFile), std::string(100, 'r'));
}

TEST_F(DownloadEngineTest, StalledTransferFailsAndKeepsWhatArrived) {
  SetTransportLimits({5, 2});
  Gate over;
  RawHttpServer server([&](const std::string&, int socket) {
    RawHttpServer::SendAll(socket, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" +
                                       std::string(1000, 's'));
    over.Wait();  // then nothing
  });
  const DownloadTask task = NewTask("stall", server.Url("/stall"), 100000);
  Start(task);
  const Seen result = WaitResult("stall", 20s);
  over.Open();
  EXPECT_EQ(result.wParam, 1u);
  EXPECT_EQ(SizeOnDisk(task), 1000);
  CloseLog();
  EXPECT_NE(ReadDayLogs().find("DownloadFile " + task.url + " return code:28"), std::string::npos);
}

TEST_F(DownloadEngineTest, UnopenableLocalFileFailsAfterBoundedRetries) {
  SetDownloadFileOptions({3, 10ms});
  DownloadTask task = NewTask("unopenable", s_nginx->Url("/small.bin?unopenable"), kSmall.size);
  fs::create_directories(task.localFile);  // a folder where the file should be
  Start(task);
  EXPECT_EQ(WaitResult("unopenable").wParam, 1u);
  CloseLog();
  const std::string log = ReadDayLogs();
  EXPECT_NE(log.find("Open file " + task.localFile + " false"), std::string::npos) << log;
  EXPECT_NE(log.find("return code:23"), std::string::npos);
}

TEST_F(DownloadEngineTest, AvatarTasksAreNeverListedAndReportNoProgress) {
  DownloadTask task = NewTask("avatar", s_nginx->Url("/small.bin?avatar"), 0, TaskKind::Avatar);
  task.id.clear();
  task.classId.clear();
  Start(task);
  RunUntil([&] { return !m_seen.empty(); });
  ASSERT_EQ(m_seen.size(), 1u);
  EXPECT_EQ(m_seen[0].msg, WM_DOWNLOAD_RESULT);
  EXPECT_EQ(m_seen[0].wParam, 0u);
  EXPECT_EQ(Sha256Hex(ReadFile(task.localFile)), Sha256Hex(Source(kSmall)));
}

// The demo school's benchmark blob: byte i of /bench/blob.
std::string DemoBlob(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(static_cast<unsigned char>(i % 251 + (i >> 16)));
  return bytes;
}

TEST_F(DownloadEngineTest, DemoSchoolLessonVideoAndDocumentArriveWhole) {
  ASSERT_TRUE(s_demoStarted) << "the demo school did not start";
  const fs::path assets = TAVO_DEMO_DATA;
  const DownloadTask video = NewTask("v110101", s_demo->Origin() + "/media/v110101.mp4",
                                     static_cast<std::int64_t>(fs::file_size(assets / "media/v110101.mp4")));
  Start(video);
  const DownloadTask doc =
      NewTask("jy110101", s_demo->Origin() + "/uploads/jiangyi/jy110101.pdf",
              static_cast<std::int64_t>(fs::file_size(assets / "docs/jy110101.pdf")), TaskKind::Document);
  Start(doc);
  EXPECT_EQ(WaitResult("v110101").wParam, 0u);
  EXPECT_EQ(WaitResult("jy110101").wParam, 0u);
  EXPECT_EQ(Sha256Hex(ReadFile(video.localFile)), Sha256Hex(ReadFile(assets / "media/v110101.mp4")));
  EXPECT_EQ(Sha256Hex(ReadFile(doc.localFile)), Sha256Hex(ReadFile(assets / "docs/jy110101.pdf")));
}

TEST_F(DownloadEngineTest, DemoSchoolResumeAppendsOnlyTheMissingBytes) {
  ASSERT_TRUE(s_demoStarted) << "the demo school did not start";
  const std::string blob = DemoBlob(300000);
  const DownloadTask task = NewTask("blob", s_demo->Origin() + "/bench/blob?size=300000", 300000);
  // Bytes on disk that differ from the server's: kept as they are only when the request
  // asked for the rest alone, so the result shows that the range was used.
  WriteFile(task.localFile, std::string(1000, 'x'));
  Start(task);
  EXPECT_EQ(WaitResult("blob").wParam, 0u);
  EXPECT_EQ(Sha256Hex(ReadFile(task.localFile)), Sha256Hex(std::string(1000, 'x') + blob.substr(1000)));
}

TEST_F(DownloadEngineTest, DemoSchoolPauseThenResumeIsByteIdentical) {
  ASSERT_TRUE(s_demoStarted) << "the demo school did not start";
  const std::size_t size = 1536 * 1024;
  const DownloadTask task =
      NewTask("slowblob", s_demo->Origin() + "/bench/blob?size=" + std::to_string(size) + "&rate=400000",
              static_cast<std::int64_t>(size));
  Start(task);
  WaitPercent("slowblob", 10);
  Pause("slowblob");
  const Seen stopped = WaitResult("slowblob");
  EXPECT_EQ(stopped.wParam, 3u);
  EXPECT_EQ(stopped.task.state, TaskState::Paused);
  EXPECT_LT(SizeOnDisk(task), static_cast<std::int64_t>(size));
  m_seen.clear();
  Resume("slowblob");
  EXPECT_EQ(WaitResult("slowblob").wParam, 0u);
  EXPECT_EQ(Sha256Hex(ReadFile(task.localFile)), Sha256Hex(DemoBlob(size)));
}

TEST(DownloadPercentTest, DesignedExamples) {
  struct Case {
    std::int64_t base, expected, received;
    int percent;
  };
  for (const Case& c : {Case{1000, 3000, 1000, 50}, Case{0, 3, 1, 33}, Case{0, 100, 100, 100},
                        Case{2048, 2048, 0, 50}, Case{0, 1, 0, 0}}) {
    EXPECT_EQ(DownloadPercent(c.base, c.expected, c.received), c.percent)
        << c.base << " " << c.expected << " " << c.received;
  }
  DownloadTask doc;
  doc.kind = TaskKind::Document;
  doc.downloaded = 2;
  EXPECT_EQ(DownloadedBytes(doc), 2048);
}

TEST_F(DownloadEngineTest, ProgressHookUsesTheEntrysBaseAndStopsOnPauseOrRemoval) {
  DownloadTask video = NewTask("hook", "http://unused/", 4000);
  video.downloaded = 1000;
  DownloadTaskList::Get().AddTask(video, TaskKind::Video);
  DownloadTask record = *DownloadTaskList::Get().BeginJob("c1", "hook", TaskKind::Video);
  TaskProgress progress(record);
  EXPECT_TRUE(progress.OnProgress(0, 0));  // size unknown: no message
  EXPECT_TRUE(progress.OnProgress(3000, 1000));
  EXPECT_EQ(record.state, TaskState::Transferring);

  DownloadTask doc = NewTask("hookdoc", "http://unused/", 8 * 1024, TaskKind::Document);
  doc.downloaded = 2;
  DownloadTaskList::Get().AddTask(doc, TaskKind::Document);
  DownloadTask docRecord = *DownloadTaskList::Get().BeginJob("c1", "hookdoc", TaskKind::Document);
  TaskProgress docProgress(docRecord);
  EXPECT_TRUE(docProgress.OnProgress(2048, 0));
  RunUntil([&] { return m_seen.size() >= 2; });
  ASSERT_EQ(m_seen.size(), 2u);
  EXPECT_EQ(m_seen[0].wParam, 50u);
  EXPECT_EQ(m_seen[1].wParam, 50u);
  EXPECT_TRUE(m_seen[0].lParamIsPayload);

  Pause("hook");
  EXPECT_FALSE(progress.OnProgress(3000, 2000));
  EXPECT_EQ(record.state, TaskState::Transferring);  // untouched by a pause
  DownloadTaskList::Get().RemoveTask("c1", "hookdoc", TaskKind::Document);
  EXPECT_FALSE(docProgress.OnProgress(2048, 100));
  EXPECT_EQ(docRecord.state, TaskState::Removed);

  // A newer job for the same task stops the older one.
  Resume("hook");
  EXPECT_FALSE(progress.OnProgress(3000, 2000));
  EXPECT_TRUE(progress.Superseded());
}

}  // namespace
