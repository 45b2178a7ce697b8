// The online player for real, on a private X server: the engine, the player page served by
// the local web server on a free port, the demo school's video service and H.264 playback.
// A lesson plays (its position advances), a pause reaches the school, a switch plays the
// next lesson, closing reports last; a video service fault shows the error panel and the
// retry plays once the fault is cleared. Screenshots: <build>/screenshots/player-gtk-*.png.
#include <gtk/gtk.h>
#include <httplib.h>
#include <rapidjson/document.h>
#include <uv.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "DemoServer.h"
#include "account/SelfOwnedWindows.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "browser/CefNativeControl.h"
#include "browser/ClientAppBrowser.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "platform/host/GtkHost.h"
#include "playback/OnlinePlayer.h"
#include "playback/PlayerServices.h"
#include "playback/ProgressQueue.h"
#include "playback/UpVideoQuestionDlg.h"
#include "playback/VideoErrorDlg.h"
#include "playback/VideoPlayDlg.h"
#include "playback/VideoTitleDlg.h"
#include "service/AccountParsers.h"
#include "service/ServiceConfig.h"
#include "skin/LoadSkin.h"
#include "support/PrivateDisplay.h"
#include "web/WebRouterListenThread.h"

namespace {

const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new PrivateDisplay("1600x900x24"));

bool RunFor(const std::function<bool()>& done, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
    if (done()) return true;
    g_usleep(5000);
  }
  return done();
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

std::string Evaluate(WebKitWebView* view, const std::string& script) {
  struct State {
    bool done = false;
    std::string result;
  };
  auto state = std::make_shared<State>();
  auto* held = new std::shared_ptr<State>(state);
  webkit_web_view_evaluate_javascript(
      view, script.c_str(), -1, nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<std::shared_ptr<State>> owner(static_cast<std::shared_ptr<State>*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        if (value) {
          char* json = jsc_value_to_json(value, 0);
          (*owner)->result = json ? json : "";
          g_free(json);
          g_object_unref(value);
        }
        g_clear_error(&error);
        (*owner)->done = true;
      },
      held);
  RunFor([&] { return state->done; }, 10000);
  return state->result;
}

// A key press and release as the keyboard would deliver them to `widget`'s top-level window:
// whichever widget has the focus there gets them.
void PressKey(GtkWidget* widget, guint keyval) {
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  GdkDisplay* display = gtk_widget_get_display(top);
  GdkDevice* keyboard = gdk_seat_get_keyboard(gdk_display_get_default_seat(display));
  GdkKeymapKey* keys = nullptr;
  gint count = 0;
  gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), keyval, &keys, &count);
  for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
    GdkEvent* event = gdk_event_new(type);
    event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(top)));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.keyval = keyval;
    event->key.hardware_keycode = count > 0 ? static_cast<guint16>(keys[0].keycode) : 0;
    event->key.group = count > 0 ? static_cast<guint8>(keys[0].group) : 0;
    gdk_event_set_device(event, keyboard);
    gtk_main_do_event(event);
    gdk_event_free(event);
  }
  g_free(keys);
}

// The local web server on a free port, serving the built player page; runs until the
// process ends, as in the program.
bool StartLocalWebServer() {
  static bool started = [] {
    auto listening = std::make_shared<ListenEvent>();
    std::string folder = std::string(std::getenv("TAVO_TEST_BINARY_DIR")) + "/bin/htmllocal";
    std::thread([listening, folder] {
      static uv_loop_t loop;
      uv_loop_init(&loop);
      RunWebRouter(&loop, 0, folder, *listening);
    }).detach();
    return listening->WaitFor(std::chrono::seconds(10));
  }();
  return started;
}

class PlayerGtkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavo-player-gtk-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_root = pattern;
    for (const char* name :
         {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DOWNLOAD_DIR"})
      setenv(name, (m_root / name).c_str(), 1);
    setenv("TAVO_WEBEXT_DIR", TAVO_TEST_WEBEXT_DIR, 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("WEBKIT_A11Y_BUS_ADDRESS", "", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (m_root / "no-session-bus").string()).c_str(), 1);
    if (!GtkHost::Init()) GTEST_SKIP() << "no display";
    InitMessageCore();
    SetHost(std::make_unique<GtkHost>());
    ASSERT_TRUE(LoadSkin());
    ASSERT_TRUE(ClientAppBrowser::IsCreated() || ClientAppBrowser::Initialize());
    ASSERT_TRUE(StartLocalWebServer());
    ASSERT_TRUE(m_demo.Start(m_root / "demo", {"--test-hooks"})) << m_demo.ErrorOutput();
    SetApiOrigin(m_demo.origin());
    m_client = std::make_unique<httplib::Client>(m_demo.host(), m_demo.port());
    ASSERT_EQ(ParseLoginUsrName("lixiaoming", "xm123456"), "登录成功");
    SetSignedInAccount("lixiaoming");
  }
  void TearDown() override {
    if (HWND player = FindOnlinePlayer(); player != kNoWindow)
      CWindowWnd::FromHandle(player)->DestroyWindow();
    WaitForPlayerTasks(5000);
    ProgressQueue::Release();
    DestroySelfOwned();
    RunFor([] { return false; }, 100);
    ShutdownMessageCore();
    m_demo.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
  }

  static LessonRecord Lesson(const std::string& n, const std::string& learned) {
    LessonRecord lesson;
    lesson.id = "11010" + n;
    lesson.video = "v11010" + n;
    lesson.name = "第" + n + "课";
    lesson.learned_duration = learned;
    return lesson;
  }
  static WebKitWebView* View(VideoPlayDlg* player) {
    auto* control = dynamic_cast<CefNativeControl*>(player->FindControl(L"cefPlayer"));
    if (!control || !control->GetBrowser()) return nullptr;
    return control->GetBrowser()->GetView();
  }
  // Progress reports the school received: their form bodies, in order.
  std::vector<std::string> ProgressBodies() {
    std::vector<std::string> out;
    auto log = m_client->Get("/__test/requests");
    if (!log) return out;
    rapidjson::Document doc;
    doc.Parse(log->body.c_str());
    if (!doc.IsArray()) return out;
    for (const auto& request : doc.GetArray()) {
      if (request.HasMember("path") && std::string(request["path"].GetString()) == "/api/user/learnProgress")
        out.push_back(request["body"].GetString());
    }
    return out;
  }
  double CurrentTime(WebKitWebView* view) {
    std::string t = Evaluate(view, "document.getElementById('video').currentTime");
    return t.empty() ? -1 : std::stod(t);
  }

  std::filesystem::path m_root;
  demo_test::DemoServer m_demo;
  std::unique_ptr<httplib::Client> m_client;
};

TEST_F(PlayerGtkTest, PlaysPausesReportsSwitchesAndCloses) {
  OpenOnlinePlayer("1101", Lesson("1", "2"));
  auto* player = dynamic_cast<VideoPlayDlg*>(CWindowWnd::FromHandle(FindOnlinePlayer()));
  ASSERT_NE(player, nullptr);
  HWND hwnd = player->GetHWND();
  EXPECT_TRUE(player->GetTitleWindow()->IsWindowVisible());
  bool started = RunFor([&] { return player->IsStarted(); }, 30000);
  WebKitWebView* view = View(player);
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(started) << "the page never started playing: "
                       << Evaluate(
                              view,
                              "JSON.stringify({src: video.src, paused: video.paused, ready: video.readyState,"
                              " error: video.error && video.error.code, url: location.href,"
                              " message: document.getElementById('messageText').textContent,"
                              " cls: document.getElementById('player').className})");
  double first = CurrentTime(view);
  ASSERT_TRUE(RunFor([&] { return CurrentTime(view) > first + 0.5; }, 10000))
      << "the position does not advance";
  EXPECT_GE(first, 1.5);  // resumed at the learned 2 s
  RunFor([] { return false; }, 300);
  SaveScreen("player-gtk-playing.png");

  // Full screen from the page: the window covers the screen and the buttons go; leaving it
  // brings the window back where it was.
  CDuiRect windowed = player->GetWindowRect();
  Evaluate(view, "document.getElementById('player').requestFullscreen(); 1");
  ASSERT_TRUE(RunFor([&] { return player->IsFullScreen(); }, 10000));
  RunFor([] { return false; }, 500);
  EXPECT_FALSE(player->GetTitleWindow()->AreButtonsShown());
  SaveScreen("player-gtk-fullscreen.png");
  Evaluate(view, "document.exitFullscreen(); 1");
  ASSERT_TRUE(RunFor([&] { return !player->IsFullScreen(); }, 10000));
  RunFor([] { return false; }, 500);
  CDuiRect back = player->GetWindowRect();
  EXPECT_EQ(back.GetWidth(), windowed.GetWidth());
  EXPECT_EQ(back.GetHeight(), windowed.GetHeight());

  // The question window pauses the video; the pause reaches the school.
  OpenQuestionWindow(hwnd, "1101", "110101");
  ASSERT_TRUE(RunFor([&] { return !ProgressBodies().empty(); }, 10000)) << "no report after the pause";
  RunFor([] { return false; }, 300);
  SaveScreen("player-gtk-question.png");
  if (HWND question = FindWindow(L"upVideoQuestionDlgClass", L"问题反馈"); question != kNoWindow)
    CWindowWnd::FromHandle(question)->DestroyWindow();
  EXPECT_NE(ProgressBodies()[0].find("lessonId=110101"), std::string::npos) << ProgressBodies()[0];

  SendMessage(hwnd, WM_PLAYER_PLAY_LESSON, 0, 0,
              MakePayload<PlayLessonRequest>(PlayLessonRequest{"1101", Lesson("2", "0")}));
  ASSERT_TRUE(RunFor([&] { return !player->IsSwitching() && player->GetVid() == "v110102"; }, 30000));
  ASSERT_TRUE(RunFor(
      [&] {
        return Evaluate(view, "document.getElementById('video').src").find("v110102") != std::string::npos;
      },
      10000));
  EXPECT_GE(ProgressBodies().size(), 2u);  // the old lesson's position before the switch

  size_t before = ProgressBodies().size();
  PostMessage(hwnd, WM_CLOSE);
  ASSERT_TRUE(RunFor([&] { return !IsWindow(hwnd); }, 10000));
  EXPECT_EQ(ProgressBodies().size(), before + 1) << testing::PrintToString(ProgressBodies());
  EXPECT_NE(ProgressBodies().back().find("lessonId=110102"), std::string::npos);
}

