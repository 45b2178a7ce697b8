// The program from the outside: sign-in with password and SMS code up to the main window,
// a refused password's tip, one program per user, and leaving from the login window.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "E2eSession.h"
#include "support/Waiting.h"

namespace {

using namespace std::chrono_literals;
using e2e::E2eSession;
using e2e::Rect;
using e2e::TavoRun;

constexpr auto kWindowLimit = 60s;
// The orange of the form's tip text (#FF854D).
constexpr e2e::Rgb kTipOrange{0xFF, 0x85, 0x4D};

class SignInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v xdotool >/dev/null && command -v import >/dev/null && command -v Xvfb >/dev/null") != 0)
      GTEST_SKIP() << "xdotool, ImageMagick or Xvfb missing";
    ASSERT_TRUE(m_session.Start()) << m_session.error();
  }

  // Starts tavo and waits for its login window to be drawn; the login form's rectangle.
  Rect StartAtLoginForm(TavoRun& run, const std::vector<std::string>& args = {}) {
    run = m_session.Launch(args);
    std::string frame = m_session.WaitForWindow("loginBackDlgClass", kWindowLimit);
    EXPECT_FALSE(frame.empty()) << "no login window; output:\n" << m_session.Output(run);
    if (frame.empty()) return {};
    m_frame = m_session.Geometry(frame).value_or(Rect{});
    EXPECT_EQ(m_frame.width, 1366);
    EXPECT_EQ(m_frame.height, 768);
    const Rect form = e2e::LoginFormRect(m_frame);
    // The form is a layer drawn after the frame: wait until it shows, idle, before a click.
    EXPECT_TRUE(WaitForIdleForm(form, TabLine::kAccount)) << "the login form was not drawn";
    return form;
  }

  // The orange line under the selected tab shows once the form is drawn and while no
  // request covers it with the busy layer.
  enum class TabLine { kAccount, kSms };
  bool WaitForIdleForm(const Rect& form, TabLine tab) {
    const Rect line{form.x + (tab == TabLine::kAccount ? 87 : 237), form.y + 70, 36, 2};
    return m_session.WaitForColour(line, kTipOrange, 50, kWindowLimit);
  }

  // A point of the login form, in form coordinates.
  void ClickForm(const Rect& form, int x, int y) { m_session.Click(form.x + x, form.y + y); }

  void SignInWithPassword(const Rect& form, const std::string& user, const std::string& password) {
    ClickForm(form, 190, 132);  // "usrname"
    m_session.Type(user);
    ClickForm(form, 150, 196);  // "pass"
    m_session.Type(password);
    ClickForm(form, 180, 322);  // "login"
  }

  // The main window is there and has loaded the catalogue.
  void ExpectMainWindow(const TavoRun& run) {
    EXPECT_FALSE(m_session.WaitForWindow("mainDlgClass", kWindowLimit).empty())
        << "no main window; output:\n" << m_session.Output(run) << "\nlog:\n" << m_session.BrowserLog();
    EXPECT_TRUE(m_session.WaitForLog("init gSubjectList data", 20s)) << m_session.BrowserLog();
    EXPECT_TRUE(m_session.WaitForNoWindow("loginBackDlgClass", 10s)) << "login window still shown";
  }

  // Second starts end before the day log opens: it holds the first start's lines only.
  void ExpectOneStartInTheLog() {
    std::string log = m_session.BrowserLog();
    size_t first = log.find("_tWinMain start");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("_tWinMain start", first + 1), std::string::npos) << log;
  }

  E2eSession m_session;
  Rect m_frame;
};

TEST_F(SignInTest, PasswordSignInOpensTheMainWindow) {
  TavoRun run;
  Rect form = StartAtLoginForm(run);
  ASSERT_GT(form.width, 0);
  m_session.Screenshot("e2e-login.png");
  SignInWithPassword(form, "lixiaoming", "xm123456");
  ExpectMainWindow(run);
  // The selected tab of the title band is drawn in orange once the main window painted.
  const Rect titleBand{m_frame.x, m_frame.y, m_frame.width, 72};
  EXPECT_TRUE(m_session.WaitForColour(titleBand, kTipOrange, 50, kWindowLimit)) << "main window not drawn";
  m_session.Screenshot("e2e-main.png");
  EXPECT_NE(m_session.DemoRequests().find("username=lixiaoming"), std::string::npos);
}

TEST_F(SignInTest, SmsSignInOpensTheMainWindow) {
  TavoRun run;
  Rect form = StartAtLoginForm(run);
  ASSERT_GT(form.width, 0);
  ClickForm(form, 255, 50);  // tab "smsLogin"
  ClickForm(form, 190, 132);
  m_session.Type("13800138001");
  ClickForm(form, 287, 196);  // "getSmsCode"
  ASSERT_TRUE(WaitUntil([&] { return m_session.DemoRequests().find("sendCaptcha2") != std::string::npos; },
                        kWindowLimit, 100ms))
      << "no SMS code requested";
  // The busy layer covers the form until the answer is in.
  ASSERT_TRUE(WaitForIdleForm(form, TabLine::kSms)) << "the form stayed busy";
  ClickForm(form, 150, 196);
  m_session.Type("123456");
  ClickForm(form, 180, 322);
  ExpectMainWindow(run);
  EXPECT_NE(m_session.DemoRequests().find("/api/login/smslogin"), std::string::npos);
}

