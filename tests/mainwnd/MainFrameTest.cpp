// The main window's frame on the test host: identity, views, close button and tray, the
// close path and its end (quit or not), activation by a second start, max/restore.
#include <fstream>
#include <iterator>

#include "account/AboutDlg.h"
#include "account/WindowTestKit.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "downloads/DownloadTaskList.h"
#include "mainwnd/MainDlg.h"
#include "mainwnd/MainWindowOpener.h"
#include "service/Records.h"
#include "service/Session.h"
#include "study/OfflineState.h"
#include "ui/MenuWnd.h"
#include "ui/Option.h"
#include "ui/UIText.h"
#include "support/GuardedLoop.h"
#include "support/RecordingLessonPlayer.h"

namespace {

// Stands in for the online player: records what reaches it.
class FakePlayer : public MessageTarget {
 public:
  FakePlayer() { hwnd = RegisterWindow(this, L"videoPlayDlgClass", L"第一课 函数与极限"); }
  ~FakePlayer() override { UnregisterWindow(hwnd); }
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM, const Payload&) override {
    if (msg == WM_PLAYER_CLOSE) closeRequests.push_back(wParam);
    return 0;
  }
  HWND hwnd = kNoWindow;
  std::vector<WPARAM> closeRequests;
};

class MainFrameTest : public WindowTestKit {
 protected:
  // Opens the main window as the login frame does.
  MainWindowOpener m_opener;
  void SetUp() override {
    WindowTestKit::SetUp();
    gSubjectList.Clear();
  }
  void TearDown() override {
    WindowTestKit::TearDown();
    gSubjectList.Clear();
    ClearSessionToken();
    DownloadTaskList::Get().Clear();
  }

  MainDlg* Open() {
    m_opener.ShowMainWindow();
    MainDlg* main = GetMainDlg();
    EXPECT_NE(main, nullptr);
    if (main) main->GetPaintManager().DoLayout();
    return main;
  }
  static CControlUI* Find(WindowImplBase* wnd, const std::wstring& name) {
    CControlUI* c = wnd->FindControl(name);
    EXPECT_NE(c, nullptr) << ToUtf8(name);
    return c;
  }
  static bool Visible(WindowImplBase* wnd, const std::wstring& name) {
    CControlUI* c = Find(wnd, name);
    return c && c->IsVisible();
  }
  static void ClickOn(WindowImplBase* wnd, const std::wstring& name) {
    wnd->GetPaintManager().DoLayout();
    CDuiRect r = Find(wnd, name)->GetPos();
    HostOf(wnd)->Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  // Right click on the tray icon, then a click on the menu item.
  void ChooseFromTrayMenu(const std::wstring& item) {
    ASSERT_TRUE(testHost->trayClick);
    testHost->trayClick(3);
    PumpPendingMessages();
    auto* menu = dynamic_cast<WindowImplBase*>(CWindowWnd::FromHandle(FindWindow(L"MenuWnd", L"")));
    ASSERT_NE(menu, nullptr);
    ClickOn(menu, item);
    PumpPendingMessages();
  }
  // Runs the main loop until a quit; the guard ends it with 77 when nothing quits.
  static int RunLoopWithGuard() { return RunMessageLoopWithGuard(500); }
  static void SignedInState() {
    ClassRecord cls;
    cls.id = "101";
    cls.name = "会计实务精讲班";
    gSubjectList.Classes.push_back(cls);
    SetSessionToken("token-of-the-student");
    DownloadTaskList::Get().AddClass("101", "会计实务精讲班", TaskKind::Video);
  }
  static std::string ReadLogText() {
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(ToUtf8(GetLogFolder()))) {
      std::ifstream file(entry.path(), std::ios::binary);
      std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
      // UTF-16LE: the ASCII text reads as every other byte.
      for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        if (bytes[i + 1] == 0) all.push_back(bytes[i]);
    }
    return all;
  }
};

