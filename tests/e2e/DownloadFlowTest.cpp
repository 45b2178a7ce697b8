// Downloading a lesson from the lesson list, from outside the program: the row's "下载"
// opens the location dialog, OK starts the download, the row runs through percentages to
// "已下载", the file on disk is the school's file byte for byte, and the video manager
// window shows the download finished, also after the program was quit and started again.
// A paused download resumes to the same bytes, also after a restart (where it stays paused
// until clicked), an unfinished download goes on by itself after a restart, and a download
// whose connection is cut goes on to the same bytes. Deleting a download asks first and
// keeps its file. A whole
// class downloads as a batch (select mode, select-all, one dialog) while the window answers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "CourseView.h"
#include "DownloadSteps.h"
#include "E2eSession.h"
#include "SessionTest.h"
#include "FlowSteps.h"
#include "support/Waiting.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using e2e::CourseView;
using e2e::E2eSession;
using e2e::Rect;
using e2e::TavoRun;

constexpr e2e::Rgb kIdleText{0x4D, 0x4D, 0x4D};
constexpr e2e::Rgb kDisabledText{0xB3, 0xB3, 0xB3};

// Class 1101's first two lessons, their videos and the files the downloads become.
struct Lesson {
  int row;
  const char* id;
  const char* video;
  const char* fileName;
};
constexpr Lesson kFirst{0, "110101", "v110101", "片段阅读：主旨概括题.mp4"};
constexpr Lesson kSecond{1, "110102", "v110102", "逻辑填空：实词辨析.mp4"};
// Its third lesson, downloaded from the school's generated blob (an address without an
// extension: the file gets ".mp4").
constexpr Lesson kThird{2, "110103", "v110103", "语句表达：语句排序题.mp4"};

std::string ReadAll(const fs::path& path) { return e2e::ReadBytes(path); }

fs::path SchoolMedia(const Lesson& lesson) { return e2e::SchoolMedia(lesson.video); }

class DownloadFlowTest : public e2e::SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(fs::exists(SchoolMedia(kFirst))) << SchoolMedia(kFirst);
  }

  void SignIn(TavoRun& run) {
    std::string error;
    ASSERT_TRUE(m_view.SignIn(run, "lixiaoming", "xm123456", 3, error)) << error;
  }

  void CanNextAddress(const std::string& url, std::uintmax_t size) { m_steps.CanNextAddress(url, size); }
  void SlowNextDownload(const Lesson& lesson, int rate) { m_steps.SlowNextDownload(lesson.video, rate); }

  // Clicks (x, y), which opens the location dialog, and confirms it with its OK button.
  void ConfirmLocationDialogOpenedAt(int x, int y, const std::string& screenshot) {
    std::string error;
    ASSERT_TRUE(e2e::DownloadThroughDialog(m_session, m_view, x, y, screenshot, error)) << error;
  }

  // The first percentage the row showed for `video` in the log (from byte `from`), or -1.
  int FirstPercent(const std::string& video, size_t from = 0) {
    return e2e::FirstRowPercent(m_session, video, from);
  }

  // The highest percentage the row showed for `video` in the log, or -1.
  int LastPercent(const std::string& video) { return e2e::HighestRowPercent(m_session, video); }

  void StartDownload(const Lesson& lesson, const std::string& screenshot) {
    m_steps.StartDownload(lesson.row, screenshot);
  }
  fs::path FindDownload(const Lesson& lesson) const { return m_steps.FindDownload(lesson.fileName); }
  // A download under way keeps its bytes in a partial file beside the final name.
  fs::path FindPartial(const Lesson& lesson) const {
    return m_steps.FindDownload(std::string(lesson.fileName) + ".part");
  }
  int CountNear(const std::string& screenshot, const Rect& rect, e2e::Rgb colour) {
    return m_steps.CountNear(screenshot, rect, colour);
  }
  void OpenVideoManager(const std::string& screenshot, std::chrono::milliseconds deadline = 20s) {
    m_steps.OpenVideoManager(screenshot, deadline);
  }

  CourseView m_view{m_session};
  e2e::DownloadSteps m_steps{m_session, m_view};
};

