// The local player on the test host: a downloaded lesson opens the player window with the
// online player's overlays, its page is given the file's address on the local web server (no
// play authorisation), it resumes and reports like the online one (kept when the service
// cannot take it), previous/next go among the class's downloaded lessons without the network,
// and only one player (online or local) is open at a time.
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "PlayerTestKit.h"
#include "app/Folders.h"
#include "downloads/DownloadTaskList.h"
#include "playback/PlaybackPrefs.h"
#include "playback/VideoLocalPlayDlg.h"
#include "playback/VideoRightDlg.h"
#include "playback/VideoTitleDlg.h"
#include "ui/Control.h"
#include "web/LocalMediaShares.h"

namespace fs = std::filesystem;

namespace {

class LocalPlayerWindowTest : public PlayerTestKit {
 protected:
  void SetUp() override {
    PlayerTestKit::SetUp();
    PlayerCatalogue catalogue = GetPlayerCatalogue();
    catalogue.lessonsOf = [this](const std::string&) { return lessons; };
    SetPlayerCatalogue(std::move(catalogue));
    PlayerServices services = GetPlayerServices();
    services.fetchPlayAuth = [this](const std::string& vid) {
      ++authFetches;
      return "AUTH-" + vid;
    };
    SetPlayerServices(std::move(services));
    DownloadTaskList::Get().Clear();
    // l1 and l3 are downloaded; l2's download stopped half way.
    Download("l1", "v1", 4096, 4096);
    Download("l2", "v2", 1000, 4096);
    Download("l3", "v3", 2048, 2048);
  }
  void TearDown() override {
    if (HWND local = FindWindow(L"videoLocalPlayDlgClass", L""); local != kNoWindow)
      CWindowWnd::FromHandle(local)->DestroyWindow();
    PlayerTestKit::TearDown();
    DownloadTaskList::Get().Clear();
  }

  // A video task of class c1 whose file holds `bytes` of `total`.
  DownloadTask Download(const std::string& id, const std::string& video, size_t bytes, int64_t total) {
    DownloadTask task;
    task.kind = TaskKind::Video;
    task.classId = "c1";
    task.className = "数学";
    task.id = id;
    task.video = video;
    task.name = id + " 的视频.mp4";
    task.localFile = (m_root / task.name).string();
    task.total = total;
    std::ofstream(task.localFile, std::ios::binary) << std::string(bytes, 'x');
    EXPECT_TRUE(DownloadTaskList::Get().AddTask(task, TaskKind::Video));
    tasks[id] = task;
    return task;
  }

  // Opens the local player on the download of `id`, with a recording page.
  VideoLocalPlayDlg* OpenLocal(const std::string& id) {
    OpenLocalPlayer(tasks[id]);
    auto* player = Local();
    EXPECT_NE(player, nullptr);
    if (!player) return nullptr;
    player->SetScriptSink([this](const std::wstring& script) {
      std::lock_guard lock(m_mutex);
      scripts.push_back(script);
    });
    player->GetPaintManager().DoLayout();
    return player;
  }
  static VideoLocalPlayDlg* Local() {
    return dynamic_cast<VideoLocalPlayDlg*>(CWindowWnd::FromHandle(FindWindow(L"videoLocalPlayDlgClass", L"Tavo")));
  }

  // The page's request for its media; the answer without its status.
  std::string AskForMedia(HWND player) {
    std::wstring answer;
    Call(player, L"getVidAndPlayAuth", L"{}", &answer);
    EXPECT_TRUE(RunUntil([&] { return !answer.empty(); }));
    EXPECT_EQ(answer.substr(0, 4), L"200 ");
    return answer.size() > 4 ? WideToUtf8(answer.substr(4)) : "";
  }
  // The "src" member of an answer.
  static std::string SrcOf(const std::string& answer) {
    const std::string key = "\"src\":\"";
    const size_t at = answer.find(key);
    if (at == std::string::npos) return "";
    return answer.substr(at + key.size(), answer.find('"', at + key.size()) - at - key.size());
  }
  void ClickSidePanel(VideoPlayDlg* player, const wchar_t* button) {
    VideoRightDlg* right = player->GetRightWindow();
    right->GetPaintManager().DoLayout();
    CControlUI* control = right->FindControl(button);
    ASSERT_NE(control, nullptr);
    const CDuiRect pos = control->GetPos();
    HostOf(right)->Click((pos.left + pos.right) / 2, (pos.top + pos.bottom) / 2);
    PumpPendingMessages();
  }

