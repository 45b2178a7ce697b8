// The login frame and the sign-in form on the test host, against the demo school (or a
// loopback fake where nothing may be sent): first start, saved credentials and automatic
// sign-in, both tabs and their rules, the SMS countdown, refusals, what a sign-in stores,
// the catalogue hand-over to the main window, and the frame's layout and buttons.
#include <algorithm>
#include <filesystem>
#include <future>
#include <fstream>

#include "LoginTestSupport.h"
#include "account/HeadUI.h"
#include "account/LoginMidDlg.h"
#include "account/TitleShadowDlg.h"
#include "app/FileUtil.h"
#include "app/Folders.h"
#include "service/CurlSupport.h"
#include "ui/GifAnim.h"

namespace logintest {
namespace {

constexpr DWORD kEnabled = 0xFFFF854D;
constexpr DWORD kDisabled = 0x66FF854D;

CDuiRect Rect(int left, int top, int width, int height) { return {left, top, left + width, top + height}; }
void ExpectRect(const CDuiRect& actual, const CDuiRect& expected, const char* what) {
  EXPECT_EQ(actual.left, expected.left) << what;
  EXPECT_EQ(actual.top, expected.top) << what;
  EXPECT_EQ(actual.right, expected.right) << what;
  EXPECT_EQ(actual.bottom, expected.bottom) << what;
}

TEST_F(LoginTest, FirstStartShowsAnEmptyPasswordTabAndSendsNothing) {
  servicetest::LoopbackServer service;
  SetApiOrigin(service.Origin());
  CreateFrame();

  EXPECT_TRUE(Selected(L"accountLogin"));
  EXPECT_FALSE(Selected(L"smsLogin"));
  EXPECT_EQ(Text(L"usrname"), L"");
  EXPECT_EQ(Text(L"pass"), L"");
  auto* login = Find<CButtonUI>(L"login");
  EXPECT_FALSE(login->IsEnabled());
  EXPECT_EQ(login->GetBkColor(), kDisabled);
  EXPECT_FALSE(Visible(L"optAutoLogin"));
  EXPECT_TRUE(Visible(L"optSavePass"));
  EXPECT_FALSE(Visible(L"getSmsCode"));
  EXPECT_FALSE(Visible(L"vLayLoginGif"));
  EXPECT_TRUE(Find<CEditUI>(L"pass")->IsPasswordMode());
  // The avatar falls back to the program's default picture; the window has its icon.
  std::wstring installed = GetExeFolder() + L"htmllocal/header_def.png";
  EXPECT_EQ(frame->GetHeadButton()->GetBkImage(),
            std::filesystem::exists(WideToAnsi(installed)) ? installed : L"header_def.png");
  EXPECT_GT(frameHost->iconBytes, 0u);

  // Typing both fields enables the button; Enter with an empty field only tips.
  TypeInto(kUserX, kUserY, "lixiaoming");
  EXPECT_FALSE(login->IsEnabled());
  TypeInto(kPassX, kPassY, "x");
  EXPECT_TRUE(login->IsEnabled());
  EXPECT_EQ(login->GetBkColor(), kEnabled);
  formHost->Key(VK_BACK);
  EXPECT_FALSE(login->IsEnabled());
  form->DoLogin();
  EXPECT_EQ(Text(L"lbErrorTip"), L"账号或密码不能为空");
  EXPECT_FALSE(form->IsRequestPending());
  SaveScreenshot("login-account.png");

  WaitFor([] { return false; }, 200);
  EXPECT_TRUE(service.Requests().empty());
}

TEST_F(LoginTest, RememberedAccountIsFilledAndSignsInWithThePasswordFromTheKeyring) {
  if (!NoKeyring().empty()) GTEST_SKIP() << NoKeyring();
  StartDemo();
  WriteRegString(L"user", L"lixiaoming");
  WriteRegString(L"autoLogin", L"1");
  SqUserDB::Get().Save("lixiaoming");
  ASSERT_TRUE(keyringtest::Seed("lixiaoming", "xm123456"));
  // A picture in the account's avatar folder becomes the frame's avatar.
  std::string avatar = WideToAnsi(GetHeaderFolder(L"lixiaoming")) + "me.png";
  std::ofstream(avatar) << "not really a picture";

  CreateFrame();
  // The name is there at once; the password comes from the keyring on a worker, and the
  // automatic sign-in starts with it while the busy layer turns.
  EXPECT_EQ(Text(L"usrname"), L"lixiaoming");
  ASSERT_TRUE(WaitFor([this] { return form->IsRequestPending() || mainWindowOpens > 0; }));
  EXPECT_EQ(form->GetKeyring(), Keyring::kAvailable);
  EXPECT_EQ(Text(L"pass"), L"xm123456");
  EXPECT_TRUE(Find<CButtonUI>(L"login")->IsEnabled());
  EXPECT_TRUE(Visible(L"vLayLoginGif"));
  EXPECT_TRUE(Find<CGifAnimUI>(L"gLoginGif")->IsPlaying());
  EXPECT_EQ(frame->GetHeadButton()->GetBkImage(), AnsiToWide(avatar));
  SaveScreenshot("login-busy.png");

  ASSERT_TRUE(WaitFor([this] { return mainWindowOpens > 0; })) << Text(L"lbErrorTip");
  EXPECT_EQ(mainWindowOpens, 1);
  EXPECT_FALSE(frame->IsWindowVisible());
  EXPECT_FALSE(frame->GetMidDlg()->IsWindowVisible());
  EXPECT_FALSE(form->IsWindowVisible());
  EXPECT_FALSE(frame->GetTitleShadow()->IsWindowVisible());
  EXPECT_FALSE(Visible(L"vLayLoginGif"));
  EXPECT_FALSE(form->IsCatalogueLoading());
  EXPECT_EQ(Text(L"lbErrorTip"), L"");
  EXPECT_FALSE(gSubjectList.Classes.empty());
  EXPECT_EQ(GetSignedInAccount(), "lixiaoming");
  EXPECT_EQ(Reg(L"autoLogin"), L"1");
  EXPECT_EQ(Reg(L"user"), L"lixiaoming");
  auto lines = NormalLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "登录成功，获取用户信息"), lines.end());

