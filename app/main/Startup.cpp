// Start-up of the browser process as an ordered list of steps, and its shutdown in the
// reverse order of what depends on what.
#include "app/main/Startup.h"

#include <glib-unix.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

#include "account/LoginBackDlg.h"
#include "account/LoginWorker.h"
#include "account/SelfOwnedWindows.h"
#include "account/SqUserDB.h"
#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "app/main/CommandLine.h"
#include "app/main/CrashHandler.h"
#include "app/main/DemoSchool.h"
#include "app/main/OfflineSetup.h"
#include "app/main/SearchProviderRole.h"
#include "app/main/SessionBus.h"
#include "browser/ClientAppBrowser.h"
#include "downloads/CourseDB.h"
#include "downloads/DownloadTaskList.h"
#include "downloads/ThreadPool.h"
#include "mainwnd/MainWindowOpener.h"
#include "mainwnd/WebPageDlg.h"
#include "platform/InstanceChannel.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"
#include "platform/host/GtkHost.h"
#include "playback/PlaybackLessonPlayer.h"
#include "platform/NetworkMonitor.h"
#include "service/ServiceConfig.h"
#include "service/UsageReport.h"
#include "skin/LoadSkin.h"
#include "study/CatalogueCache.h"
#include "study/CourseCatalogue.h"
#include "study/DownloadCenter.h"
#include "study/DownloadSleepGuard.h"
#include "study/OfflineState.h"
#include "study/SearchKeeper.h"
#include "ui/Control.h"
#include "ui/Dialogs.h"
#include "web/WebRouterListenThread.h"