  std::map<std::string, DownloadTask> tasks;
  int authFetches = 0;
};

TEST_F(LocalPlayerWindowTest, ADownloadedLessonPlaysInThePlayerPageWithTheOnlineLook) {
  VideoLocalPlayDlg* player = OpenLocal("l1");
  ASSERT_NE(player, nullptr);
  HWND hwnd = player->GetHWND();
  // The online player's window and layers: title bar naming the lesson, side panel, end and
  // error panels; the window keeps the title it is found by.
  EXPECT_EQ(player->GetWindowText(), L"Tavo");
  EXPECT_EQ(player->GetTitleWindow()->GetTitle(), L"第一课 导论");
  EXPECT_EQ(HostOf(player->GetRightWindow())->kind(), HostKind::Layer);
  EXPECT_EQ(CurrentPlayerTitle(), L"") << "the online player's name is not taken";
  EXPECT_EQ(FindOnlinePlayer(), kNoWindow);

  // The page gets the file's address on the local web server and the kept speed; nothing is
  // asked of the school.
  SetSignedInAccount("xm");
  ASSERT_TRUE(StorePlaybackRate(1.5));
  const std::string answer = AskForMedia(hwnd);
  SetSignedInAccount("");
  const std::string src = SrcOf(answer);
  EXPECT_TRUE(src.starts_with("/local-media/")) << answer;
  EXPECT_EQ(ServedLocalMedia().Find(src), tasks["l1"].localFile);
  EXPECT_NE(answer.find(R"("vid":"v1","playAuth":"","src":)"), std::string::npos) << answer;
  EXPECT_NE(answer.find(R"("lessonId":"l1","classId":"c1")"), std::string::npos) << answer;
  EXPECT_NE(answer.find(R"("playbackRate":1.5)"), std::string::npos) << answer;
  EXPECT_EQ(authFetches, 0);

  // It resumes where the school's record says, and a pause reports the position.
  Call(hwnd, L"playVideoStart");
  EXPECT_TRUE(HasScript(ScriptSeek("30")));
  EXPECT_TRUE(player->GetRightWindow()->IsWindowVisible());
  Call(hwnd, L"pauseVideo", LR"({"time":42.7,"lessonId":"l1","classId":"c1","vid":"v1"})");
  ASSERT_TRUE(RunUntil([&] { return ReportCount() == 1; }));
  EXPECT_EQ(reports[0].lessonId, "l1");
  EXPECT_EQ(reports[0].seconds, "42");
  SaveScreenshot(player, "local-player-testhost.png",
                 {player->GetTitleWindow(), player->GetRightWindow()});

  // Closed, the file is no longer served.
  player->DestroyWindow();
  PumpPendingMessages();
  EXPECT_EQ(ServedLocalMedia().Find(src), std::nullopt);
}

// Offline, a refused report is kept for later like the online player's.
TEST_F(LocalPlayerWindowTest, OfflineThePositionIsKeptUntilTheSchoolTakesIt) {
  SetSignedInAccount("xm");
  online = false;
  acceptReports = false;
  VideoLocalPlayDlg* player = OpenLocal("l3");
  ASSERT_NE(player, nullptr);
  Call(player->GetHWND(), L"pauseVideo", LR"({"time":61,"lessonId":"l3","classId":"c1","vid":"v3"})");
  ASSERT_TRUE(RunUntil([&] { return !stored.empty(); }));
  const auto kept = ProgressQueue::Get().Pending("xm");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].lessonId, "l3");
  EXPECT_EQ(kept[0].seconds, "61");
  EXPECT_EQ(stored.back(), "c1/l3=61") << "the lesson resumes there next time";
  SetSignedInAccount("");
}

