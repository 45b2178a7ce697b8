// Watching a lesson online, from outside the program: the row's ▶ opens the player
// window, the page gets its play authorisation and plays the school's video, closing the
// player reports the learned position to the school, and the row shows the new progress.
// "下一个" reports the old lesson before the next one plays, and closing brings the main
// window back in front; a video service fault shows the error panel and its retry plays
// once the fault is gone; a question reaches the school, or says it did not.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "CourseView.h"
#include "DownloadSteps.h"
#include "E2eSession.h"
#include "FlowSteps.h"
#include "SessionTest.h"
#include "support/ChildProcess.h"
#include "support/Waiting.h"

namespace {

using namespace std::chrono_literals;
using e2e::CourseView;
using e2e::E2eSession;
using e2e::Rect;
using e2e::Rgb;
using e2e::TavoRun;

constexpr Rgb kWhite{0xFF, 0xFF, 0xFF};
constexpr Rgb kMarker{0xFF, 0xAB, 0x84};      // "正在观看"
constexpr Rgb kCodeInk{0xB0, 0xB3, 0xB8};     // the error panel's code
constexpr Rgb kErrorCard{0x20, 0x22, 0x26};   // the error panel
constexpr Rgb kSubmit{0xFF, 0x4C, 0x02};      // the question window's enabled submit button
constexpr Rgb kResultPill{0x2B, 0x2F, 0x38};  // the question window's one-second result
constexpr Rgb kPageAccent{0x2F, 0x8C, 0xFF};  // the player page's own buttons

// The player's layers (video_*.xml, placed by the overlay layout) and the question window
// (up_video_question_dlg.xml), in screen coordinates.
Rect TitleClose(const Rect& player) { return {player.x + player.width - 44, player.y + 16, 24, 24}; }
// The side panel: 103 x 240 on the right edge, centred; rows of 48 for download, previous,
// next, bookmark and feedback.
enum SideRow { kDownloadRow = 0, kPreviousRow, kNextRow, kBookmarkRow, kFeedbackRow };
Rect SideButton(const Rect& player, SideRow row) {
  return {player.x + player.width - 103, player.y + (player.height - 240) / 2 + 48 * row, 103, 48};
}
Rect ErrorPanel(const Rect& player) {
  return {player.x + (player.width - 485) / 2, player.y + (player.height - 482) / 2, 485, 482};
}
Rect RetryButton(const Rect& panel) { return {panel.x + 175, panel.y + 388, 134, 44}; }
Rect ErrorCode(const Rect& panel) { return {panel.x + 232, panel.y + 320, 90, 28}; }
Rect EndCaptions(const Rect& player) {
  return {player.x + (player.width - 514) / 2, player.y + (player.height - 144) / 2 + 120, 514, 24};
}
Rect FirstCategory(const Rect& q) { return {q.x + 26, q.y + 90, 120, 38}; }
Rect QuestionText(const Rect& q) { return {q.x + 26, q.y + 196, 457, 126}; }
Rect SubmitButton(const Rect& q) { return {q.x + 26, q.y + 346, 457, 45}; }
// The result's dark pill (84..425 across) reaches left of the busy picture (160..348),
// which is dark too: only that part tells the result from the busy state.
Rect ResultPillEnd(const Rect& q) { return {q.x + 110, q.y + 200, 45, 36}; }
Rect QuestionClose(const Rect& q) { return {q.x + 459, q.y + 12, 32, 32}; }

int CentreX(const Rect& r) { return r.x + r.width / 2; }
int CentreY(const Rect& r) { return r.y + r.height / 2; }

// Another client's window (xmessage) on the screen until the test ends: something the
// main window must come back above.
class OtherClientWindow {
 public:
  explicit OtherClientWindow(const Rect& where) {
    const std::string geometry = std::to_string(where.width) + "x" + std::to_string(where.height) + "+" +
                                 std::to_string(where.x) + "+" + std::to_string(where.y);
    m_pid = fork();
    if (m_pid == 0) {
      execlp("xmessage", "xmessage", "-name", "e2e-other-client", "-geometry", geometry.c_str(),
             "other client", static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~OtherClientWindow() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
  }
  OtherClientWindow(const OtherClientWindow&) = delete;
  OtherClientWindow& operator=(const OtherClientWindow&) = delete;

 private:
  pid_t m_pid = -1;
};

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PlayFlowTest : public e2e::SessionTest {
 protected:
  // Signs in to class 1101 (three short lessons, none started) and plays lesson `row`.
  void SignInAndPlay(TavoRun& run, int row, const std::string& vid) {
    std::string error;
    ASSERT_TRUE(m_view.SignIn(run, "lixiaoming", "xm123456", 3, error)) << error;
    m_main = m_session.WaitForWindow("mainDlgClass", 10s);
    Play(row, vid);
  }

  // Clicks ▶ of lesson `row` and waits until the page starts playing `vid`; the player's
  // window and place land in m_player and m_box.
  void Play(int row, const std::string& vid) {
    const size_t from = m_session.BrowserLog().size();
    m_session.Click(m_view.PlayX(), m_view.RowCentreY(row));
    m_player = m_session.WaitForWindow("videoPlayDlgClass", 60s);
    ASSERT_FALSE(m_player.empty()) << "no player window; log:\n" << m_session.BrowserLog();
    ASSERT_TRUE(m_session.WaitForLog("VideoPlayDlg playVideoStart vid:" + vid, 60s, from))
        << "the page did not start playing; log:\n"
        << m_session.BrowserLog();
    m_box = m_session.Geometry(m_player).value_or(Rect{});
    ASSERT_GT(m_box.width, 400);
  }

  // Whether the picture (away from the title bar and the side panel) changes `changes`
  // times within 30 s. Several changes, each a screenshot apart, mean the video has played
  // for a second or more: enough for a learned position of at least 1 s.
  bool PictureMoves(int changes = 4) {
    return e2e::PictureChanges(m_session, {m_box.x + 60, m_box.y + 160, 300, m_box.height - 320}, changes, 200ms);
  }

  // Moves the pointer over the page until the title bar shows (its white close cross), and
  // with it, while a lesson plays, the side panel.
  bool ShowOverlays() {
    const Rect close = TitleClose(m_box);
    int step = 0;
    return WaitUntil(
        [&] {
          ++step;
          m_session.MoveTo(close.x - 200 - 10 * (step % 2), close.y + 200 + 10 * (step % 2));
          return E2eSession::CountPixelsNear(m_session.Screenshot("e2e-play-wait.png"), close, kWhite, 40) >=
                 10;
        },
        20s, 200ms);
  }

  void ClickSide(SideRow row) {
    const Rect button = SideButton(m_box, row);
    m_session.Click(CentreX(button), CentreY(button));
  }

  // Closes the player with the title bar's close button.
  void ClosePlayer() {
    ASSERT_TRUE(ShowOverlays()) << "the title bar's close button did not show";
    const Rect close = TitleClose(m_box);
    m_session.Click(CentreX(close), CentreY(close));
    ASSERT_TRUE(m_session.WaitForNoWindow("videoPlayDlgClass", 20s)) << "the player stayed";
  }

  // The seconds of the first report of `vid` the school accepted, logged after byte
  // `from`; -1 when none comes within 20 s.
  int AcceptedReport(const std::string& vid, size_t from) {
    const std::regex line("UpdateLearnProgress classid:1101 vid:" + vid + " duration:([0-9]+)");
    std::smatch match;
    std::string log;
    bool found = WaitUntil(
        [&] {
          log = m_session.BrowserLog();
          return log.size() > from &&
                 std::regex_search(log.cbegin() + static_cast<std::ptrdiff_t>(from), log.cend(), match, line);
        },
        20s, 100ms);
    return found ? std::atoi(match[1].str().c_str()) : -1;
  }

  // The row of `vid` showed a new progress after byte `from` of the log, and not "未学习".
  void ExpectRowProgress(const std::string& vid, size_t from) {
    ASSERT_TRUE(m_session.WaitForLog("lesson row " + vid + " progress ", 20s, from))
        << m_session.BrowserLog();
    const std::string log = m_session.BrowserLog();
    EXPECT_EQ(log.find("lesson row " + vid + " progress 未学习", from), std::string::npos) << log;
  }

  // Opens the question window from the side panel, picks the first category and types
  // `text`; the window, with its place in `q`.
  std::string OpenQuestion(const std::string& text, Rect& q) {
    EXPECT_TRUE(ShowOverlays()) << "the side panel did not show";
    ClickSide(kFeedbackRow);
    const std::string window = m_session.WaitForWindow("upVideoQuestionDlgClass", 20s);
    if (window.empty()) return window;
    q = m_session.Geometry(window).value_or(Rect{});
    // The form is drawn once its grey submit button shows; a category and a text enable it.
    EXPECT_TRUE(m_session.WaitForColour(SubmitButton(q), {0xF5, 0xF5, 0xF5}, 5000, 20s));
    m_session.Click(CentreX(FirstCategory(q)), CentreY(FirstCategory(q)));
    m_session.Click(CentreX(QuestionText(q)), CentreY(QuestionText(q)));
    m_session.Type(text);
    EXPECT_TRUE(m_session.WaitForColour(SubmitButton(q), kSubmit, 5000, 20s)) << "submit stayed disabled";
    return window;
  }

  // Whether the one-second result shows over the question window within 20 s.
  bool WaitForResult(const Rect& q) { return m_session.WaitForColour(ResultPillEnd(q), kResultPill, 1200, 20s); }

  // The questions the demo school stored for its accounts.
  std::string StoredQuestions() {
    std::string all;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_session.root() / "demo", ec)) {
      if (entry.path().filename() == "feedback.json") all += ReadText(entry.path());
    }
    return all;
  }

