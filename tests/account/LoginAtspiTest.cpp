// The login window as a screen reader sees it. The test runs itself again inside a
// private session bus (dbus-run-session) with its own accessibility bus, opens the login
// frame on a private display, and reads and drives it only through an AT-SPI client
// running as a separate process (the probe): a client inside the process would wait on
// itself.
#include <gio/gio.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/GtkLoop.h"
#include "support/AtspiDump.h"
#include "support/PrivateDisplay.h"
#include "support/PrivateKeyring.h"
#include "DemoServer.h"
#include "ServiceTestSupport.h"
#include "account/LoginBackDlg.h"
#include "account/LoginDlg.h"
#include "account/LoginWorker.h"
#include "account/LoginDelegate.h"
#include "platform/MessageCore.h"
#include "platform/host/GtkHost.h"
#include "service/ServiceConfig.h"
#include "skin/LoadSkin.h"
#include "ui/Edit.h"
#include "ui/Option.h"
#include "ui/UIText.h"

namespace {

constexpr const char* kBusLauncher = "/usr/libexec/at-spi-bus-launcher";

bool OnPrivateBus() {
  const char* v = std::getenv("TAVO_ATSPI_PRIVATE");
  return v && std::string(v) == "1";
}

bool HaveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

bool RunFor(const std::function<bool()>& done, int ms = 5000) { return RunGtkUntil(done, ms); }

// Runs a program while the main loop keeps answering the bus; its standard output goes
// to `out`. Returns its exit code, -1 when it did not end in time (it is then killed).
int RunPumping(const std::vector<std::string>& args, std::string& out, const std::string& outFile) {
  pid_t pid = fork();
  if (pid == 0) {
    FILE* f = std::fopen(outFile.c_str(), "w");
    if (f) dup2(fileno(f), 1);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  bool ended = RunFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 30000);
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  std::ifstream in(outFile);
  out.assign(std::istreambuf_iterator<char>(in), {});
  return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

using Row = AtspiRow;
constexpr auto ParseDump = ParseAtspiDump;
constexpr auto ById = AtspiById;

const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new PrivateDisplay("1600x1000x24"));

class LoginAtspiTest : public servicetest::TempHomeTest {
 protected:
  void SetUp() override {
    servicetest::TempHomeTest::SetUp();
    if (!HaveTool("dbus-run-session")) GTEST_SKIP() << "dbus-run-session missing (package dbus-daemon)";
    if (access(kBusLauncher, X_OK) != 0) GTEST_SKIP() << "at-spi-bus-launcher missing (package at-spi2-core)";
    if (!OnPrivateBus()) return;
    StartAccessibilityBus();
    // The form asks for a keyring: one of the test's own, not one the bus starts on demand
    // with the user's home.
    if (testsupport::PrivateKeyring::Missing().empty()) {
      ASSERT_TRUE(m_keyring.Start(m_root / "keyring", getenv("DBUS_SESSION_BUS_ADDRESS"))) << m_keyring.error();
    }
    if (!GtkHost::Init()) GTEST_SKIP() << "no display";
    InitMessageCore();
    SetHost(std::make_unique<GtkHost>());
    ASSERT_TRUE(LoadSkin());
  }
  void TearDown() override {
    if (OnPrivateBus()) {
      WaitForLoginThreads(30000);
      if (frame) frame->DestroyWindow();
      frame.reset();
      ShutdownMessageCore();
    }
    if (m_launcher > 0) {
      kill(m_launcher, SIGTERM);
      waitpid(m_launcher, nullptr, 0);
    }
    servicetest::TempHomeTest::TearDown();
  }

  // Outside the private bus: runs this test again inside one. True when this run is the
  // outer one (the caller returns); `skipped` then holds why the inner run skipped.
  bool RerunOnPrivateBus(std::string& skipped) {
    if (OnPrivateBus()) return false;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string log = (m_root / "inner.log").string();
    std::string cmd = "TAVO_ATSPI_PRIVATE=1 dbus-run-session -- '" + self + "' --gtest_filter=" +
                      info->test_suite_name() + "." + info->name() + " >'" + log + "' 2>&1";
    int rc = std::system(cmd.c_str());
    std::ifstream in(log);
    std::string out((std::istreambuf_iterator<char>(in)), {});
    if (out.find("[  SKIPPED ]") != std::string::npos && out.find("[  PASSED  ] 0 tests") != std::string::npos)
      skipped = out;
    else
      EXPECT_EQ(rc, 0) << out;
    return true;
  }

  void StartAccessibilityBus() {
    m_launcher = fork();
    if (m_launcher == 0) {
      execl(kBusLauncher, kBusLauncher, "--launch-immediately", static_cast<char*>(nullptr));
      _exit(127);
    }
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    ASSERT_NE(bus, nullptr);
    bool up = RunFor([&] {
      GVariant* r = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "NameHasOwner",
                                                g_variant_new("(s)", "org.a11y.Bus"), G_VARIANT_TYPE("(b)"),
                                                G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
      gboolean has = FALSE;
      if (r) {
        g_variant_get(r, "(b)", &has);
        g_variant_unref(r);
      }
      if (!has) g_usleep(50000);
      return has != FALSE;
    }, 10000);
    g_object_unref(bus);
    ASSERT_TRUE(up) << "the accessibility bus did not come up";
  }