namespace {

using namespace std::chrono_literals;

// Every top-level window's title, and the main window's class name.
constexpr const wchar_t* kProductTitle = L"Tavo";
constexpr const wchar_t* kMainWindowClass = L"mainDlgClass";

// The listen thread must report its listening socket within this time.
constexpr auto kListenHandshakeTimeout = 5000ms;
// Pause between the listen thread's report and the day log's opening.
constexpr auto kPauseBeforeLog = 200ms;
// How long a new start waits for a running program's answer.
constexpr auto kInstanceAnswerTimeout = 2000ms;
// How long exit waits for a usage report, and then for sign-in requests, still in the
// network.
constexpr auto kUsageReportExitWait = 2000ms;
constexpr auto kBackgroundExitWait = 2000ms;

// Exit code when the program cannot show windows (no display, or a browser engine that
// does not start), its local web server cannot listen or its demo school fails.
constexpr int kExitStartFailed = 1;

// In the running program: brings the main window to the front when there is one.
bool ActivateMainWindow() {
  HWND running = FindWindow(kMainWindowClass, kProductTitle);
  if (running == kNoWindow) return false;
  PostMessage(running, WM_ACTIVATE_MAIN, 0, 0);
  return true;
}

// A result the desktop's search chose: the main window comes to the front.
bool OpenSearchResult(const std::string& target) {
  LogNormal(L"desktop search result chosen: " + AnsiToWide(target));
  return ActivateMainWindow();
}

// One-instance rule, first guard: a running program of this user with a main window
// brings it to the front and this start ends. Window handles are per process, so the
// question goes over the per-user channel the running program serves.
InstanceAnswer RunningInstanceAnswer() {
  return AskRunningInstance(InstanceChannelPath(), kInstanceAnswerTimeout);
}

// Starts the local web server's listen thread (never joined; it ends with the process)
// and waits up to kListenHandshakeTimeout for its report that the socket listens, or
// that it cannot.
enum class Listen { Listening, PortTaken, NoAnswer };
Listen StartWebRouterListenThreadAndWait(const StartupOptions& options) {
  auto listening = std::make_shared<ListenEvent>();
  std::thread(WebRouterListenThread, listening, options.webPort).detach();
  if (listening->WaitFor(kListenHandshakeTimeout)) return Listen::Listening;
  return listening->Failed() ? Listen::PortTaken : Listen::NoAnswer;
}

// Role preparation of the browser process: go on, end quietly because the running
// program took over, or end with an error because the local web server cannot listen.
enum class RoleStart { Go, HandedOver, NoWebServer };
RoleStart PrepareBrowserRole(const StartupOptions& options) {
  const InstanceAnswer running = RunningInstanceAnswer();
  if (running == InstanceAnswer::Activated) return RoleStart::HandedOver;
  // Dropped like every line before the log opens; kept for the order of events.
  LogNormal(L"FindWindow(L\"mainDlgClass\", TAVO_DLG_NAME) nullptr");

  const auto started = std::chrono::steady_clock::now();
  const Listen listen = StartWebRouterListenThreadAndWait(options);
  if (listen != Listen::Listening && running == InstanceAnswer::NotActivated) {
    // The port's second guard of the one-instance rule: this user's program, still at its
    // login window, holds it. This start ends quietly once the handshake time is over.
    std::this_thread::sleep_until(started + kListenHandshakeTimeout);
    LogError(L"WebRouterListenThread WaitForSingleObject timeout");
    return RoleStart::HandedOver;
  }
  if (listen != Listen::Listening) {
    // Without the local web server no lesson can play: the student must learn why the
    // program did not open, on the terminal and in the day log.
    const std::string port = std::to_string(options.webPort);
    const std::string why = listen == Listen::PortTaken
                                ? "port " + port + " on " + kWebListenAddress + " is taken by another program"
                                : "the local web server did not report listening on port " + port;
    OpenLog(L"browserlog");
    LogError(L"WebRouterListenThread: " + Utf8ToWide(why));
    CloseLog();
    std::fprintf(stderr, "tavo: cannot start the local web server: %s\n", why.c_str());
    return RoleStart::NoWebServer;
  }
  std::this_thread::sleep_for(kPauseBeforeLog);

  OpenLog(L"browserlog");
  LogNormal(L"*************_tWinMain start*************");
  for (const std::string& problem : options.problems) LogError(Utf8ToWide(problem));
  return RoleStart::Go;
}

// The service's and web site's origins and the extra CA: the command line (or its
// environment variables) first, then the demo school for what is still open.
void ApplyServiceOptions(const StartupOptions& options, const DemoSchool& demo) {
  std::optional<std::string> api = options.apiOrigin;
  std::optional<std::string> site = options.siteOrigin;
  if (!demo.origin().empty()) {
    if (!api) api = demo.origin();
    if (!site) site = demo.origin();
  }
  if (api) ApplyServiceOption("--api-origin=" + *api);
  if (site) ApplyServiceOption("--site-origin=" + *site);
  if (options.caFile) ApplyServiceOption("--ca-file=" + *options.caFile);
  LogNormal(L"service origin " + Utf8ToWide(GetApiOrigin()) + L", site origin " +
            Utf8ToWide(GetSiteOrigin()));
}

bool StartDemoSchool(DemoSchool& demo) {
  const std::string program = WideToAnsi(GetExeFolder()) + "tavo-demo-service";
  const std::string data = WideToAnsi(GetStateFolder()) + "demo";
  if (!demo.Start(program, data)) {
    LogError(L"demo school did not start: " + AnsiToWide(program));
    std::fprintf(stderr, "tavo: the demo school (%s) did not start\n", program.c_str());
    return false;
  }
  LogNormal(L"demo school at " + Utf8ToWide(demo.origin()));
  std::fputs(DemoWelcomeText(demo.origin()).c_str(), stdout);
  std::fflush(stdout);
  return true;
}

// A deliberate fault, so tests can see the crash handler at work on a real crash.
[[noreturn]] void CrashForTest() {
  // Read through a volatile so the compiler cannot see (or fold) the bad address.
  static volatile std::uintptr_t badAddress = 0x10;
  *reinterpret_cast<volatile int*>(badAddress) = 1;
  __builtin_trap();
}

// The display host and the browser engine. False stops the start.
enum class EngineStart { Ready, NoDisplay, EngineFailed };
EngineStart InitDisplayAndEngine() {
  if (!GtkHost::Init()) return EngineStart::NoDisplay;
  SetHost(std::make_unique<GtkHost>());
  return ClientAppBrowser::Initialize() ? EngineStart::Ready : EngineStart::EngineFailed;
}

gboolean QuitOnSignal(gpointer) {
  LogNormal(L"quit on signal");
  PostQuitMessage(0);
  return G_SOURCE_CONTINUE;
}

// Shows the login frame and runs the message loop until the quit message. False when no
// window could be shown.
bool RunWindows() {
  // The student's downloads: every main window of this run shows them, and the player's
  // side panel starts a lesson's download through them.
  DownloadCenter downloads;
  // While a download runs the computer does not suspend under it.
  DownloadSleepGuard sleepGuard(downloads);
  // A connection that costs by the byte holds downloads unless the student allows them.
  downloads.Conditions().SetMeteredProbe([] { return NetworkMonitor::System().IsMetered(); });
  // Whether the session runs from what this computer kept; the catalogue keeps what the
  // school gives, and gives it back while offline.
  auto offline = std::make_shared<OfflineState>();
  CourseCatalogue catalogue(KeepingFetcher(offline));
  // Back online after an offline start, the subject tree is the school's again.
  catalogue.SetSubjectsFetcher(FetchAndKeepSubjects);
  // The lists play through the player side, whose side panel downloads through the centre.
  PlaybackLessonPlayer player(downloads);
  OfflineSetup offlineSetup(*offline, catalogue, downloads, player);
  // The search index follows the catalogue and the finished documents.
  SearchKeeper search(downloads, catalogue, DownloadTaskList::Get());
  MainWindowOpener opener(&downloads, &catalogue, offline.get(), &player);
  opener.SetOfflineStarter(
      [&offlineSetup](const std::string& account, const std::string& password) { offlineSetup.Begin(account, password); });
  auto frame = std::make_unique<LoginBackDlg>(&opener);
  SetLoginFrame(frame.get());
  if (frame->Create(kNoWindow, kProductTitle, UI_WNDSTYLE_FRAME, 0, 0, 0, 1366, 768) == kNoWindow) {
    LogError(L"login frame could not be created");
    SetLoginFrame(nullptr);
    return false;
  }
  frame->CenterWindow();
  frame->ShowWindow(true, true);
  // The running program answers later starts from here on.
  auto channel = InstanceChannel::Listen(InstanceChannelPath(), &ActivateMainWindow, &OpenSearchResult);
  // Ctrl+C in a terminal or a polite kill end the loop, so shutdown still runs in order
  // (the demo school stopped, the last log line written).
  guint interrupt = g_unix_signal_add(SIGINT, &QuitOnSignal, nullptr);
  guint terminate = g_unix_signal_add(SIGTERM, &QuitOnSignal, nullptr);
  RunMessageLoop();
  g_source_remove(interrupt);
  g_source_remove(terminate);
  channel.reset();
  // The about window and toasts still open go now, while the display is still there.
  DestroySelfOwned();
  SetLoginFrame(nullptr);
  frame.reset();
  return true;
}

// Shutdown after the loop: engine, pool, process-wide objects.
void ReleaseEngineAndObjects(bool engineStarted) {
  if (engineStarted) ClientAppBrowser::Release();
  ThreadPool::Get().Shutdown();
  SqUserDB::Release();
  CourseDB::Release();
  DownloadTaskList::Get().Clear();
}

// The last steps of every path after the usage report was started: the background
// requests (usage report, sign-in and catalogue threads), the demo school, the last log
// line. Requests still stuck in the network are not waited for; the process then ends
// without static destructors, which those threads still use.
int Finish(int exitCode, DemoSchool& demo, bool writeEndLine) {
  bool backgroundEnded = JoinUsageReportFor(kUsageReportExitWait);
  if (!backgroundEnded) LogError(L"usage report still running at exit; not waited for");
  if (!WaitForLoginThreads(static_cast<int>(kBackgroundExitWait.count()))) {
    LogError(L"sign-in requests still running at exit; not waited for");
    backgroundEnded = false;
  }
  demo.Stop();
  ShutdownMessageCore();
  if (writeEndLine) LogNormal(L"*************_tWinMain end*************");
  CloseLog();
  if (!backgroundEnded) {
    std::fflush(nullptr);
    _exit(exitCode);
  }
  return exitCode;
}

int RunBrowserProcess(const StartupOptions& options) {
  InitMessageCore();
  // The report's path is computed now: the handler itself may compute nothing.
  const std::string crashDumpPath = WideToAnsi(GetStateFolder()) + "crash.dmp";

  // 1. Role preparation: one instance, listen thread, pause, day log.
  switch (PrepareBrowserRole(options)) {
    case RoleStart::Go:
      break;
    case RoleStart::HandedOver:
      return 0;
    case RoleStart::NoWebServer:
      return kExitStartFailed;
  }
  // 2. The demo school and the service options, so the first request already goes to
  //    the right origin; then the usage report on its own thread.
  DemoSchool demo;
  if (options.demo && !StartDemoSchool(demo)) {
    CloseLog();
    return kExitStartFailed;
  }
  ApplyServiceOptions(options, demo);
  StartUsageReport();
  // 3. Crash handler.
  if (!InstallCrashHandler(crashDumpPath))
    LogError(L"crash handler not installed: " + AnsiToWide(crashDumpPath));
  if (options.crashForTest) CrashForTest();
  // 4. Display and browser engine.
  switch (InitDisplayAndEngine()) {
    case EngineStart::Ready:
      break;
    case EngineStart::NoDisplay:
      LogError(L"gtk_init_check false: no display");
      std::fputs("tavo: cannot open the display\n", stderr);
      ReleaseEngineAndObjects(false);
      return Finish(kExitStartFailed, demo, true);
    case EngineStart::EngineFailed:
      LogError(L"CefInitialize false code:" + std::to_wstring(errno));
      std::fputs("tavo: the browser engine did not start\n", stderr);
      ReleaseEngineAndObjects(false);
      return Finish(kExitStartFailed, demo, false);
  }
  // A page the desktop cannot open shows in the program's own window.
  SetOpenUrlFallback(&OpenWebPageWindow);
  // 5. Worker pool.
  ThreadPool::Get().Create();
  // 6. Skin.
  // Without its skin the program can show no window: say so instead of ending silently.
  if (!LoadSkin()) {
    LogError(L"LoadSkin false");
    std::fputs("tavo: the program's skin is missing or damaged; please reinstall the program\n", stderr);
    ReleaseEngineAndObjects(true);
    return Finish(kExitStartFailed, demo, true);
  }
  // 7. First window, then 8. the message loop until the quit message.
  RunWindows();
  // 9. Shutdown: engine, pool, process-wide objects, then the last log line.
  ReleaseEngineAndObjects(true);
  return Finish(0, demo, true);
}

}  // namespace

int TavoMain(int argc, char** argv) {
  StartupOptions options = ParseCommandLine(argc, argv);
  // Helper processes get no application object and open no log: nothing of theirs runs
  // here (the renderer's work happens in the engine's web-process extension).
  if (RoleOf(options) != ProcessRole::Browser) return 0;
  for (const std::string& problem : options.problems) std::fprintf(stderr, "tavo: %s\n", problem.c_str());
  // The embedded browser reads the extra CA from the environment; a --ca-file switch
  // reaches it that way too. Set now, while this is the only thread.
  if (options.caFile) setenv("TAVO_CA_FILE", options.caFile->c_str(), 1);
  // No session bus: none is started on the program's behalf (it would outlive it).
  KeepSessionBusFromAutolaunch();
  // Started by the session bus for the desktop's search: answers from the index, opens
  // no window of its own.
  if (options.searchProvider) return RunSearchProvider();
  return RunBrowserProcess(options);
}
