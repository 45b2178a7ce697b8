// A downloaded lesson beside the online one: the time from the ▶ click's call (PlayLocal for
// the downloaded file, OpenOnlinePlayer for the school's stream of the same video) to the
// page's first frame playing ("playVideoStart"), and beside both a bare WebKit page whose
// <video> plays the same file from the same local web server address. Runs alternate, all
// in one process; each kind has one untimed warm-up run first.
// Usage: xvfb-run -a build/bench/local_playback_bench [runs]
#include <gtk/gtk.h>
#include <uv.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DemoServer.h"
#include "account/SelfOwnedWindows.h"
#include "app/Folders.h"
#include "browser/ClientAppBrowser.h"
#include "downloads/DownloadTask.h"
#include "platform/MessageCore.h"
#include "platform/host/GtkHost.h"
#include "playback/OnlinePlayer.h"
#include "playback/PlayLocal.h"
#include "playback/PlayerServices.h"
#include "playback/VideoLocalPlayDlg.h"
#include "service/AccountParsers.h"
#include "service/ServiceConfig.h"
#include "skin/LoadSkin.h"
#include "web/LocalMediaShares.h"
#include "web/WebRouterListenThread.h"

namespace {

using Clock = std::chrono::steady_clock;

bool RunFor(const std::function<bool()>& done, int ms) {
  auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) {
    while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
    if (done()) return true;
    g_usleep(1000);
  }
  return done();
}

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// Closes a player window and waits until it is gone.
void Close(VideoPlayDlg* player) {
  HWND hwnd = player->GetHWND();
  player->DestroyWindow();
  RunFor([&] { return !IsWindow(hwnd); }, 5000);
  RunFor([] { return false; }, 300);
}

// ▶ of the downloaded lesson to its first frame; negative when it did not start.
double Local(const DownloadTask& task) {
  auto t0 = Clock::now();
  PlayLocal(task);
  VideoLocalPlayDlg* player = nullptr;
  bool started = RunFor(
      [&] {
        player = dynamic_cast<VideoLocalPlayDlg*>(CWindowWnd::FromHandle(FindWindow(L"videoLocalPlayDlgClass", L"")));
        return player && player->IsStarted();
      },
      30000);
  double ms = MsSince(t0);
  if (player) Close(player);
  return started ? ms : -1;
}

// ▶ of the same lesson online to its first frame.
double Online(const LessonRecord& lesson) {
  auto t0 = Clock::now();
  OpenOnlinePlayer("1101", lesson);
  auto* player = dynamic_cast<VideoPlayDlg*>(CWindowWnd::FromHandle(FindOnlinePlayer()));
  bool started = player && RunFor([&] { return player->IsStarted(); }, 30000);
  double ms = MsSince(t0);
  if (player) Close(player);
  return started ? ms : -1;
}

// A bare page with one autoplaying <video> of the file at `address` (on the local web
// server), from the view's creation to the video's "playing" (which names the page).
double Bare(const std::string& address) {
  auto t0 = Clock::now();
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
  // The program's own view set-up (sandbox, no proxy, autoplay with sound), without the player
  // page, window, layers or bridge.
  GtkWidget* view = GTK_WIDGET(ClientAppBrowser::Get().NewView());
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);
  const std::string origin = "http://127.0.0.1:" + std::to_string(LocalWebServerPort()) + "/";
  // The page starts the video as the player page does (play() once the element has its source).
  const std::string html =
      "<!doctype html><body style='margin:0;background:#000'><video id=v preload=auto "
      "style='width:100vw;height:100vh'></video><script>"
      "v.addEventListener('playing',function(){document.title='playing';});"
      "v.addEventListener('error',function(){document.title='error '+(v.error&&v.error.code);});"
      "v.src='" + address + "';"
      "var p=v.play();if(p&&p.catch)p.catch(function(e){document.title='refused '+e.name;});</script>";
  webkit_web_view_load_html(WEBKIT_WEB_VIEW(view), html.c_str(), origin.c_str());
  bool started = RunFor(
      [&] {
        const char* title = webkit_web_view_get_title(WEBKIT_WEB_VIEW(view));
        return title && std::string(title) == "playing";
      },
      30000);
  double ms = MsSince(t0);
  if (!started) {
    const char* title = webkit_web_view_get_title(WEBKIT_WEB_VIEW(view));
    std::fprintf(stderr, "bare page: \"%s\" at %s\n", title ? title : "",
                 webkit_web_view_get_uri(WEBKIT_WEB_VIEW(view)) ? webkit_web_view_get_uri(WEBKIT_WEB_VIEW(view)) : "");
  }
  gtk_widget_destroy(window);
  RunFor([] { return false; }, 300);
  return started ? ms : -1;
}

