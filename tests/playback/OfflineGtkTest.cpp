// The document viewer and the local player in real windows with the real browser, on a
// private Xvfb: a PDF shows its first page, the same document again is not reloaded,
// another one replaces it, Ctrl+Alt+Shift+I opens the developer tools; a downloaded H.264
// video plays (its time advances) in the local player, which keeps its position.
// Screens: <build>/screenshots/.
#include <gdk/gdk.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdlib.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "MediaWriter.h"
#include "account/SelfOwnedWindows.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "browser/Browser.h"
#include "browser/CefNativeControl.h"
#include "browser/ClientAppBrowser.h"
#include "downloads/DownloadTask.h"
#include "mainwnd/LookDocDlg.h"
#include "mainwnd/MainDlg.h"
#include "mainwnd/MoveMyInfoButton.h"
#include "platform/MessageCore.h"
#include "platform/host/GtkHost.h"
#include "playback/PlayLocal.h"
#include "playback/ProgressQueue.h"
#include "playback/VideoLocalPlayDlg.h"
#include "skin/LoadSkin.h"
#include "support/GtkLoop.h"
#include "support/PrivateDisplay.h"
#include "support/XdgFolders.h"

namespace fs = std::filesystem;

namespace {

const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new PrivateDisplay("1600x900x24"));

fs::path Root() {
  static const fs::path root = [] {
    char pattern[] = "/tmp/tavo-offline-gtk-XXXXXX";
    return fs::path(mkdtemp(pattern));
  }();
  return root;
}

bool RunFor(const std::function<bool()>& done, int ms = 15000) { return RunGtkUntil(done, ms); }

void SaveScreen(const std::string& name) {
  fs::path dir = fs::path(std::getenv("TAVO_TEST_BINARY_DIR")) / "screenshots";
  fs::create_directories(dir);
  GdkWindow* root = gdk_get_default_root_window();
  GdkPixbuf* pb =
      gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root), gdk_window_get_height(root));
  ASSERT_NE(pb, nullptr);
  gdk_pixbuf_save(pb, (dir / name).c_str(), "png", nullptr, nullptr);
  g_object_unref(pb);
}

// Runs script in the view; its result as JSON text ("" on failure).
std::string Evaluate(WebKitWebView* view, const std::string& script) {
  struct State {
    bool done = false;
    std::string result;
  } state;
  webkit_web_view_evaluate_javascript(
      view, script.c_str(), -1, nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer user) {
        auto* s = static_cast<State*>(user);
        if (JSCValue* value =
                webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr)) {
          char* json = jsc_value_to_json(value, 0);
          s->result = json ? json : "";
          g_free(json);
          g_object_unref(value);
        }
        s->done = true;
      },
      &state);
  RunFor([&] { return state.done; }, 10000);
  return state.result;
}

WebKitWebView* ViewOf(CefNativeControl* control) {
  BrowserPtr browser = control ? control->GetBrowser() : nullptr;
  return browser ? browser->GetView() : nullptr;
}

// Counts the loads a view starts.
struct LoadCounter {
  int started = 0;
  int finished = 0;
  void Attach(WebKitWebView* view) {
    g_signal_connect(view, "load-changed",
                     G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer self) {
                       auto* counter = static_cast<LoadCounter*>(self);
                       if (event == WEBKIT_LOAD_STARTED) ++counter->started;
                       if (event == WEBKIT_LOAD_FINISHED) ++counter->finished;
                     }),
                     this);
  }
};

class OfflineGtkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    PointXdgFoldersInto(Root());
    setenv("TAVO_WEBEXT_DIR", (std::string(std::getenv("TAVO_TEST_BINARY_DIR")) + "/bin/webext").c_str(), 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("WEBKIT_A11Y_BUS_ADDRESS", "", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (Root() / "no-session-bus").string()).c_str(), 1);
    OpenLog(L"browserlog");
  }
  void SetUp() override {
    if (!GtkHost::Init()) GTEST_SKIP() << "no display";
    InitMessageCore();
    SetHost(std::make_unique<GtkHost>());
    ASSERT_TRUE(LoadSkin());
    ASSERT_TRUE(ClientAppBrowser::IsCreated() || ClientAppBrowser::Initialize());
    fs::create_directories(Root() / "dl");
  }
  void TearDown() override {
    DestroySelfOwned();
    RunFor([] { return false; }, 200);
    ShutdownMessageCore();
  }
  static fs::path DemoFile(const std::string& relative) {
    return fs::path(std::getenv("TAVO_TEST_BINARY_DIR")) / "demo-data" / relative;
  }
};

