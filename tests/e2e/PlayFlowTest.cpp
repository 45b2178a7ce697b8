// Watching a lesson online, from outside the program: the row's ▶ opens the player
// window, the page gets its play authorisation and plays the school's video, closing the
// player reports the learned position to the school, and the row shows the new progress.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <string>

#include "CourseView.h"
#include "E2eSession.h"
#include "FlowSteps.h"
#include "support/Waiting.h"

namespace {

using namespace std::chrono_literals;
using e2e::CourseView;
using e2e::E2eSession;
using e2e::Rect;
using e2e::TavoRun;

class PlayFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system(
            "command -v xdotool >/dev/null && command -v import >/dev/null && command -v Xvfb >/dev/null && "
            "command -v curl >/dev/null") != 0)
      GTEST_SKIP() << "xdotool, ImageMagick, curl or Xvfb missing";
    ASSERT_TRUE(m_session.Start()) << m_session.error();
  }

  E2eSession m_session;
  CourseView m_view{m_session};
};

TEST_F(PlayFlowTest, PlayingALessonReportsTheLearnedPositionAndTheRowShowsIt) {
  TavoRun run;
  std::string error;
  // Class 1101: three short lessons, none started.
  ASSERT_TRUE(m_view.SignIn(run, "lixiaoming", "xm123456", 3, error)) << error;
  m_session.Screenshot("e2e-play-list-before.png");

  m_session.Click(m_view.PlayX(), m_view.RowCentreY(0));
  const std::string player = m_session.WaitForWindow("videoPlayDlgClass", 60s);
  ASSERT_FALSE(player.empty()) << "no player window; log:\n" << m_session.BrowserLog();
  ASSERT_TRUE(m_session.WaitForLog("VideoPlayDlg playVideoStart vid:v110101", 60s))
      << "the page did not start playing; log:\n"
      << m_session.BrowserLog();
  EXPECT_NE(m_session.DemoRequests().find("/api/Apibook/playAuth?vid=v110101"), std::string::npos);
  const Rect box = m_session.Geometry(player).value_or(Rect{});
  ASSERT_GT(box.width, 400);

  // The picture changes while the video plays (away from the title bar and the side panel).
  const Rect picture{box.x + 60, box.y + 160, 300, box.height - 320};
  const uint64_t first = E2eSession::AreaChecksum(m_session.Screenshot("e2e-play-player.png"), picture);
  EXPECT_TRUE(WaitUntil(
      [&] { return E2eSession::AreaChecksum(m_session.Screenshot("e2e-play-wait.png"), picture) != first; },
      30s, 200ms))
      << "the picture did not change";

  Rect close;
  ASSERT_TRUE(e2e::ShowPlayerOverlays(m_session, box, close, error)) << error;
  m_session.Screenshot("e2e-play-player-overlays.png");
  m_session.Click(close.x + close.width / 2, close.y + close.height / 2);
  ASSERT_TRUE(m_session.WaitForNoWindow("videoPlayDlgClass", 20s)) << "the player stayed";

  // The school received the position the page reported, and the row shows it.
  std::smatch match;
  std::string log;
  ASSERT_TRUE(WaitUntil(
      [&] {
        log = m_session.BrowserLog();
        return std::regex_search(
            log, match, std::regex("UpdateLearnProgress classid:1101 vid:v110101 duration:([0-9]+)"));
      },
      20s, 100ms))
      << "no accepted progress report; log:\n"
      << log;
  const std::string seconds = match[1].str();
  EXPECT_GE(std::atoi(seconds.c_str()), 1) << "the video did not advance";
  const std::string requests = m_session.DemoRequests();
  EXPECT_NE(requests.find("learnedDuration=" + seconds), std::string::npos) << requests;
  EXPECT_NE(requests.find("lessonId=110101"), std::string::npos) << requests;
  ASSERT_TRUE(m_session.WaitForLog("lesson row v110101 progress ", 20s)) << log;
  log = m_session.BrowserLog();
  EXPECT_EQ(log.find("lesson row v110101 progress 未学习"), std::string::npos) << log;
  m_session.Screenshot("e2e-play-list-after.png");
}

}  // namespace