  // Signing out shows the same form again, without its busy layer and without a new
  // automatic sign-in.
  frame->ShowWindow(true, true);
  frame->ShowChildren(true);
  EXPECT_TRUE(form->IsWindowVisible());
  EXPECT_FALSE(Visible(L"vLayLoginGif"));
  EXPECT_FALSE(form->IsRequestPending());
}

TEST_F(LoginTest, NoAutomaticSignInWithoutARememberedAccount) {
  servicetest::LoopbackServer service;
  SetApiOrigin(service.Origin());
  WriteRegString(L"user", L"");
  WriteRegString(L"autoLogin", L"1");
  CreateFrame();
  EXPECT_TRUE(WaitFor([this] { return form->GetKeyring() != Keyring::kUnknown; }));
  EXPECT_FALSE(form->IsRequestPending());
  EXPECT_EQ(Text(L"usrname"), L"");
  EXPECT_FALSE(Find<CButtonUI>(L"login")->IsEnabled());
  WaitFor([] { return false; }, 200);
  EXPECT_TRUE(service.Requests().empty());
}

// After a sign-out the frame shows the avatar of the account now in the form, not the one
// it showed when it was built.
TEST_F(LoginTest, AvatarAfterSignOutFollowsTheAccountInTheForm) {
  servicetest::LoopbackServer service;
  SetApiOrigin(service.Origin());
  WriteRegString(L"user", L"lixiaoming");
  WriteRegString(L"autoLogin", L"0");
  std::string avatar = WideToAnsi(GetHeaderFolder(L"lixiaoming")) + "me.png";
  std::ofstream(avatar) << "not really a picture";
  CreateFrame();
  ASSERT_EQ(frame->GetHeadButton()->GetBkImage(), AnsiToWide(avatar));
  const std::wstring installed = GetExeFolder() + L"htmllocal/header_def.png";
  const std::wstring fallback = std::filesystem::exists(WideToAnsi(installed)) ? installed : L"header_def.png";

  // Another account signs in and out: the default picture, as that account has none.
  Find<CEditUI>(L"usrname")->SetText(L"");
  TypeInto(kUserX, kUserY, "wangfang");
  frame->ShowWindow(false, false);
  frame->ShowChildren(false);
  frame->ShowWindow(true, true);
  frame->ShowChildren(true);
  EXPECT_EQ(frame->GetHeadButton()->GetBkImage(), fallback);

  // The first account again, with the picture it chose meanwhile.
  std::filesystem::remove(avatar);
  std::string chosen = WideToAnsi(GetHeaderFolder(L"lixiaoming")) + "chosen.png";
  std::ofstream(chosen) << "not really a picture either";
  Find<CEditUI>(L"usrname")->SetText(L"lixiaoming");
  frame->ShowChildren(true);
  EXPECT_EQ(frame->GetHeadButton()->GetBkImage(), AnsiToWide(chosen));

  // On the SMS tab the field holds a mobile number, which names no avatar.
  formHost->Click(kSmsTabX, kTabY);
  Find<CEditUI>(L"usrname")->SetText(L"13800138000");
  frame->ShowChildren(true);
  EXPECT_EQ(frame->GetHeadButton()->GetBkImage(), fallback);
  EXPECT_FALSE(std::filesystem::exists(m_root / "data" / "tavo" / "13800138000"));
}