TEST_F(DownloadFlowTest, ALessonDownloadsThroughTheDialogAndStaysFinishedAfterARestart) {
  TavoRun run;
  ASSERT_NO_FATAL_FAILURE(SignIn(run));
  EXPECT_GT(CountNear("e2e-download-list.png", m_view.DownloadCell(kFirst.row), kIdleText), 10)
      << "no dark \"下载\" in the first row";

  SlowNextDownload(kFirst, 80000);
  ASSERT_NO_FATAL_FAILURE(StartDownload(kFirst, "e2e-download-dialog.png"));

  // While the bytes come in, the row shows a percentage in orange.
  ASSERT_TRUE(WaitUntil([&] { return FirstPercent(kFirst.id) >= 0; }, 30s, 50ms))
      << "no percentage in the row; log:\n"
      << m_session.BrowserLog();
  EXPECT_LT(FirstPercent(kFirst.id), 100);
  EXPECT_GT(CountNear("e2e-download-row-progress.png", m_view.DownloadCell(kFirst.row), e2e::kAccent), 10)
      << "the row's percentage is not shown in orange";

  ASSERT_TRUE(m_session.WaitForLog("list row 110101 已下载", 60s)) << m_session.BrowserLog();
  const std::string log = m_session.BrowserLog();
  EXPECT_LT(log.find("list row 110101 "), log.find("list row 110101 已下载"));
  EXPECT_NE(log.find("download window row 110101: finished"), std::string::npos) << log;
  EXPECT_NE(m_session.DemoRequests().find("/api/Apibook/playUri?vid=v110101"), std::string::npos);

  const fs::path file = FindDownload(kFirst);
  ASSERT_FALSE(file.empty()) << "no downloaded file named " << kFirst.fileName;
  EXPECT_TRUE(ReadAll(file) == ReadAll(SchoolMedia(kFirst))) << file << " differs from the school's copy";

  // "已下载" is the disabled grey; no orange percentage is left.
  ASSERT_TRUE(m_session.WaitForColour(m_view.DownloadCell(kFirst.row), kDisabledText, 20, 10s));
  EXPECT_EQ(CountNear("e2e-download-row-done.png", m_view.DownloadCell(kFirst.row), e2e::kAccent), 0);
  OpenVideoManager("e2e-download-manager.png");

  // Quit (the loop ends on SIGTERM and runs the whole shutdown) and start again.
  ASSERT_EQ(kill(run.pid, SIGTERM), 0);
  std::optional<int> status = m_session.WaitForExit(run, 30s);
  ASSERT_TRUE(status.has_value()) << "the program did not end";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
  const size_t restart = m_session.BrowserLog().size();

  TavoRun again;
  std::string error;
  ASSERT_TRUE(m_view.StartSignedIn(again, 3, error)) << error;
  EXPECT_TRUE(m_session.WaitForLog("download window row 110101: finished", 30s, restart))
      << "the manager window did not rebuild the finished row; log:\n"
      << m_session.BrowserLog().substr(restart);
  EXPECT_TRUE(m_session.WaitForColour(m_view.DownloadCell(kFirst.row), kDisabledText, 20, 20s))
      << "the row does not say \"已下载\" after the restart";
  EXPECT_EQ(CountNear("e2e-download-list-restarted.png", m_view.DownloadCell(kFirst.row), kIdleText), 0);
  ASSERT_NO_FATAL_FAILURE(OpenVideoManager("e2e-download-manager-restarted.png"));

  // Deleting the download in the manager window (its row's bin, 312 px into the first row
  // under the class heading) asks first; confirmed with "同时删除本地文件" left off, it keeps
  // the file; the manager is empty and the row says "下载".
  const size_t deleting = m_session.BrowserLog().size();
  const Rect box = m_view.VideoManager();
  m_session.Click(box.x + 326, box.y + 123);
  // The question (420 x 220) is centred over the manager window; its orange "确定".
  const Rect ok{box.x + 269, box.y + 372, 96, 36};
  ASSERT_TRUE(m_session.WaitForColour(ok, e2e::kAccent, 1000, 20s))
      << "no delete question; log:\n"
      << m_session.BrowserLog().substr(deleting);
  m_session.Screenshot("e2e-download-delete-question.png");
  m_session.Click(ok.x + ok.width / 2, ok.y + ok.height / 2);
  ASSERT_TRUE(m_session.WaitForLog("list row 110101 下载", 20s, deleting))
      << m_session.BrowserLog().substr(deleting);
  const Rect emptyText{box.x + 100, box.y + 386, 160, 22};
  EXPECT_TRUE(m_session.WaitForColour(emptyText, {0x99, 0x99, 0x99}, 20, 20s)) << "no empty state";
  m_session.Screenshot("e2e-download-manager-empty.png");
  EXPECT_TRUE(ReadAll(file) == ReadAll(SchoolMedia(kFirst))) << "the file went with the download";
}

