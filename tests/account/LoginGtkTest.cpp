// The login frame on a real display (a private Xvfb per test process): the layers appear
// at their places over the frame, take clicks and typing from xdotool, and follow the
// frame when it is resized. The screen is saved for a person to open.
#include <errno.h>
#include <gdk/gdk.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "support/GtkLoop.h"
#include "support/PrivateDisplay.h"
#include "support/Waiting.h"
#include "ServiceTestSupport.h"
#include "account/LoginBackDlg.h"
#include "account/LoginDlg.h"
#include "account/LoginWorker.h"
#include "app/Settings.h"
#include "platform/MessageCore.h"
#include "platform/host/GtkHost.h"
#include "service/ServiceConfig.h"
#include "skin/LoadSkin.h"
#include "ui/Button.h"
#include "ui/Edit.h"
#include "ui/Option.h"
#include "ui/UIText.h"

namespace {

bool RunFor(const std::function<bool()>& done, int ms = static_cast<int>(kWaitGuard.count())) { return RunGtkUntil(done, ms); }
void Settle(int ms = 300) { RunFor([] { return false; }, ms); }

bool Xdotool(const std::string& args) { return std::system(("xdotool " + args + " >/dev/null 2>&1").c_str()) == 0; }
bool ClickAt(int x, int y) {
  return Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

struct Rgb {
  int r, g, b;
};
Rgb ScreenPixel(int x, int y) {
  GdkPixbuf* pb = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, 1, 1);
  if (!pb) return {-1, -1, -1};
  const guchar* p = gdk_pixbuf_read_pixels(pb);
  Rgb rgb{p[0], p[1], p[2]};
  g_object_unref(pb);
  return rgb;
}
bool Near(Rgb a, Rgb b, int tolerance = 6) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}
std::string Describe(Rgb c) {
  return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

void SaveScreen(const std::string& name) {
  const char* bin = std::getenv("TAVO_TEST_BINARY_DIR");
  std::string dir = std::string(bin ? bin : ".") + "/screenshots";
  std::filesystem::create_directories(dir);
  GdkWindow* root = gdk_get_default_root_window();
  GdkPixbuf* pb = gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root), gdk_window_get_height(root));
  if (!pb) return;
  gdk_pixbuf_save(pb, (dir + "/" + name).c_str(), "png", nullptr, nullptr);
  g_object_unref(pb);
}

const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new PrivateDisplay("1600x1000x24"));

class LoginGtkTest : public servicetest::TempHomeTest {
 protected:
  void SetUp() override {
    servicetest::TempHomeTest::SetUp();
    // The form asks the session bus for a keyring: never the user's.
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (m_root / "no-session-bus").string()).c_str(), 1);
    if (!GtkHost::Init()) GTEST_SKIP() << "no display";
    if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool missing";
    InitMessageCore();
    SetHost(std::make_unique<GtkHost>());
    ASSERT_TRUE(LoadSkin());
  }
  void TearDown() override {
    WaitForLoginThreads(30000);
    if (frame) frame->DestroyWindow();
    frame.reset();
    ShutdownMessageCore();
    servicetest::TempHomeTest::TearDown();
  }
  std::unique_ptr<LoginBackDlg> frame;
};

TEST_F(LoginGtkTest, LayersSitOnTheFrameAndTakeInput) {
  servicetest::LoopbackServer service;
  SetApiOrigin(service.Origin());
  frame = std::make_unique<LoginBackDlg>();
  SetLoginFrame(frame.get());
  frame->Create(kNoWindow, L"Tavo", UI_WNDSTYLE_FRAME, 0, 0, 0, 1366, 768);
  frame->CenterWindow();
  frame->ShowWindow(true, true);
  LoginDlg* form = frame->GetLoginDlg();

  auto formOrigin = [&] {
    CDuiRect f = frame->GetWindowRect();
    return CDuiPoint{f.left + (f.GetWidth() - 360) / 2 + 230, f.top + (f.GetHeight() - 420) / 2};
  };
  CDuiRect f = frame->GetWindowRect();
  CDuiPoint o = formOrigin();
  // The form is a layer drawn after the frame: wait until its tab bar is on the screen.
  EXPECT_TRUE(RunFor([&] { return Near(ScreenPixel(o.x + 105, o.y + 71), {255, 133, 77}, 12); }))
      << "form not drawn: " << Describe(ScreenPixel(o.x + 105, o.y + 71));
  // The frame's title bar, the welcome panel's greeting corner, the disabled button.
  EXPECT_TRUE(Near(ScreenPixel(f.left + 600, f.top + 30), {255, 255, 255})) << Describe(ScreenPixel(f.left + 600, f.top + 30));
  Rgb panel = ScreenPixel(o.x - 440, o.y + 150);
  EXPECT_TRUE(panel.r > panel.b + 10) << "welcome panel: " << Describe(panel);
  Rgb button = ScreenPixel(o.x + 100, o.y + 322);
  EXPECT_TRUE(Near(button, {255, 206, 184})) << "disabled login button: " << Describe(button);
  SaveScreen("login-gtk.png");

  // The greyed button says what it waits for under the pointer.
  ASSERT_TRUE(Xdotool("mousemove " + std::to_string(o.x + 150) + " " + std::to_string(o.y + 322)));
  EXPECT_TRUE(RunFor([&] { return form->GetPaintManager().GetToolTipShown().text == "请输入账号和密码"; }));
  Settle(800);
  SaveScreen("login-gtk-greyed-tip.png");

  // Clicks and typing reach the form through the frame's window.
  ASSERT_TRUE(ClickAt(o.x + 255, o.y + 50));
  EXPECT_TRUE(RunFor([&] { return form->FindControlAs<COptionUI>(L"smsLogin")->IsSelected(); }));
  ASSERT_TRUE(ClickAt(o.x + 190, o.y + 132));
  ASSERT_TRUE(Xdotool("type --delay 15 13800138001"));
  auto* user = form->FindControlAs<CEditUI>(L"usrname");
  EXPECT_TRUE(RunFor([&] { return user->GetText() == L"13800138001"; })) << ToUtf8(user->GetText());
  EXPECT_TRUE(form->FindControlAs<CButtonUI>(L"getSmsCode")->IsEnabled());
  Settle(200);
  SaveScreen("login-gtk-sms.png");

  // Resized (Xvfb has no window manager to maximise), the layers are placed anew.
  frame->MoveWindow({40, 30, 40 + 1500, 30 + 940});
  EXPECT_TRUE(RunFor([&] { return frame->GetWindowRect().GetWidth() == 1500; }));
  CDuiPoint m = formOrigin();
  EXPECT_TRUE(RunFor([&] { return form->GetWindowRect().left == m.x; }));
  // The orange bar under the SMS tab, once the moved layer is drawn.
  EXPECT_TRUE(RunFor([&] { return Near(ScreenPixel(m.x + 255, m.y + 71), {255, 133, 77}, 12); }))
      << "tab bar after resizing: " << Describe(ScreenPixel(m.x + 255, m.y + 71));
  SaveScreen("login-gtk-resized.png");
}

}  // namespace