// The remembered account name comes from a file the user can edit; as a folder name it
// must not lead outside the program's data folder.
TEST_F(LoginTest, RememberedAccountNamesThatAreNoFolderNameGetTheDefaultAvatar) {
  servicetest::LoopbackServer service;
  SetApiOrigin(service.Origin());
  for (const wchar_t* name : {L"../../escaped", L"..", L"a/b"}) {
    SCOPED_TRACE(ToUtf8(name));
    WriteRegString(L"user", name);
    CreateFrame();
    EXPECT_EQ(Text(L"usrname"), name);
    std::wstring avatar = frame->GetHeadButton()->GetBkImage();
    EXPECT_TRUE(avatar == L"header_def.png" || avatar == GetExeFolder() + L"htmllocal/header_def.png")
        << ToUtf8(avatar);
    frame->DestroyWindow();
    frame.reset();
  }
  EXPECT_FALSE(std::filesystem::exists(m_root / "escaped"));
  EXPECT_FALSE(std::filesystem::exists(m_root / "data" / "tavo" / "a"));
  EXPECT_FALSE(std::filesystem::exists(m_root / "data" / "header"));
}

// A greyed sign-in button says what it waits for, on either tab, and says it also under
// the pointer (a disabled button takes no clicks but shows its tooltip).
TEST_F(LoginTest, GreyedLoginButtonSaysWhatIsMissing) {
  servicetest::LoopbackServer service;
  SetApiOrigin(service.Origin());
  CreateFrame();
  auto* login = Find<CButtonUI>(L"login");
  form->GetPaintManager().DoLayout();
  formHost->MouseMove(kLoginX, kLoginY);
  EXPECT_EQ(formHost->shownTip.text, "请输入账号和密码");
  SaveScreenshot("login-greyed-tip.png");

  struct Case {
    const char* what;
    bool sms;
    const wchar_t* user;
    const wchar_t* pass;
    const wchar_t* tip;
  };
  const Case cases[] = {
      {"account tab, both empty", false, L"", L"", L"请输入账号和密码"},
      {"account tab, no password", false, L"lixiaoming", L"", L"请输入密码"},
      {"account tab, no account", false, L"", L"x", L"请输入账号"},
      {"account tab, complete", false, L"lixiaoming", L"x", L""},
      {"SMS tab, both empty", true, L"", L"", L"请输入手机号和验证码"},
      {"SMS tab, no code", true, L"13800138000", L"", L"请输入验证码"},
      {"SMS tab, no number", true, L"", L"1234", L"请输入手机号"},
      {"SMS tab, complete", true, L"13800138000", L"1234", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    formHost->Click(c.sms ? kSmsTabX : kAccountTabX, kTabY);
    Find<CEditUI>(L"usrname")->SetText(c.user);
    Find<CEditUI>(L"pass")->SetText(L"");
    TypeInto(kPassX, kPassY, ToUtf8(c.pass));  // typing runs the button's update
    if (std::wstring(c.pass).empty()) {
      TypeInto(kPassX, kPassY, "1");
      formHost->Key(VK_BACK);
    }
    EXPECT_EQ(login->IsEnabled(), std::wstring(c.tip).empty());
    EXPECT_EQ(login->GetToolTip(), c.tip);
  }
}

TEST_F(LoginTest, SmsTabRulesForTheMobileNumber) {
  servicetest::LoopbackServer service;
  SetApiOrigin(service.Origin());
  CreateFrame();
  formHost->Click(kSmsTabX, kTabY);
  ASSERT_TRUE(Selected(L"smsLogin"));
  EXPECT_TRUE(Visible(L"getSmsCode"));
  EXPECT_TRUE(Visible(L"smsLoginLine"));
  EXPECT_FALSE(Visible(L"accountLoginLine"));
  EXPECT_FALSE(Visible(L"iconpass"));
  EXPECT_FALSE(Visible(L"optSavePass"));
  EXPECT_FALSE(Find<CEditUI>(L"pass")->IsPasswordMode());
  form->GetPaintManager().DoLayout();
  EXPECT_EQ(Find(L"pass")->GetPos().GetWidth(), 212);
  auto* code = Find<CButtonUI>(L"getSmsCode");
  EXPECT_FALSE(code->IsEnabled());

  // Digits only; the button follows the length exactly.
  TypeInto(kUserX, kUserY, "13a80013800");
  EXPECT_EQ(Text(L"usrname"), L"1380013800");
  EXPECT_FALSE(code->IsEnabled());
  EXPECT_EQ(code->GetBkColor(), kDisabled);
  formHost->Type("1");
  EXPECT_TRUE(code->IsEnabled());
  EXPECT_EQ(code->GetBkColor(), kEnabled);
  formHost->Type("2");
  EXPECT_FALSE(code->IsEnabled());

  struct Case {
    const wchar_t* mobile;
    const wchar_t* code;
    const wchar_t* tip;
  };
  const Case cases[] = {
      {L"1380013800", L"123456", L"手机号位数不是11位"},
      {L"138001380012", L"123456", L"手机号位数不是11位"},
      {L"138-0013-80", L"123456", L"手机号只能为数字"},  // pasted text bypasses the digit filter
      {L"13800138001", L"", L"账号或密码不能为空"},
      {L"", L"123456", L"账号或密码不能为空"},
  };
  for (const Case& c : cases) {
    Find<CEditUI>(L"usrname")->SetText(c.mobile);
    Find<CEditUI>(L"pass")->SetText(c.code);
    form->DoLogin();
    EXPECT_EQ(Text(L"lbErrorTip"), c.tip) << ToUtf8(c.mobile);
    EXPECT_FALSE(form->IsRequestPending());
  }
  // The tip goes after its 3 s timer.
  Tick(TIMER_ERROR_TIP);
  EXPECT_EQ(Text(L"lbErrorTip"), L"");
  WaitFor([] { return false; }, 200);
  EXPECT_TRUE(service.Requests().empty());
}

TEST_F(LoginTest, SmsCodeCountdownAndSmsSignIn) {
  StartDemo();
  WriteRegString(L"user", L"wangfang");
  SqUserDB::Get().Save("wangfang");
  keyringtest::Seed("wangfang", "Fang&2027+");
  CreateFrame();
  formHost->Click(kSmsTabX, kTabY);
  Find<CEditUI>(L"usrname")->SetText(L"");
  TypeInto(kUserX, kUserY, "13800138001");
  formHost->Click(kSmsCodeX, kSmsCodeY);
  EXPECT_TRUE(Visible(L"vLayLoginGif"));
  ASSERT_TRUE(WaitForAnswer());
  EXPECT_FALSE(Visible(L"vLayLoginGif"));
  auto* code = Find<CButtonUI>(L"getSmsCode");
  ASSERT_EQ(code->GetText(), L"已发送(60s)") << Text(L"lbErrorTip");
  EXPECT_TRUE(code->IsEnabled());

  Tick(TIMER_SMS_COUNTDOWN);
  EXPECT_EQ(code->GetText(), L"已发送(59s)");
  // Typing in the number resets the text until the next tick.
  TypeInto(kUserX, kUserY, "9");
  EXPECT_EQ(code->GetText(), L"获取验证码");
  EXPECT_FALSE(code->IsEnabled());
  formHost->Key(VK_BACK);
  EXPECT_TRUE(code->IsEnabled());
  Tick(TIMER_SMS_COUNTDOWN);
  EXPECT_EQ(code->GetText(), L"已发送(58s)");
  TypeInto(kPassX - 40, kPassY, "123456");
  SaveScreenshot("login-sms.png");
  for (int i = 0; i < 57; ++i) Tick(TIMER_SMS_COUNTDOWN);
  EXPECT_EQ(code->GetText(), L"已发送(1s)");
  Tick(TIMER_SMS_COUNTDOWN);
  EXPECT_EQ(code->GetText(), L"重新获取");
  EXPECT_FALSE(KillTimer(form->GetHWND(), TIMER_SMS_COUNTDOWN)) << "the countdown timer should be stopped";

  // The SMS sign-in writes "autoLogin" only; the remembered password account stays.
  formHost->Click(kLoginX, kLoginY);
  ASSERT_TRUE(WaitFor([this] { return mainWindowOpens > 0; })) << Text(L"lbErrorTip");
  // The data belong to the account the number signs in to, not to the number.
  EXPECT_EQ(GetSignedInAccount(), "lixiaoming");
  EXPECT_EQ(Reg(L"user"), L"wangfang");
  EXPECT_EQ(Reg(L"autoLogin"), L"1");
  EXPECT_TRUE(SqUserDB::Get().HasAccount("wangfang"));
  EXPECT_FALSE(SqUserDB::Get().HasAccount("13800138001"));
  ASSERT_TRUE(WaitFor([] { return PendingLoginThreads() == 0; }, 30000));
  if (NoKeyring().empty()) {
    EXPECT_EQ(keyringtest::Items(), std::vector<std::string>{"wangfang=Fang&2027+"});
  }
}

TEST_F(LoginTest, OptionsAreCoupledAndTheTabsKeepThePassword) {
  servicetest::LoopbackServer service;
  SetApiOrigin(service.Origin());
  CreateFrame();
  TypeInto(kUserX, kUserY, "lixiaoming");
  TypeInto(kPassX, kPassY, "secret");

  formHost->Click(kSmsTabX, kTabY);
  EXPECT_EQ(Text(L"pass"), L"");
  // The mobile field never shows the account name; the account tab gets it back.
  EXPECT_EQ(Text(L"usrname"), L"");
  SaveScreenshot("login-sms-after-account.png");
  EXPECT_FALSE(Find<CButtonUI>(L"login")->IsEnabled());
  formHost->Click(kAccountTabX, kTabY);
  EXPECT_EQ(Text(L"usrname"), L"lixiaoming");
  EXPECT_EQ(Text(L"pass"), L"secret");
  EXPECT_TRUE(Find<CEditUI>(L"pass")->IsPasswordMode());
  form->GetPaintManager().DoLayout();
  EXPECT_EQ(Find(L"pass")->GetPos().GetWidth(), 270);
  EXPECT_TRUE(Visible(L"optAutoLogin"));
  EXPECT_TRUE(Visible(L"iconpass"));
  EXPECT_TRUE(Find<CButtonUI>(L"login")->IsEnabled());

  // Clearing "remember" clears "auto"; choosing "auto" chooses "remember".
  auto* save = Find<COptionUI>(L"optSavePass");
  auto* autoLogin = Find<COptionUI>(L"optAutoLogin");
  ASSERT_TRUE(save->IsSelected() && autoLogin->IsSelected());
  form->GetPaintManager().DoLayout();
  CDuiRect s = save->GetPos(), a = autoLogin->GetPos();
  formHost->Click(s.left + 8, (s.top + s.bottom) / 2);
  EXPECT_FALSE(save->IsSelected());
  EXPECT_FALSE(autoLogin->IsSelected());
  formHost->Click(a.left + 8, (a.top + a.bottom) / 2);
  EXPECT_TRUE(autoLogin->IsSelected());
  EXPECT_TRUE(save->IsSelected());

  // Without "remember" the password is not brought back from the SMS tab.
  formHost->Click(s.left + 8, (s.top + s.bottom) / 2);
  formHost->Click(kSmsTabX, kTabY);
  formHost->Click(kAccountTabX, kTabY);
  EXPECT_EQ(Text(L"pass"), L"");
}

TEST_F(LoginTest, RefusedSignInShowsTheServiceMessageForThreeSeconds) {
  StartDemo();
  CreateFrame();
  TypeInto(kUserX, kUserY, "lixiaoming");
  TypeInto(kPassX, kPassY, "wrong");
  formHost->Click(kLoginX, kLoginY);
  EXPECT_TRUE(form->IsRequestPending());
  // A second click while the request is out sends nothing more.
  form->DoLogin();
  ASSERT_TRUE(WaitForAnswer());
  EXPECT_EQ(Text(L"lbErrorTip"), L"账号或密码错误");
  EXPECT_FALSE(Visible(L"vLayLoginGif"));
  EXPECT_EQ(mainWindowOpens, 0);
  EXPECT_EQ(Reg(L"user"), L"");
  SaveScreenshot("login-tip.png");
  EXPECT_TRUE(KillTimer(form->GetHWND(), TIMER_ERROR_TIP)) << "the tip's timer should run";
  SetTimer(form->GetHWND(), TIMER_ERROR_TIP, kErrorTipMs);
  Tick(TIMER_ERROR_TIP);
  EXPECT_EQ(Text(L"lbErrorTip"), L"");

  // No service at all: an empty tip and the form is usable again.
  demo.Stop();
  formHost->Click(kLoginX, kLoginY);
  ASSERT_TRUE(WaitForAnswer());
  EXPECT_EQ(Text(L"lbErrorTip"), L"");
  EXPECT_FALSE(Visible(L"vLayLoginGif"));
  EXPECT_TRUE(Find<CButtonUI>(L"login")->IsEnabled());
}

// A service that lets the student in but names no account that could name a data folder:
// nobody is signed in, the form says so and no folder is made from the name.
TEST_F(LoginTest, ASignInWhoseAnswerNamesNoUsableAccountFailsWithATip) {
  servicetest::LoopbackServer service;
  SetApiOrigin(service.Origin());
  CreateFrame();
  for (const char* answer :
       {R"({"code":200,"msg":"登录成功","data":{"token":"tk"}})",
        R"({"code":200,"msg":"登录成功","data":{"username":"../../escaped","token":"tk"}})"}) {
    SCOPED_TRACE(answer);
    service.SetAnswer(200, answer);
    Find<CEditUI>(L"usrname")->SetText(L"");
    TypeInto(kUserX, kUserY, "lixiaoming");
    Find<CEditUI>(L"pass")->SetText(L"");
    TypeInto(kPassX, kPassY, "xm123456");
    formHost->Click(kLoginX, kLoginY);
    ASSERT_TRUE(WaitForAnswer());
    EXPECT_EQ(Text(L"lbErrorTip"), L"无法读取账号信息，请稍后重试");
    EXPECT_FALSE(Visible(L"vLayLoginGif"));
    EXPECT_EQ(mainWindowOpens, 0);
    EXPECT_EQ(GetSignedInAccount(), "");
    EXPECT_EQ(GetSessionToken(), "");
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(WideToAnsi(GetDataRoot())) / "escaped"));
  EXPECT_FALSE(
      std::filesystem::exists(std::filesystem::path(WideToAnsi(GetDataRoot())) / "tavo" / "lixiaoming"));
}

