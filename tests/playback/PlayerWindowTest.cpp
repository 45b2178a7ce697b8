// The online player on the test host: bridge calls with valid, missing and malformed JSON,
// the play authorisation answer, progress reports, the switch sequence, the end panel, the
// error panel, closing with and without the page's answer, and the overlays' places.
// Screenshots: <build>/screenshots/player-*.png.
#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <tuple>

#include "PlayerTestKit.h"
#include "app/Folders.h"
#include "mainwnd/MainDlg.h"
#include "mainwnd/MainWindowOpener.h"
#include "playback/PlaybackLessonPlayer.h"
#include "study/DownloadCenter.h"
#include "app/Settings.h"
#include "app/TextConv.h"
#include "playback/OverlayLayout.h"
#include "playback/PlaybackPrefs.h"
#include "playback/PlayerDesktop.h"
#include "playback/ProgressQueue.h"
#include "playback/VideoErrorDlg.h"
#include "playback/VideoPlayEndDlg.h"
#include "playback/VideoRightDlg.h"
#include "playback/VideoTitleDlg.h"
#include "ui/Button.h"
#include "ui/Control.h"

namespace {

const std::wstring kReport12_9 = LR"({"time":12.9,"lessonId":"l1","classId":"c1","vid":"v1"})";

class PlayerWindowTest : public PlayerTestKit {
 protected:
  // Opens the main window as the login frame does.
  MainWindowOpener m_opener;
  // The program's way to the player (its side panel downloads through `downloads`).
  PlaybackLessonPlayer m_program{downloads};
};

// Signs "xm" in for one test and out again.
struct SignedIn {
  SignedIn() { SetSignedInAccount("xm"); }
  ~SignedIn() {
    SetSignedInAccount("");
  }
};

TEST_F(PlayerWindowTest, OpensOnTheLessonWithItsOverlaysAndIsFoundByItsTitle) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(player->GetWindowText(), L"第一课 导论");
  EXPECT_EQ(CurrentPlayerTitle(), L"第一课 导论");
  EXPECT_EQ(HostOf(player)->title, "第一课 导论");
  // Loading: the title bar is there without its label and buttons; the panels are hidden.
  EXPECT_TRUE(player->GetTitleWindow()->IsWindowVisible());
  EXPECT_FALSE(player->GetTitleWindow()->IsLabelShown());
  EXPECT_FALSE(player->GetRightWindow()->IsWindowVisible());
  EXPECT_FALSE(player->GetEndWindow()->IsWindowVisible());
  EXPECT_FALSE(player->GetErrorWindow()->IsWindowVisible());
  EXPECT_EQ(HostOf(player->GetTitleWindow())->kind(), HostKind::Layer);
  EXPECT_TRUE(VideoPlayDlg::PageUrl().starts_with(L"http://127.0.0.1:"));

  // A second play switches the open player instead of opening another one.
  OpenOnlinePlayer("c1", lessons[1]);
  EXPECT_EQ(FindOnlinePlayer(), player->GetHWND());
  EXPECT_EQ(player->GetVid(), "v2");
  size_t players = std::count_if(testHost->Windows().begin(), testHost->Windows().end(),
                                 [](TestHostWindow* w) { return w->kind() == HostKind::TopLevel; });
  EXPECT_EQ(players, 1u);
}

TEST_F(PlayerWindowTest, PlayAuthAnswerCarriesTheClientSizeInPixels) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  CDuiRect rc = player->GetWindowRect();
  player->MoveWindow({rc.left, rc.top, rc.left + 800, rc.top + 562});
  std::wstring answer;
  Call(player->GetHWND(), L"getVidAndPlayAuth", L"{}", &answer);
  ASSERT_TRUE(RunUntil([&] { return !answer.empty(); }));
  EXPECT_EQ(
      answer,
      LR"(200 {"vid":"v1","playAuth":"AUTH-v1","width":"800px","height":"562px","lessonId":"l1","classId":"c1",)"
      LR"("reconnectMs":30000,"playbackRate":1.0})");
}

