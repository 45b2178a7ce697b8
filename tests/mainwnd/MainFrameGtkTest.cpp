// The main window on the GTK host, on a private Xvfb without a tray: it opens at the
// skin's size with its title shadow, "closebtn" keeps it reachable, "exit" ends the loop.
// The screen is saved to <build>/screenshots/main-frame-gtk.png.
#include <errno.h>
#include <gdk/gdk.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "account/AboutDlg.h"
#include "account/SelfOwnedWindows.h"
#include "mainwnd/MainDlg.h"
#include "platform/MessageCore.h"
#include "platform/host/GtkHost.h"
#include "skin/LoadSkin.h"

namespace {

// A private X server per test process, so parallel tests never share a screen.
class PrivateDisplay : public ::testing::Environment {
 public:
  void SetUp() override {
    int fds[2];
    if (pipe(fds) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      close(fds[0]);
      std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1600x900x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // Xvfb writes the display number and a line break once it accepts connections.
    std::string number;
    char c = 0;
    while (m_pid > 0) {
      ssize_t n = read(fds[0], &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    if (!number.empty()) {
      setenv("DISPLAY", (":" + number).c_str(), 1);
      unsetenv("WAYLAND_DISPLAY");
    }
  }
  void TearDown() override {
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      waitpid(m_pid, nullptr, 0);
    }
  }

 private:
  pid_t m_pid = -1;
};
const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new PrivateDisplay);

// Runs GTK and the message core until `done` or the time is up; false on the time-out.
bool RunFor(const std::function<bool()>& done, int ms = 3000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    PumpPendingMessages();
    g_usleep(5000);
  }
  return true;
}

void SaveScreen(const std::string& name) {
  std::filesystem::path dir = std::filesystem::path(std::getenv("TAVO_TEST_BINARY_DIR")) / "screenshots";
  std::filesystem::create_directories(dir);
  GdkWindow* root = gdk_get_default_root_window();
  GdkPixbuf* pb =
      gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root), gdk_window_get_height(root));
  ASSERT_NE(pb, nullptr);
  gdk_pixbuf_save(pb, (dir / name).c_str(), "png", nullptr, nullptr);
  g_object_unref(pb);
}

class MainFrameGtkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GtkHost::Init()) GTEST_SKIP() << "no display";
    char pattern[] = "/tmp/tavo-main-gtk-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_root = pattern;
    for (const char* name : {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
      setenv(name, (m_root / name).c_str(), 1);
    InitMessageCore();
    SetHost(std::make_unique<GtkHost>());
    ASSERT_TRUE(LoadSkin());
  }
  void TearDown() override {
    if (m_root.empty()) return;
    DestroySelfOwned();
    ShutdownMessageCore();
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
  }
  std::filesystem::path m_root;
};

TEST_F(MainFrameGtkTest, OpensWithItsShadowStaysReachableWithoutATrayAndExits) {
  MainDlg* main = OpenMainWindow();
  ASSERT_NE(main, nullptr);
  HWND hwnd = main->GetHWND();
  ASSERT_TRUE(RunFor([&] { return main->IsWindowVisible() && main->GetTitleShadow()->IsWindowVisible(); }));
  RunFor([] { return false; }, 300);  // let it paint
  CDuiRect rc = main->GetWindowRect();
  EXPECT_EQ(rc.GetWidth(), 1366);
  EXPECT_EQ(rc.GetHeight(), 768);
  CDuiRect shadow = main->GetTitleShadow()->GetWindowRect();
  EXPECT_EQ(shadow, (CDuiRect{rc.left, rc.top, rc.right, rc.top + 72}));
  EXPECT_FALSE(main->HasTray());  // a bare X server has no tray

  OpenOrRaiseAboutWindow();
  RunFor([] { return false; }, 400);
  SaveScreen("main-frame-gtk.png");

  // Without a tray the close button must not hide the window for good.
  CControlUI* close = main->FindControl(L"closebtn");
  ASSERT_NE(close, nullptr);
  TNotifyUI click;
  click.sType = DUI_MSGTYPE_CLICK;
  click.pSender = close;
  main->Notify(click);
  RunFor([] { return false; }, 200);
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_TRUE(main->IsWindowVisible());

  PostMessage(hwnd, WM_SYSCOMMAND, SC_CLOSE);
  guint guard = g_timeout_add(
      3000,
      [](gpointer) -> gboolean {
        PostQuitMessage(77);
        return G_SOURCE_REMOVE;
      },
      nullptr);
  int code = RunMessageLoop();
  if (code != 77) g_source_remove(guard);
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(GetMainDlg(), nullptr);
}

}  // namespace