// A service that answers the sign-in a byte now and then: the sign-in ends at its time
// limit with a tip that says so, and the form is usable again.
TEST_F(LoginTest, ATricklingSignInEndsWithATip) {
  servicetest::HostileServer service;
  SetApiOrigin(service.Origin() + "/trickle");
  SetTransportLimits({5, 5, 2});
  CreateFrame();
  TypeInto(kUserX, kUserY, "lixiaoming");
  TypeInto(kPassX, kPassY, "secret");
  formHost->Click(kLoginX, kLoginY);
  ASSERT_TRUE(WaitForAnswer());
  EXPECT_EQ(Text(L"lbErrorTip"), L"学校服务器长时间没有回应，请检查网络后重试");
  EXPECT_FALSE(Visible(L"vLayLoginGif"));
  EXPECT_TRUE(Find<CButtonUI>(L"login")->IsEnabled());
  SaveScreenshot("login-slow-service-tip.png");
}

// What a successful password sign-in leaves for the next start, with and without
// "remember password": the password in the keyring, never in the password store's file.
TEST_F(LoginTest, PasswordSignInStoresTheCredentialsAsChosen) {
  if (!NoKeyring().empty()) GTEST_SKIP() << NoKeyring();
  StartDemo();
  struct Case {
    bool remember;
    const wchar_t* user;
    std::vector<std::string> keyring;
    bool nameInStore;
    const wchar_t* autoLogin;
  };
  const Case cases[] = {{true, L"lixiaoming", {"lixiaoming=xm123456"}, true, L"1"}, {false, L"", {}, false, L"0"}};
  CreateFrame();
  ASSERT_TRUE(WaitFor([this] { return form->GetKeyring() == Keyring::kAvailable; }));
  TypeInto(kUserX, kUserY, "lixiaoming");
  TypeInto(kPassX, kPassY, "xm123456");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.remember);
    WriteRegString(L"user", L"");
    keyringtest::Seed("lixiaoming", "old-password");
    mainWindowOpens = 0;
    mainWindowOpen = false;
    // The second round signs in again after a sign-out, from the same form.
    frame->ShowWindow(true, true);
    frame->ShowChildren(true);
    form->FindControlAs<COptionUI>(L"optSavePass")->Selected(c.remember);
    formHost->Click(kLoginX, kLoginY);
    ASSERT_TRUE(WaitFor([this] { return mainWindowOpens > 0; })) << Text(L"lbErrorTip");
    ASSERT_TRUE(WaitFor([] { return PendingLoginThreads() == 0; }, 30000));
    EXPECT_EQ(Reg(L"user"), c.user);
    EXPECT_EQ(Reg(L"autoLogin"), c.autoLogin);
    EXPECT_EQ(keyringtest::Items(), c.keyring);
    EXPECT_EQ(SqUserDB::Get().HasAccount("lixiaoming"), c.nameInStore);
    SqUserDB::Release();
    EXPECT_FALSE(keyringtest::FileHolds(StorePath(), "xm123456"));
  }
}