// The speed the student picks is kept for the account: the next player (in this run or the
// next, since it is read from the settings store each time) starts at it; speeds the page
// does not offer, and a damaged kept value, change nothing.
TEST_F(PlayerWindowTest, TheChosenSpeedIsKeptForTheAccount) {
  SignedIn signedIn;
  auto rateOfANewPlayer = [&]() -> std::wstring {
    VideoPlayDlg* player = OpenPlayer();
    if (!player) return L"";
    std::wstring answer;
    Call(player->GetHWND(), L"getVidAndPlayAuth", L"{}", &answer);
    RunUntil([&] { return !answer.empty(); });
    player->DestroyWindow();
    PumpPendingMessages();
    const size_t at = answer.find(L"\"playbackRate\":");
    return at == std::wstring::npos ? L"" : answer.substr(at + 15, answer.size() - at - 16);
  };
  EXPECT_EQ(rateOfANewPlayer(), L"1.0");

  struct Case {
    const wchar_t* params;
    const wchar_t* kept;
  };
  const Case cases[] = {
      {LR"({"rate":1.75})", L"1.75"}, {LR"({"rate":3})", L"3.0"},  {LR"({"rate":0.5})", L"0.5"},
      {LR"({"rate":5})", L"0.5"},     {LR"({"rate":1.1})", L"0.5"}, {LR"({"rate":"2"})", L"0.5"},
      {L"not json", L"0.5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.params));
    VideoPlayDlg* player = OpenPlayer();
    ASSERT_NE(player, nullptr);
    Call(player->GetHWND(), L"setPlaybackRate", c.params);
    ASSERT_TRUE(IsWindow(player->GetHWND())) << "a bad speed closed the player";
    ASSERT_TRUE(WaitForPlayerTasks(5000));
    player->DestroyWindow();
    PumpPendingMessages();
    EXPECT_EQ(rateOfANewPlayer(), c.kept);
  }
  // Another account has its own speed; a damaged value reads as 1x.
  SetSignedInAccount("other");
  EXPECT_EQ(rateOfANewPlayer(), L"1.0");
  WriteRegString(PlaybackRateValueName("other"), L"fast");
  EXPECT_EQ(rateOfANewPlayer(), L"1.0");
  SetSignedInAccount("xm");
  EXPECT_EQ(rateOfANewPlayer(), L"0.5");
}

// The page's play state decides whether the screen is kept awake: while it plays or
// reconnects, not while paused, ended or in error, and never after the player closed.
TEST_F(PlayerWindowTest, TheScreenStaysAwakeOnlyWhileALessonPlays) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  ASSERT_NE(player->GetDesktop(), nullptr);
  HWND hwnd = player->GetHWND();
  struct Case {
    const wchar_t* state;
    bool awake;
  };
  const Case cases[] = {{L"playing", true},  {L"paused", false}, {L"playing", true}, {L"stalled", true},
                        {L"stopped", false}, {L"playing", true}, {L"ended", false}, {L"playing", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.state));
    Call(hwnd, L"playState", std::wstring(LR"({"state":")") + c.state + LR"(","time":4.5,"duration":600})");
    EXPECT_EQ(player->GetDesktop()->KeepsScreenAwake(), c.awake);
  }
  // Unknown or malformed states are logged and change nothing; the player stays.
  Call(hwnd, L"playState", LR"({"state":"dancing"})");
  Call(hwnd, L"playState", L"[]");
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_TRUE(player->GetDesktop()->KeepsScreenAwake());
  EXPECT_EQ(player->GetDesktop()->Mpris().PositionUs() / 1000000, 4);
  SendMessage(hwnd, WM_CLOSE);
  Call(hwnd, L"setPlayCurrentTime", kReport12_9);
  ASSERT_TRUE(RunUntil([&] { return !IsWindow(hwnd); }));
}