TEST_F(MainFrameTest, OpensOneTitledWindowWithItsShadowAndLogLine) {
  ASSERT_TRUE(OpenLog(L"browserlog"));
  EXPECT_FALSE(m_opener.MainWindowExists());
  MainDlg* main = Open();
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(m_opener.MainWindowExists());
  EXPECT_EQ(FindWindow(L"mainDlgClass", L"Tavo"), main->GetHWND());
  TestHostWindow* host = HostOf(main);
  EXPECT_TRUE(host->IsVisible());
  // The skin's size, centred in the 1600 x 900 work area.
  EXPECT_EQ(host->GetScreenRect(), (HostRect{117, 66, 1366, 768}));
  EXPECT_EQ(host->minWidth, 1024);
  EXPECT_EQ(host->minHeight, 760);
  ASSERT_NE(main->GetTitleShadow(), nullptr);
  EXPECT_EQ(HostOf(main->GetTitleShadow())->GetScreenRect(), (HostRect{117, 66, 1366, 72}));
  EXPECT_TRUE(HostOf(main->GetTitleShadow())->IsVisible());

  // Opening again raises the same window.
  m_opener.ShowMainWindow();
  PumpPendingMessages();
  EXPECT_EQ(GetMainDlg(), main);

  CloseLog();
  EXPECT_NE(ReadLogText().find("]:init gSubjectList data"), std::string::npos);
  SaveScreenshot(main, "main-frame.png", {main->GetTitleShadow()});
}