// A password an older version kept in clear text: at the next start it signs in as before,
// from the keyring now, and is gone from the file.
TEST_F(LoginTest, ClearTextPasswordOfAnOlderVersionMovesIntoTheKeyring) {
  if (!NoKeyring().empty()) GTEST_SKIP() << NoKeyring();
  StartDemo();
  keyringtest::WriteOlderStore(StorePath(), {{"lixiaoming", "xm123456"}});
  WriteRegString(L"user", L"lixiaoming");
  WriteRegString(L"autoLogin", L"1");
  CreateFrame();
  ASSERT_TRUE(WaitFor([this] { return mainWindowOpens > 0; })) << Text(L"lbErrorTip");
  EXPECT_EQ(GetSignedInAccount(), "lixiaoming");
  ASSERT_TRUE(WaitFor([] { return PendingLoginThreads() == 0; }, 30000));
  EXPECT_EQ(keyringtest::Items(), std::vector<std::string>{"lixiaoming=xm123456"});
  EXPECT_TRUE(SqUserDB::Get().HasAccount("lixiaoming"));
  SqUserDB::Release();
  EXPECT_FALSE(keyringtest::FileHolds(StorePath(), "xm123456"));
}

// The same start on a desktop without a keyring (no session bus at all).
class LoginWithoutKeyringTest : public LoginTest {
 protected:
  bool UsesKeyring() const override { return false; }
};