// Next and previous skip lessons whose file is not complete and work without the network;
// a switch reports the old position, then the page asks again and is given the new file.
TEST_F(LocalPlayerWindowTest, PreviousAndNextGoAmongTheDownloadedLessonsWithoutTheNetwork) {
  online = false;
  VideoLocalPlayDlg* player = OpenLocal("l1");
  ASSERT_NE(player, nullptr);
  HWND hwnd = player->GetHWND();
  const std::string first = SrcOf(AskForMedia(hwnd));
  Call(hwnd, L"playVideoStart");

  ClickSidePanel(player, L"btnPlayDownNext");
  EXPECT_EQ(player->GetLessonId(), "l3") << "l2 is not downloaded whole";
  EXPECT_EQ(player->GetTitleWindow()->GetTitle(), L"第三课 极限");
  EXPECT_TRUE(HasScript(ScriptGetPlayCurrentTime("l1", "c1", "v1")));
  Call(hwnd, L"setPlayCurrentTime", LR"({"time":9,"lessonId":"l1","classId":"c1","vid":"v1"})");
  ASSERT_TRUE(RunUntil([&] { return HasScript(L"replay()"); }));
  EXPECT_EQ(reports.at(0).lessonId, "l1");
  const std::string second = SrcOf(AskForMedia(hwnd));
  EXPECT_EQ(ServedLocalMedia().Find(second), tasks["l3"].localFile);
  EXPECT_EQ(ServedLocalMedia().Find(first), std::nullopt) << "the file before is taken back";
  Call(hwnd, L"playVideoStart");
  EXPECT_TRUE(HasScript(ScriptSeek("0")));

  EXPECT_FALSE(player->GetRightWindow()->PlayNext()) << "l3 is the last downloaded lesson";
  EXPECT_EQ(player->GetLessonId(), "l3");
  EXPECT_TRUE(player->GetRightWindow()->PlayPrevious());
  PumpPendingMessages();
  EXPECT_EQ(player->GetLessonId(), "l1");
}

// A second downloaded lesson goes to the open local player; an online lesson closes it first
// (after its report), and a downloaded one closes the online player the same way.
TEST_F(LocalPlayerWindowTest, OnlyOnePlayerIsOpenOnlineOrLocal) {
  VideoLocalPlayDlg* player = OpenLocal("l1");
  ASSERT_NE(player, nullptr);
  HWND local = player->GetHWND();
  OpenLocalPlayer(tasks["l3"]);
  PumpPendingMessages();
  EXPECT_EQ(Local(), player);
  EXPECT_EQ(player->GetLessonId(), "l3");
  EXPECT_EQ(player->GetLocalPath(), tasks["l3"].localFile);

  OpenOnlinePlayer("c1", lessons[1]);
  PumpPendingMessages();
  EXPECT_EQ(FindOnlinePlayer(), kNoWindow) << "opened beside the local player";
  EXPECT_TRUE(HasScript(ScriptGetPlayCurrentTime("l3", "c1", "v3")));
  Call(local, L"setPlayCurrentTime", LR"({"time":5,"lessonId":"l3","classId":"c1","vid":"v3"})");
  ASSERT_TRUE(RunUntil([&] { return !IsWindow(local) && FindOnlinePlayer() != kNoWindow; }));
  auto* online = dynamic_cast<VideoPlayDlg*>(CWindowWnd::FromHandle(FindOnlinePlayer()));
  ASSERT_NE(online, nullptr);
  EXPECT_EQ(online->GetLessonId(), "l2");

  // The online player's page never answers: it goes after its close limit all the same.
  OpenLocalPlayer(tasks["l1"]);
  ASSERT_TRUE(RunUntil([&] { return Local() != nullptr; }, std::chrono::seconds(10)));
  EXPECT_EQ(FindOnlinePlayer(), kNoWindow);
  EXPECT_EQ(Local()->GetLessonId(), "l1");
}

}  // namespace