// Each bridge call with a JSON argument, given valid, missing and malformed texts: valid
// and missing members keep the player; a text that is no JSON object closes it, and the
// next play opens a fresh player.
TEST_F(PlayerWindowTest, BridgeArgumentsValidMissingAndMalformed) {
  struct Case {
    const wchar_t* name;
    std::wstring params;
    bool closes;
  };
  const Case cases[] = {
      {L"setPlayCurrentTime", kReport12_9, false},
      {L"setPlayCurrentTime", L"{}", false},
      {L"setPlayCurrentTime", L"{\"time\":", true},
      {L"pauseVideo", kReport12_9, false},
      {L"pauseVideo", LR"({"time":"soon"})", false},
      {L"pauseVideo", L"[1,2]", true},
      {L"playError", LR"({"error_code":4002})", false},
      {L"playError", L"{}", false},
      {L"playError", L"not json", true},
      {L"mousePlayerDrag", LR"({"drag":0})", false},
      {L"mousePlayerDrag", L"{}", false},
      {L"mousePlayerDrag", L"", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.name) + " " + WideToUtf8(c.params));
    VideoPlayDlg* player = OpenPlayer();
    ASSERT_NE(player, nullptr);
    HWND hwnd = player->GetHWND();
    HWND title = player->GetTitleWindow()->GetHWND();
    Call(hwnd, c.name, c.params);
    WaitForPlayerTasks(5000);
    PumpPendingMessages();
    EXPECT_EQ(IsWindow(hwnd), !c.closes);
    if (c.closes) {
      EXPECT_FALSE(IsWindow(title)) << "an overlay outlived its player";
      EXPECT_EQ(CurrentPlayerTitle(), L"");
      EXPECT_EQ(FindOnlinePlayer(), kNoWindow);
    } else {
      CWindowWnd::FromHandle(hwnd)->DestroyWindow();
    }
  }
  // After a malformed answer the next play works normally.
  VideoPlayDlg* next = OpenPlayer(1);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(CurrentPlayerTitle(), L"第二课 函数");
}

TEST_F(PlayerWindowTest, PauseReportsWholeSecondsAndUpdatesTheList) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  Call(player->GetHWND(), L"pauseVideo", kReport12_9);
  ASSERT_TRUE(RunUntil([&] { return !shown.empty(); }));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].seconds, "12");
  EXPECT_EQ(reports[0].lessonId, "l1");
  EXPECT_EQ(shown, std::vector<std::string>{"c1/l1=12"});
  EXPECT_EQ(stored, std::vector<std::string>{"c1/l1=12"});
  EXPECT_EQ(player->GetLearnedDuration(), "12");

  // A report the service does not take is kept for later; the list shows it meanwhile.
  acceptReports = false;
  Call(player->GetHWND(), L"pauseVideo", LR"({"time":99.2,"lessonId":"l1","classId":"c1","vid":"v1"})");
  ASSERT_TRUE(RunUntil([&] { return shown.size() == 2; }));
  EXPECT_EQ(shown.back(), "c1/l1=99");
  std::vector<UnsentProgress> kept = ProgressQueue::Get().Pending(GetSignedInAccount());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].lessonId, "l1");
  EXPECT_EQ(kept[0].seconds, "99");
}

// A report still on its way when the program dies is not lost: it was kept before it went,
// and after the restart it is sent again and arrives.
TEST_F(PlayerWindowTest, AReportInFlightAtACrashArrivesAfterTheRestart) {
  SignedIn signedIn;
  std::promise<void> serviceAnswers;  // never kept: the process dies first
  std::shared_future<void> answered = serviceAnswers.get_future().share();
  auto calls = std::make_shared<std::atomic<int>>(0);
  PlayerServices services = GetPlayerServices();
  services.reportProgress = [record = services.reportProgress, answered, calls](const std::string& seconds,
                                                                                const std::string& lessonId) {
    if ((*calls)++ == 0) {
      answered.wait();
      return false;
    }
    return record(seconds, lessonId);
  };
  SetPlayerServices(services);
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  Call(player->GetHWND(), L"pauseVideo", kReport12_9);
  ASSERT_TRUE(RunUntil([&] { return *calls == 1; }));

  // The crash: the window and the open database go while the service has not answered.
  player->DestroyWindow();
  ProgressQueue::Release();
  // The restart: the next sign-in sends what the account kept.
  ResumeUnsentProgress();
  ASSERT_TRUE(RunUntil([&] { return ReportCount() == 1 && ProgressQueue::Get().Pending("xm").empty(); }));
  EXPECT_EQ(reports[0].lessonId, "l1");
  EXPECT_EQ(reports[0].seconds, "12");
}

