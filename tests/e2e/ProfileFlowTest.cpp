// The student's profile from outside the program: a new avatar picked in the file chooser
// and a new nickname saved in the profile panel show in the title bar's avatar and its
// popup, and again after a restart; signing out from the popup and in as another student
// shows only that student's classes, downloads and avatar.
#include <cairo.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "CourseView.h"
#include "DownloadSteps.h"
#include "E2eSession.h"
#include "SessionTest.h"
#include "support/Waiting.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using e2e::CourseView;
using e2e::E2eSession;
using e2e::Rect;
using e2e::Rgb;
using e2e::TavoRun;

// The picture the student uploads: one green no demo avatar or skin uses.
constexpr Rgb kGreen{0x20, 0xB0, 0x40};
constexpr Rgb kInk{0x4D, 0x4D, 0x4D};
constexpr Rgb kEmptyText{0x99, 0x99, 0x99};
// The demo school's avatars of the two students.
constexpr Rgb kXiaomingBlue{0x3C, 0x8C, 0xE7};
constexpr Rgb kWangfangRed{0xE7, 0x6F, 0x51};

// A square PNG of one colour.
bool WritePicture(const fs::path& path, Rgb colour) {
  std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, 96, 96), cairo_surface_destroy);
  std::unique_ptr<cairo_t, void (*)(cairo_t*)> cr(cairo_create(surface.get()), cairo_destroy);
  cairo_set_source_rgb(cr.get(), colour.r / 255.0, colour.g / 255.0, colour.b / 255.0);
  cairo_paint(cr.get());
  return cairo_surface_write_to_png(surface.get(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

class ProfileFlowTest : public e2e::SessionTest {
 protected:
  // Where the title bar's parts are for the main window on the screen: the avatar button
  // (36 x 36, 20 px left of the menu and the three window buttons, 40 pixels each, and the
  // 16-pixel inset), the popup below it (267 x 178), and in the popup the nickname and
  // the three actions.
  Rect TitleAvatar() const {
    const Rect& f = m_view.frame();
    return {f.x + f.width - 232, f.y + 18, 36, 36};
  }
  Rect Popup() const {
    const Rect& f = m_view.frame();
    return {f.x + f.width - 443, f.y + 40, 267, 178};
  }
  Rect PopupNickname() const { return {Popup().x + 31, Popup().y + 29, 100, 34}; }
  // Action `index` of the popup: 0 "修改个人资料", 1 "下载设置", 2 "退出".
  void ClickPopupAction(int index) { m_session.Click(Popup().x + 80, Popup().y + 84 + 32 * index); }

  // The profile panel beside the tree: its card, the round avatar and the nickname edit.
  int CardX() const { return m_view.frame().x + 375 + 16; }
  int CardY() const { return m_view.frame().y + 72 + 16; }
  Rect PanelAvatar() const { return {CardX() + 132, CardY() + 103, 36, 36}; }

  int Green(const fs::path& shot, const Rect& rect) {
    return E2eSession::CountPixelsNear(shot, rect, kGreen, 24);
  }

  // Hovers the avatar until the popup shows its actions; the popup's screenshot.
  fs::path OpenPopup(const std::string& shot) {
    const Rect avatar = TitleAvatar();
    const Rect actions{Popup().x + 7, Popup().y + 68, 253, 96};
    fs::path png;
    int step = 0;
    const bool shown = WaitUntil(
        [&] {
          // A move in and out again makes a fresh enter when the first one was missed.
          if (++step % 10 == 0) m_session.MoveTo(1919, 1079);
          m_session.MoveTo(avatar.x + 18, avatar.y + 18);
          png = m_session.Screenshot(shot);
          return E2eSession::CountPixelsNear(png, actions, kInk, 40) >= 60;
        },
        20s, 200ms);
    EXPECT_TRUE(shown) << "the popup did not open (see " << shot << ")";
    return png;
  }

  // Waits until the popup's nickname area has the checksum `sum` (a nickname once drawn);
  // the last checksum.
  uint64_t WaitForNickname(const std::string& shot, uint64_t sum) {
    uint64_t now = 0;
    WaitUntil(
        [&] {
          now = E2eSession::AreaChecksum(OpenPopup(shot), PopupNickname());
          return now == sum;
        },
        10s, 300ms);
    return now;
  }

  CourseView m_view{m_session};
  e2e::DownloadSteps m_steps{m_session, m_view};
};

TEST_F(ProfileFlowTest, ANewAvatarAndNicknameShowInTheTitleBarAndAfterARestart) {
  const fs::path picture = m_session.root() / "green.png";
  ASSERT_TRUE(WritePicture(picture, kGreen));
  TavoRun run;
  std::string error;
  ASSERT_TRUE(m_view.SignIn(run, "lixiaoming", "xm123456", 3, error)) << error;
  // The account's own picture arrives first; it has no green.
  ASSERT_TRUE(m_session.WaitForColour(TitleAvatar(), kXiaomingBlue, 300, 30s)) << "not her avatar";
  const fs::path popupBefore = OpenPopup("e2e-profile-popup-before.png");
  EXPECT_EQ(Green(popupBefore, TitleAvatar()), 0);
  const uint64_t oldNickname = E2eSession::AreaChecksum(popupBefore, PopupNickname());

  // "修改个人资料" opens the panel with the service's nickname.
  const size_t panelAt = m_session.BrowserLog().size();
  ClickPopupAction(0);
  ASSERT_TRUE(m_session.WaitForLog("ShowView person", 20s, panelAt))
      << m_session.BrowserLog().substr(panelAt);
  ASSERT_TRUE(m_session.WaitForColour({CardX() + 132, CardY() + 165, 300, 40}, {0x33, 0x33, 0x33}, 20, 20s))
      << "no nickname in the edit";
  m_session.Screenshot("e2e-profile-panel.png");

  // The round avatar opens the file chooser; a typed path picks the picture.
  m_session.ClickAndLeave(PanelAvatar().x + 18, PanelAvatar().y + 18);
  const std::string chooser = m_session.WaitForWindow("tavo", 30s);
  ASSERT_FALSE(chooser.empty()) << "no file chooser";
  const Rect box = m_session.Geometry(chooser).value_or(Rect{});
  m_session.MoveTo(box.x + box.width / 2, box.y + box.height / 2);
  m_session.Screenshot("e2e-profile-chooser.png");
  m_session.Key("ctrl+l");
  m_session.Type(picture.string());
  m_session.Screenshot("e2e-profile-chooser-path.png");
  // The chooser's location entry completes typed paths on its own time; a Return that
  // came before it took the path does nothing, so Return is pressed again until it goes.
  ASSERT_TRUE(WaitUntil(
      [&] {
        if (m_session.FindWindows("tavo").empty()) return true;
        m_session.Key("Return");
        return m_session.WaitForNoWindow("tavo", 3s);
      },
      30s, 100ms))
      << "the chooser stayed";
  ASSERT_TRUE(m_session.WaitForColour(PanelAvatar(), kGreen, 400, 30s))
      << "the panel does not show the picture";
  EXPECT_NE(m_session.DemoRequests().find("/api/user/changeAvatar"), std::string::npos);

  // A new nickname, saved: the panel closes, the title bar shows the new picture.
  m_session.ClickAndLeave(CardX() + 280, CardY() + 185);
  m_session.Key("ctrl+a BackSpace");
  m_session.Type("小明2027");
  m_session.Screenshot("e2e-profile-panel-edited.png");
  const size_t savedAt = m_session.BrowserLog().size();
  m_session.ClickAndLeave(CardX() + 192, CardY() + 321);
  ASSERT_TRUE(m_session.WaitForLog("ShowView course", 20s, savedAt))
      << m_session.BrowserLog().substr(savedAt);
  EXPECT_NE(m_session.DemoRequests().find("nickname=%E5%B0%8F%E6%98%8E2027"), std::string::npos)
      << m_session.DemoRequests();
  ASSERT_TRUE(m_session.WaitForColour(TitleAvatar(), kGreen, 400, 20s))
      << "the title bar kept the old picture";
  const fs::path popupAfter = OpenPopup("e2e-profile-popup-after.png");
  const uint64_t newNickname = E2eSession::AreaChecksum(popupAfter, PopupNickname());
  EXPECT_NE(newNickname, oldNickname) << "the popup kept the old nickname";

  // After a restart the service's answers bring both back.
  ASSERT_EQ(kill(run.pid, SIGTERM), 0);
  ASSERT_TRUE(m_session.WaitForExit(run, 30s).has_value()) << "the program did not end";
  TavoRun again;
  ASSERT_TRUE(m_view.StartSignedIn(again, 3, error)) << error;
  EXPECT_TRUE(m_session.WaitForColour(TitleAvatar(), kGreen, 400, 30s))
      << "the picture is gone after a restart";
  EXPECT_EQ(WaitForNickname("e2e-profile-popup-restarted.png", newNickname), newNickname)
      << "the popup does not show the new nickname after a restart";
}

TEST_F(ProfileFlowTest, SigningOutAndInAsAnotherStudentShowsOnlyTheirClassesDownloadsAndAvatar) {
  TavoRun run;
  std::string error;
  ASSERT_TRUE(m_view.SignIn(run, "lixiaoming", "xm123456", 3, error)) << error;
  // A download of hers and her own picture in the title bar.
  m_steps.StartDownload(0, "");
  ASSERT_TRUE(m_session.WaitForLog("list row 110101 已下载", 60s)) << m_session.BrowserLog();
  ASSERT_TRUE(m_session.WaitForColour(TitleAvatar(), kXiaomingBlue, 300, 30s)) << "not her avatar";
  const fs::path before = OpenPopup("e2e-signout-popup.png");
  const uint64_t herNickname = E2eSession::AreaChecksum(before, PopupNickname());

  // "退出": the main window goes and the login window comes back.
  ClickPopupAction(2);
  ASSERT_TRUE(m_session.WaitForNoWindow("mainDlgClass", 20s)) << "the main window stayed";
  m_session.MoveTo(1919, 1079);
  m_session.Screenshot("e2e-signout-login.png");

  // The other student: class 2101 first, two lessons.
  const size_t signIn = m_session.BrowserLog().size();
  ASSERT_TRUE(m_view.SignInOnLoginWindow("wangfang", "Fang&2027+", 2, error)) << error;
  ASSERT_TRUE(m_session.WaitForLog("ShowClass classid:2101", 20s, signIn))
      << m_session.BrowserLog().substr(signIn);
  EXPECT_EQ(m_session.BrowserLog().find("ShowClass classid:1101", signIn), std::string::npos);
  EXPECT_EQ(m_steps.CountNear("e2e-signout-other-list.png", m_view.PlayCell(2), e2e::kAccent), 0)
      << "a third lesson row";
  EXPECT_TRUE(m_session.WaitForColour(TitleAvatar(), kWangfangRed, 300, 30s))
      << "not the new student's avatar";
  const fs::path after = OpenPopup("e2e-signout-other-popup.png");
  EXPECT_EQ(E2eSession::CountPixelsNear(after, TitleAvatar(), kXiaomingBlue, 24), 0)
      << "the title bar shows the last student's avatar";
  EXPECT_NE(E2eSession::AreaChecksum(after, PopupNickname()), herNickname)
      << "the popup names the last student";

  // The first student's download is not in the manager window: its empty state "暂无下载数据".
  m_session.MoveTo(1919, 1079);
  m_session.Click(m_view.VideoManagerX(), m_view.ToolBarY());
  const Rect manager = m_view.VideoManager();
  EXPECT_TRUE(m_session.WaitForColour({manager.x + 100, manager.y + 386, 160, 22}, kEmptyText, 20, 20s))
      << "the manager window shows another student's downloads";
  m_session.Screenshot("e2e-signout-other-manager.png");
}

TEST_F(ProfileFlowTest, ADownloadRunningAtSignOutStopsAndWaitsForItsStudent) {
  TavoRun run;
  std::string error;
  ASSERT_TRUE(m_view.SignIn(run, "lixiaoming", "xm123456", 3, error)) << error;
  // A download sent at 30 kB/s signs out with part of the file on disk.
  m_steps.SlowNextDownload("v110101", 30000);
  m_steps.StartDownload(0, "");
  const auto total = fs::file_size(e2e::SchoolMedia("v110101"));
  fs::path file;
  ASSERT_TRUE(WaitUntil(
      [&] {
        file = m_steps.FindDownload("片段阅读：主旨概括题.mp4.part");
        std::error_code ec;
        return !file.empty() && fs::file_size(file, ec) > 0;
      },
      30s, 100ms))
      << m_session.BrowserLog();
  OpenPopup("e2e-running-popup.png");
  ClickPopupAction(2);
  ASSERT_TRUE(m_session.WaitForNoWindow("mainDlgClass", 20s)) << "the main window stayed";

  // While another student is signed in, the file does not grow and her list shows nothing of it.
  const size_t other = m_session.BrowserLog().size();
  ASSERT_TRUE(m_view.SignInOnLoginWindow("wangfang", "Fang&2027+", 2, error)) << error;
  const auto stopped = fs::file_size(file);
  EXPECT_LT(stopped, total) << "the download finished after its student signed out";
  ASSERT_TRUE(m_session.WaitForColour(TitleAvatar(), kWangfangRed, 300, 30s));
  EXPECT_EQ(fs::file_size(file), stopped) << "the download went on after its student signed out";
  EXPECT_EQ(m_session.BrowserLog().find("row 110101", other), std::string::npos)
      << m_session.BrowserLog().substr(other);
  OpenPopup("e2e-running-other-popup.png");
  ClickPopupAction(2);
  ASSERT_TRUE(m_session.WaitForNoWindow("mainDlgClass", 20s)) << "the main window stayed";

  // Back as the first student: the download, which she did not pause, goes on by itself
  // from the part on disk (it grows from where it stopped, or is already whole).
  const size_t back = m_session.BrowserLog().size();
  ASSERT_TRUE(m_view.SignInOnLoginWindow("lixiaoming", "xm123456", 3, error)) << error;
  EXPECT_TRUE(m_session.WaitForLog("download window row 110101", 20s, back)) << m_session.BrowserLog().substr(back);
  EXPECT_TRUE(WaitUntil(
      [&] {
        std::error_code ec;
        const auto size = fs::file_size(file, ec);
        return ec || size > stopped;
      },
      30s, 100ms))
      << "the download did not go on; " << m_session.BrowserLog().substr(back);
  m_session.Screenshot("e2e-running-back.png");
}

}  // namespace
