// Online player figures: the time from a play request (what the ▶ click does) to the
// page's first frame playing ("playVideoStart"), median of several runs, and the resident
// memory of the program and of its web processes while a lesson plays.
// Usage: xvfb-run -a build/bench/playback_bench [runs]
#include <dirent.h>
#include <gtk/gtk.h>
#include <unistd.h>
#include <uv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "DemoServer.h"
#include "account/SelfOwnedWindows.h"
#include "app/Folders.h"
#include "browser/ClientAppBrowser.h"
#include "platform/MessageCore.h"
#include "platform/host/GtkHost.h"
#include "playback/OnlinePlayer.h"
#include "playback/PlayerServices.h"
#include "playback/VideoPlayDlg.h"
#include "service/AccountParsers.h"
#include "service/ServiceConfig.h"
#include "skin/LoadSkin.h"
#include "web/WebRouterListenThread.h"

namespace {

bool RunFor(const std::function<bool()>& done, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
    if (done()) return true;
    g_usleep(1000);
  }
  return done();
}

// VmRSS of a process in KiB; 0 when unreadable.
long RssKiB(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

// Every process descending from `root` (the web and network processes, through their
// sandbox launcher).
std::vector<int> Descendants(int root) {
  std::map<int, int> parent;
  if (DIR* proc = opendir("/proc")) {
    while (dirent* entry = readdir(proc)) {
      int pid = std::atoi(entry->d_name);
      if (pid <= 0) continue;
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
      size_t close = text.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(text.substr(close + 2));
      char state = 0;
      int ppid = 0;
      rest >> state >> ppid;
      parent[pid] = ppid;
    }
    closedir(proc);
  }
  std::vector<int> out;
  for (const auto& [pid, ppid] : parent) {
    for (int p = ppid; p > 1; p = parent.count(p) ? parent[p] : 0) {
      if (p == root) {
        out.push_back(pid);
        break;
      }
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  char pattern[] = "/tmp/tavo-player-bench-XXXXXX";
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

  std::vector<double> startMs;
  long programKiB = 0;
  long webKiB = 0;
  long before = RssKiB(getpid());
  for (int run = 0; run < runs; ++run) {
    LessonRecord lesson;
    lesson.id = "11010" + std::to_string(1 + run % 3);
    lesson.video = "v" + lesson.id;
    lesson.name = "第" + std::to_string(run + 1) + "次";
    lesson.learned_duration = "0";
    auto t0 = std::chrono::steady_clock::now();
    OpenOnlinePlayer("1101", lesson);
    auto* player = dynamic_cast<VideoPlayDlg*>(CWindowWnd::FromHandle(FindOnlinePlayer()));
    if (!player || !RunFor([&] { return player->IsStarted(); }, 30000)) {
      std::fprintf(stderr, "run %d: the lesson did not start\n", run + 1);
      return 1;
    }
    startMs.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    RunFor([] { return false; }, 1500);  // playing for a while
    programKiB = std::max(programKiB, RssKiB(getpid()));
    long web = 0;
    for (int pid : Descendants(getpid())) web += RssKiB(pid);
    webKiB = std::max(webKiB, web);
    HWND hwnd = player->GetHWND();
    player->DestroyWindow();
    RunFor([&] { return !IsWindow(hwnd); }, 5000);
    RunFor([] { return false; }, 300);
  }
  WaitForPlayerTasks(5000);

  std::vector<double> sorted = startMs;
  std::sort(sorted.begin(), sorted.end());
  std::printf("play request to first frame playing: median %.0f ms, min %.0f ms, max %.0f ms (%d runs;",
              sorted[sorted.size() / 2], sorted.front(), sorted.back(), runs);
  for (double ms : startMs) std::printf(" %.0f", ms);
  std::printf(")\n");
  std::printf(
      "resident memory while playing: program %ld MiB (%ld MiB before the first player), "
      "web processes %ld MiB\n",
      programKiB / 1024, before / 1024, webKiB / 1024);
  DestroySelfOwned();
  ShutdownMessageCore();
  demo.Stop();
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  return 0;
}