  int Probe(const std::vector<std::string>& args, std::string& out) {
    std::vector<std::string> argv{TAVO_ATSPI_PROBE, std::to_string(getpid())};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunPumping(argv, out, (m_root / "probe.out").string());
  }

  // Counts the main window's openings (the frame's delegate).
  struct CountingDelegate : LoginDelegate {
    bool MainWindowExists() const override { return opens > 0; }
    void ShowMainWindow() override { ++opens; }
    void StartOffline(const std::string&, const std::string&) override {}
    int opens = 0;
  };

  void OpenFrame() {
    frame = std::make_unique<LoginBackDlg>(&delegate);
    SetLoginFrame(frame.get());
    frame->Create(kNoWindow, L"Tavo", UI_WNDSTYLE_FRAME, 0, 0, 0, 1366, 768);
    frame->CenterWindow();
    frame->ShowWindow(true, true);
    RunFor([] { return false; }, 800);
  }

  CountingDelegate delegate;
  std::unique_ptr<LoginBackDlg> frame;

 private:
  pid_t m_launcher = -1;
  testsupport::PrivateKeyring m_keyring;
};

TEST_F(LoginAtspiTest, LoginFormIsReadAndFilledThroughAtspi) {
  std::string skipped;
  if (RerunOnPrivateBus(skipped)) {
    if (!skipped.empty()) GTEST_SKIP() << skipped;
    return;
  }
  servicetest::LoopbackServer service;
  SetApiOrigin(service.Origin());
  OpenFrame();
  LoginDlg* form = frame->GetLoginDlg();
  ASSERT_NE(form, nullptr);

  std::string dump;
  ASSERT_EQ(Probe({"dump"}, dump), 0) << dump;
  std::vector<Row> rows = ParseDump(dump);
  struct Expect {
    const char* id;
    const char* role;
  };
  const Expect expected[] = {
      {"usrname", "entry"},        {"pass", "password text"},          {"accountLogin", "page tab"},
      {"smsLogin", "page tab"},    {"optSavePass", "toggle button"},   {"login", "push button"},
  };
  for (const Expect& e : expected) {
    const Row* row = ById(rows, e.id);
    ASSERT_NE(row, nullptr) << e.id << " not on the bus:\n" << dump;
    EXPECT_EQ(row->role, e.role) << e.id;
    EXPECT_TRUE(row->Has("showing")) << e.id << ": " << row->states;
  }
  EXPECT_TRUE(ById(rows, "accountLogin")->Has("selected"));
  EXPECT_FALSE(ById(rows, "smsLogin")->Has("selected"));
  EXPECT_TRUE(ById(rows, "optSavePass")->Has("checked"));
  EXPECT_FALSE(ById(rows, "usrname")->name.empty());
  EXPECT_FALSE(ById(rows, "login")->name.empty());
  // Hidden controls (the busy layer's parts, the SMS button) are left out.
  EXPECT_EQ(ById(rows, "getSmsCode"), nullptr);

  // Filled and switched through AT-SPI only; the password never shows as text.
  std::string out;
  EXPECT_EQ(Probe({"set", "usrname", "anna"}, out), 0) << out;
  EXPECT_EQ(Probe({"set", "pass", "secret-1"}, out), 0) << out;
  EXPECT_EQ(form->FindControlAs<CEditUI>(L"usrname")->GetText(), L"anna");
  EXPECT_EQ(form->FindControlAs<CEditUI>(L"pass")->GetText(), L"secret-1");
  ASSERT_EQ(Probe({"dump"}, dump), 0);
  rows = ParseDump(dump);
  EXPECT_EQ(ById(rows, "usrname")->text, "anna");
  EXPECT_EQ(ById(rows, "pass")->text, "");
  EXPECT_EQ(dump.find("secret-1"), std::string::npos);

  EXPECT_EQ(Probe({"do", "optSavePass", "toggle"}, out), 0) << out;
  EXPECT_TRUE(RunFor([&] { return !form->FindControlAs<COptionUI>(L"optSavePass")->IsSelected(); }));
  EXPECT_EQ(Probe({"do", "smsLogin", "click"}, out), 0) << out;
  EXPECT_TRUE(RunFor([&] { return form->FindControlAs<COptionUI>(L"smsLogin")->IsSelected(); }));
}

TEST_F(LoginAtspiTest, SignsInAgainstTheDemoSchoolThroughAtspiOnly) {
  std::string skipped;
  if (RerunOnPrivateBus(skipped)) {
    if (!skipped.empty()) GTEST_SKIP() << skipped;
    return;
  }
  demo_test::DemoServer demo;
  ASSERT_TRUE(demo.Start(m_root / "demo-state")) << demo.ErrorOutput();
  SetApiOrigin(demo.origin());
  OpenFrame();

  std::string out;
  EXPECT_EQ(Probe({"set", "usrname", "lixiaoming"}, out), 0) << out;
  EXPECT_EQ(Probe({"set", "pass", "xm123456"}, out), 0) << out;
  EXPECT_EQ(Probe({"do", "login", "click"}, out), 0) << out;
  EXPECT_TRUE(RunFor([&] { return delegate.opens > 0; }, 20000))
      << ToUtf8(frame->GetLoginDlg()->FindControl(L"lbErrorTip")->GetText());
  WaitForLoginThreads(30000);
}

}  // namespace