// One student is one student however she signs in: a lesson downloaded after an SMS
// sign-in is her download after a password sign-in too, kept in her account's one folder.
TEST_F(DownloadFlowTest, ALessonDownloadedAfterAnSmsSignInIsDownloadedAfterAPasswordSignIn) {
  TavoRun run = m_session.Launch();
  std::string error;
  ASSERT_TRUE(m_view.SignInBySmsOnLoginWindow("13800138001", "123456", 3, error)) << error;
  ASSERT_NO_FATAL_FAILURE(StartDownload(kFirst, ""));
  ASSERT_TRUE(m_session.WaitForLog("list row 110101 已下载", 60s)) << m_session.BrowserLog();
  const fs::path file = FindDownload(kFirst);
  ASSERT_FALSE(file.empty()) << "no downloaded file named " << kFirst.fileName;

  ASSERT_TRUE(m_view.SignOut(error)) << error;
  const size_t signIn = m_session.BrowserLog().size();
  ASSERT_TRUE(m_view.SignInOnLoginWindow("lixiaoming", "xm123456", 3, error)) << error;
  EXPECT_TRUE(m_session.WaitForLog("download window row 110101: finished", 30s, signIn))
      << "the manager window does not list the download; log:\n"
      << m_session.BrowserLog().substr(signIn);
  EXPECT_TRUE(m_session.WaitForColour(m_view.DownloadCell(kFirst.row), kDisabledText, 20, 20s))
      << "the row does not say \"已下载\" after the password sign-in";
  EXPECT_EQ(CountNear("e2e-download-sms-then-password.png", m_view.DownloadCell(kFirst.row), kIdleText), 0)
      << "the row offers \"下载\" again";
  ASSERT_NO_FATAL_FAILURE(OpenVideoManager("e2e-download-sms-then-password-manager.png"));
  // Still one file, the school's bytes; nothing is kept under the mobile number.
  EXPECT_EQ(FindDownload(kFirst), file);
  EXPECT_TRUE(ReadAll(file) == ReadAll(SchoolMedia(kFirst)));
  EXPECT_EQ(file.string().find("13800138001"), std::string::npos) << file;
  EXPECT_FALSE(fs::exists(m_session.root() / "data" / "tavo" / "13800138001"));
}

TEST_F(DownloadFlowTest, AWholeClassDownloadsAsABatchWhileTheWindowAnswers) {
  TavoRun run;
  ASSERT_NO_FATAL_FAILURE(SignIn(run));
  const Lesson lessons[] = {kFirst, kSecond, kThird};
  // The lookups of a batch go in row order; every file comes slowly enough to be watched.
  for (const Lesson& lesson : lessons) SlowNextDownload(lesson, 60000);

  // The tool bar's "下载" enters the select mode, "全选" ticks every row, "下载" asks once.
  m_session.Click(m_view.BatchDownloadX(false), m_view.ToolBarY());
  ASSERT_TRUE(m_session.WaitForColour(m_view.SelectAllText(), kIdleText, 10, 20s)) << "no select mode";
  m_session.Click(m_view.SelectAllX(), m_view.ToolBarY());
  ASSERT_NO_FATAL_FAILURE(ConfirmLocationDialogOpenedAt(m_view.BatchDownloadX(true), m_view.ToolBarY(),
                                                        "e2e-download-batch-dialog.png"));

  // While the files come in, the manager window opens at once and lists the downloads.
  ASSERT_TRUE(WaitUntil([&] { return LastPercent(kFirst.id) >= 0; }, 30s, 50ms)) << "no percentage; log:\n"
                                                                                 << m_session.BrowserLog();
  ASSERT_NO_FATAL_FAILURE(OpenVideoManager("e2e-download-batch-running.png", 3s));

  for (const Lesson& lesson : lessons) {
    SCOPED_TRACE(lesson.video);
    ASSERT_TRUE(m_session.WaitForLog("list row " + std::string(lesson.id) + " 已下载", 60s))
        << m_session.BrowserLog();
    EXPECT_TRUE(m_session.WaitForLog("download window row " + std::string(lesson.id) + ": finished", 10s));
    const fs::path file = FindDownload(lesson);
    ASSERT_FALSE(file.empty()) << "no downloaded file named " << lesson.fileName;
    EXPECT_TRUE(ReadAll(file) == ReadAll(SchoolMedia(lesson))) << file << " differs from the school's copy";
    EXPECT_TRUE(m_session.WaitForColour(m_view.DownloadCell(lesson.row), kDisabledText, 20, 10s))
        << "the row does not say \"已下载\"";
  }
  const std::string requests = m_session.DemoRequests();
  for (const Lesson& lesson : lessons)
    EXPECT_NE(requests.find("/api/Apibook/playUri?vid=" + std::string(lesson.video)), std::string::npos);
  m_session.Screenshot("e2e-download-batch-done.png");
}

