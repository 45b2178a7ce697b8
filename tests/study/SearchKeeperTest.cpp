// The keeper of the search index: a document that finishes downloading becomes findable by
// the text of its pages, a removed one is no longer found, and only the newest of several
// searches typed in a row answers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/TextConv.h"
#include "downloads/DownloadTaskList.h"
#include "platform/MessageCore.h"
#include "study/DownloadCenter.h"
#include "study/SearchKeeper.h"

namespace {

namespace fs = std::filesystem;

class SearchKeeperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitMessageCore();
    char pattern[] = "/tmp/tavo-keeper-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_root = pattern;
    m_pdf = m_root / "言语理解讲义（上）.pdf";
    fs::copy_file(TAVO_DEMO_DATA "/docs/jy110101.pdf", m_pdf);
    m_tasks.AddClass("c1", "言语理解专项班", TaskKind::Document);
    DownloadTask task;
    task.kind = TaskKind::Document;
    task.classId = "c1";
    task.id = "d1";
    task.name = m_pdf.filename().string();
    task.localFile = m_pdf.string();
    m_tasks.AddTask(task, TaskKind::Document);
    m_task = task;
  }
  void TearDown() override {
    EXPECT_TRUE(WaitForBackgroundTasks(10000));
    PumpPendingMessages();
    ShutdownMessageCore();
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }
  static bool PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      PumpPendingMessages();
      std::this_thread::yield();
    }
    return true;
  }
  SearchKeeper::IndexOpener Opener() const {
    return [db = AnsiToWide((m_root / "course.db").string())] { return SearchIndex(db, "student1"); };
  }
  SearchResults SearchAndWait(SearchKeeper& keeper, const std::string& query) {
    bool answered = false;
    SearchResults hits;
    keeper.Search(query, [&](SearchResults found) {
      hits = std::move(found);
      answered = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return answered; }));
    return hits;
  }

  fs::path m_root;
  fs::path m_pdf;
  DownloadTaskList m_tasks;
  DownloadTask m_task;
  DownloadCenter m_downloads{m_tasks};
  CourseCatalogue m_catalogue{[](const std::string&, ClassDetail&) { return ClassDetailResult::NoAnswer; }};
};

TEST_F(SearchKeeperTest, AFinishedPdfIsFoundAtItsPageAndGoesWithItsDownload) {
  SearchKeeper keeper(m_downloads, m_catalogue, m_tasks, Opener());
  int updates = 0;
  keeper.SetOnUpdated([&] { ++updates; });
  m_downloads.ReportState(m_task, DownloadState::Finished);
  ASSERT_TRUE(PumpUntil([&] { return updates > 0 && WaitForBackgroundTasks(0); }));

  SearchResults hits = SearchAndWait(keeper, "实词辨析");
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].kind, SearchKind::Page);
  EXPECT_EQ(hits[0].itemId, "d1");
  EXPECT_EQ(hits[0].classId, "c1");
  EXPECT_EQ(hits[0].page, 2);
  EXPECT_EQ(hits[0].title, "言语理解讲义（上）");

  const int before = updates;
  m_downloads.ReportRemoved(m_task);
  ASSERT_TRUE(PumpUntil([&] { return updates > before && WaitForBackgroundTasks(0); }));
  EXPECT_TRUE(SearchAndWait(keeper, "实词辨析").empty());
}

TEST_F(SearchKeeperTest, OnlyTheNewestSearchAnswers) {
  SearchKeeper keeper(m_downloads, m_catalogue, m_tasks, Opener());
  int updates = 0;
  keeper.SetOnUpdated([&] { ++updates; });
  keeper.Start();  // the finished document of an earlier run is read too
  ASSERT_TRUE(PumpUntil([&] { return updates > 0 && WaitForBackgroundTasks(0); }));
  std::vector<std::string> answered;
  for (const char* query : {"主", "主旨", "主旨概", "主旨概括"})
    keeper.Search(query, [&answered, query](SearchResults) { answered.push_back(query); });
  ASSERT_TRUE(PumpUntil([&] { return WaitForBackgroundTasks(0) && (PumpPendingMessages(), !answered.empty()); }));
  EXPECT_EQ(answered, std::vector<std::string>{"主旨概括"});
}

}  // namespace
