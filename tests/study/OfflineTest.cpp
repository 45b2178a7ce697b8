// Working without the school: the catalogue kept per account and read back as untrusted
// input, a refresh that replaces lists only with real answers, the network monitor's
// "it came back" signal, and the catch-up that signs in again, refreshes, sends and resumes
// in order, retries with pauses while the school is out of reach and stops on a refusal.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/Folders.h"
#include "platform/BackgroundTask.h"
#include "platform/MessageCore.h"
#include "platform/NetworkMonitor.h"
#include "service/Records.h"
#include "study/CatalogueCache.h"
#include "study/CatchUp.h"
#include "study/CourseCatalogue.h"
#include "study/OfflineState.h"

namespace {

namespace fs = std::filesystem;

constexpr char kSubjects[] =
    R"({"code":200,"msg":"ok","data":{"classes":[{"id":"1101","name":"言语理解与表达",)"
    R"("jiangyi":[{"id":"d1","class_id":"1101","name":"讲义一"}]}]}})";
std::string ClassAnswer(const std::string& lessonId) {
  return R"({"code":200,"msg":"ok","data":{"classId":"1101","lastLearnLessonId":")" + lessonId +
         R"(","lessons":[{"id":")" + lessonId + R"(","name":"第一课","video":"v1"}]}})";
}

LessonRecord Lesson(const std::string& id) {
  LessonRecord lesson;
  lesson.id = id;
  return lesson;
}

class OfflineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitMessageCore();
    m_root = fs::temp_directory_path() / ("tavo-offline-" + std::to_string(::getpid()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(m_root);
    m_db = (m_root / "course.db").wstring();
    gSubjectList.Clear();
  }
  void TearDown() override {
    EXPECT_TRUE(WaitForBackgroundTasks(10000));
    PumpPendingMessages();
    ShutdownMessageCore();
    gSubjectList.Clear();
    std::error_code ec;
    fs::remove_all(m_root, ec);
  }
  static bool PumpUntil(const std::function<bool()>& done, int guardMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      PumpPendingMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }
  void Exec(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(fs::path(m_db).c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
  }

  fs::path m_root;
  std::wstring m_db;
};

TEST_F(OfflineTest, KeptCatalogueComesBackForItsAccountOnly) {
  const CatalogueCache mine(m_db, "lixiaoming");
  ASSERT_TRUE(mine.StoreSubjects(kSubjects));
  ASSERT_TRUE(mine.StoreClass("1101", ClassAnswer("old")));
  // A newer answer replaces the kept one.
  ASSERT_TRUE(mine.StoreClass("1101", ClassAnswer("11")));

  ASSERT_TRUE(mine.RecallSubjects());
  ASSERT_EQ(gSubjectList.Classes.size(), 1u);
  EXPECT_EQ(gSubjectList.Classes[0].name, "言语理解与表达");
  ASSERT_EQ(gSubjectList.Classes[0].jiangyi.size(), 1u);
  ClassDetail detail;
  ASSERT_EQ(mine.RecallClass("1101", detail), ClassDetailResult::Filled);
  ASSERT_EQ(detail.lessons.size(), 1u);
  EXPECT_EQ(detail.lessons[0].id, "11");
  EXPECT_EQ(detail.lastLearnLessonId, "11");

  // Another account in the same file sees nothing of it; a class never kept is no answer.
  const CatalogueCache other(m_db, "wangfang");
  EXPECT_FALSE(other.HasSubjects());
  EXPECT_EQ(other.RecallClass("1101", detail), ClassDetailResult::NoAnswer);
  EXPECT_EQ(mine.RecallClass("9999", detail), ClassDetailResult::NoAnswer);
  // No account, no cache (nothing is signed in).
  EXPECT_FALSE(CatalogueCache(m_db, "").StoreSubjects(kSubjects));
}

TEST_F(OfflineTest, DamagedKeptEntriesAreSkippedNotTrusted) {
  const CatalogueCache cache(m_db, "lixiaoming");
  ASSERT_TRUE(cache.StoreSubjects(kSubjects));
  ASSERT_TRUE(cache.StoreClass("1101", ClassAnswer("11")));
  // Someone edited the file: broken JSON, a refusal the school never gave, a wrong shape.
  struct Case {
    const char* name;
    const char* answer;
  };
  const Case cases[] = {
      {"truncated", R"({"code":200,"data":{"lessons":[{"id")"},
      {"refusal", R"({"code":401,"msg":"登录失效"})"},
      {"not an object", R"([1,2,3])"},
      {"html", "<html><body>portal</body></html>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Exec(std::string("UPDATE catalogueCache SET answer='") + c.answer + "'");
    gSubjectList.Clear();
    EXPECT_FALSE(cache.RecallSubjects());
    ClassDetail detail;
    EXPECT_EQ(cache.RecallClass("1101", detail), ClassDetailResult::NoAnswer);
    EXPECT_TRUE(detail.lessons.empty());
  }
  // A file that is no database at all.
  fs::resize_file(m_db, 0);
  {
    std::FILE* f = std::fopen(fs::path(m_db).c_str(), "wb");
    std::fputs("not a database, just text that is long enough to be looked at", f);
    std::fclose(f);
  }
  EXPECT_FALSE(cache.RecallSubjects());
}

TEST_F(OfflineTest, KeepingFetcherRecallsWhileOfflineAndKeepsNothingItDidNotGet) {
  auto offline = std::make_shared<OfflineState>();
  offline->SetOffline(true);
  // The signed-in account's cache lives in its data folder.
  setenv("XDG_DATA_HOME", (m_root / "data").c_str(), 1);
  SetSignedInAccount("lixiaoming");
  ASSERT_TRUE(CatalogueCache::OfSignedInAccount().StoreClass("1101", ClassAnswer("11")));
  CourseCatalogue catalogue(KeepingFetcher(offline));
  catalogue.LoadClass("1101");
  catalogue.LoadClass("1102");
  ASSERT_TRUE(PumpUntil([&] {
    return catalogue.LoadOf("1101") != ClassLoad::Loading && catalogue.LoadOf("1102") != ClassLoad::Loading;
  }));
  EXPECT_EQ(catalogue.LoadOf("1101"), ClassLoad::Ready);
  ASSERT_EQ(catalogue.Lessons("1101").size(), 1u);
  // A class never seen online has nothing kept: it fails as with no network.
  EXPECT_EQ(catalogue.LoadOf("1102"), ClassLoad::Failed);
  SetSignedInAccount("");
}

struct Recorder : CatalogueObserver {
  void OnClassLoaded(const ClassLoaded& loaded) override { this->loaded.push_back(loaded.classId); }
  void OnClassFailed(const ClassFailed& failed) override { this->failed.push_back(failed.classId); }
  std::vector<std::string> loaded;
  std::vector<std::string> failed;
};

TEST_F(OfflineTest, RefreshReplacesListsOnlyWithTheSchoolsAnswers) {
  // First answers: every class has one lesson. The refresh: 1101 changed, 1102 is gone
  // from the school (refused), 1103 gets no answer.
  bool refreshed = false;
  CourseCatalogue catalogue([&refreshed](const std::string& classId, ClassDetail& detail) {
    if (!refreshed) {
      detail.lessons = {Lesson("a-" + classId)};
      return ClassDetailResult::Filled;
    }
    if (classId == "1102") return ClassDetailResult::Refused;
    if (classId == "1103") return ClassDetailResult::NoAnswer;
    detail.lessons = {Lesson("new-1"), Lesson("new-2")};
    return ClassDetailResult::Filled;
  });
  Recorder recorder;
  catalogue.AddObserver(recorder);
  for (const char* id : {"1101", "1102", "1103"}) catalogue.LoadClass(id);
  ASSERT_TRUE(PumpUntil([&] { return recorder.loaded.size() == 3; }));
  recorder.loaded.clear();
  refreshed = true;
  catalogue.Refresh();
  ASSERT_TRUE(WaitForBackgroundTasks(10000));
  ASSERT_TRUE(PumpUntil([&] { return !recorder.loaded.empty(); }));
  PumpPendingMessages();
  EXPECT_EQ(recorder.loaded, std::vector<std::string>{"1101"});
  EXPECT_TRUE(recorder.failed.empty()) << "a refresh never signs the student out nor shows a failure";
  ASSERT_EQ(catalogue.Lessons("1101").size(), 2u);
  EXPECT_EQ(catalogue.Lessons("1102").at(0).id, "a-1102");
  EXPECT_EQ(catalogue.Lessons("1103").at(0).id, "a-1103");
  EXPECT_EQ(catalogue.LoadOf("1102"), ClassLoad::Ready);
  catalogue.RemoveObserver(recorder);
}

TEST_F(OfflineTest, NetworkMonitorTellsOnlyTheReturnOfANetwork) {
  ManualNetworkMonitor monitor(false);
  int heard = 0;
  {
    auto watch = monitor.Watch([&heard] { ++heard; });
    monitor.SetAvailable(false);
    EXPECT_EQ(heard, 0);
    monitor.SetAvailable(true);
    EXPECT_EQ(heard, 1);
    monitor.SetAvailable(true);  // a route change while up
    EXPECT_EQ(heard, 1);
    monitor.SetMetered(true);
    EXPECT_TRUE(monitor.IsMetered());
    monitor.SetAvailable(false);
    monitor.SetAvailable(true);
    EXPECT_EQ(heard, 2);
  }
  // The watch is gone: nothing more is heard.
  monitor.SetAvailable(false);
  monitor.SetAvailable(true);
  EXPECT_EQ(heard, 2);
}

// A school for the catch-up whose answers the test lines up.
struct FakeCatchUp {
  std::vector<SilentSignIn> answers;  // one per try; the last repeats
  std::atomic<int> tries{0};
  std::vector<std::string> steps;
  std::string refusedWith;

  CatchUpSteps Steps() {
    CatchUpSteps s;
    s.signIn = [this](std::string& message) {
      const int n = tries++;
      const SilentSignIn answer = answers[std::min<size_t>(n, answers.size() - 1)];
      if (answer == SilentSignIn::Refused) message = "账号或密码错误";
      return answer;
    };
    s.refreshCatalogue = [this] { steps.push_back("catalogue"); };
    s.sendProgress = [this] { steps.push_back("progress"); };
    s.resumeDownloads = [this] { steps.push_back("downloads"); };
    s.refused = [this](const std::string& message) { refusedWith = message; };
    return s;
  }
};

TEST_F(OfflineTest, CatchUpRetriesWhileUnreachableThenRunsItsStepsInOrder) {
  OfflineState state;
  ManualNetworkMonitor monitor;
  std::vector<bool> banner;
  const int observer = state.AddObserver([&banner](bool offline) { banner.push_back(offline); });
  FakeCatchUp school;
  school.answers = {SilentSignIn::Unreachable, SilentSignIn::Unreachable, SilentSignIn::Accepted};
  CatchUp catchUp(state, monitor, {5, 10});
  catchUp.Begin(school.Steps());
  EXPECT_TRUE(state.IsOffline());
  ASSERT_TRUE(PumpUntil([&] { return !state.IsOffline(); }));
  EXPECT_EQ(catchUp.Attempts(), 3);
  EXPECT_EQ(school.steps, (std::vector<std::string>{"catalogue", "progress", "downloads"}));
  EXPECT_EQ(banner, (std::vector<bool>{true, false}));
  EXPECT_FALSE(catchUp.IsWaiting());
  state.RemoveObserver(observer);
}

TEST_F(OfflineTest, CatchUpTriesAtOnceWhenTheNetworkReturns) {
  OfflineState state;
  ManualNetworkMonitor monitor(false);
  FakeCatchUp school;
  school.answers = {SilentSignIn::Accepted};
  // A pause far beyond the guard time: only the network's return can make it try.
  CatchUp catchUp(state, monitor, {600000});
  catchUp.Begin(school.Steps());
  PumpPendingMessages();
  EXPECT_EQ(school.tries.load(), 0);
  monitor.SetAvailable(true);
  ASSERT_TRUE(PumpUntil([&] { return !state.IsOffline(); }));
  EXPECT_EQ(school.tries.load(), 1);
}

TEST_F(OfflineTest, CatchUpRefusedStaysOfflineAndSaysWhy) {
  OfflineState state;
  ManualNetworkMonitor monitor;
  FakeCatchUp school;
  school.answers = {SilentSignIn::Refused};
  CatchUp catchUp(state, monitor, {5});
  catchUp.Begin(school.Steps());
  ASSERT_TRUE(PumpUntil([&] { return !school.refusedWith.empty(); }));
  EXPECT_EQ(school.refusedWith, "账号或密码错误");
  EXPECT_TRUE(state.IsOffline());
  EXPECT_TRUE(school.steps.empty()) << "nothing is sent or resumed for a refused sign-in";
  EXPECT_FALSE(catchUp.IsWaiting());
  // Nothing more is tried, even when the network comes and goes.
  monitor.SetAvailable(false);
  monitor.SetAvailable(true);
  PumpPendingMessages();
  EXPECT_EQ(school.tries.load(), 1);
}

TEST_F(OfflineTest, StoppedCatchUpTriesNothingMore) {
  OfflineState state;
  ManualNetworkMonitor monitor;
  FakeCatchUp school;
  school.answers = {SilentSignIn::Unreachable};
  CatchUp catchUp(state, monitor, {5});
  catchUp.Begin(school.Steps());
  ASSERT_TRUE(PumpUntil([&] { return school.tries.load() >= 2; }));
  catchUp.Stop();
  ASSERT_TRUE(WaitForBackgroundTasks(10000));
  const int tries = school.tries.load();
  monitor.SetAvailable(false);
  monitor.SetAvailable(true);
  PumpPendingMessages();
  EXPECT_EQ(school.tries.load(), tries);
}

}  // namespace