TEST_F(DownloadFlowTest, APausedDownloadResumesToTheSchoolsBytes) {
  TavoRun run;
  ASSERT_NO_FATAL_FAILURE(SignIn(run));
  SlowNextDownload(kSecond, 40000);
  ASSERT_NO_FATAL_FAILURE(StartDownload(kSecond, ""));
  ASSERT_TRUE(WaitUntil([&] { return LastPercent(kSecond.id) >= 20; }, 30s, 50ms))
      << "the download did not get to 20%; log:\n"
      << m_session.BrowserLog();

  // A click on the percentage pauses the download; part of the file is on disk.
  m_session.Click(m_view.DownloadX(), m_view.RowCentreY(kSecond.row));
  ASSERT_TRUE(m_session.WaitForLog("list row 110102 已暂停", 20s)) << m_session.BrowserLog();
  m_session.Screenshot("e2e-download-row-paused.png");
  const fs::path part = FindPartial(kSecond);
  ASSERT_FALSE(part.empty()) << "no partial file for " << kSecond.fileName;
  EXPECT_TRUE(FindDownload(kSecond).empty()) << "a half file carries the final name";
  const auto total = fs::file_size(SchoolMedia(kSecond));
  const auto partial = fs::file_size(part);
  EXPECT_GT(partial, 0u);
  EXPECT_LT(partial, total);

  // A click on "已暂停" resumes it; the file ends as the school's copy.
  const size_t paused = m_session.BrowserLog().size();
  m_session.Click(m_view.DownloadX(), m_view.RowCentreY(kSecond.row));
  ASSERT_TRUE(m_session.WaitForLog("list row 110102 已下载", 60s, paused))
      << m_session.BrowserLog().substr(paused);
  const fs::path file = FindDownload(kSecond);
  EXPECT_TRUE(ReadAll(file) == ReadAll(SchoolMedia(kSecond))) << file << " differs from the school's copy";
  EXPECT_FALSE(fs::exists(part));
  // It went on from the bytes it had, not from the start.
  EXPECT_GE(FirstPercent(kSecond.id, paused), static_cast<int>(partial * 100 / total))
      << m_session.BrowserLog().substr(paused);
}

TEST_F(DownloadFlowTest, ADownloadWhoseConnectionIsCutGoesOnToTheSchoolsBytes) {
  TavoRun run;
  ASSERT_NO_FATAL_FAILURE(SignIn(run));
  // Every answer is cut once 192 KiB of it went out: the download needs two resumes.
  constexpr std::uint64_t kSize = 500000;
  CanNextAddress(m_session.demo().origin() + "/bench/blob?size=" + std::to_string(kSize) +
                     "&rate=400000&drop_after=196608",
                 kSize);
  ASSERT_NO_FATAL_FAILURE(StartDownload(kThird, ""));
  ASSERT_TRUE(m_session.WaitForLog("list row 110103 已下载", 60s)) << m_session.BrowserLog();
  const std::string log = m_session.BrowserLog();
  EXPECT_EQ(log.find("list row 110103 下载"), std::string::npos) << "the download failed once";
  EXPECT_NE(log.find("drop_after=196608 retry 2"), std::string::npos) << "the connection was not cut twice:\n"
                                                                      << log;

  const fs::path file = FindDownload(kThird);
  ASSERT_FALSE(file.empty()) << "no downloaded file named " << kThird.fileName;
  const std::string bytes = ReadAll(file);
  ASSERT_EQ(bytes.size(), kSize);
  std::uint64_t wrong = 0;
  for (std::uint64_t i = 0; i < kSize; ++i) {
    if (static_cast<unsigned char>(bytes[i]) != static_cast<unsigned char>(i % 251 + (i >> 16))) ++wrong;
  }
  EXPECT_EQ(wrong, 0u) << "bytes differ from the school's blob";
}