void Print(const char* name, std::vector<double> samples) {
  std::vector<double> sorted = samples;
  std::sort(sorted.begin(), sorted.end());
  std::printf("%-34s median %5.0f ms, min %5.0f, max %5.0f  (", name, sorted[sorted.size() / 2], sorted.front(),
              sorted.back());
  for (double ms : samples) std::printf(" %.0f", ms);
  std::printf(" )\n");
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  char pattern[] = "/tmp/tavo-local-player-bench-XXXXXX";
  std::filesystem::path root = mkdtemp(pattern);
  for (const char* name : {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
    setenv(name, (root / name).c_str(), 1);
  const std::string build = TAVO_BENCH_BINARY_DIR;
  setenv("TAVO_WEBEXT_DIR", (build + "/bin/webext").c_str(), 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  if (!GtkHost::Init()) {
    std::fprintf(stderr, "no display (run under xvfb-run)\n");
    return 1;
  }
  InitMessageCore();
  SetHost(std::make_unique<GtkHost>());
  if (!LoadSkin() || !ClientAppBrowser::Initialize()) return 1;

  auto listening = std::make_shared<ListenEvent>();
  std::thread([listening, folder = build + "/bin/htmllocal"] {
    static uv_loop_t loop;
    uv_loop_init(&loop);
    RunWebRouter(&loop, 0, folder, *listening);
  }).detach();
  if (!listening->WaitFor(std::chrono::seconds(10))) return 1;

  demo_test::DemoServer demo;
  if (!demo.Start(root / "demo")) {
    std::fprintf(stderr, "demo school did not start: %s\n", demo.ErrorOutput().c_str());
    return 1;
  }
  SetApiOrigin(demo.origin());
  if (ParseLoginUsrName("lixiaoming", "xm123456") != "登录成功") return 1;
  SetSignedInAccount("lixiaoming");

  // The downloaded lesson: the school's file of v110101, where a download would have put it.
  const std::filesystem::path school = std::filesystem::path(build) / "demo-data" / "media" / "v110101.mp4";
  const std::filesystem::path file = root / "downloads" / "片段阅读：主旨概括题.mp4";
  std::filesystem::create_directories(file.parent_path());
  std::error_code copied;
  std::filesystem::copy_file(school, file, copied);
  if (copied) {
    std::fprintf(stderr, "no demo video at %s\n", school.c_str());
    return 1;
  }
  DownloadTask task;
  task.kind = TaskKind::Video;
  task.classId = "1101";
  task.id = "110101";
  task.video = "v110101";
  task.name = file.filename().string();
  task.localFile = file.string();
  LessonRecord lesson;
  lesson.id = "110101";
  lesson.video = "v110101";
  lesson.name = "片段阅读：主旨概括题";
  lesson.learned_duration = "0";
  const std::string address = ServedLocalMedia().Share(file.string());

  std::vector<double> local, online, bare;
  for (int run = -1; run < runs; ++run) {
    const double l = Local(task);
    const double o = Online(lesson);
    const double b = Bare(address);
    if (l < 0 || o < 0 || b < 0) {
      std::fprintf(stderr, "run %d: a video did not start (local %.0f, online %.0f, bare %.0f)\n", run + 1, l, o, b);
      return 1;
    }
    if (run < 0) continue;  // warm-up: web processes, media pipeline, caches
    local.push_back(l);
    online.push_back(o);
    bare.push_back(b);
  }
  WaitForPlayerTasks(5000);
  std::printf("click to first frame playing, %d runs each after one warm-up, same file (%s):\n", runs,
              file.filename().c_str());
  Print("downloaded lesson, local player:", local);
  Print("same lesson online:", online);
  Print("bare WebKit page, same file:", bare);
  DestroySelfOwned();
  ShutdownMessageCore();
  demo.Stop();
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  return 0;
}
