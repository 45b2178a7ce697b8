// The profile on the test host against the demo school: the popup's labels and the avatar
// picture fetched into the account's header folder (older pictures go), hover rules of
// the avatar button, the panel's nickname save and avatar upload (refusals leave the title
// bar alone), and sign-out. The service keeps what was saved for the next start.
#include <cairo.h>

#include <filesystem>
#include <fstream>

#include "DemoServer.h"
#include "account/HeadUI.h"
#include "account/HeaderIcon.h"
#include "account/MyInfoDlg.h"
#include "account/WindowTestKit.h"
#include "app/Folders.h"
#include "app/TextConv.h"
#include "downloads/ThreadPool.h"
#include "mainwnd/MainDlg.h"
#include "mainwnd/MainWindowOpener.h"
#include "mainwnd/MoveMyInfoButton.h"
#include "platform/Messages.h"
#include "service/AccountParsers.h"
#include "service/Records.h"
#include "service/ServiceConfig.h"
#include "service/Session.h"
#include "ui/UIText.h"

namespace fs = std::filesystem;

TEST(ProfileRules, AccountLabelIsEmptyWhenTheMobileIsTheNickname) {
  EXPECT_EQ(MyInfoDlg::AccountLabelFor("小明同学", "13800138001"), "13800138001");
  EXPECT_EQ(MyInfoDlg::AccountLabelFor("13800138001", "13800138001"), "");
  EXPECT_EQ(MyInfoDlg::AccountLabelFor("", ""), "");
}