  CourseView m_view{m_session};
  std::string m_main;
  std::string m_player;
  Rect m_box;
};

TEST_F(PlayFlowTest, PlayingALessonReportsTheLearnedPositionAndTheRowShowsIt) {
  TavoRun run;
  SignInAndPlay(run, 0, "v110101");
  if (HasFatalFailure()) return;
  EXPECT_NE(m_session.DemoRequests().find("/api/Apibook/playAuth?vid=v110101"), std::string::npos);
  // The player opens at its real size (its skin's minimum), centred over the main window.
  const Rect frame = m_view.frame();
  EXPECT_NEAR(CentreX(m_box), CentreX(frame), 1);
  EXPECT_NEAR(CentreY(m_box), CentreY(frame), 1);
  m_session.Screenshot("e2e-play-player.png");
  EXPECT_TRUE(PictureMoves()) << "the picture did not change";

  ASSERT_TRUE(ShowOverlays()) << "the title bar's close button did not show";
  m_session.Screenshot("e2e-play-player-overlays.png");
  ClosePlayer();
  if (HasFatalFailure()) return;

  // The school received the position the page reported, and the row shows it.
  const int seconds = AcceptedReport("v110101", 0);
  ASSERT_GE(seconds, 1) << "no accepted report of a started video; log:\n" << m_session.BrowserLog();
  const std::string requests = m_session.DemoRequests();
  EXPECT_NE(requests.find("learnedDuration=" + std::to_string(seconds)), std::string::npos) << requests;
  EXPECT_NE(requests.find("lessonId=110101"), std::string::npos) << requests;
  ExpectRowProgress("110101", 0);
  m_session.Screenshot("e2e-play-list-after.png");
}

TEST_F(PlayFlowTest, TheSidePanelsDownloadButtonDownloadsThePlayingLesson) {
  TavoRun run;
  SignInAndPlay(run, 0, "v110101");
  if (HasFatalFailure()) return;
  const size_t from = m_session.BrowserLog().size();
  // The side panel's "下载" asks for the location as a row's "下载" does.
  ASSERT_TRUE(ShowOverlays()) << "the side panel did not show";
  ClickSide(kDownloadRow);
  const Rect box = m_view.LocationDialog();
  const Rect ok{box.x + box.width - 137, box.y + box.height - 67, 104, 38};
  const bool asked = m_session.WaitForColour(ok, e2e::kAccent, 1000, 30s);
  if (!asked) m_session.Screenshot("e2e-play-download-no-dialog.png");
  ASSERT_TRUE(asked) << "no location dialog; log:\n" << m_session.BrowserLog().substr(from);
  m_session.Screenshot("e2e-play-download-dialog.png");
  m_session.Click(CentreX(ok), CentreY(ok));
  EXPECT_NE(m_session.DemoRequests().find("/api/Apibook/playUri?vid=v110101"), std::string::npos);
  // The lesson's row follows the download to its end, and the file is the school's.
  ASSERT_TRUE(m_session.WaitForLog("list row 110101 已下载", 60s, from))
      << m_session.BrowserLog().substr(from);
  ClosePlayer();
  if (HasFatalFailure()) return;
  e2e::DownloadSteps downloads(m_session, m_view);
  const std::filesystem::path file = downloads.FindDownload("片段阅读：主旨概括题.mp4");
  ASSERT_FALSE(file.empty()) << "no downloaded file";
  EXPECT_EQ(ReadText(file), ReadText(e2e::SchoolMedia("v110101")));
  ASSERT_NO_FATAL_FAILURE(downloads.OpenVideoManager("e2e-play-download-manager.png"));
}

TEST_F(PlayFlowTest, NextLessonReportsTheOldOneAndClosingBringsTheMainWindowToTheFront) {
  TavoRun run;
  SignInAndPlay(run, 0, "v110101");
  if (HasFatalFailure()) return;
  ASSERT_FALSE(m_main.empty());
  ASSERT_TRUE(PictureMoves()) << "the first lesson does not play";

  // "下一个": the first lesson's position goes to the school before the second plays.
  size_t from = m_session.BrowserLog().size();
  ASSERT_TRUE(ShowOverlays()) << "the side panel did not show";
  m_session.Screenshot("e2e-play-side-panel.png");
  ClickSide(kNextRow);
  const int first = AcceptedReport("v110101", from);
  ASSERT_GE(first, 1) << "no accepted report of the first lesson; log:\n" << m_session.BrowserLog();
  ASSERT_TRUE(m_session.WaitForLog("VideoPlayDlg playVideoStart vid:v110102", 60s, from))
      << "the next lesson did not play; log:\n"
      << m_session.BrowserLog();
  std::string requests = m_session.DemoRequests();
  EXPECT_NE(requests.find("learnedDuration=" + std::to_string(first)), std::string::npos) << requests;
  EXPECT_NE(requests.find("/api/Apibook/playAuth?vid=v110102"), std::string::npos) << requests;
  ExpectRowProgress("110101", from);

  // The list behind the player (moved below its first rows): the marker is on the second
  // row now and gone from the first.
  m_session.MoveResize(m_player, {m_box.x, 480, m_box.width, m_box.height});
  ASSERT_TRUE(WaitUntil([&] { return m_session.Geometry(m_player).value_or(Rect{}).y == 480; }, 10s, 100ms));
  m_box = m_session.Geometry(m_player).value_or(Rect{});
  EXPECT_TRUE(m_session.WaitForColour(m_view.MarkerCell(1), kMarker, 15, 20s))
      << "no marker on the second row";
  const auto list = m_session.Screenshot("e2e-play-next-list.png");
  EXPECT_EQ(E2eSession::CountPixelsNear(list, m_view.MarkerCell(0), kMarker, 12), 0) << "the marker stayed";

  // The second lesson (12 s from its start) plays to its end: the end panel.
  ASSERT_TRUE(m_session.WaitForLog("VideoPlayDlg::OnJsPlayVideoEnd enter", 60s, from))
      << m_session.BrowserLog();
  EXPECT_TRUE(WaitUntil(
      [&] {
        return E2eSession::CountPixelsNear(m_session.Screenshot("e2e-play-end.png"), EndCaptions(m_box),
                                           kWhite, 40) >= 20;
      },
      10s, 200ms))
      << "no end panel captions";
  // Only the window's end panel: the page's own replay button does not show through it.
  const Rect endPanel{EndCaptions(m_box).x, EndCaptions(m_box).y - 120, 514, 144};
  EXPECT_LT(E2eSession::CountPixelsNear(m_session.Screenshot("e2e-play-end.png"), endPanel, kPageAccent, 30),
            50);

  // Closing: the second lesson's position is reported and shown, and the main window
  // comes to the front. Without a window manager that is the X input focus and a place
  // above every other window, here another client's window put over the main window's
  // tree: the program sets both itself when it presents the window.
  OtherClientWindow other({m_view.frame().x + 20, m_view.frame().y + 100, 300, 200});
  const std::string otherWindow = m_session.WaitForWindow("e2e-other-client", 10s);
  ASSERT_FALSE(otherWindow.empty()) << "xmessage did not show";
  std::vector<std::string> stack = m_session.StackingTopFirst();
  auto place = [&](const std::string& window) {
    return std::find(stack.begin(), stack.end(), window) - stack.begin();
  };
  ASSERT_LT(place(otherWindow), place(m_main)) << "the other client's window is not above the main window";
  from = m_session.BrowserLog().size();
  ClosePlayer();
  if (HasFatalFailure()) return;
  m_session.MoveTo(1919, 1079);  // no tooltip of the list over the main window
  EXPECT_GE(AcceptedReport("v110102", from), 1) << m_session.BrowserLog();
  ExpectRowProgress("110102", from);
  EXPECT_TRUE(WaitUntil([&] { return m_session.FocusedWindow() == m_main; }, 10s, 100ms))
      << "focus on " << m_session.FocusedWindow() << ", main window " << m_main;
  stack = m_session.StackingTopFirst();
  ASSERT_FALSE(stack.empty());
  EXPECT_EQ(stack.front(), m_main) << "the main window is not above the other client's window";
  m_session.Screenshot("e2e-play-next-closed.png");
}

TEST_F(PlayFlowTest, VideoServiceFaultShowsTheErrorPanelAndRetryPlaysOnceItIsGone) {
  TavoRun run;
  std::string error;
  ASSERT_TRUE(m_view.SignIn(run, "lixiaoming", "xm123456", 3, error)) << error;
  // The video service refuses to resolve play authorisations until told otherwise.
  m_session.DemoPost("/__test/canned", R"({"path":"/video/resolve","status":503,"body":"{}"})");
  m_session.Click(m_view.PlayX(), m_view.RowCentreY(2));
  m_player = m_session.WaitForWindow("videoPlayDlgClass", 60s);
  ASSERT_FALSE(m_player.empty()) << "no player window; log:\n" << m_session.BrowserLog();
  m_box = m_session.Geometry(m_player).value_or(Rect{});
  std::smatch code;
  std::string log;
  ASSERT_TRUE(WaitUntil(
      [&] {
        log = m_session.BrowserLog();
        return std::regex_search(log, code, std::regex("VideoPlayDlg playError vid:v110103 code:([0-9]+)"));
      },
      60s, 200ms))
      << "no playback error; log:\n"
      << log;
  EXPECT_EQ(log.find("VideoPlayDlg playVideoStart vid:v110103"), std::string::npos);

  // The panel: its card, its code and the orange retry button.
  const Rect panel = ErrorPanel(m_box);
  ASSERT_TRUE(m_session.WaitForColour(RetryButton(panel), e2e::kAccent, 3000, 20s)) << "no retry button";
  const auto shot = m_session.Screenshot("e2e-play-error.png");
  EXPECT_GE(E2eSession::CountPixelsNear(shot, {panel.x, panel.y + 20, panel.width, 20}, kErrorCard, 8),
            panel.width * 10);
  EXPECT_GE(E2eSession::CountPixelsNear(shot, ErrorCode(panel), kCodeInk, 40), 20) << "no error code";
  EXPECT_EQ(code[1].str(), "4002");

  // Retry while the fault lasts: the panel stays. Then the fault goes and retry plays.
  size_t from = m_session.BrowserLog().size();
  m_session.Click(CentreX(RetryButton(panel)), CentreY(RetryButton(panel)));
  ASSERT_TRUE(m_session.WaitForLog("VideoPlayDlg playError vid:v110103", 30s, from))
      << m_session.BrowserLog();
  m_session.DemoPost("/__test/reset", "{}");
  from = m_session.BrowserLog().size();
  ASSERT_TRUE(m_session.WaitForColour(RetryButton(panel), e2e::kAccent, 3000, 20s));
  m_session.Click(CentreX(RetryButton(panel)), CentreY(RetryButton(panel)));
  ASSERT_TRUE(m_session.WaitForLog("VideoPlayDlg playVideoStart vid:v110103", 60s, from))
      << "retry did not play; log:\n"
      << m_session.BrowserLog();
  EXPECT_NE(m_session.DemoRequests().find("/api/Apibook/playAuth?vid=v110103"), std::string::npos)
      << "retry did not ask for a fresh authorisation";
  EXPECT_TRUE(WaitUntil(
      [&] {
        return E2eSession::CountPixelsNear(m_session.Screenshot("e2e-play-retried.png"), RetryButton(panel),
                                           e2e::kAccent, 40) < 100;
      },
      20s, 200ms))
      << "the error panel stayed";
  EXPECT_TRUE(PictureMoves(1)) << "the video does not play after the retry";
}

// The seconds of the first "playState <state>" line of `vid` logged after byte `from`; -1
// when none comes within `limit`.
int PlayStateAt(E2eSession& session, const std::string& state, const std::string& vid, size_t from,
                std::chrono::milliseconds limit) {
  const std::regex line("VideoPlayDlg playState " + state + " vid:" + vid + " time:([0-9]+)");
  std::smatch match;
  std::string log;
  const bool found = WaitUntil(
      [&] {
        log = session.BrowserLog();
        return log.size() > from &&
               std::regex_search(log.cbegin() + static_cast<std::ptrdiff_t>(from), log.cend(), match, line);
      },
      limit, 100ms);
  return found ? std::atoi(match[1].str().c_str()) : -1;
}

// The player's lines of the log (what the page reported), to show what happened.
std::string PlayerTrail(E2eSession& session) {
  std::string trail;
  std::string line;
  std::istringstream log(session.BrowserLog());
  while (std::getline(log, line)) {
    if (line.find("VideoPlayDlg play") != std::string::npos) trail += line + "\n";
  }
  return trail;
}

TEST_F(PlayFlowTest, ADroppedStreamReconnectsWhereTheStudentWasOrEndsInTheErrorPanel) {
  // The network drops where the media reaches byte 131072 (about 5 s into the lesson; it
  // comes a little faster than it plays, so the lesson starts before); the page gives up
  // reconnecting after 15 s.
  m_session.SetProgramEnv("TAVO_PLAYER_RECONNECT_MS", "15000");
  const std::string open = R"({"bytesPerSecond":32000})";
  const std::string cut = R"({"bytesPerSecond":32000,"cutAfter":131072})";
  m_session.DemoPost("/__test/media", cut);
  TavoRun run;
  SignInAndPlay(run, 0, "v110101");
  if (HasFatalFailure()) return;

  // The network drops: the spinner and its notice, no error panel.
  size_t from = 0;
  const int stalledAt = PlayStateAt(m_session, "stalled", "v110101", from, 40s);
  ASSERT_GE(stalledAt, 1) << "the page did not notice the drop:\n" << PlayerTrail(m_session);
  const Rect notice{CentreX(m_box) - 110, CentreY(m_box) + 30, 220, 30};
  EXPECT_TRUE(WaitUntil(
      [&] {
        return E2eSession::CountPixelsNear(m_session.Screenshot("e2e-play-reconnecting.png"), notice, kWhite, 60) >=
               40;
      },
      10s, 200ms))
      << "no reconnecting notice under the spinner";
  EXPECT_EQ(m_session.BrowserLog().find("VideoPlayDlg playError", from), std::string::npos);

  // The network comes back: playback goes on where it stopped, not from 0.
  from = m_session.BrowserLog().size();
  m_session.DemoPost("/__test/media", open);
  const int resumedAt = PlayStateAt(m_session, "playing", "v110101", from, 30s);
  ASSERT_GE(resumedAt, stalledAt - 1) << "resumed at " << resumedAt << " after a drop at " << stalledAt << ":\n"
                                      << PlayerTrail(m_session);
  EXPECT_LE(resumedAt, stalledAt + 2);
  EXPECT_EQ(m_session.BrowserLog().find("VideoPlayDlg playError", from), std::string::npos);
  EXPECT_EQ(m_session.BrowserLog().find("VideoPlayDlg playVideoStart", from), std::string::npos)
      << "a reconnection is no new start (the window would seek back)";

  // The next lesson: its network drops the same way and stays down. After the deadline the
  // error panel shows, and the school has the position the student had reached.
  ASSERT_TRUE(ShowOverlays()) << "the side panel did not show";
  m_session.DemoPost("/__test/media", cut);
  from = m_session.BrowserLog().size();
  ClickSide(kNextRow);
  EXPECT_TRUE(WaitUntil(
      [&] {
        return E2eSession::CountPixelsNear(m_session.Screenshot("e2e-play-reconnected.png"), notice, kWhite, 60) <
               10;
      },
      10s, 200ms))
      << "the reconnecting notice stayed";
  ASSERT_TRUE(m_session.WaitForLog("VideoPlayDlg playVideoStart vid:v110102", 60s, from)) << PlayerTrail(m_session);
  const int droppedAt = PlayStateAt(m_session, "stalled", "v110102", from, 40s);
  ASSERT_GE(droppedAt, 1) << PlayerTrail(m_session);
  ASSERT_TRUE(m_session.WaitForLog("VideoPlayDlg playError vid:v110102 code:4006", 40s, from))
      << PlayerTrail(m_session);
  const Rect panel = ErrorPanel(m_box);
  EXPECT_TRUE(m_session.WaitForColour(RetryButton(panel), e2e::kAccent, 3000, 20s)) << "no retry button";
  m_session.Screenshot("e2e-play-reconnect-failed.png");
  const std::string requests = m_session.DemoRequests();
  EXPECT_NE(requests.find("learnedDuration=" + std::to_string(droppedAt) + "&lessonId=110102"), std::string::npos)
      << requests;
}

// A helper program the test runs (a bus daemon, a bus monitor) with its output in a file,
// ended with the test.
class Helper {
 public:
  Helper(const std::vector<std::string>& argv, const std::filesystem::path& output) {
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
      TieChildToTestProcess(parent);
      const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd >= 0) dup2(fd, STDOUT_FILENO);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
  }
  ~Helper() { EndChildProcess(m_pid); }
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;