TEST_F(DownloadFlowTest, APausedDownloadIsResumableAfterARestart) {
  TavoRun run;
  ASSERT_NO_FATAL_FAILURE(SignIn(run));
  SlowNextDownload(kSecond, 40000);
  ASSERT_NO_FATAL_FAILURE(StartDownload(kSecond, ""));
  ASSERT_TRUE(WaitUntil([&] { return LastPercent(kSecond.id) >= 20; }, 30s, 50ms))
      << "the download did not get to 20%; log:\n"
      << m_session.BrowserLog();
  m_session.Click(m_view.DownloadX(), m_view.RowCentreY(kSecond.row));
  ASSERT_TRUE(m_session.WaitForLog("list row 110102 已暂停", 20s)) << m_session.BrowserLog();

  ASSERT_EQ(kill(run.pid, SIGTERM), 0);
  ASSERT_TRUE(m_session.WaitForExit(run, 30s).has_value()) << "the program did not end";
  const fs::path part = FindPartial(kSecond);
  ASSERT_FALSE(part.empty()) << "no partial file for " << kSecond.fileName;
  const auto total = fs::file_size(SchoolMedia(kSecond));
  const auto partial = fs::file_size(part);
  ASSERT_GT(partial, 0u);
  ASSERT_LT(partial, total);
  const size_t restart = m_session.BrowserLog().size();

  TavoRun again;
  std::string error;
  ASSERT_TRUE(m_view.StartSignedIn(again, 3, error)) << error;
  // Nothing runs for it until the student starts it: the manager's row says paused.
  EXPECT_TRUE(m_session.WaitForLog("download window row 110102: paused", 30s, restart))
      << m_session.BrowserLog().substr(restart);
  // A pause by the student outlives the restart: nothing starts it by itself.
  EXPECT_EQ(m_session.BrowserLog().find("download of 110102 in class", restart), std::string::npos)
      << m_session.BrowserLog().substr(restart);

  // The manager window's row has a bar as long as the part on disk (232 x 4 pixels when
  // full); its "全部开始" goes on from there to the school's copy.
  ASSERT_NO_FATAL_FAILURE(OpenVideoManager("e2e-download-manager-resumable.png"));
  const Rect box = m_view.VideoManager();
  const int bar =
      CountNear("e2e-download-manager-resumable.png", {box.x + 30, box.y + 115, 250, 30}, e2e::kAccent);
  EXPECT_NEAR(bar, static_cast<int>(232 * 4 * partial / total), 60)
      << "the bar does not show the part on disk";
  m_session.Click(box.x + 289, box.y + 26);
  ASSERT_TRUE(m_session.WaitForLog("list row 110102 已下载", 60s, restart))
      << m_session.BrowserLog().substr(restart);
  EXPECT_GE(FirstPercent(kSecond.id, restart), static_cast<int>(partial * 100 / total));
  const fs::path file = FindDownload(kSecond);
  EXPECT_TRUE(ReadAll(file) == ReadAll(SchoolMedia(kSecond))) << file << " differs from the school's copy";
}

// Quitting in the middle of a download and starting again: the download goes on by itself
// from the bytes it had, without a click, to the school's copy.
TEST_F(DownloadFlowTest, AnUnfinishedDownloadGoesOnByItselfAfterARestart) {
  TavoRun run;
  ASSERT_NO_FATAL_FAILURE(SignIn(run));
  SlowNextDownload(kSecond, 40000);
  ASSERT_NO_FATAL_FAILURE(StartDownload(kSecond, ""));
  ASSERT_TRUE(WaitUntil([&] { return LastPercent(kSecond.id) >= 20; }, 30s, 50ms))
      << "the download did not get to 20%; log:\n"
      << m_session.BrowserLog();

  ASSERT_EQ(kill(run.pid, SIGTERM), 0);
  ASSERT_TRUE(m_session.WaitForExit(run, 30s).has_value()) << "the program did not end";
  const fs::path part = FindPartial(kSecond);
  ASSERT_FALSE(part.empty()) << "no partial file for " << kSecond.fileName;
  const auto total = fs::file_size(SchoolMedia(kSecond));
  const auto partial = fs::file_size(part);
  ASSERT_GT(partial, 0u);
  ASSERT_LT(partial, total);
  const size_t restart = m_session.BrowserLog().size();

  TavoRun again;
  std::string error;
  ASSERT_TRUE(m_view.StartSignedIn(again, 3, error)) << error;
  EXPECT_TRUE(m_session.WaitForLog("download of 110102 in class", 30s, restart))
      << m_session.BrowserLog().substr(restart);
  ASSERT_TRUE(m_session.WaitForLog("list row 110102 已下载", 90s, restart))
      << m_session.BrowserLog().substr(restart);
  EXPECT_GE(FirstPercent(kSecond.id, restart), static_cast<int>(partial * 100 / total));
  const fs::path file = FindDownload(kSecond);
  EXPECT_TRUE(ReadAll(file) == ReadAll(SchoolMedia(kSecond))) << file << " differs from the school's copy";
}

}  // namespace
