// The login frame on the test host with the program's skin, private XDG folders, a fake
// main-window link, the test process's own keyring (PrivateKeyring.h), and helpers that wait for posted answers (with a guard time) and
// compose the frame and its layers into one picture as the screen shows it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "DemoServer.h"
#include "KeyringTestSupport.h"
#include "ServiceTestSupport.h"
#include "account/LoginBackDlg.h"
#include "account/LoginDlg.h"
#include "account/LoginWorker.h"
#include "account/LoginDelegate.h"
#include "account/SqUserDB.h"
#include "app/Folders.h"
#include "app/Settings.h"
#include "app/TextConv.h"
#include "platform/MessageCore.h"
#include "platform/host/TestHost.h"
#include "service/CatalogueParsers.h"
#include "service/Records.h"
#include "service/ServiceConfig.h"
#include "service/Session.h"
#include "skin/LoadSkin.h"
#include "ui/Button.h"
#include "ui/Edit.h"
#include "ui/Label.h"
#include "ui/Option.h"
#include "ui/UIText.h"
#include "support/PrivateKeyring.h"

namespace logintest {

// Click points in form coordinates.
constexpr int kAccountTabX = 105, kSmsTabX = 255, kTabY = 50;
constexpr int kUserX = 190, kUserY = 132;
constexpr int kPassX = 150, kPassY = 196;
constexpr int kSmsCodeX = 287, kSmsCodeY = 196;
constexpr int kLoginX = 180, kLoginY = 322;

// The fixture is the frame's delegate: it counts the main window's openings and records
// an offline start.
class LoginTest : public servicetest::TempHomeTest, public LoginDelegate {
 public:
  bool MainWindowExists() const override { return mainWindowOpen; }
  void ShowMainWindow() override {
    ++mainWindowOpens;
    mainWindowOpen = true;
  }
  void StartOffline(const std::string& account, const std::string& password) override {
    offlineAccount = account;
    offlinePassword = password;
  }

 protected:
  void SetUp() override {
    servicetest::TempHomeTest::SetUp();
    if (UsesKeyring()) {
      if (testsupport::KeyringOfThisProcess(m_noKeyring)) keyringtest::Clear();
    } else if (testsupport::KeyringOfThisProcessAsked()) {
      GTEST_SKIP() << "needs a process without the test keyring (ctest runs each case alone)";
    }
    // Never the user's session bus and keyring.
    if (!UsesKeyring() || !m_noKeyring.empty())
      setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (m_root / "no-session-bus").string()).c_str(), 1);
    InitMessageCore();
    auto host = std::make_unique<TestHost>();
    testHost = host.get();
    SetHost(std::move(host));
    ASSERT_TRUE(LoadSkin());
    gSubjectList.Clear();
    ClearSessionToken();
    SetSignedInAccount("");
  }
  void TearDown() override {
    // Request threads post to windows that may be gone; let them finish first.
    WaitFor([] { return PendingLoginThreads() == 0; }, 30000);
    if (frame) frame->DestroyWindow();
    frame.reset();
    PumpPendingMessages();
    ShutdownMessageCore();
    SqUserDB::Release();
    demo.Stop();
    servicetest::TempHomeTest::TearDown();
  }

  static std::filesystem::path StorePath() {
    return std::filesystem::path(WideToAnsi(GetPasswordStoreFolder())) / "squser.db";
  }
  // False for a fixture that runs without any session bus.
  virtual bool UsesKeyring() const { return true; }
  // Why the test keyring is missing (the daemons are not installed), or empty.
  const std::string& NoKeyring() const { return m_noKeyring; }

  void StartDemo() {
    ASSERT_TRUE(demo.Start(m_root / "demo-state")) << demo.ErrorOutput();
    SetApiOrigin(demo.origin());
  }

  void CreateFrame() {
    frame = std::make_unique<LoginBackDlg>(this);
    SetLoginFrame(frame.get());
    frame->Create(kNoWindow, L"Tavo", UI_WNDSTYLE_FRAME, 0, 0, 0, 1366, 768);
    frame->CenterWindow();
    frame->ShowWindow(true, true);
    form = frame->GetLoginDlg();
    ASSERT_NE(form, nullptr);
    formHost = static_cast<TestHostWindow*>(form->GetHostWindow());
    frameHost = static_cast<TestHostWindow*>(frame->GetHostWindow());
  }

  // Runs the message loop until `done` holds; false when the guard time ran out.
  static bool WaitFor(const std::function<bool()>& done, int guardMs = 20000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      PumpPendingMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }
  bool WaitForAnswer() {
    return WaitFor([this] { return !form->IsRequestPending(); });
  }

  template <class T = CControlUI>
  T* Find(const wchar_t* name) const {
    return form->FindControlAs<T>(name);
  }
  std::wstring Text(const wchar_t* name) const { return Find(name)->GetText(); }
  bool Visible(const wchar_t* name) const { return Find(name)->IsVisible(); }
  bool Selected(const wchar_t* name) const { return Find<COptionUI>(name)->IsSelected(); }

  void TypeInto(int x, int y, const std::string& text) {
    formHost->Click(x, y);
    formHost->Type(text);
  }
  void Tick(UINT timer) { SendMessage(form->GetHWND(), WM_TIMER, timer); }
  static std::wstring Reg(const wchar_t* name) {
    std::wstring value;
    ReadRegString(name, value);
    return value;
  }

  // The frame with its visible layers painted over it, saved under the test binary folder.
  void SaveScreenshot(const std::string& name) {
    std::string dir = std::string(std::getenv("TAVO_TEST_BINARY_DIR") ? std::getenv("TAVO_TEST_BINARY_DIR") : ".") +
                      "/screenshots";
    std::filesystem::create_directories(dir);
    cairo_surface_t* base = frameHost->Snapshot();
    cairo_t* cr = cairo_create(base);
    for (TestHostWindow* w : testHost->Windows()) {
      if (w->owner() != frameHost || !w->IsVisible()) continue;
      HostRect r = w->GetOwnerRect();
      cairo_surface_t* layer = w->Snapshot();
      cairo_set_source_surface(cr, layer, r.x, r.y);
      cairo_paint(cr);
      cairo_surface_destroy(layer);
    }
    cairo_destroy(cr);
    EXPECT_EQ(cairo_surface_write_to_png(base, (dir + "/" + name).c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(base);
  }

  TestHost* testHost = nullptr;
  demo_test::DemoServer demo;
  std::unique_ptr<LoginBackDlg> frame;
  LoginDlg* form = nullptr;
  TestHostWindow* formHost = nullptr;
  TestHostWindow* frameHost = nullptr;
  bool mainWindowOpen = false;
  int mainWindowOpens = 0;
  std::string offlineAccount;  // the offline start's credentials, empty without one
  std::string offlinePassword;
  std::string m_noKeyring;
};

}  // namespace logintest