TEST_F(OfflineGtkTest, TheViewerShowsAPdfReusesItsWindowAndOpensDeveloperTools) {
  fs::path pdfSource = DemoFile("docs/jy110101.pdf");
  if (!fs::exists(pdfSource)) GTEST_SKIP() << "demo documents not built";
  const fs::path first = Root() / "dl" / "第一讲 言语理解.pdf";
  const fs::path second = Root() / "dl" / "第二讲";
  fs::copy_file(pdfSource, first, fs::copy_options::overwrite_existing);
  fs::copy_file(DemoFile("docs/jy110102.pdf"), second, fs::copy_options::overwrite_existing);

  OpenDocViewer(first.string());
  HWND hwnd = FindWindow(L"lookDocDlgClass", L"第一讲 言语理解");
  ASSERT_NE(hwnd, kNoWindow);
  auto* viewer = dynamic_cast<LookDocDlg*>(CWindowWnd::FromHandle(hwnd));
  ASSERT_NE(viewer, nullptr);
  ASSERT_TRUE(RunFor([&] { return ViewOf(viewer->GetBrowserControl()) != nullptr; }));
  WebKitWebView* view = ViewOf(viewer->GetBrowserControl());
  LoadCounter loads;
  loads.Attach(view);
  ASSERT_TRUE(RunFor([&] { return loads.finished == 1; }));
  EXPECT_EQ(std::string(webkit_web_view_get_uri(view)).rfind("file:///", 0), 0u);
  // The engine's PDF viewer holds the document (its pages are drawn inside its frame).
  EXPECT_NE(Evaluate(view, "document.querySelector('iframe').src").find("pdfjs"), std::string::npos);
  RunFor([] { return false; }, 2000);
  SaveScreen("doc-viewer-gtk.png");
  loads = {};

  // The same document again: no second load, still one viewer.
  OpenDocViewer(first.string());
  RunFor([] { return false; }, 800);
  EXPECT_EQ(loads.started, 0);
  EXPECT_EQ(CountSelfOwned(L"lookDocDlgClass"), 1u);

  // Another one replaces it and names the window.
  OpenDocViewer(second.string());
  EXPECT_TRUE(RunFor([&] { return loads.finished == 1; }));
  EXPECT_EQ(viewer->GetWindowText(), L"第二讲");
  EXPECT_EQ(GetViewerTitle(), L"第二讲");
  EXPECT_EQ(CountSelfOwned(L"lookDocDlgClass"), 1u);

  // Ctrl+Alt+Shift+I on the viewer asks for the inspector's own window.
  if (std::system("command -v xdotool >/dev/null") == 0) {
    WebKitWebInspector* inspector = webkit_web_view_get_inspector(view);
    int opened = 0;
    g_signal_connect(inspector, "open-window",
                     G_CALLBACK(+[](WebKitWebInspector*, gpointer count) -> gboolean {
                       ++*static_cast<int*>(count);
                       return TRUE;  // handled here: no window over other tests
                     }),
                     &opened);
    viewer->BringToFront();
    RunFor([] { return false; }, 300);
    // A bare X server gives the keyboard to the window under the pointer.
    CDuiRect rc = viewer->GetWindowRect();
    std::system(("xdotool mousemove " + std::to_string(rc.left + 600) + " " + std::to_string(rc.top + 300) +
                 " click 1 sleep 0.2 key ctrl+alt+shift+i >/dev/null 2>&1")
                    .c_str());
    EXPECT_TRUE(RunFor([&] { return webkit_web_inspector_get_web_view(inspector) != nullptr; }, 10000));
    g_signal_handlers_disconnect_by_data(inspector, &opened);
  }
  g_signal_handlers_disconnect_by_data(view, &loads);
}

