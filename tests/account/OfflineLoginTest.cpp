// The login form when the school cannot be reached: an account that signed in here before
// (its check kept) starts offline from the kept catalogue, whether the network is gone, a
// captive portal answers with its page or the network hardly moves; a wrong password is
// refused offline; a first start gets a clear tip and no offline mode; and a school that
// answers always has the last word (its refusal shows as before).
#include <chrono>
#include <optional>

#include "LoginTestSupport.h"
#include "account/OfflineStart.h"
#include "account/SqUserDB.h"
#include "service/CurlSupport.h"
#include "study/CatalogueCache.h"

namespace {

using namespace logintest;

constexpr char kSubjects[] =
    R"({"code":200,"msg":"ok","data":{"classes":[{"id":"1101","name":"言语理解与表达","jiangyi":[]}]}})";

class OfflineLoginTest : public LoginTest {
 protected:
  // What an earlier successful sign-in with the password remembered left on this computer.
  static void SignedInBefore() {
    const std::wstring db = offline_start::DbPathOf("lixiaoming");
    ASSERT_TRUE(offline_start::Remember(db, "lixiaoming", "xm123456"));
    ASSERT_TRUE(CatalogueCache(db, "lixiaoming").StoreSubjects(kSubjects));
  }
  void SignIn(const std::string& password, const std::string& name = "lixiaoming") {
    Find<CEditUI>(L"usrname")->SetText(L"");
    Find<CEditUI>(L"pass")->SetText(L"");
    TypeInto(kUserX, kUserY, name);
    TypeInto(kPassX, kPassY, password);
    formHost->Click(kLoginX, kLoginY);
  }
  static bool ToastShown() { return FindWindow(L"MessageBoxDlgClass", L"") != kNoWindow; }
};

TEST_F(OfflineLoginTest, AnAccountThatSignedInBeforeStartsOfflineWhateverKeepsTheSchoolAway) {
  servicetest::LoopbackServer portal;
  portal.SetAnswer(200, "<html><body>请先登录本热点</body></html>");
  servicetest::LoopbackServer proxyError;
  proxyError.SetAnswer(502, "<html>bad gateway</html>");
  servicetest::HostileServer slow;
  struct Case {
    const char* name;
    std::string origin;
  };
  const Case cases[] = {
      {"refused connection", "http://127.0.0.1:" + std::to_string(servicetest::RefusedPort())},
      {"captive portal page", portal.Origin()},
      {"proxy error", proxyError.Origin()},
      // Trickles a byte now and then: past the short deadline it counts as no network.
      {"network that hardly moves", slow.Origin() + "/trickle"},
  };
  SignedInBefore();
  CreateFrame();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetApiOrigin(c.origin);
    offlineAccount.clear();
    mainWindowOpen = false;
    mainWindowOpens = 0;
    gSubjectList.Clear();
    SetSignedInAccount("");
    frame->ShowWindow(true, true);
    frame->ShowChildren(true);
    const auto started = std::chrono::steady_clock::now();
    SignIn("xm123456");
    ASSERT_TRUE(WaitFor([this] { return mainWindowOpens > 0; }, 30000)) << WideToAnsi(Text(L"lbErrorTip"));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(took, std::chrono::seconds(kQuickAnswerSeconds + 4)) << "the short deadline was not kept";
    EXPECT_EQ(offlineAccount, "lixiaoming");
    EXPECT_EQ(offlinePassword, "xm123456");
    EXPECT_EQ(GetSignedInAccount(), "lixiaoming");
    ASSERT_EQ(gSubjectList.Classes.size(), 1u) << "the kept catalogue is what the window shows";
    EXPECT_EQ(Text(L"lbErrorTip"), L"");
    EXPECT_TRUE(GetSessionToken().empty()) << "no session exists without the school";
    // Nothing of the offline start is remembered as a sign-in.
    EXPECT_EQ(Reg(L"user"), L"");
    ASSERT_TRUE(WaitFor([] { return PendingLoginThreads() == 0; }, 30000));
  }
}

TEST_F(OfflineLoginTest, AWrongPasswordIsRefusedOffline) {
  SignedInBefore();
  SetApiOrigin("http://127.0.0.1:" + std::to_string(servicetest::RefusedPort()));
  CreateFrame();
  SignIn("xm654321");
  ASSERT_TRUE(WaitForAnswer());
  EXPECT_EQ(Text(L"lbErrorTip"), L"无法连接学校，且密码与本机上次登录时不同");
  EXPECT_FALSE(Visible(L"vLayLoginGif"));
  EXPECT_EQ(mainWindowOpens, 0);
  EXPECT_TRUE(offlineAccount.empty());
  EXPECT_EQ(GetSignedInAccount(), "");
  SaveScreenshot("login-offline-wrong-password.png");
}

TEST_F(OfflineLoginTest, AFirstStartWithoutNetworkGetsATipAndNoOfflineMode) {
  SetApiOrigin("http://127.0.0.1:" + std::to_string(servicetest::RefusedPort()));
  CreateFrame();
  SignIn("xm123456");
  ASSERT_TRUE(WaitForAnswer());
  EXPECT_EQ(mainWindowOpens, 0);
  EXPECT_TRUE(offlineAccount.empty());
  // The form itself stays as after any failed exchange; the toast over the frame says why.
  EXPECT_EQ(Text(L"lbErrorTip"), L"");
  EXPECT_TRUE(ToastShown());
  EXPECT_TRUE(Find<CButtonUI>(L"login")->IsEnabled());
}

