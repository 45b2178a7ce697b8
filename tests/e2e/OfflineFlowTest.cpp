// What was downloaded, opened without the network, from outside the program: a lesson
// plays in the local player from the video manager window and from the lesson list with
// no request to the school's video service, a lecture PDF shows its first page in the
// document viewer, and the lesson in a codec the program does not play goes to the
// desktop's default application while the program stays usable.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
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
using e2e::E2eSession;
using e2e::Rect;
using e2e::TavoRun;

constexpr e2e::Rgb kWhite{0xFF, 0xFF, 0xFF};
constexpr e2e::Rgb kBarYellow{0xFF, 0xFF, 0x00};
constexpr e2e::Rgb kDocIcon{0xB8, 0xBD, 0xC5};  // the document row's not-downloaded icon

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class OfflineFlowTest : public e2e::SessionTest {
 protected:
  void SignIn(TavoRun& run) {
    std::string error;
    ASSERT_TRUE(m_view.SignIn(run, "lixiaoming", "xm123456", 3, error)) << error;
  }

  // Downloads list row `row` (the tab on show) until the day log says "已下载" for `id`;
  // the file, by its name.
  fs::path Download(int row, const std::string& id, const std::string& fileName) {
    const size_t from = m_session.BrowserLog().size();
    m_steps.StartDownload(row, "");
    if (::testing::Test::HasFatalFailure()) return {};
    EXPECT_TRUE(m_session.WaitForLog("list row " + id + " 已下载", 60s, from))
        << m_session.BrowserLog().substr(from);
    const fs::path file = m_steps.FindDownload(fileName);
    EXPECT_FALSE(file.empty()) << "no downloaded file named " << fileName;
    return file;
  }

  // The local player comes up and its picture changes while the video plays.
  void ExpectLocalPlayback(const std::string& shot) {
    const std::string player = m_session.WaitForWindow("videoLocalPlayDlgClass", 30s);
    ASSERT_FALSE(player.empty()) << "no local player; log:\n" << m_session.BrowserLog();
    const Rect box = m_session.Geometry(player).value_or(Rect{});
    ASSERT_GT(box.width, 400);
    // Away from the title bar and the window's edges. The school's lesson videos
    // are colour bars with a running clock: the bars show once a frame is drawn, and the
    // picture changes while they stay, so the video plays.
    const Rect picture{box.x + 40, box.y + 100, box.width - 80, box.height - 140};
    auto frame = [&](const std::string& name, uint64_t& sum) {
      const fs::path png = m_session.Screenshot(name);
      sum = E2eSession::AreaChecksum(png, picture);
      return E2eSession::CountPixelsNear(png, picture, kBarYellow, 30) > 2000;
    };
    uint64_t first = 0;
    ASSERT_TRUE(WaitUntil([&] { return frame(shot, first); }, 30s, 300ms))
        << "no video frame (see " << shot << "); log:\n"
        << m_session.BrowserLog();
    uint64_t later = 0;
    EXPECT_TRUE(WaitUntil([&] { return frame("e2e-offline-wait.png", later) && later != first; }, 30s, 300ms))
        << "the picture did not change";
    // The online player's title bar closes it.
    std::string error;
    ASSERT_TRUE(e2e::ClosePlayer(m_session, box, error, "videoLocalPlayDlgClass")) << error;
  }

  CourseView m_view{m_session};
  e2e::DownloadSteps m_steps{m_session, m_view};
};