// Opening another lesson while one plays: the old position is asked for and reported
// before the new video is replayed, and the new video seeks to its own learned time.
TEST_F(PlayerWindowTest, SwitchReportsTheOldPositionBeforeReplayingTheNewVideo) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  HWND hwnd = player->GetHWND();
  Call(hwnd, L"playVideoStart");
  EXPECT_TRUE(HasScript(L"seek('30')"));

  OpenOnlinePlayer("c1", lessons[1]);
  EXPECT_TRUE(HasScript(L"getPlayCurrentTime('l1','c1','v1')"));
  EXPECT_TRUE(player->IsSwitching());
  EXPECT_EQ(CurrentPlayerTitle(), L"第二课 函数");
  EXPECT_EQ(player->GetRightWindow()->GetVid(), "v2");
  EXPECT_EQ(player->GetRightWindow()->GetLessonId(), "l2");

  Call(hwnd, L"setPlayCurrentTime", LR"({"time":40.7,"lessonId":"l1","classId":"c1","vid":"v1"})");
  ASSERT_TRUE(RunUntil([&] { return HasScript(L"replay('v2','AUTH-v2')"); }));
  std::vector<std::string> order = Events();
  auto report = std::find(order.begin(), order.end(), "report 40");
  auto replay = std::find(order.begin(), order.end(), "script replay('v2','AUTH-v2')");
  ASSERT_NE(report, order.end());
  EXPECT_LT(report - order.begin(), replay - order.begin());
  EXPECT_EQ(reports.back().lessonId, "l1");
  EXPECT_EQ(shown.back(), "c1/l1=40");

  Call(hwnd, L"playVideoStart");
  EXPECT_TRUE(HasScript(L"seek('75')"));
  EXPECT_FALSE(player->IsSwitching());
  EXPECT_EQ(player->GetLearnedDuration(), "75");
}

TEST_F(PlayerWindowTest, NextFromTheSidePanelAndTheEndsOfTheList) {
  VideoPlayDlg* player = OpenPlayer(1);
  ASSERT_NE(player, nullptr);
  HWND hwnd = player->GetHWND();
  Call(hwnd, L"playVideoStart");
  EXPECT_TRUE(player->GetRightWindow()->PlayNext());
  PumpPendingMessages();
  EXPECT_EQ(player->GetVid(), "v3");
  EXPECT_EQ(player->GetLessonId(), "l3");
  EXPECT_EQ(player->GetPendingDuration(), "0");
  EXPECT_EQ(CurrentPlayerTitle(), L"第三课 极限");
  // At the last lesson the panel says so and the player stays where it is.
  size_t windows = testHost->Windows().size();
  EXPECT_FALSE(player->GetRightWindow()->PlayNext());
  EXPECT_EQ(testHost->Windows().size(), windows + 1);  // the toast
  EXPECT_EQ(player->GetVid(), "v3");
}

// The program's player hands its download centre to the player it opens: the side panel's
// "下  载" asks the centre for the lesson playing (not the first lesson of its video), says
// "下载中" and rests disabled once the lesson is listed, stays as it was when the start is
// refused (the folder question cancelled), and follows the list on a switch.
TEST_F(PlayerWindowTest, TheSidePanelsDownloadButtonAddsThePlayingLessonToTheCentre) {
  m_program.PlayOnline("c1", lessons[1]);
  auto* player = dynamic_cast<VideoPlayDlg*>(CWindowWnd::FromHandle(FindOnlinePlayer()));
  ASSERT_NE(player, nullptr);
  player->SetScriptSink([](const std::wstring&) {});
  VideoRightDlg* right = player->GetRightWindow();
  auto* button = static_cast<CButtonUI*>(right->FindControl(L"btnPlayDown"));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->GetText(), L"下  载");

  acceptDownloads = false;
  button->Activate();
  EXPECT_EQ(asked, std::vector<std::string>{"c1/l2"});
  EXPECT_EQ(button->GetText(), L"下  载");
  EXPECT_TRUE(button->IsEnabled());

  acceptDownloads = true;
  button->Activate();
  EXPECT_EQ(asked, (std::vector<std::string>{"c1/l2", "c1/l2"}));
  EXPECT_TRUE(downloads.IsListed({TaskKind::Video, "c1", "l2"}));
  EXPECT_EQ(button->GetText(), L"下载中");
  EXPECT_FALSE(button->IsEnabled());

  Call(player->GetHWND(), L"playVideoStart");
  ASSERT_TRUE(right->PlayNext());
  PumpPendingMessages();
  ASSERT_EQ(player->GetLessonId(), "l3");
  EXPECT_EQ(button->GetText(), L"下  载");
  EXPECT_TRUE(button->IsEnabled());
  ASSERT_TRUE(right->PlayPrevious());
  PumpPendingMessages();
  EXPECT_EQ(button->GetText(), L"下载中");
}

