// A day without the school, through the real program: a student who downloaded a lesson
// and a lecture yesterday starts with the school gone, sees the main window with the
// "离线模式" banner at once, plays the lesson locally, opens the PDF and is told why an
// undownloaded lesson cannot play; when the school comes back the banner goes, the
// progress kept from yesterday reaches the school and the catalogue is refreshed. Also:
// a first start ever without the school gets the login window with a tip and no offline
// mode, and a wrong password without the school is refused there.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "CourseView.h"
#include "DownloadSteps.h"
#include "E2eSession.h"
#include "FlowSteps.h"
#include "SessionTest.h"
#include "support/Waiting.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using e2e::CourseView;
using e2e::Rect;
using e2e::TavoRun;

constexpr e2e::Rgb kDocIcon{0xB8, 0xBD, 0xC5};  // the document row's not-downloaded icon

class OfflineStartTest : public e2e::SessionTest {
 protected:
  // Downloads list row `row` (the tab on show) until the day log says "已下载" for `id`.
  fs::path Download(int row, const std::string& id, const std::string& fileName) {
    const size_t from = m_session.BrowserLog().size();
    m_steps.StartDownload(row, "");
    if (::testing::Test::HasFatalFailure()) return {};
    EXPECT_TRUE(m_session.WaitForLog("list row " + id + " 已下载", 60s, from)) << m_session.BrowserLog().substr(from);
    return m_steps.FindDownload(fileName);
  }
  // The document tab of the content bar (the card starts 16 px right of the 375-pixel tree).
  void ShowDocumentTab(const std::string& shot) {
    const Rect frame = m_view.frame();
    m_session.ClickAndLeave(frame.x + 375 + 16 + 20 + 100 + 44, frame.y + 72 + 16 + 28);
    m_session.Screenshot(shot);
  }
  // Ends the program as the desktop does at log-out, and waits for it.
  void Quit(TavoRun& run) {
    ::kill(run.pid, SIGTERM);
    ASSERT_TRUE(m_session.WaitForExit(run, 30s).has_value()) << "the program did not end";
  }
  // A position the player could not send yesterday, kept in the account's unsent queue.
  void KeepUnsentPosition(const std::string& lessonId, const std::string& seconds) {
    const fs::path db = m_session.root() / "data" / "tavo" / "lixiaoming" / "db" / "course.db";
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
    const std::string sql =
        "CREATE TABLE IF NOT EXISTS unsentProgress (seq INTEGER PRIMARY KEY AUTOINCREMENT, account TEXT NOT NULL,"
        " lessonId TEXT NOT NULL, classId TEXT, vid TEXT, seconds TEXT NOT NULL, attempts INTEGER NOT NULL DEFAULT 0,"
        " UNIQUE(account, lessonId));"
        "INSERT INTO unsentProgress(account, lessonId, classId, vid, seconds) VALUES('lixiaoming','" +
        lessonId + "','1101','v" + lessonId + "','" + seconds + "');";
    EXPECT_EQ(sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
    sqlite3_close(raw);
  }

  // The next start waits for the student at the login form instead of signing in by itself.
  void NoAutomaticSignIn() {
    const fs::path registry = m_session.root() / "config" / "tavo" / "registry.ini";
    std::ifstream in(registry);
    std::stringstream text;
    text << in.rdbuf();
    std::string content = text.str();
    const size_t at = content.find("autoLogin=1");
    ASSERT_NE(at, std::string::npos) << content;
    content.replace(at, 11, "autoLogin=0");
    std::ofstream(registry, std::ios::trunc) << content;
  }

  CourseView m_view{m_session};
  e2e::DownloadSteps m_steps{m_session, m_view};
};

TEST_F(OfflineStartTest, ADayWithoutTheSchoolAndTheCatchUpWhenItReturns) {
  if (!m_session.NoKeyring().empty()) GTEST_SKIP() << "the remembered password needs a keyring: " << m_session.NoKeyring();
  // Yesterday: signed in (password remembered), one lesson and one lecture downloaded.
  TavoRun yesterday;
  std::string error;
  ASSERT_TRUE(m_view.SignIn(yesterday, "lixiaoming", "xm123456", 3, error)) << error;
  const fs::path lesson = Download(0, "110101", "片段阅读：主旨概括题.mp4");
  ASSERT_FALSE(lesson.empty());
  ASSERT_TRUE(WaitUntil(
      [&] {
        ShowDocumentTab("e2e-offline-start-documents.png");
        return m_steps.CountNear("e2e-offline-start-doc-wait.png",
                                 {m_view.PlayX() - 40, m_view.RowCentreY(0) - 30, 80, 60}, kDocIcon) >= 20;
      },
      30s, 2s))
      << "the document tab did not show its rows";
  const fs::path lecture = Download(0, "jy110101", "言语理解讲义（上）.pdf");
  ASSERT_FALSE(lecture.empty());
  ASSERT_NO_FATAL_FAILURE(Quit(yesterday));
  ASSERT_NO_FATAL_FAILURE(KeepUnsentPosition("110102", "321"));

  // Today: no school.
  m_session.StopSchool();
  const size_t from = m_session.BrowserLog().size();
  const auto started = std::chrono::steady_clock::now();
  TavoRun today;
  ASSERT_TRUE(m_view.StartSignedIn(today, 3, error)) << error;
  const auto shown = std::chrono::steady_clock::now() - started;
  ASSERT_TRUE(m_session.WaitForLog("offline banner shown: 离线模式", 5s, from)) << m_session.BrowserLog().substr(from);
  std::printf("start -> lesson list drawn offline: %.2f s\n", std::chrono::duration<double>(shown).count());
  m_session.Screenshot("e2e-offline-start-main.png");

  // The downloaded lesson plays locally.
  size_t before = m_session.BrowserLog().size();
  m_session.ClickAndLeave(m_view.PlayX(), m_view.RowCentreY(0));
  ASSERT_TRUE(m_session.WaitForLog("PlayLocal classid:1101 vid:v110101 file:" + lesson.string(), 20s, before))
      << m_session.BrowserLog().substr(before);
  const std::string player = m_session.WaitForWindow("videoLocalPlayDlgClass", 30s);
  ASSERT_FALSE(player.empty()) << m_session.BrowserLog().substr(before);
  m_session.Screenshot("e2e-offline-start-player.png");
  const Rect box = m_session.Geometry(player).value_or(Rect{});
  ASSERT_TRUE(e2e::ClosePlayer(m_session, box, error, "videoLocalPlayDlgClass")) << error;

  // A lesson not downloaded: the offline tip, no online player.
  before = m_session.BrowserLog().size();
  m_session.ClickAndLeave(m_view.PlayX(), m_view.RowCentreY(1));
  EXPECT_TRUE(m_session.WaitForLog("offline tip: 离线模式：该课程未下载", 10s, before))
      << m_session.BrowserLog().substr(before);
  EXPECT_TRUE(m_session.FindWindows("videoPlayDlgClass").empty()) << "the online player opened";

  // The downloaded lecture opens in the viewer.
  ShowDocumentTab("e2e-offline-start-doc-tab.png");
  before = m_session.BrowserLog().size();
  ASSERT_TRUE(WaitUntil(
      [&] {
        m_session.ClickAndLeave(m_view.PlayX(), m_view.RowCentreY(0));
        return m_session.WaitForLog("LookDoc classid:1101 id:jy110101", 3s, before);
      },
      20s, 500ms))
      << m_session.BrowserLog().substr(before);
  EXPECT_FALSE(m_session.WaitForWindow("lookDocDlgClass", 30s).empty()) << "no document viewer";
  m_session.Screenshot("e2e-offline-start-viewer.png");

  // The school returns: the banner goes, the kept position reaches it, the lists refresh.
  ASSERT_TRUE(m_session.RestartSchool()) << m_session.error();
  before = m_session.BrowserLog().size();
  ASSERT_TRUE(m_session.WaitForLog("offline banner gone", 90s, before)) << m_session.BrowserLog().substr(before);
  EXPECT_TRUE(m_session.WaitForLog("catalogue refresh class 1101", 30s, before))
      << m_session.BrowserLog().substr(before);
  EXPECT_TRUE(WaitUntil(
      [&] {
        const std::string requests = m_session.DemoRequests();
        return requests.find("learnProgress") != std::string::npos &&
               requests.find("learnedDuration=321") != std::string::npos &&
               requests.find("lessonId=110102") != std::string::npos;
      },
      30s, 500ms))
      << m_session.DemoRequests();
  m_session.Screenshot("e2e-offline-start-back-online.png");
}

// A hotel's portal that answers every address with its own page: the program counts it as
// no network, opens offline, and catches up once the real school answers again.
TEST_F(OfflineStartTest, ACaptivePortalPageCountsAsNoNetwork) {
  if (!m_session.NoKeyring().empty()) GTEST_SKIP() << "the remembered password needs a keyring: " << m_session.NoKeyring();
  TavoRun yesterday;
  std::string error;
  ASSERT_TRUE(m_view.SignIn(yesterday, "lixiaoming", "xm123456", 3, error)) << error;
  ASSERT_NO_FATAL_FAILURE(Quit(yesterday));

  m_session.DemoPost("/__test/canned",
                     R"({"path":"/api/login","status":200,"contentType":"text/html; charset=utf-8",)"
                     R"("body":"<html><body>请先在本页登录热点</body></html>"})");
  const size_t from = m_session.BrowserLog().size();
  TavoRun today;
  ASSERT_TRUE(m_view.StartSignedIn(today, 3, error)) << error;
  ASSERT_TRUE(m_session.WaitForLog("offline banner shown: 离线模式", 10s, from)) << m_session.BrowserLog().substr(from);
  m_session.Screenshot("e2e-offline-captive-portal.png");

  // The portal lets the computer through: the school's own answer ends the offline time.
  m_session.DemoPost("/__test/reset", "{}");
  EXPECT_TRUE(m_session.WaitForLog("offline banner gone", 90s, from)) << m_session.BrowserLog().substr(from);
  EXPECT_NE(m_session.DemoRequests().find("/api/login"), std::string::npos);
}

TEST_F(OfflineStartTest, AFirstStartWithoutTheSchoolShowsTheLoginWindowWithATip) {
  m_session.StopSchool();
  TavoRun run = m_session.Launch();
  const std::string login = m_session.WaitForWindow("loginBackDlgClass", 60s);
  ASSERT_FALSE(login.empty());
  const Rect form = e2e::LoginFormRect(m_session.Geometry(login).value_or(Rect{}));
  ASSERT_TRUE(m_session.WaitForColour({form.x + 87, form.y + 70, 36, 2}, e2e::kAccent, 50, 60s));
  m_session.Click(form.x + 190, form.y + 132);
  m_session.Type("lixiaoming");
  m_session.Click(form.x + 150, form.y + 196);
  m_session.Type("xm123456");
  m_session.Click(form.x + 180, form.y + 322);
  EXPECT_TRUE(m_session.WaitForLog("no offline start: this account never signed in here", 30s))
      << m_session.BrowserLog();
  EXPECT_FALSE(m_session.WaitForLog("offline banner shown", 2s));
  EXPECT_TRUE(m_session.FindWindows("mainDlgClass").empty()) << "a main window opened without any sign-in";
  m_session.Screenshot("e2e-offline-first-start.png");
}

// Never a way around a wrong password: with the school gone, a password other than the one
// of the last sign-in here is refused on the login window, which says why, and nothing of
// the account opens.
TEST_F(OfflineStartTest, AWrongPasswordWithoutTheSchoolIsRefusedOnTheLoginWindow) {
  if (!m_session.NoKeyring().empty()) GTEST_SKIP() << "the remembered password needs a keyring: " << m_session.NoKeyring();
  TavoRun yesterday;
  std::string error;
  ASSERT_TRUE(m_view.SignIn(yesterday, "lixiaoming", "xm123456", 3, error)) << error;
  ASSERT_NO_FATAL_FAILURE(Quit(yesterday));
  ASSERT_NO_FATAL_FAILURE(NoAutomaticSignIn());

  m_session.StopSchool();
  const size_t from = m_session.BrowserLog().size();
  TavoRun today = m_session.Launch();
  const std::string login = m_session.WaitForWindow("loginBackDlgClass", 60s);
  ASSERT_FALSE(login.empty());
  const Rect form = e2e::LoginFormRect(m_session.Geometry(login).value_or(Rect{}));
  ASSERT_TRUE(m_session.WaitForColour({form.x + 87, form.y + 70, 36, 2}, e2e::kAccent, 50, 60s));
  m_session.Click(form.x + 190, form.y + 132);
  m_session.Key("ctrl+a BackSpace");
  m_session.Type("lixiaoming");
  m_session.Click(form.x + 150, form.y + 196);
  m_session.Key("ctrl+a BackSpace");
  m_session.Type("xm654321");
  m_session.Click(form.x + 180, form.y + 322);
  EXPECT_TRUE(m_session.WaitForLog("login tip: 无法连接学校，且密码与本机上次登录时不同", 30s, from))
      << m_session.BrowserLog().substr(from);
  EXPECT_TRUE(m_session.WaitForLog("offline start refused: the password differs from the last sign-in here", 1s, from));
  m_session.Screenshot("e2e-offline-wrong-password.png");
  EXPECT_FALSE(m_session.WaitForLog("offline banner shown", 2s, from));
  EXPECT_TRUE(m_session.FindWindows("mainDlgClass").empty()) << "a main window opened with a wrong password";
  EXPECT_FALSE(m_session.FindWindows("loginBackDlgClass").empty()) << "the login window went";
  // The form is ready for the right password: its button is not left busy.
  EXPECT_TRUE(m_session.WaitForColour({form.x + 87, form.y + 70, 36, 2}, e2e::kAccent, 50, 5s));
  ASSERT_NO_FATAL_FAILURE(Quit(today));
}

}  // namespace