TEST_F(LoginWithoutKeyringTest, NoPasswordIsKeptTheOptionSaysWhyAndSignInWorks) {
  StartDemo();
  keyringtest::WriteOlderStore(StorePath(), {{"lixiaoming", "xm123456"}});
  WriteRegString(L"user", L"lixiaoming");
  WriteRegString(L"autoLogin", L"1");
  CreateFrame();
  ASSERT_TRUE(WaitFor([this] { return form->GetKeyring() == Keyring::kUnavailable; }));
  EXPECT_FALSE(Selected(L"optSavePass"));
  EXPECT_FALSE(Selected(L"optAutoLogin"));
  EXPECT_EQ(Text(L"lbErrorTip"), L"未找到系统密钥环，无法记住密码");
  SaveScreenshot("login-no-keyring.png");
  // The name stays, the password is not offered and nothing signs in by itself.
  EXPECT_EQ(Text(L"usrname"), L"lixiaoming");
  EXPECT_EQ(Text(L"pass"), L"");
  EXPECT_FALSE(form->IsRequestPending());
  SqUserDB::Release();
  EXPECT_FALSE(keyringtest::FileHolds(StorePath(), "xm123456"));

  // Choosing the option again is refused with the same reason.
  form->GetPaintManager().DoLayout();
  CDuiRect a = Find(L"optSavePass")->GetPos();
  Tick(TIMER_ERROR_TIP);
  formHost->Click(a.left + 8, (a.top + a.bottom) / 2);
  EXPECT_FALSE(Selected(L"optSavePass"));
  EXPECT_EQ(Text(L"lbErrorTip"), L"未找到系统密钥环，无法记住密码");

  // Signing in works as usual and leaves no password anywhere.
  TypeInto(kPassX, kPassY, "xm123456");
  formHost->Click(kLoginX, kLoginY);
  ASSERT_TRUE(WaitFor([this] { return mainWindowOpens > 0; })) << Text(L"lbErrorTip");
  EXPECT_EQ(GetSignedInAccount(), "lixiaoming");
  EXPECT_EQ(Reg(L"user"), L"");
  EXPECT_FALSE(SqUserDB::Get().HasAccount("lixiaoming"));
  SqUserDB::Release();
  EXPECT_FALSE(keyringtest::FileHolds(StorePath(), "xm123456"));
  EXPECT_TRUE(ErrorLines().empty()) << ::testing::PrintToString(ErrorLines());
}