// A player opened without a download centre offers no download: a click starts nothing.
TEST_F(PlayerWindowTest, APlayerWithoutADownloadCentreStartsNoDownload) {
  OpenOnlinePlayer("c1", lessons[0]);
  auto* player = dynamic_cast<VideoPlayDlg*>(CWindowWnd::FromHandle(FindOnlinePlayer()));
  ASSERT_NE(player, nullptr);
  player->SetScriptSink([](const std::wstring&) {});
  auto* button = static_cast<CButtonUI*>(player->GetRightWindow()->FindControl(L"btnPlayDown"));
  ASSERT_NE(button, nullptr);
  button->Activate();
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(button->GetText(), L"下  载");
}

// A lesson that plays another lesson's video is still itself: its report, its row and its
// neighbours go by its lesson id, never to the first lesson of that video.
TEST_F(PlayerWindowTest, ALessonPlayingAnotherLessonsVideoIsStillItself) {
  lessons.push_back(Lesson("l4", "第四课 复习", "v1", "0"));
  lessons.push_back(Lesson("l5", "第五课 总结", "v2", "0"));
  VideoPlayDlg* player = OpenPlayer(3);
  ASSERT_NE(player, nullptr);
  HWND hwnd = player->GetHWND();
  Call(hwnd, L"playVideoStart");
  Call(hwnd, L"pauseVideo", LR"({"time":20.0,"lessonId":"l4","classId":"c1","vid":"v1"})");
  ASSERT_TRUE(RunUntil([&] { return !shown.empty(); }));
  EXPECT_EQ(shown, std::vector<std::string>{"c1/l4=20"});
  EXPECT_EQ(stored, std::vector<std::string>{"c1/l4=20"});
  // A report naming only the video is the lesson this window plays.
  Call(hwnd, L"pauseVideo", LR"({"time":30.0,"vid":"v1"})");
  ASSERT_TRUE(RunUntil([&] { return shown.size() == 2; }));
  EXPECT_EQ(shown.back(), "c1/l4=30");
  EXPECT_EQ(reports.back().lessonId, "l4");
  EXPECT_TRUE(player->GetRightWindow()->PlayNext());
  PumpPendingMessages();
  EXPECT_EQ(player->GetLessonId(), "l5");
  EXPECT_EQ(player->GetVid(), "v2");
  EXPECT_TRUE(player->GetRightWindow()->PlayPrevious());
  PumpPendingMessages();
  EXPECT_EQ(player->GetLessonId(), "l4");
  EXPECT_EQ(player->GetVid(), "v1");
}

TEST_F(PlayerWindowTest, EndPanelReplayStartsAtZeroAndNextLeavesTheEnd) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  HWND hwnd = player->GetHWND();
  Call(hwnd, L"playVideoStart");
  Call(hwnd, L"playVideoEnd");
  EXPECT_TRUE(player->IsEnded());
  EXPECT_TRUE(player->GetEndWindow()->IsWindowVisible());
  EXPECT_FALSE(player->GetRightWindow()->IsWindowVisible());
  EXPECT_FALSE(player->GetTitleWindow()->IsLabelShown());
  SaveScreenshot(player, "player-end.png", {player->GetTitleWindow(), player->GetEndWindow()});

  SendMessage(hwnd, WM_PLAYER_END_CHOICE, 1);
  EXPECT_EQ(player->GetLearnedDuration(), "0");
  EXPECT_EQ(stored, std::vector<std::string>{"c1/l1=0"});
  EXPECT_TRUE(HasScript(L"playerReplay()"));
  EXPECT_FALSE(player->IsEnded());
  EXPECT_FALSE(player->GetEndWindow()->IsWindowVisible());

  Call(hwnd, L"playVideoEnd");
  SendMessage(hwnd, WM_PLAYER_END_CHOICE, 2);
  PumpPendingMessages();
  EXPECT_FALSE(player->IsEnded());
  EXPECT_EQ(player->GetVid(), "v2");
}

