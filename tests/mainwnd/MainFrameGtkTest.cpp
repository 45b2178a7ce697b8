// The main window on the GTK host, on a private Xvfb without a tray: it opens at the
// skin's size with its title shadow, "closebtn" keeps it reachable, "exit" ends the loop;
// the subject tree layer follows it and its right edge, dragged with xdotool, resizes it
// within 248..375 px while "wLeft" follows. Screens: <build>/screenshots/main-*-gtk.png.
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
#include "mainwnd/LeftTreeDlg.h"
#include "mainwnd/MainDlg.h"
#include "platform/MessageCore.h"
#include "platform/host/GtkHost.h"
#include "service/Records.h"
#include "skin/LoadSkin.h"
#include "support/GtkLoop.h"
#include "support/GuardedLoop.h"
#include "support/PrivateDisplay.h"
#include "support/Waiting.h"

// Last: Xlib defines None, which gtest and our own enums use as a name.
#include <gdk/gdkx.h>

namespace {

const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new PrivateDisplay("1600x900x24"));

// Runs GTK and the message core until `done` or the time is up; false on the time-out.
bool RunFor(const std::function<bool()>& done, int ms = static_cast<int>(kWaitGuard.count())) { return RunGtkUntil(done, ms); }

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
    for (const char* name :
         {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DOWNLOAD_DIR"})
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

TEST_F(MainFrameGtkTest, OpensWithItsShadowAndWithoutATrayItsCloseButtonExits) {
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

  // Without a tray the title bar has its menu button, and the close button ends the
  // program (nothing could bring a hidden window back).
  CControlUI* menuButton = main->FindControl(L"btnTitleMenu");
  ASSERT_NE(menuButton, nullptr);
  EXPECT_TRUE(menuButton->IsVisible());
  CControlUI* close = main->FindControl(L"closebtn");
  ASSERT_NE(close, nullptr);
  TNotifyUI click;
  click.sType = DUI_MSGTYPE_CLICK;
  click.pSender = close;
  main->Notify(click);
  int code = RunMessageLoopWithGuard(3000);
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(GetMainDlg(), nullptr);
}

bool Xdotool(const std::string& args) {
  return std::system(("xdotool " + args + " >/dev/null 2>&1").c_str()) == 0;
}

TEST_F(MainFrameGtkTest, TreeWindowFollowsTheMainWindowAndItsEdgeResizesIt) {
  if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool missing";
  gSubjectList.Clear();
  ClassRecord cls;
  cls.id = "101";
  cls.name = "会计实务精讲班";
  gSubjectList.Classes = {cls};
  MainDlg* main = OpenMainWindow();
  ASSERT_NE(main, nullptr);
  LeftTreeDlg* tree = main->GetTreeWindow();
  ASSERT_NE(tree, nullptr);
  ASSERT_TRUE(RunFor([&] { return main->IsWindowVisible() && tree->IsWindowVisible(); }));
  CControlUI* wLeft = main->FindControl(L"wLeft");
  ASSERT_NE(wLeft, nullptr);
  auto besideMain = [&] {
    CDuiRect m = main->GetWindowRect();
    CDuiRect t = tree->GetWindowRect();
    return t.left == m.left + 1 && t.top == m.top + 76 && t.bottom == m.bottom - 1;
  };

  // Moved and resized, the tree stays beside the body down to the bottom edge.
  for (CDuiRect rc : {CDuiRect{60, 40, 60 + 1366, 40 + 768}, CDuiRect{20, 10, 20 + 1500, 10 + 880}}) {
    main->MoveWindow(rc);
    EXPECT_TRUE(RunFor([&] { return main->GetWindowRect() == rc && besideMain(); }))
        << "tree at " << tree->GetWindowRect().left << "," << tree->GetWindowRect().top;
  }
  EXPECT_TRUE(RunFor([&] { return wLeft->GetFixedWidth() == tree->GetWindowRect().GetWidth(); }));
  RunFor([] { return false; }, 300);
  SaveScreen("main-tree-gtk.png");
  // At the smallest size the tree gives up width so the body keeps its room.
  CDuiRect smallest{100, 60, 100 + 1024, 60 + 760};
  main->MoveWindow(smallest);
  EXPECT_TRUE(RunFor([&] {
    return main->GetWindowRect() == smallest && besideMain() && tree->GetWindowRect().GetWidth() == 248 &&
           wLeft->GetFixedWidth() == 248;
  }));
  RunFor([] { return false; }, 300);
  SaveScreen("main-tree-gtk-1024x760.png");
  main->MoveWindow({20, 10, 20 + 1500, 10 + 880});
  EXPECT_TRUE(RunFor([&] { return tree->GetWindowRect().GetWidth() == 375; }));
  RunFor([] { return false; }, 300);  // the X server learns the layer's new input shape

  // The right edge, dragged by the pointer: the width stays within 248..375.
  struct Drag {
    int by;
    int width;
  } drags[] = {{-50, 325}, {-200, 248}, {+400, 375}};
  for (const Drag& d : drags) {
    CDuiRect t = tree->GetWindowRect();
    int x = t.right - 3;
    int y = t.top + 200;
    ASSERT_TRUE(Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) +
                        " sleep 0.1 mousedown 1 sleep 0.1 mousemove " + std::to_string(x + d.by) + " " +
                        std::to_string(y) + " sleep 0.1 mouseup 1"));
    EXPECT_TRUE(RunFor([&] { return tree->GetWindowRect().GetWidth() == d.width; }))
        << "width " << tree->GetWindowRect().GetWidth() << " after dragging by " << d.by;
    EXPECT_TRUE(RunFor([&] { return wLeft->GetFixedWidth() == d.width; }))
        << "wLeft " << wLeft->GetFixedWidth();
    EXPECT_TRUE(besideMain());
  }

  // From the keyboard the tree is one stop of the main window: Tab reaches it, one more
  // Tab leaves it for the main window's first control.
  CPaintManagerUI& treePm = tree->GetPaintManager();
  CPaintManagerUI& mainPm = main->GetPaintManager();
  for (int i = 0; i < 40 && treePm.GetFocus() != tree->GetTree(); ++i) {
    ASSERT_TRUE(Xdotool("key Tab"));
    RunFor([] { return false; }, 50);
  }
  ASSERT_EQ(treePm.GetFocus(), tree->GetTree()) << "Tab never reached the tree";
  RunFor([] { return false; }, 300);
  SaveScreen("main-tree-gtk-tab.png");
  ASSERT_TRUE(Xdotool("key Tab"));
  EXPECT_TRUE(RunFor([&] { return treePm.GetFocus() == nullptr && mainPm.GetFocus() != nullptr; }));

  main->SetQuitOnFinal(false);
  main->DestroyWindow();
  PumpPendingMessages();
  gSubjectList.Clear();
}

}  // namespace