TEST_F(LoginTest, LoginDoneWithAMainWindowAlreadyOpenOnlyHidesTheLoginWindows) {
  servicetest::LoopbackServer service;
  SetApiOrigin(service.Origin());
  CreateFrame();
  mainWindowOpen = true;
  form->ShowBusy(true);
  PostMessage(frame->GetHWND(), WM_LOGIN_DONE);
  PumpPendingMessages();
  EXPECT_EQ(mainWindowOpens, 0);
  EXPECT_FALSE(frame->IsWindowVisible());
  EXPECT_FALSE(form->IsWindowVisible());
  EXPECT_FALSE(Visible(L"vLayLoginGif"));
}

TEST_F(LoginTest, WindowClosedWhileARequestIsOut) {
  StartDemo();
  CreateFrame();
  TypeInto(kUserX, kUserY, "lixiaoming");
  TypeInto(kPassX, kPassY, "xm123456");
  formHost->Click(kLoginX, kLoginY);
  ASSERT_TRUE(form->IsRequestPending());
  frame->DestroyWindow();
  frame.reset();
  // The answer and the catalogue hand-over find no window and are dropped.
  EXPECT_TRUE(WaitFor([] { return PendingLoginThreads() == 0; }, 30000));
  PumpPendingMessages();
  EXPECT_EQ(mainWindowOpens, 0);
}