 private:
  pid_t m_pid = -1;
};

// What `gdbus call` answers on `bus`, with its error output.
std::string Gdbus(const std::string& bus, const std::string& arguments) {
  std::string out;
  FILE* pipe = popen(("gdbus call --address '" + bus + "' " + arguments + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
  pclose(pipe);
  return out;
}

// The desktop's side of the player, through the real program on a private session bus:
// the media controls show the lesson and steer it, the screen saver is asked not to blank
// the screen while it plays, and the player leaves the media controls when it closes.
TEST_F(PlayFlowTest, TheDesktopsMediaControlsSteerThePlayerAndTheScreenStaysAwake) {
  if (std::system("command -v dbus-daemon >/dev/null && command -v gdbus >/dev/null && "
                  "command -v dbus-monitor >/dev/null") != 0)
    GTEST_SKIP() << "dbus-daemon, gdbus or dbus-monitor missing";
  const std::filesystem::path socket = m_session.root() / "desktop-bus";
  const std::string bus = "unix:path=" + socket.string();
  Helper daemon({"dbus-daemon", "--session", "--nofork", "--nosyslog", "--address=" + bus},
                m_session.root() / "desktop-bus.out");
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(socket); }, 10s, 50ms)) << "no bus";
  const std::filesystem::path watched = m_session.root() / "screensaver-calls.txt";
  Helper monitor({"dbus-monitor", "--address", bus, "interface='org.freedesktop.ScreenSaver'"}, watched);
  m_session.UseSessionBus(bus);

  TavoRun run;
  SignInAndPlay(run, 0, "v110101");
  if (HasFatalFailure()) return;
  const std::string player = "--dest org.mpris.MediaPlayer2.tavo --object-path /org/mpris/MediaPlayer2 ";
  const std::string get = player + "--method org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player ";
  std::string metadata;
  ASSERT_TRUE(WaitUntil(
      [&] {
        metadata = Gdbus(bus, get + "Metadata");
        return metadata.find("片段阅读：主旨概括题") != std::string::npos;
      },
      20s, 200ms))
      << metadata;
  EXPECT_NE(metadata.find("/org/tavo/Tavo/track/110101"), std::string::npos) << metadata;
  EXPECT_NE(Gdbus(bus, get + "PlaybackStatus").find("Playing"), std::string::npos);
  EXPECT_TRUE(WaitUntil([&] { return ReadText(watched).find("member=Inhibit") != std::string::npos; }, 20s, 200ms))
      << "the screen saver was not asked while the lesson plays:\n"
      << ReadText(watched);

  // The media panel's play/pause pauses the lesson, and the position it shows stands.
  size_t from = m_session.BrowserLog().size();
  Gdbus(bus, player + "--method org.mpris.MediaPlayer2.Player.PlayPause");
  ASSERT_GE(PlayStateAt(m_session, "paused", "v110101", from, 20s), 0) << PlayerTrail(m_session);
  EXPECT_TRUE(WaitUntil([&] { return Gdbus(bus, get + "PlaybackStatus").find("Paused") != std::string::npos; },
                        10s, 200ms));
  from = m_session.BrowserLog().size();
  Gdbus(bus, player + "--method org.mpris.MediaPlayer2.Player.PlayPause");
  EXPECT_GE(PlayStateAt(m_session, "playing", "v110101", from, 20s), 0) << PlayerTrail(m_session);

  ClosePlayer();
  if (HasFatalFailure()) return;
  EXPECT_TRUE(WaitUntil(
      [&] {
        return Gdbus(bus, "--dest org.freedesktop.DBus --object-path /org/freedesktop/DBus "
                          "--method org.freedesktop.DBus.NameHasOwner org.mpris.MediaPlayer2.tavo")
                   .find("false") != std::string::npos;
      },
      20s, 200ms))
      << "the closed player stayed on the media controls";
}