namespace {

// The X11 tray: a real tray host (trayer) on the private screen holds the icon; a right
// click's menu is the program's own, with "显示主窗口" first.
TEST_F(MainFrameGtkTest, OnAnX11TrayTheIconDocksAndItsMenuOpens) {
  if (std::system("command -v trayer >/dev/null") != 0) GTEST_SKIP() << "trayer missing";
  pid_t trayer = fork();
  if (trayer == 0) {
    execlp("trayer", "trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "120",
           "--height", "32", static_cast<char*>(nullptr));
    _exit(127);
  }
  // The tray manager owns the screen's tray selection once it runs.
  Display* x = gdk_x11_display_get_xdisplay(gdk_display_get_default());
  Atom selection = XInternAtom(x, "_NET_SYSTEM_TRAY_S0", False);
  bool ready = RunFor([&] { return XGetSelectionOwner(x, selection) != 0; }, 10000);
  MainDlg* main = ready ? OpenMainWindow() : nullptr;
  if (main) {
    EXPECT_TRUE(main->HasTray());
    std::system("xdotool mousemove 1540 860 >/dev/null 2>&1");
    PostMessage(main->GetHWND(), WM_TRAY_ICON, 102, WM_RBUTTONUP);
    EXPECT_TRUE(RunFor([] { return FindWindow(L"MenuWnd", L"") != kNoWindow; }));
    RunFor([] { return false; }, 400);
    SaveScreen("tray-menu-x11.png");
    main->SetQuitOnFinal(false);
    main->DestroyWindow();
    PumpPendingMessages();
  }
  kill(trayer, SIGTERM);
  waitpid(trayer, nullptr, 0);
  ASSERT_TRUE(ready) << "trayer did not start";
}

}  // namespace