TEST_F(LoginTest, ChildrenKeepTheirPlacesOnTheFrame) {
  servicetest::LoopbackServer service;
  SetApiOrigin(service.Origin());
  testHost->workArea = {0, 0, 1600, 900};
  CreateFrame();
  auto check = [this](const CDuiRect& f) {
    ExpectRect(frame->GetMidDlg()->GetWindowRect(),
               Rect(f.left + (f.GetWidth() - 820) / 2, f.top + (f.GetHeight() - 420) / 2, 820, 420), "welcome");
    ExpectRect(form->GetWindowRect(),
               Rect(f.left + (f.GetWidth() - 360) / 2 + 230, f.top + (f.GetHeight() - 420) / 2, 360, 420), "form");
    ExpectRect(frame->GetTitleShadow()->GetWindowRect(), Rect(f.left, f.top, f.GetWidth(), 72), "shadow");
  };
  CDuiRect f = frame->GetWindowRect();
  ExpectRect(f, Rect(117, 66, 1366, 768), "frame");
  ExpectRect(form->GetWindowRect(), Rect(850, 240, 360, 420), "form");
  check(f);
  // Moving carries the layers along; resizing places them anew (odd sizes round down).
  frame->MoveWindow(Rect(5, 9, 1366, 768));
  check(frame->GetWindowRect());
  frame->MoveWindow(Rect(10, 20, 1101, 801));
  check(frame->GetWindowRect());

  // Maximise and restore through the title-bar buttons.
  auto* maxBtn = frame->FindControlAs<CButtonUI>(L"maxbtn");
  auto* restoreBtn = frame->FindControlAs<CButtonUI>(L"restorebtn");
  EXPECT_FALSE(restoreBtn->IsVisible());
  frame->GetPaintManager().DoLayout();
  CDuiRect m = maxBtn->GetPos();
  frameHost->Click((m.left + m.right) / 2, (m.top + m.bottom) / 2);
  PumpPendingMessages();
  EXPECT_TRUE(frame->IsZoomed());
  EXPECT_FALSE(maxBtn->IsVisible());
  EXPECT_TRUE(restoreBtn->IsVisible());
  check(frame->GetWindowRect());
  SendMessage(frame->GetHWND(), WM_SYSCOMMAND, SC_RESTORE);
  EXPECT_FALSE(frame->IsZoomed());
  EXPECT_TRUE(maxBtn->IsVisible());
  EXPECT_FALSE(restoreBtn->IsVisible());
  check(frame->GetWindowRect());
  frame->FindControlAs<CButtonUI>(L"minbtn")->Activate();
  EXPECT_TRUE(frame->IsIconic());
}

TEST_F(LoginTest, ClosingTheFrameEndsTheMessageLoop) {
  servicetest::LoopbackServer service;
  SetApiOrigin(service.Origin());
  CreateFrame();
  HWND hwnd = frame->GetHWND();
  // The system close command is turned into a posted close.
  SendMessage(hwnd, WM_SYSCOMMAND, SC_CLOSE);
  EXPECT_TRUE(IsWindow(hwnd));
  // Should the quit never come, the guard ends the loop with another code.
  std::promise<void> ended;
  std::thread guard([done = ended.get_future()] {
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) PostQuitMessage(99);
  });
  int code = RunMessageLoop();
  ended.set_value();
  guard.join();
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindow(form->GetHWND()));
}

}  // namespace
}  // namespace logintest