TEST(ProfileRules, AvatarFileNamesStayInsideTheHeaderFolder) {
  struct Case {
    const char* address;
    const char* name;
  } cases[] = {
      {"http://h/a/b/head.png", "head.png"},
      {"http://h/uploads/avatar/1/7f3a.jpg?v=3#x", "7f3a.jpg"},
      {"http://h/a/..", ""},
      {"http://h/a/.", ""},
      {"http://h/a/", ""},
      {"http://h/a/..?x=1", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(HeaderFileNameOf(c.address), c.name) << c.address;
}

namespace {

class ProfileTest : public WindowTestKit {
 protected:
  // Opens the main window as the login frame does.
  MainWindowOpener m_opener;
  void SetUp() override {
    WindowTestKit::SetUp();
    ASSERT_TRUE(m_demo.Start(m_root / "demo-state")) << m_demo.ErrorOutput();
    SetApiOrigin(m_demo.origin());
    ThreadPool::Get().Create();
    SignIn("lixiaoming", "xm123456");
  }
  void TearDown() override {
    WindowTestKit::TearDown();
    ClearSessionToken();
    SetSignedInAccount("");
    gSubjectList.Clear();
  }
  void SignIn(const std::string& account, const std::string& password) {
    ASSERT_EQ(ParseLoginUsrName(account, password), kLoginSuccessMsg);
    SetSignedInAccount(account);
  }
  // Opens the main window and waits for the popup's answer and the title-bar picture.
  MainDlg* OpenAndSettle() {
    m_opener.ShowMainWindow();
    MainDlg* main = GetMainDlg();
    EXPECT_NE(main, nullptr);
    if (!main) return nullptr;
    main->GetPaintManager().DoLayout();
    auto* button = main->FindControlAs<MoveMyInfoButton>(L"btnMyInfo");
    EXPECT_NE(button, nullptr);
    EXPECT_NE(button->GetPopup(), nullptr);
    EXPECT_TRUE(RunUntil([&] { return button->GetPopup()->HasAnswer(); }, std::chrono::seconds(10)));
    const std::wstring header = GetHeaderFolder();
    EXPECT_TRUE(
        RunUntil([&] { return button->GetBkImage().rfind(header, 0) == 0; }, std::chrono::seconds(10)))
        << ToUtf8(button->GetBkImage());
    return main;
  }
  static MoveMyInfoButton* Button(MainDlg* main) {
    return main->FindControlAs<MoveMyInfoButton>(L"btnMyInfo");
  }
  static std::wstring Text(WindowImplBase* w, const wchar_t* name) {
    CControlUI* c = w->FindControl(name);
    return c ? c->GetText() : L"<missing>";
  }
  static void Click(WindowImplBase* w, const wchar_t* name) {
    w->GetPaintManager().DoLayout();
    CControlUI* c = w->FindControl(name);
    ASSERT_NE(c, nullptr);
    CDuiRect r = c->GetPos();
    HostOf(w)->Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  static std::string Picture(const fs::path& path, int size) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0.2, 0.6, 0.3);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
    return path.string();
  }
  static bool PanelIdle(MainDlg* main) { return !main->GetPersonPanel()->IsBusy(); }

  demo_test::DemoServer m_demo;
};

}  // namespace

TEST_F(ProfileTest, ThePopupShowsTheAccountAndTheAvatarIsFetchedIntoTheHeaderFolder) {
  // An older picture of this account waits in the header folder.
  const fs::path header = WideToAnsi(GetHeaderFolder());
  std::ofstream(header / "old-head.png") << "old";
  MainDlg* main = OpenAndSettle();
  ASSERT_NE(main, nullptr);
  MyInfoDlg* popup = Button(main)->GetPopup();
  EXPECT_EQ(Text(popup, L"lbNickName"), L"小明同学");
  EXPECT_EQ(Text(popup, L"lbAccount"), L"13800138001");

  // The downloaded picture is the only file left, and is what the title bar shows.
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(header)) files.push_back(e.path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(AnsiToWide(files[0].string()), Button(main)->GetBkImage());
  // Asking again with the copy present answers its path at once.
  std::ofstream(header / "stale.jpg") << "x";
  EXPECT_EQ(DownloadHeaderIcon(main->GetHWND(), popup->GetAccountRecord().avatar), files[0].string());
  EXPECT_FALSE(fs::exists(header / "stale.jpg"));

  // Hovering the button opens the popup below it; leaving elsewhere closes it, leaving
  // into the popup keeps it.
  CDuiRect btn = Button(main)->GetPos();
  HostOf(main)->MouseMove((btn.left + btn.right) / 2, (btn.top + btn.bottom) / 2);
  EXPECT_TRUE(popup->IsWindowVisible());
  CDuiRect pr = popup->GetWindowRect();
  CDuiRect mr = main->GetWindowRect();
  EXPECT_EQ(pr.left, mr.left + btn.left - 211);
  EXPECT_EQ(pr.top, mr.top + btn.top + 22);
  SaveScreenshot(main, "profile-popup-testhost.png", {popup});
  HostOf(main)->MouseMove(pr.left - mr.left + 100, pr.top - mr.top + 80);
  EXPECT_TRUE(popup->IsWindowVisible()) << "the pointer went into the popup";
  HostOf(main)->MouseMove((btn.left + btn.right) / 2, (btn.top + btn.bottom) / 2);
  HostOf(main)->MouseMove(btn.left - 300, btn.top + 300);
  EXPECT_FALSE(popup->IsWindowVisible());
}

TEST_F(ProfileTest, TheNicknameSaveIsShownAndKeptAndARefusedPictureChangesNothing) {
  MainDlg* main = OpenAndSettle();
  ASSERT_NE(main, nullptr);
  const std::wstring titleBefore = Button(main)->GetBkImage();
  AccountRecord record = Button(main)->GetPopup()->GetAccountRecord();
  main->ShowPersonPanel(record);
  main->GetPaintManager().DoLayout();
  EXPECT_TRUE(main->FindControl(L"vlPersonInfo")->IsVisible());
  EXPECT_EQ(Text(main, L"edNickName"), L"小明同学");
  EXPECT_EQ(Text(main, L"edAccount"), L"13800138001");
  EXPECT_EQ(main->FindControlAs<CHeadUI>(L"headPersonInfo")->GetBkImage(), titleBefore);
  SaveScreenshot(main, "profile-panel-testhost.png");

  // A picture over 5 MB and a file that is no picture get a tip; nothing is sent.
  const fs::path big = m_root / "big.png";
  Picture(big, 8);
  fs::resize_file(big, PersonPanel::kMaxAvatarBytes + 1);
  const fs::path text = m_root / "notes.png";
  std::ofstream(text) << "not a picture";
  for (const fs::path& refused : {big, text}) {
    testHost->nextChosenPath = refused.string();
    Click(main, L"headPersonInfo");
    EXPECT_TRUE(RunUntil([&] { return PanelIdle(main); }));
    EXPECT_EQ(main->FindControlAs<CHeadUI>(L"headPersonInfo")->GetBkImage(), titleBefore) << refused;
    EXPECT_GE(CountSelfOwned(L"MessageBoxDlgClass"), 1u) << "a tip says why";
  }

  // A real picture is uploaded and shown in the panel; the title bar waits for the save.
  const std::string chosen = Picture(m_root / "我的头像.png", 64);
  testHost->nextChosenPath = chosen;
  Click(main, L"headPersonInfo");
  EXPECT_TRUE(RunUntil([&] { return PanelIdle(main); }, std::chrono::seconds(10)));
  EXPECT_EQ(main->FindControlAs<CHeadUI>(L"headPersonInfo")->GetBkImage(), AnsiToWide(chosen));
  EXPECT_EQ(Button(main)->GetBkImage(), titleBefore);

  main->FindControl(L"edNickName")->SetText(L"新的昵称");
  Click(main, L"btnSavePersonInfo");
  EXPECT_TRUE(RunUntil([&] { return PanelIdle(main); }, std::chrono::seconds(10)));
  EXPECT_FALSE(main->FindControl(L"vlPersonInfo")->IsVisible()) << "the panel is left after a save";
  EXPECT_EQ(Button(main)->GetBkImage(), AnsiToWide(chosen));
  EXPECT_EQ(Text(Button(main)->GetPopup(), L"lbNickName"), L"新的昵称");

  // Opened again with the record of before, the panel shows the saved nickname.
  main->ShowPersonPanel(record);
  EXPECT_EQ(Text(main, L"edNickName"), L"新的昵称");

  // The service kept both: the next start's account record carries them.
  AccountRecord fresh;
  ParseGetPersonInfo(fresh);
  EXPECT_EQ(fresh.nickname, "新的昵称");
  EXPECT_NE(fresh.avatar, record.avatar);
}

TEST_F(ProfileTest, ARefusedNicknameKeepsThePanelAndTheTitleBar) {
  MainDlg* main = OpenAndSettle();
  ASSERT_NE(main, nullptr);
  main->ShowPersonPanel(Button(main)->GetPopup()->GetAccountRecord());
  ClearSessionToken();  // the service refuses what follows
  main->FindControl(L"edNickName")->SetText(L"不会保存");
  Click(main, L"btnSavePersonInfo");
  EXPECT_TRUE(RunUntil([&] { return PanelIdle(main); }, std::chrono::seconds(10)));
  EXPECT_TRUE(main->FindControl(L"vlPersonInfo")->IsVisible());
  EXPECT_EQ(Text(Button(main)->GetPopup(), L"lbNickName"), L"小明同学");
  EXPECT_EQ(main->GetPersonPanel()->GetNickname(), "小明同学");
}

TEST_F(ProfileTest, SigningOutClosesTheMainWindowWithoutEndingTheProgram) {
  MainDlg* main = OpenAndSettle();
  ASSERT_NE(main, nullptr);
  HWND hwnd = main->GetHWND();
  MyInfoDlg* popup = Button(main)->GetPopup();
  TNotifyUI click;
  click.sType = DUI_MSGTYPE_CLICK;
  click.pSender = popup->FindControl(L"btnExit");
  popup->Notify(click);
  EXPECT_TRUE(RunUntil([&] { return !IsWindow(hwnd); }));
  EXPECT_EQ(GetMainDlg(), nullptr);
  EXPECT_EQ(GetSessionToken(), "") << "the signed-in state is released";

  // Another account signs in: its own name and its own picture folder.
  SignIn("wangfang", "Fang&2027+");
  MainDlg* next = OpenAndSettle();
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(Text(Button(next)->GetPopup(), L"lbNickName"), L"芳芳爱学习");
  EXPECT_NE(Button(next)->GetBkImage().find(L"/wangfang/header/"), std::wstring::npos);
}