TEST_F(SignInTest, WrongPasswordShowsTheTipAndStaysAtTheLoginWindow) {
  TavoRun run;
  Rect form = StartAtLoginForm(run);
  ASSERT_GT(form.width, 0);
  // The tip row of the form ("lbErrorTip", y 226..248).
  const Rect tipRow{form.x + 30, form.y + 226, 300, 22};
  EXPECT_EQ(e2e::E2eSession::CountPixelsNear(m_session.Screenshot("e2e-before-tip.png"), tipRow, kTipOrange, 40), 0)
      << "orange in the tip row before any sign-in";

  SignInWithPassword(form, "lixiaoming", "not-the-password");
  // The tip shows for 3 s: look for its orange text while it is there.
  int orange = 0;
  auto deadline = std::chrono::steady_clock::now() + 15s;
  while (orange < 20 && std::chrono::steady_clock::now() < deadline) {
    orange = e2e::E2eSession::CountPixelsNear(m_session.Screenshot("e2e-tip.png"), tipRow, kTipOrange, 40);
  }
  EXPECT_GE(orange, 20) << "no orange tip text in the tip row";
  EXPECT_NE(m_session.DemoRequests().find("/api/login"), std::string::npos);
  EXPECT_TRUE(m_session.FindWindows("mainDlgClass").empty());
  EXPECT_EQ(m_session.FindWindows("loginBackDlgClass").size(), 1u);
}

TEST_F(SignInTest, SecondStartWhileTheMainWindowIsOpenEndsAtOnce) {
  TavoRun first;
  Rect form = StartAtLoginForm(first);
  ASSERT_GT(form.width, 0);
  SignInWithPassword(form, "lixiaoming", "xm123456");
  ExpectMainWindow(first);
  // Take the main window off the screen behind the program's back: the second start must
  // bring it back.
  std::string main = m_session.WaitForWindow("mainDlgClass", 5s);
  m_session.Unmap(main);
  ASSERT_TRUE(m_session.WaitForNoWindow("mainDlgClass", 10s));

  TavoRun second = m_session.Launch();
  std::optional<int> status = m_session.WaitForExit(second, 20s);
  ASSERT_TRUE(status.has_value()) << "second start did not end";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
  // At once: well before the web port's 5 s guard could have ended it.
  EXPECT_LT(std::chrono::steady_clock::now() - second.started, 4s);
  EXPECT_FALSE(m_session.WaitForExit(first, 0ms).has_value()) << "the running program ended";
  EXPECT_FALSE(m_session.WaitForWindow("mainDlgClass", 10s).empty()) << "main window not brought back";
  EXPECT_EQ(m_session.FindWindows("mainDlgClass").size(), 1u);
  EXPECT_TRUE(m_session.FindWindows("loginBackDlgClass").empty()) << "the second start showed a window";
  ExpectOneStartInTheLog();
}

TEST_F(SignInTest, SecondStartWhileTheFirstIsAtItsLoginWindowEndsAfterThePortGuard) {
  TavoRun first;
  ASSERT_GT(StartAtLoginForm(first).width, 0);

  TavoRun second = m_session.Launch();
  std::optional<int> status = m_session.WaitForExit(second, 30s);
  ASSERT_TRUE(status.has_value()) << "second start did not end";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
  auto took = std::chrono::steady_clock::now() - second.started;
  EXPECT_GE(took, 4500ms);
  EXPECT_LT(took, 20s);
  EXPECT_EQ(m_session.FindWindows("loginBackDlgClass").size(), 1u);
  EXPECT_FALSE(m_session.WaitForExit(first, 0ms).has_value()) << "the running program ended";
  ExpectOneStartInTheLog();
}

TEST_F(SignInTest, ClosingTheLoginWindowEndsTheProgramInOrder) {
  // A service that takes the connection and never answers: the start-up usage report is
  // still waiting for it when the user leaves, and leaving must not wait with it.
  int silent = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(silent, 8), 0);
  getsockname(silent, reinterpret_cast<sockaddr*>(&address), &size);
  const std::string silentOrigin = "--api-origin=http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));

  struct Case {
    const char* name;
    std::vector<std::string> args;
    bool reportStillRunning;
  };
  const Case cases[] = {{"service answers", {}, false}, {"service never answers", {silentOrigin}, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TavoRun run;
    ASSERT_GT(StartAtLoginForm(run, c.args).width, 0);
    // "closebtn": the last 32 x 32 title button, 20 px from the right edge, 20 px down.
    auto clicked = std::chrono::steady_clock::now();
    m_session.Click(m_frame.x + m_frame.width - 36, m_frame.y + 36);
    std::optional<int> status = m_session.WaitForExit(run, 30s);
    ASSERT_TRUE(status.has_value()) << "the program did not end";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << *status;
    EXPECT_LT(std::chrono::steady_clock::now() - clicked, 10s);
    std::string log = m_session.BrowserLog();
    const std::string endLine = "]:*************_tWinMain end*************\r\n";
    ASSERT_GE(log.size(), endLine.size());
    EXPECT_EQ(log.substr(log.size() - endLine.size()), endLine) << log;
    EXPECT_NE(log.find("*************_tWinMain start*************"), std::string::npos);
    EXPECT_EQ(log.find("usage report still running at exit") != std::string::npos, c.reportStillRunning) << log;
  }
  close(silent);
}

}  // namespace