TEST_F(MainFrameTest, BodyViewFollowsTheCatalogueAndTheTabs) {
  struct Case {
    const char* name;
    bool courses;
    const wchar_t* courseView;
  } cases[] = {
      {"no courses", false, L"vLayNoLesson"},
      {"a class", true, L"hLayLesson"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gSubjectList.Clear();
    if (c.courses) SignedInState();
    MainDlg* main = Open();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(Visible(main, c.courseView));
    EXPECT_FALSE(Visible(main, L"vlQuestions"));
    // The question page is asked for only when its tab is first opened.
    EXPECT_FALSE(main->GetQuestionView().Requested());
    EXPECT_EQ(main->FindControl(L"lbQuestionsLoading")->GetText(), L"题库加载中…");

    ClickOn(main, L"optMyQuestions");
    EXPECT_EQ(main->GetView(), MainDlg::View::Questions);
    EXPECT_TRUE(Visible(main, L"vlQuestions"));
    EXPECT_TRUE(main->GetQuestionView().Requested());
    // Without a browser engine here, the holder says the page cannot open.
    EXPECT_EQ(main->FindControl(L"lbQuestionsLoading")->GetText(), L"题库暂时无法打开");
    EXPECT_FALSE(Visible(main, c.courseView));
    EXPECT_EQ(main->FindControlAs<COptionUI>(L"optMyQuestions")->GetFont(), 13);
    EXPECT_EQ(main->FindControlAs<COptionUI>(L"optMyCourse")->GetFont(), 12);

    ClickOn(main, L"optMyCourse");
    EXPECT_TRUE(Visible(main, c.courseView));
    EXPECT_FALSE(Visible(main, L"vlQuestions"));
    EXPECT_EQ(main->FindControlAs<COptionUI>(L"optMyCourse")->GetFont(), 13);
    main->SetQuitOnFinal(false);  // the next case needs a running loop
    main->DestroyWindow();
    PumpPendingMessages();
  }
}

// A session started without the school: the banner says so, and what needs the school
// (the question page, the profile) gives a tip instead of an empty page or an error; the
// banner goes when the session is back online.
TEST_F(MainFrameTest, OfflineSessionShowsTheBannerAndRefusesWhatNeedsTheSchool) {
  SignedInState();
  OfflineState offline;
  offline.SetOffline(true);
  m_opener = MainWindowOpener(nullptr, nullptr, &offline);
  MainDlg* main = Open();
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(Visible(main, L"lbOfflineBanner"));
  EXPECT_NE(main->FindControl(L"lbOfflineBanner")->GetText().find(L"离线模式"), std::wstring::npos);
  SaveScreenshot(main, "main-frame-offline.png", {main->GetTitleShadow()});

  ClickOn(main, L"optMyQuestions");
  PumpPendingMessages();
  EXPECT_EQ(main->GetView(), MainDlg::View::Course);
  EXPECT_FALSE(main->GetQuestionView().Requested()) << "the school's page was asked for offline";
  EXPECT_TRUE(main->FindControlAs<COptionUI>(L"optMyCourse")->IsSelected());
  const HWND tip = FindWindow(L"MessageBoxDlgClass", L"");
  ASSERT_NE(tip, kNoWindow);
  main->ShowPersonPanel(AccountRecord{});
  EXPECT_EQ(main->GetView(), MainDlg::View::Course);

  offline.SetOffline(false);
  EXPECT_FALSE(Visible(main, L"lbOfflineBanner"));
  ClickOn(main, L"optMyQuestions");
  EXPECT_EQ(main->GetView(), MainDlg::View::Questions);
  main->SetQuitOnFinal(false);
  main->DestroyWindow();
  PumpPendingMessages();
}

// The main window asks the player it was given: a sign-in's new window sends the kept
// positions (not while offline, where the catch-up does it), and a finished video of the
// manager plays from the disk.
TEST_F(MainFrameTest, TheMainWindowPlaysAndSendsThroughItsLessonPlayer) {
  struct Case {
    bool offline;
    int sends;
  };
  for (const Case& c : {Case{false, 1}, Case{true, 0}}) {
    SCOPED_TRACE(c.offline ? "offline" : "online");
    SignedInState();
    OfflineState offline;
    offline.SetOffline(c.offline);
    RecordingLessonPlayer player;
    m_opener = MainWindowOpener(nullptr, nullptr, &offline, &player);
    MainDlg* main = Open();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(player.keptProgressSends, c.sends);
    DownloadTask video;
    video.kind = TaskKind::Video;
    video.localFile = "/dl/第一课.mp4";
    static_cast<DownloadMgrDelegate*>(main)->OpenFinished(video);
    EXPECT_EQ(player.downloaded, std::vector<std::string>{"/dl/第一课.mp4"});
    EXPECT_TRUE(player.online.empty());
    main->SetQuitOnFinal(false);
    main->DestroyWindow();
    PumpPendingMessages();
    gSubjectList.Clear();
  }
}

TEST_F(MainFrameTest, NoLessonViewLinksToTheBuyPage) {
  MainDlg* main = Open();
  ClickOn(main, L"btnBugLesson");
  ASSERT_EQ(testHost->openedUris.size(), 1u);
  EXPECT_TRUE(testHost->openedUris[0].ends_with("/course.html"));
}

TEST_F(MainFrameTest, CloseButtonHidesIntoTheTrayOrEndsTheProgramWithoutOne) {
  // With a tray: hidden with the shadow, and the tray's left click toggles it; no title
  // menu.
  MainDlg* main = Open();
  TestHostWindow* host = HostOf(main);
  TestHostWindow* shadow = HostOf(main->GetTitleShadow());
  ASSERT_TRUE(main->HasTray());
  EXPECT_FALSE(Find(main, L"btnTitleMenu")->IsVisible());
  ClickOn(main, L"closebtn");
  PumpPendingMessages();
  EXPECT_FALSE(host->IsVisible());
  EXPECT_FALSE(shadow->IsVisible());
  EXPECT_TRUE(IsWindow(main->GetHWND()));
  testHost->trayClick(1);
  PumpPendingMessages();
  EXPECT_TRUE(host->IsVisible());
  EXPECT_TRUE(shadow->IsVisible());
  testHost->trayClick(1);
  PumpPendingMessages();
  EXPECT_FALSE(host->IsVisible());
  // The menu's "显示主窗口" brings it back too (a desktop-drawn menu has nothing else).
  ChooseFromTrayMenu(L"show");
  EXPECT_TRUE(host->IsVisible());
  EXPECT_TRUE(shadow->IsVisible());
  main->SetQuitOnFinal(false);  // the next case needs a running loop
  main->DestroyWindow();
  PumpPendingMessages();

  // Without a tray nothing could bring a hidden window back: closing ends the program,
  // after the same player check as "退出".
  testHost->hasTray = false;
  main = Open();
  ASSERT_FALSE(main->HasTray());
  {
    FakePlayer player;
    ClickOn(main, L"closebtn");
    PumpPendingMessages();
    EXPECT_EQ(player.closeRequests, std::vector<WPARAM>{1});
    EXPECT_TRUE(IsWindow(main->GetHWND()));
  }
  HWND hwnd = main->GetHWND();
  ClickOn(main, L"closebtn");
  EXPECT_EQ(RunLoopWithGuard(), 0);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(MainFrameTest, WithoutATrayTheTitleMenuOffersAboutAndExit) {
  testHost->hasTray = false;
  MainDlg* main = Open();
  CControlUI* button = Find(main, L"btnTitleMenu");
  ASSERT_TRUE(button->IsVisible());
  auto choose = [&](const std::wstring& item) {
    ClickOn(main, L"btnTitleMenu");
    PumpPendingMessages();
    auto* menu = dynamic_cast<WindowImplBase*>(CWindowWnd::FromHandle(FindWindow(L"MenuWnd", L"")));
    ASSERT_NE(menu, nullptr);
    // The menu opens below the button.
    EXPECT_GE(menu->GetWindowRect().top, main->GetWindowRect().top + button->GetPos().bottom);
    ClickOn(menu, item);
    PumpPendingMessages();
  };
  choose(L"about");
  EXPECT_NE(FindWindow(L"aboutDlgClass", L"关于Tavo"), kNoWindow);
  HWND hwnd = main->GetHWND();
  choose(L"exit");
  EXPECT_EQ(RunLoopWithGuard(), 0);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(MainFrameTest, ClosingReleasesTheSessionAndEndsTheLoopOnlyWhenAsked) {
  struct Case {
    const char* name;
    bool quitOnFinal;
    bool viaMenu;  // tray menu "exit", else the system close command
    int loopCode;
  } cases[] = {
      {"exit from the tray menu", true, true, 0},
      {"system close command", true, false, 0},
      {"sign-out closes only the window", false, false, 77},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SignedInState();
    MainDlg* main = Open();
    ASSERT_NE(main, nullptr);
    HWND hwnd = main->GetHWND();
    HWND about = OpenOrRaiseAboutWindow();
    main->SetQuitOnFinal(c.quitOnFinal);
    if (c.viaMenu)
      ChooseFromTrayMenu(L"exit");
    else
      PostMessage(hwnd, WM_SYSCOMMAND, SC_CLOSE);
    EXPECT_EQ(RunLoopWithGuard(), c.loopCode);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(IsWindow(about));
    EXPECT_EQ(GetMainDlg(), nullptr);
    EXPECT_FALSE(m_opener.MainWindowExists());
    EXPECT_EQ(CountSelfOwned(L"mainDlgClass"), 0u);
    EXPECT_FALSE(testHost->trayClick);  // the tray icon is gone
    EXPECT_TRUE(gSubjectList.Classes.empty());
    EXPECT_EQ(GetSessionToken(), "");
    EXPECT_EQ(DownloadTaskList::Get().ClassCount(TaskKind::Video), 0);
  }
}

// Quitting while a download runs asks first and says the downloads go on at the next start;
// cancelled, the program stays; confirmed, it ends. Without a running download nothing asks.
TEST_F(MainFrameTest, QuittingWithDownloadsRunningAsksFirst) {
  SignedInState();
  MainDlg* main = Open();
  ASSERT_NE(main, nullptr);
  std::vector<ConfirmQuestion> asked;
  bool answer = false;
  main->SetQuitConfirmer([&](HWND, const ConfirmQuestion& question) {
    asked.push_back(question);
    return ConfirmAnswer{answer, false};
  });
  DownloadTask task;
  task.kind = TaskKind::Video;
  task.classId = "101";
  task.id = "110101";
  task.total = 100;
  ASSERT_TRUE(DownloadTaskList::Get().AddTask(task, TaskKind::Video));
  main->GetDownloads().ReportProgress(task, 40);

  HWND hwnd = main->GetHWND();
  ChooseFromTrayMenu(L"exit");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_NE(asked[0].text.find(L"下次启动时继续"), std::wstring::npos);
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_EQ(RunLoopWithGuard(), 77);

  answer = true;
  ChooseFromTrayMenu(L"exit");
  EXPECT_EQ(asked.size(), 2u);
  EXPECT_EQ(RunLoopWithGuard(), 0);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(MainFrameTest, AnOpenPlayerIsClosedFirstAndTheMainWindowStays) {
  MainDlg* main = Open();
  FakePlayer player;
  SetSessionToken("token-of-the-student");
  ChooseFromTrayMenu(L"exit");
  EXPECT_EQ(player.closeRequests, std::vector<WPARAM>{1});
  EXPECT_EQ(GetMainDlg(), main);
  EXPECT_TRUE(IsWindow(main->GetHWND()));
  EXPECT_EQ(GetSessionToken(), "token-of-the-student");
}

TEST_F(MainFrameTest, TrayMenuAboutOpensOneAboutWindow) {
  Open();
  ChooseFromTrayMenu(L"about");
  HWND about = FindWindow(L"aboutDlgClass", L"关于Tavo");
  ASSERT_NE(about, kNoWindow);
  ChooseFromTrayMenu(L"about");
  EXPECT_EQ(FindWindow(L"aboutDlgClass", L"关于Tavo"), about);
  EXPECT_EQ(CountSelfOwned(L"aboutDlgClass"), 1u);
  EXPECT_TRUE(HostOf(about)->topMost);
}

TEST_F(MainFrameTest, SecondStartBringsTheWindowToTheFront) {
  struct Case {
    const char* name;
    bool minimise;
  } cases[] = {{"hidden in the tray", false}, {"minimised", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MainDlg* main = Open();
    TestHostWindow* host = HostOf(main);
    if (c.minimise)
      SendMessage(main->GetHWND(), WM_SYSCOMMAND, SC_MINIMIZE);
    else
      ClickOn(main, L"closebtn");
    PumpPendingMessages();
    HostOf(OpenOrRaiseAboutWindow())->Activate();  // another window has the focus
    ASSERT_FALSE(host->focused);

    PostMessage(FindWindow(L"mainDlgClass", L"Tavo"), WM_ACTIVATE_MAIN);
    PumpPendingMessages();
    EXPECT_TRUE(host->IsVisible());
    EXPECT_FALSE(host->IsMinimized());
    EXPECT_TRUE(host->focused);
    EXPECT_TRUE(HostOf(main->GetTitleShadow())->IsVisible());
    main->SetQuitOnFinal(false);  // the next case needs a running loop
    main->DestroyWindow();
    PumpPendingMessages();
  }
}

TEST_F(MainFrameTest, MaximiseAndRestoreSwapTheButtonsAndMoveTheShadow) {
  MainDlg* main = Open();
  HWND hwnd = main->GetHWND();
  TestHostWindow* shadow = HostOf(main->GetTitleShadow());

  // A system command (the caption's double click sends one) swaps the buttons.
  SendMessage(hwnd, WM_SYSCOMMAND, SC_MAXIMIZE);
  EXPECT_FALSE(Visible(main, L"maxbtn"));
  EXPECT_TRUE(Visible(main, L"restorebtn"));
  EXPECT_EQ(shadow->GetScreenRect(), (HostRect{0, 0, 1600, 72}));

  ClickOn(main, L"restorebtn");
  PumpPendingMessages();
  EXPECT_TRUE(Visible(main, L"maxbtn"));
  EXPECT_FALSE(Visible(main, L"restorebtn"));
  EXPECT_EQ(shadow->GetScreenRect(), (HostRect{117, 66, 1366, 72}));

  HostOf(main)->DoubleClick(700, 30);  // empty part of the title bar
  PumpPendingMessages();
  EXPECT_TRUE(main->IsZoomed());
  EXPECT_TRUE(Visible(main, L"restorebtn"));
}

}  // namespace