TEST_F(OfflineGtkTest, AnH264VideoPlaysInTheLocalPlayer) {
  // A download folder of the student's own, outside anything the web processes may read.
  fs::path video = Root() / "dl" / "第一课.mp4";
  if (fs::exists(DemoFile("media/v110101.mp4"))) {
    fs::copy_file(DemoFile("media/v110101.mp4"), video, fs::copy_options::overwrite_existing);
  } else {
    std::string error;
    ASSERT_TRUE(WriteMedia(video, {"libx264", "aac"}, error, 80)) << error;
  }
  SetSignedInAccount("lixiaoming");
  DownloadTask task;
  task.kind = TaskKind::Video;
  task.classId = "1101";
  task.id = "110101";
  task.name = "第一课 言语理解导论.mp4";
  task.localFile = video.string();
  bool chosen = false;
  PlayLocal(task, [&](bool h264) {
    EXPECT_TRUE(h264);
    chosen = true;
  });
  ASSERT_TRUE(RunFor([&] { return chosen; }));
  auto* player = dynamic_cast<VideoLocalPlayDlg*>(
      CWindowWnd::FromHandle(FindWindow(L"videoLocalPlayDlgClass", L"Tavo")));
  ASSERT_NE(player, nullptr);
  ASSERT_TRUE(RunFor([&] { return ViewOf(player->GetBrowserControl()) != nullptr; }));
  WebKitWebView* view = ViewOf(player->GetBrowserControl());
  EXPECT_TRUE(RunFor([&] { return player->GetBrowserId() != 0; }));
  // The file plays by itself: its time advances.
  EXPECT_TRUE(RunFor(
      [&] {
        std::string t = Evaluate(
            view, "(function(){var v=document.querySelector('video');return v?v.currentTime:-1;})()");
        return !t.empty() && std::atof(t.c_str()) > 0.5;
      },
      20000))
      << Evaluate(view,
                  "(function(){var v=document.querySelector('video');return v&&v.error?v.error.code+' "
                  "'+v.error.message:'no error';})()");
  SaveScreen("local-player-gtk.png");
  // Where the student stands is kept for the school (nothing is sent from here).
  EXPECT_TRUE(RunFor(
      [&] {
        std::vector<UnsentProgress> kept = ProgressQueue::Get().Pending("lixiaoming");
        return kept.size() == 1 && kept[0].lessonId == "110101" && kept[0].classId == "1101" &&
               std::atoi(kept[0].seconds.c_str()) >= 1;
      },
      20000));
  ProgressQueue::Release();
  SetSignedInAccount("");
}

TEST_F(OfflineGtkTest, TheAvatarPopupOpensUnderTheButtonAndClosesWhenThePointerLeaves) {
  if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool missing";
  gSubjectList.Clear();
  MainDlg* main = OpenMainWindow();
  ASSERT_NE(main, nullptr);
  main->SetQuitOnFinal(false);
  ASSERT_TRUE(RunFor([&] { return main->IsWindowVisible(); }));
  auto* button = main->FindControlAs<MoveMyInfoButton>(L"btnMyInfo");
  ASSERT_NE(button, nullptr);
  MyInfoDlg* popup = button->GetPopup();
  ASSERT_NE(popup, nullptr);
  RunFor([] { return false; }, 300);
  const CDuiRect rc = main->GetWindowRect();
  const CDuiRect btn = button->GetPos();
  auto move = [](int x, int y) {
    std::system(
        ("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " >/dev/null 2>&1").c_str());
  };
  move(rc.left + 600, rc.top + 300);
  move(rc.left + (btn.left + btn.right) / 2, rc.top + (btn.top + btn.bottom) / 2);
  ASSERT_TRUE(RunFor([&] { return popup->IsWindowVisible(); }, 5000));
  RunFor([] { return false; }, 400);
  SaveScreen("profile-popup-gtk.png");
  // Down into the card: it stays; then away from it: it goes.
  const CDuiRect card = popup->GetWindowRect();
  move(card.left + 120, card.top + 60);
  RunFor([] { return false; }, 300);
  EXPECT_TRUE(popup->IsWindowVisible());
  move(rc.left + 300, rc.top + 500);
  EXPECT_TRUE(RunFor([&] { return !popup->IsWindowVisible(); }, 5000));
}

}  // namespace
