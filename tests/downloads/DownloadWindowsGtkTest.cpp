// A download manager window on the GTK host, on a private Xvfb: a layer of its owner that
// shows its rows, and hides once the pointer (moved with xdotool) has left it. Screen:
// <build>/screenshots/download-manager-gtk.png.
#include <gdk/gdk.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "downloads/CourseDB.h"
#include "mainwnd/DownloadMgrDlg.h"
#include "study/DownloadCenter.h"
#include "downloads/DownloadTaskList.h"
#include "platform/MessageCore.h"
#include "platform/MessageWindow.h"
#include "platform/host/GtkHost.h"
#include "skin/LoadSkin.h"
#include "support/GtkLoop.h"
#include "support/PrivateDisplay.h"

namespace {

const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new PrivateDisplay("1600x900x24"));

// Runs GTK and the message core until `done` or the time is up; false on the time-out.
bool RunFor(const std::function<bool()>& done, int ms = 3000) { return RunGtkUntil(done, ms); }

bool Xdotool(const std::string& args) {
  return std::system(("xdotool " + args + " >/dev/null 2>&1").c_str()) == 0;
}

class OwnerWnd : public WindowImplBase {
 public:
  std::wstring GetWindowClassName() const override { return L"downloadOwnerClass"; }
  std::wstring GetSkinFile() override { return L"about_dlg.xml"; }
};

class NoDelegate : public DownloadMgrDelegate {
 public:
  void OnUnfinishedCount(TaskKind, int) override {}
  void OpenFinished(const DownloadTask&) override {}
  void ShowMainTip(const std::wstring&) override {}
};

TEST(DownloadWindowsGtkTest, LayerShowsItsRowsAndHidesWhenThePointerLeaves) {
  if (!GtkHost::Init()) GTEST_SKIP() << "no display";
  if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool missing";
  char pattern[] = "/tmp/tavo-mgr-gtk-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path root = pattern;
  for (const char* name :
       {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DOWNLOAD_DIR"})
    setenv(name, (root / name).c_str(), 1);
  InitMessageCore();
  SetHost(std::make_unique<GtkHost>());
  ASSERT_TRUE(LoadSkin());
  CourseDB::Release();
  DownloadTaskList::Get().Clear();
  const std::string file = (root / "v1.mp4").string();
  std::ofstream(file) << std::string(1000, 'v');
  CourseDB::Get()->InsertClass("101", "会计实务精讲班", TaskKind::Video);
  CourseDB::Get()->InsertLesson("101", "v1", "第一课 总论.mp4", "http://127.0.0.1:1/v1.mp4", "4000", file);

  {
    OwnerWnd owner;
    owner.Create(kNoWindow, L"Tavo", WS_POPUP, 0, 100, 60, 900, 760);
    owner.ShowWindow(true, true);
    // The owner has settled (and holds the focus) before its layer opens, as the main
    // window has when its manager button is clicked.
    ASSERT_TRUE(RunFor([&] { return owner.IsWindowVisible(); }));
    RunFor([] { return false; }, 300);
    DownloadCenter downloads;
    NoDelegate delegate;
    DownloadVideoDlg manager(&delegate, downloads);
    ASSERT_NE(manager.Create(owner.GetHWND(), L"Tavo", WS_POPUP, 0, 500, 100, 360, 638), kNoWindow);
    manager.ShowWindow(true, true);
    ASSERT_TRUE(RunFor([&] { return manager.IsWindowVisible(); }));
    RunFor([] { return false; }, 400);  // let it paint

    std::filesystem::path dir = std::filesystem::path(std::getenv("TAVO_TEST_BINARY_DIR")) / "screenshots";
    std::filesystem::create_directories(dir);
    GdkWindow* screen = gdk_get_default_root_window();
    GdkPixbuf* pb = gdk_pixbuf_get_from_window(screen, 0, 0, 1100, 860);
    ASSERT_NE(pb, nullptr);
    gdk_pixbuf_save(pb, (dir / "download-manager-gtk.png").c_str(), "png", nullptr, nullptr);
    g_object_unref(pb);

    // The pointer moves inside the window, then over the owner beside it.
    ASSERT_TRUE(Xdotool("mousemove 650 300"));
    RunFor([] { return false; }, 300);
    EXPECT_TRUE(manager.IsWindowVisible());
    ASSERT_TRUE(Xdotool("mousemove 640 320"));
    RunFor([] { return false; }, 100);
    ASSERT_TRUE(Xdotool("mousemove 200 300"));
    EXPECT_TRUE(RunFor([&] { return !manager.IsWindowVisible(); }));
    manager.DestroyWindow();
    owner.DestroyWindow();
  }
  DownloadTaskList::Get().Clear();
  CourseDB::Release();
  ShutdownMessageCore();
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

}  // namespace