TEST_F(OfflineLoginTest, ASchoolThatAnswersHasTheLastWord) {
  SignedInBefore();
  StartDemo();
  CreateFrame();
  // The school refuses: its message, no offline start, though the check is kept.
  SignIn("wrong");
  ASSERT_TRUE(WaitForAnswer());
  EXPECT_EQ(Text(L"lbErrorTip"), L"账号或密码错误");
  EXPECT_EQ(mainWindowOpens, 0);
  EXPECT_TRUE(offlineAccount.empty());
  // The school accepts: an online sign-in, not an offline one.
  SignIn("xm123456");
  ASSERT_TRUE(WaitFor([this] { return mainWindowOpens > 0; }, 30000)) << WideToAnsi(Text(L"lbErrorTip"));
  EXPECT_TRUE(offlineAccount.empty());
  EXPECT_FALSE(GetSessionToken().empty());
}

TEST_F(OfflineLoginTest, TheCheckFollowsTheRememberPasswordChoice) {
  StartDemo();
  CreateFrame();
  ASSERT_TRUE(WaitFor([this] { return form->GetKeyring() != Keyring::kUnknown; }));
  const std::wstring db = offline_start::DbPathOf("lixiaoming");
  for (bool remember : {true, false}) {
    SCOPED_TRACE(remember);
    mainWindowOpens = 0;
    mainWindowOpen = false;
    frame->ShowWindow(true, true);
    frame->ShowChildren(true);
    // Without a keyring the option cannot stay selected; the check then is never kept.
    form->FindControlAs<COptionUI>(L"optSavePass")->Selected(remember);
    const bool kept = remember && Selected(L"optSavePass");
    SignIn("xm123456");
    ASSERT_TRUE(WaitFor([this] { return mainWindowOpens > 0; }, 30000)) << WideToAnsi(Text(L"lbErrorTip"));
    ASSERT_TRUE(WaitFor([] { return PendingLoginThreads() == 0; }, 30000));
    EXPECT_EQ(offline_start::IsKnown(db, "lixiaoming"), kept);
    if (kept) {
      EXPECT_EQ(offline_start::Judge(db, "lixiaoming", "xm123456"), OfflineVerdict::Allowed);
      EXPECT_EQ(offline_start::Judge(db, "lixiaoming", "xm12345"), OfflineVerdict::WrongPassword);
      // Never the password itself in the file.
      EXPECT_FALSE(keyringtest::FileHolds(std::filesystem::path(WideToAnsi(db)), "xm123456"));
    }
    // The catalogue the school gave is kept for the next start without the network.
    EXPECT_TRUE(CatalogueCache(db, "lixiaoming").HasSubjects());
  }
}

// A student who signs in with the mobile number gets the offline start too: the number
// leads to the account's own folder, where its check and the kept catalogue are. A kept
// folder edited to another account's leads to nothing of that account.
TEST_F(OfflineLoginTest, TheMobileNumberStartsOfflineInTheAccountsFolder) {
  StartDemo();
  CreateFrame();
  ASSERT_TRUE(WaitFor([this] { return form->GetKeyring() != Keyring::kUnknown; }));
  form->FindControlAs<COptionUI>(L"optSavePass")->Selected(true);
  if (!Selected(L"optSavePass")) GTEST_SKIP() << "no keyring: the password cannot be remembered";
  SignIn("xm123456", "13800138001");
  ASSERT_TRUE(WaitFor([this] { return mainWindowOpens > 0; }, 30000)) << WideToAnsi(Text(L"lbErrorTip"));
  ASSERT_TRUE(WaitFor([] { return PendingLoginThreads() == 0; }, 30000));
  ASSERT_EQ(GetSignedInAccount(), "lixiaoming");

  SetApiOrigin("http://127.0.0.1:" + std::to_string(servicetest::RefusedPort()));
  struct Case {
    const char* name;
    const char* keptFolder;  // null: as the sign-in kept it
    const char* password;
    bool opens;
    const wchar_t* tip;  // null: not looked at
  };
  const Case cases[] = {
      {"a wrong password", nullptr, "xm654321", false, L"无法连接学校，且密码与本机上次登录时不同"},
      {"the password of the last sign-in", nullptr, "xm123456", true, nullptr},
      {"the kept folder edited to another account's", "wangfang", "xm123456", false, nullptr},
      {"the kept folder edited to no folder name", "../lixiaoming", "xm123456", false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.keptFolder) SqUserDB::Get().SetFolder("13800138001", c.keptFolder);
    offlineAccount.clear();
    mainWindowOpen = false;
    mainWindowOpens = 0;
    gSubjectList.Clear();
    SetSignedInAccount("");
    frame->ShowWindow(true, true);
    frame->ShowChildren(true);
    SignIn(c.password, "13800138001");
    if (c.opens) {
      ASSERT_TRUE(WaitFor([this] { return mainWindowOpens > 0; }, 30000)) << WideToAnsi(Text(L"lbErrorTip"));
      EXPECT_EQ(GetSignedInAccount(), "lixiaoming");
      EXPECT_EQ(offlineAccount, "13800138001") << "the catch-up signs in with the name as typed";
      EXPECT_FALSE(gSubjectList.Classes.empty()) << "the account's kept catalogue is what the window shows";
    } else {
      ASSERT_TRUE(WaitForAnswer());
      EXPECT_EQ(mainWindowOpens, 0);
      EXPECT_TRUE(offlineAccount.empty());
      EXPECT_EQ(GetSignedInAccount(), "");
      if (c.tip) {
        EXPECT_EQ(Text(L"lbErrorTip"), c.tip);
      }
    }
    ASSERT_TRUE(WaitFor([] { return PendingLoginThreads() == 0; }, 30000));
  }
}

}  // namespace