// A newly opened player has the keyboard in its page: Space pauses and resumes the video
// without a click on it first.
TEST_F(PlayerGtkTest, SpaceWorksInANewlyOpenedPlayerWithoutAClick) {
  OpenOnlinePlayer("1101", Lesson("1", "0"));
  auto* player = dynamic_cast<VideoPlayDlg*>(CWindowWnd::FromHandle(FindOnlinePlayer()));
  ASSERT_NE(player, nullptr);
  ASSERT_TRUE(RunFor([&] { return player->IsStarted(); }, 30000)) << "the page never started playing";
  WebKitWebView* view = View(player);
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(gtk_widget_is_focus(GTK_WIDGET(view)));
  auto paused = [&] { return Evaluate(view, "document.getElementById('video').paused"); };
  ASSERT_EQ(paused(), "false");
  PressKey(GTK_WIDGET(view), GDK_KEY_space);
  EXPECT_TRUE(RunFor([&] { return paused() == "true"; }, 5000)) << "Space did not pause";
  PressKey(GTK_WIDGET(view), GDK_KEY_space);
  EXPECT_TRUE(RunFor([&] { return paused() == "false"; }, 5000)) << "Space did not resume";
}

TEST_F(PlayerGtkTest, VideoServiceFaultShowsTheErrorPanelAndRetryPlays) {
  ASSERT_TRUE(m_client->Post("/__test/canned", R"({"path":"/video/resolve","status":503,"body":"{}"})",
                             "application/json"));
  OpenOnlinePlayer("1101", Lesson("3", "0"));
  auto* player = dynamic_cast<VideoPlayDlg*>(CWindowWnd::FromHandle(FindOnlinePlayer()));
  ASSERT_NE(player, nullptr);
  ASSERT_TRUE(RunFor([&] { return player->IsErrorShown(); }, 30000));
  EXPECT_EQ(player->GetErrorWindow()->GetCode(), L"4002");
  RunFor([] { return false; }, 300);
  SaveScreen("player-gtk-error.png");

  ASSERT_TRUE(m_client->Post("/__test/reset", "", "application/json"));
  SendMessage(player->GetHWND(), WM_PLAYER_RETRY);
  ASSERT_TRUE(RunFor([&] { return player->IsStarted() && !player->IsErrorShown(); }, 30000));
  EXPECT_FALSE(player->GetErrorWindow()->IsWindowVisible());
}

}  // namespace