TEST_F(PlayerWindowTest, ErrorPanelShowsTheCodeAndRetryReplaysWithAFreshAuthorisation) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  HWND hwnd = player->GetHWND();
  Call(hwnd, L"playError", LR"({"error_code":4002})");
  EXPECT_TRUE(player->IsErrorShown());
  EXPECT_TRUE(player->GetErrorWindow()->IsWindowVisible());
  EXPECT_EQ(player->GetErrorWindow()->GetCode(), L"4002");
  SaveScreenshot(player, "player-error.png", {player->GetTitleWindow(), player->GetErrorWindow()});

  SendMessage(hwnd, WM_PLAYER_RETRY);
  ASSERT_TRUE(RunUntil([&] { return HasScript(L"replay('v1','AUTH-v1')"); }));
  Call(hwnd, L"playVideoStart");
  EXPECT_FALSE(player->IsErrorShown());
  EXPECT_FALSE(player->GetErrorWindow()->IsWindowVisible());
}

TEST_F(PlayerWindowTest, CloseReportsFirstThenGoes) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  HWND hwnd = player->GetHWND();
  SendMessage(hwnd, WM_CLOSE);
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_TRUE(player->IsClosing());
  EXPECT_TRUE(HasScript(L"getPlayCurrentTime('l1','c1','v1')"));
  EXPECT_EQ(marked, std::vector<std::string>{"c1/l1"});
  Call(hwnd, L"setPlayCurrentTime", kReport12_9);
  ASSERT_TRUE(RunUntil([&] { return !IsWindow(hwnd); }));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].seconds, "12");
  EXPECT_EQ(CurrentPlayerTitle(), L"");
}

TEST_F(PlayerWindowTest, ClosesWithoutAReportWhenThePageNeverAnswers) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  HWND hwnd = player->GetHWND();
  SendMessage(hwnd, WM_PLAYER_CLOSE, 0);
  PumpPendingMessages();
  EXPECT_TRUE(IsWindow(hwnd));
  ASSERT_TRUE(RunUntil([&] { return !IsWindow(hwnd); }, std::chrono::seconds(6)));
  EXPECT_TRUE(reports.empty());
}

TEST_F(PlayerWindowTest, MaximiseButtonTogglesAndTellsThePageItsSize) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  Call(player->GetHWND(), L"playVideoStart");  // the buttons show once the lesson plays
  VideoTitleDlg* title = player->GetTitleWindow();
  title->GetPaintManager().DoLayout();
  auto* max = static_cast<CButtonUI*>(title->FindControl(L"maxbtn"));
  ASSERT_NE(max, nullptr);
  max->Activate();
  PumpPendingMessages();
  EXPECT_TRUE(player->IsZoomed());
  EXPECT_EQ(max->GetToolTip(), L"向下还原");
  CDuiRect rc = player->GetWindowRect();
  EXPECT_TRUE(HasScript(ScriptSetPrismPlayerSize(rc.GetWidth(), rc.GetHeight())));
  max->Activate();
  PumpPendingMessages();
  EXPECT_FALSE(player->IsZoomed());
  EXPECT_EQ(max->GetToolTip(), L"最大化");
}

TEST_F(PlayerWindowTest, OverlaysHideFiveSecondsAfterTheLastMovement) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  HWND hwnd = player->GetHWND();
  Call(hwnd, L"playVideoStart");
  testHost->cursorX = 300;
  testHost->cursorY = 200;
  Call(hwnd, L"mouseMove");
  auto moved = std::chrono::steady_clock::now();
  EXPECT_TRUE(player->GetRightWindow()->IsWindowVisible());
  ASSERT_TRUE(
      RunUntil([&] { return !player->GetRightWindow()->IsWindowVisible(); }, std::chrono::seconds(8)));
  EXPECT_GE(std::chrono::steady_clock::now() - moved, std::chrono::milliseconds(4900));
  EXPECT_FALSE(player->GetTitleWindow()->IsLabelShown());
  // The next movement in both axes brings them back.
  testHost->cursorX = 320;
  testHost->cursorY = 230;
  Call(hwnd, L"mouseMove");
  EXPECT_TRUE(player->GetRightWindow()->IsWindowVisible());
  EXPECT_TRUE(player->GetTitleWindow()->IsLabelShown());
}

// The main window asked to close while a lesson plays: the player reports, goes, and then
// the main window closes too.
TEST_F(PlayerWindowTest, MainWindowCloseWaitsForThePlayersReport) {
  m_opener.ShowMainWindow();
  MainDlg* main = GetMainDlg();
  ASSERT_NE(main, nullptr);
  main->SetQuitOnFinal(false);
  HWND mainHwnd = main->GetHWND();
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  HWND hwnd = player->GetHWND();
  PostMessage(mainHwnd, WM_CLOSE);
  ASSERT_TRUE(RunUntil([&] { return player->IsClosing(); }));
  EXPECT_TRUE(IsWindow(mainHwnd));
  Call(hwnd, L"setPlayCurrentTime", kReport12_9);
  ASSERT_TRUE(RunUntil([&] { return !IsWindow(hwnd) && !IsWindow(mainHwnd); }));
  EXPECT_EQ(reports.size(), 1u);
}