TEST_F(OfflineFlowTest, ADownloadedLessonPlaysLocallyFromTheManagerAndTheList) {
  TavoRun run;
  ASSERT_NO_FATAL_FAILURE(SignIn(run));
  const fs::path file = Download(0, "110101", "片段阅读：主旨概括题.mp4");
  ASSERT_FALSE(file.empty());
  // From here on the school's log holds only what playing asks for.
  m_session.DemoPost("/__test/reset", "{}");

  // The manager window's first row (below its class heading): the play button beside the bin.
  ASSERT_NO_FATAL_FAILURE(m_steps.OpenVideoManager("e2e-offline-manager.png"));
  const Rect manager = m_view.VideoManager();
  m_session.ClickAndLeave(manager.x + 296, manager.y + 123);
  ASSERT_NO_FATAL_FAILURE(ExpectLocalPlayback("e2e-offline-player-from-manager.png"));

  // The lesson row's ▶ of a complete download plays the same file locally.
  const size_t before = m_session.BrowserLog().size();
  m_session.ClickAndLeave(m_view.PlayX(), m_view.RowCentreY(0));
  ASSERT_TRUE(m_session.WaitForLog("PlayLocal classid:1101 vid:v110101 file:" + file.string(), 20s, before))
      << m_session.BrowserLog().substr(before);
  ASSERT_NO_FATAL_FAILURE(ExpectLocalPlayback("e2e-offline-player-from-list.png"));

  const std::string requests = m_session.DemoRequests();
  for (const char* online : {"/video/", "playAuth", "playUri", "/media/"})
    EXPECT_EQ(requests.find(online), std::string::npos) << online << " was asked for:\n" << requests;
  EXPECT_TRUE(m_session.FindWindows("videoPlayDlgClass").empty()) << "the online player opened";
}

TEST_F(OfflineFlowTest, ADownloadedLectureShowsItsFirstPageInTheViewer) {
  TavoRun run;
  ASSERT_NO_FATAL_FAILURE(SignIn(run));
  // The document tab of the content bar (the card starts 16 px right of the 375-pixel tree).
  const Rect frame = m_view.frame();
  const int cardX = frame.x + 375 + 16;
  const int cardY = frame.y + 72 + 16;
  const Rect firstDocIcon{m_view.PlayX() - 40, m_view.RowCentreY(0) - 30, 80, 60};
  ASSERT_TRUE(WaitUntil(
      [&] {
        m_session.ClickAndLeave(cardX + 20 + 100 + 44, cardY + 28);
        return m_steps.CountNear("e2e-offline-documents.png", firstDocIcon, kDocIcon) >= 20;
      },
      30s, 2s))
      << "the document tab did not show its rows";

  const fs::path file = Download(0, "jy110101", "言语理解讲义（上）.pdf");
  ASSERT_FALSE(file.empty());
  ASSERT_EQ(ReadAll(file).rfind("%PDF", 0), 0u) << file << " is no PDF";

  const size_t before = m_session.BrowserLog().size();
  m_session.ClickAndLeave(m_view.PlayX(), m_view.RowCentreY(0));
  ASSERT_TRUE(m_session.WaitForLog("LookDoc classid:1101 id:jy110101", 20s, before))
      << m_session.BrowserLog().substr(before);
  const std::string viewer = m_session.WaitForWindow("lookDocDlgClass", 30s);
  ASSERT_FALSE(viewer.empty()) << "no document viewer; log:\n" << m_session.BrowserLog().substr(before);
  const Rect box = m_session.Geometry(viewer).value_or(Rect{});
  ASSERT_GT(box.width, 400);

  // Page 1 is a white sheet with dark text on the viewer's grey: many white pixels and
  // some dark ones in the middle of the document area once it has been drawn.
  const Rect page{box.x + box.width / 4, box.y + 120, box.width / 2, box.height - 160};
  fs::path shot;
  EXPECT_TRUE(WaitUntil(
      [&] {
        shot = m_session.Screenshot("e2e-offline-viewer.png");
        return E2eSession::CountPixelsNear(shot, page, kWhite, 4) > page.width * page.height / 5 &&
               E2eSession::CountPixelsNear(shot, page, {0x20, 0x20, 0x20}, 60) > 200;
      },
      30s, 500ms))
      << "no page with text in the viewer (see e2e-offline-viewer.png)";
  std::set<uint32_t> colours;
  for (const e2e::Rgb& p : E2eSession::ReadPixels(shot, page))
    colours.insert(static_cast<uint32_t>(p.r << 16 | p.g << 8 | p.b));
  EXPECT_GT(colours.size(), 8u) << "the page area is blank";
}