TEST_F(PlayFlowTest, AQuestionFromThePlayerReachesTheSchoolOrSaysItDidNot) {
  TavoRun run;
  SignInAndPlay(run, 0, "v110101");
  if (HasFatalFailure()) return;

  // Sent: the school stores it, the result shows for a second and the window goes.
  Rect q;
  std::string window = OpenQuestion("picture stops at the board", q);
  ASSERT_FALSE(window.empty()) << "no question window; log:\n" << m_session.BrowserLog();
  m_session.Screenshot("e2e-play-question.png");
  size_t from = m_session.BrowserLog().size();
  m_session.Click(CentreX(SubmitButton(q)), CentreY(SubmitButton(q)));
  EXPECT_TRUE(WaitForResult(q)) << "no result shown";
  m_session.Screenshot("e2e-play-question-sent.png");
  EXPECT_TRUE(m_session.WaitForLog("question sent classid:1101 lessonId:110101", 20s, from))
      << m_session.BrowserLog();
  EXPECT_TRUE(m_session.WaitForNoWindow("upVideoQuestionDlgClass", 20s)) << "the question window stayed";
  EXPECT_NE(StoredQuestions().find("picture stops at the board"), std::string::npos) << StoredQuestions();
  const std::string requests = m_session.DemoRequests();
  EXPECT_NE(requests.find("/api/Feedback/saveVoideData"), std::string::npos) << requests;

  // Refused (the answer's code; the program reads no HTTP status, and an answer without a
  // code counts as taken): the result shows, then the form comes back with its text.
  m_session.DemoPost("/__test/canned",
                     R"({"path":"/api/Feedback/saveVoideData","status":500,)"
                     R"("body":"{\"code\":500,\"msg\":\"保存失败\"}"})");
  window = OpenQuestion("sound comes late", q);
  ASSERT_FALSE(window.empty()) << "no question window the second time";
  from = m_session.BrowserLog().size();
  m_session.Click(CentreX(SubmitButton(q)), CentreY(SubmitButton(q)));
  EXPECT_TRUE(WaitForResult(q)) << "no result shown";
  m_session.Screenshot("e2e-play-question-failed.png");
  EXPECT_TRUE(m_session.WaitForLog("question not accepted classid:1101 lessonId:110101", 20s, from))
      << m_session.BrowserLog();
  EXPECT_TRUE(m_session.WaitForColour(SubmitButton(q), kSubmit, 5000, 20s)) << "the form did not come back";
  EXPECT_FALSE(m_session.FindWindows("upVideoQuestionDlgClass").empty());
  EXPECT_EQ(StoredQuestions().find("sound comes late"), std::string::npos);
  m_session.Click(CentreX(QuestionClose(q)), CentreY(QuestionClose(q)));
  EXPECT_TRUE(m_session.WaitForNoWindow("upVideoQuestionDlgClass", 20s));
}

}  // namespace