// The overlays follow the player: the title bar across its top, the side panel on its
// right edge, the end and error panels centred.
TEST_F(PlayerWindowTest, OverlaysSitWhereThePlayerIs) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  const CDuiRect places[] = {{100, 50, 900, 650}, {0, 0, 1366, 768}, {37, 11, 1061, 771}};
  for (const CDuiRect& rc : places) {
    player->MoveWindow(rc);
    PumpPendingMessages();
    OverlayLayout want = ComputeOverlayLayout(rc);
    auto same = [](const CDuiRect& a, const CDuiRect& b) {
      return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    };
    EXPECT_TRUE(same(player->GetTitleWindow()->GetWindowRect(), want.title));
    EXPECT_TRUE(same(player->GetRightWindow()->GetWindowRect(), want.right));
    EXPECT_TRUE(same(player->GetEndWindow()->GetWindowRect(), want.end));
    EXPECT_TRUE(same(player->GetErrorWindow()->GetWindowRect(), want.error));
  }
  // The formulas for an 800 x 600 player at (100, 50).
  OverlayLayout layout = ComputeOverlayLayout({100, 50, 900, 650});
  EXPECT_EQ(layout.title.bottom, 152);
  EXPECT_EQ(layout.title.right, 900);
  EXPECT_EQ(layout.right.left, 797);
  EXPECT_EQ(layout.right.top, 230);
  EXPECT_EQ(layout.end.left, 243);
  EXPECT_EQ(layout.end.top, 278);
  EXPECT_EQ(layout.error.left, 257);
  EXPECT_EQ(layout.error.top, 109);
}

TEST_F(PlayerWindowTest, OverlaysShowWhilePlayingAndHideWhenIdle) {
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  HWND hwnd = player->GetHWND();
  // Before the start a hover shows nothing.
  Call(hwnd, L"mouseEnter");
  EXPECT_FALSE(player->GetRightWindow()->IsWindowVisible());
  Call(hwnd, L"playVideoStart");
  EXPECT_TRUE(player->GetRightWindow()->IsWindowVisible());
  EXPECT_TRUE(player->GetTitleWindow()->IsLabelShown());
  EXPECT_TRUE(player->GetTitleWindow()->AreButtonsShown());
  player->MoveWindow({100, 60, 1124, 820});
  PumpPendingMessages();
  SaveScreenshot(player, "player-overlays.png", {player->GetTitleWindow(), player->GetRightWindow()});
  Call(hwnd, L"mouseLeave");
  EXPECT_FALSE(player->GetRightWindow()->IsWindowVisible());
  EXPECT_FALSE(player->GetTitleWindow()->AreButtonsShown());
  // Full screen hides the window buttons; leaving it restores the rectangle.
  CDuiRect before = player->GetWindowRect();
  Call(hwnd, L"playVideoFullScreen");
  EXPECT_TRUE(player->IsFullScreen());
  Call(hwnd, L"mouseEnter");
  EXPECT_TRUE(player->GetTitleWindow()->IsLabelShown());
  EXPECT_FALSE(player->GetTitleWindow()->AreButtonsShown());
  Call(hwnd, L"playVideoCancelFullScreen");
  CDuiRect after = player->GetWindowRect();
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.bottom, before.bottom);
  EXPECT_TRUE(player->GetTitleWindow()->AreButtonsShown());

  // The engine made the window cover the screen before the page reported full screen (as
  // it does under a window manager): leaving still goes back to the windowed place, and
  // a window system that puts it elsewhere afterwards is corrected.
  SendMessage(hwnd, WM_PLAYER_MOVE_TO, 140, 90);
  before = player->GetWindowRect();
  ASSERT_EQ(before.left, 140);
  HostRect area = GetHost().GetWorkArea();
  player->MoveWindow({area.x, area.y, area.x + area.width, area.y + area.height});
  Call(hwnd, L"playVideoFullScreen");
  Call(hwnd, L"playVideoCancelFullScreen");
  after = player->GetWindowRect();
  EXPECT_EQ(after.left, 140);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(after.GetWidth(), before.GetWidth());
  player->MoveWindow({0, 0, before.GetWidth(), before.GetHeight()});  // a late restore to the corner
  EXPECT_TRUE(RunUntil([&] { return player->GetWindowRect().left == 140; }, std::chrono::seconds(3)))
      << "the window stayed in the corner";
}