TEST_F(OfflineFlowTest, ALessonInAnotherCodecGoesToTheDesktopsPlayerWhileTheProgramStaysUsable) {
  // A stand-in default application for WebM video in the session's own XDG folders: it
  // writes its arguments to a file, then runs until the test lets it end.
  const fs::path root = m_session.root();
  const fs::path args = root / "player-args.txt";
  const fs::path release = root / "player-release";
  const fs::path script = root / "stand-in-player";
  std::ofstream(script) << "#!/bin/sh\n"
                        << "printf '%s\\n' \"$@\" > '" << args.string() << ".part' && mv '" << args.string()
                        << ".part' '" << args.string() << "'\n"
                        << "i=0\nwhile [ ! -e '" << release.string()
                        << "' ] && [ $i -lt 600 ]; do sleep 0.1; "
                        << "i=$((i+1)); done\n";
  fs::permissions(script, fs::perms::owner_all);
  fs::create_directories(root / "data" / "applications");
  std::ofstream(root / "data" / "applications" / "tavo-stand-in-player.desktop")
      << "[Desktop Entry]\nType=Application\nName=Stand-in player\nExec=" << script.string()
      << " %f\nMimeType=video/webm;\n";
  std::ofstream(root / "config" / "mimeapps.list")
      << "[Default Applications]\nvideo/webm=tavo-stand-in-player.desktop\n";

  TavoRun run;
  ASSERT_NO_FATAL_FAILURE(SignIn(run));
  // Class 2201 (tree row 12: 12 px inset, then exam, package and class rows of 60 and 44)
  // has the one lesson in VP9.
  const Rect frame = m_view.frame();
  const int classY = frame.y + 76 + 12 + 2 * 60 + 9 * 44 + 22;
  ASSERT_TRUE(WaitUntil(
      [&] {
        m_session.ClickAndLeave(frame.x + 120, classY);
        return m_session.WaitForLog("ShowClass classid:2201", 3s);
      },
      30s, 100ms))
      << m_session.BrowserLog();
  // One row: the second row's play disc is gone.
  ASSERT_TRUE(WaitUntil(
      [&] { return m_steps.CountNear("e2e-wait.png", m_view.PlayCell(1), e2e::kAccent) == 0; }, 20s, 200ms));
  ASSERT_TRUE(m_session.WaitForColour(m_view.PlayCell(0), e2e::kAccent, 100, 20s));

  const fs::path file = Download(0, "220101", "教育的起源与发展.webm");
  ASSERT_FALSE(file.empty());
  const size_t before = m_session.BrowserLog().size();
  m_session.ClickAndLeave(m_view.PlayX(), m_view.RowCentreY(0));
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(args); }, 30s, 100ms))
      << "the stand-in player did not start; log:\n"
      << m_session.BrowserLog().substr(before);
  EXPECT_EQ(ReadAll(args), file.string() + "\n");
  EXPECT_NE(m_session.BrowserLog().find("PlayWithSystemPlayer: tavo-stand-in-player.desktop", before),
            std::string::npos);
  EXPECT_TRUE(m_session.FindWindows("videoLocalPlayDlgClass").empty()) << "the local player opened";
  m_session.Screenshot("e2e-offline-external-player.png");

  // While the external player runs, the window answers: another class opens.
  const int firstClassY = frame.y + 76 + 12 + 60 + 44 + 22;
  ASSERT_TRUE(WaitUntil(
      [&] {
        m_session.ClickAndLeave(frame.x + 120, firstClassY);
        return m_session.WaitForLog("ShowClass classid:1101", 3s, before);
      },
      20s, 100ms))
      << m_session.BrowserLog().substr(before);
  EXPECT_EQ(m_session.BrowserLog().find("StartProcess end", before), std::string::npos);
  std::ofstream(release) << "";
  EXPECT_TRUE(m_session.WaitForLog("StartProcess end", 30s, before)) << m_session.BrowserLog().substr(before);
}

}  // namespace