// A new player opens centred over the main window wherever that stands (the test host
// keeps sizes as created: the player 800 x 600, the main window as moved).
TEST_F(PlayerWindowTest, OpensCentredOverTheMainWindow) {
  m_opener.ShowMainWindow();
  MainDlg* main = GetMainDlg();
  ASSERT_NE(main, nullptr);
  main->SetQuitOnFinal(false);
  main->MoveWindow({200, 100, 1200, 800});
  VideoPlayDlg* player = OpenPlayer();
  ASSERT_NE(player, nullptr);
  CDuiRect rc = player->GetWindowRect();
  EXPECT_EQ(rc.left, 300);
  EXPECT_EQ(rc.top, 150);
  EXPECT_EQ(rc.GetWidth(), 800);
}

// Where a player opens: centred over the main window, else over the work area, and moved
// back onto the work area when the main window stands partly off it.
TEST(PlayerOpeningRectTest, CentredOverTheMainWindowAndKeptOnTheWorkArea) {
  struct Case {
    const char* what;
    std::optional<CDuiRect> main;
    CDuiRect area;
    CDuiRect want;
  };
  const CDuiRect screen{0, 0, 1920, 1080};
  const Case cases[] = {
      {"no main window", std::nullopt, screen, {448, 160, 1472, 920}},
      {"centred main window", CDuiRect{277, 156, 1643, 924}, screen, {448, 160, 1472, 920}},
      {"main window top left", CDuiRect{0, 0, 1366, 768}, screen, {171, 4, 1195, 764}},
      {"main window off the left", CDuiRect{-900, 300, 466, 1068}, screen, {0, 304, 1024, 1064}},
      {"main window off the bottom right", CDuiRect{1500, 700, 2866, 1468}, screen, {896, 320, 1920, 1080}},
      {"main window smaller than the player", CDuiRect{100, 100, 500, 400}, screen, {0, 0, 1024, 760}},
      {"work area smaller than the player", std::nullopt, CDuiRect{0, 30, 800, 630}, {0, 30, 1024, 790}},
      {"work area not at the origin", std::nullopt, CDuiRect{1920, 0, 3840, 1080}, {2368, 160, 3392, 920}},
  };
  for (const Case& c : cases) {
    CDuiRect got = PlayerOpeningRect(c.main, c.area, 1024, 760);
    EXPECT_EQ(std::make_tuple(got.left, got.top, got.right, got.bottom),
              std::make_tuple(c.want.left, c.want.top, c.want.right, c.want.bottom))
        << c.what;
  }
}

// Positions kept unsent (here by an earlier run) go out, oldest first, as soon as a
// sign-in opens the main window, without waiting for a player to open.
TEST_F(PlayerWindowTest, SignInSendsTheKeptProgressOldestFirst) {
  SignedIn signedIn;
  {
    ProgressQueue earlier(GetDbFolder() + L"course.db");
    earlier.Keep("xm", "l2", "c1", "v2", "40");
    earlier.Keep("xm", "l1", "c1", "v1", "25");
    earlier.Keep("fang", "l3", "c1", "v3", "5");
  }
  EXPECT_EQ(ReportCount(), 0u);
  m_opener = MainWindowOpener(nullptr, nullptr, nullptr, &m_program);
  m_opener.ShowMainWindow();
  ASSERT_NE(GetMainDlg(), nullptr);
  GetMainDlg()->SetQuitOnFinal(false);
  ASSERT_TRUE(RunUntil([&] { return ReportCount() == 2 && ProgressQueue::Get().Pending("xm").empty(); }));
  EXPECT_EQ(reports[0].lessonId, "l2");
  EXPECT_EQ(reports[0].seconds, "40");
  EXPECT_EQ(reports[1].lessonId, "l1");
  EXPECT_EQ(ProgressQueue::Get().Pending("fang").size(), 1u);  // another account's stay
}

}  // namespace
