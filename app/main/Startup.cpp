// Start-up of the browser process as an ordered list of steps, and its shutdown in the
// reverse order of what depends on what. Steps whose modules are not built yet say so.
#include "app/main/Startup.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "app/main/CommandLine.h"
#include "app/main/CrashHandler.h"
#include "platform/MessageCore.h"
#include "platform/Messages.h"

namespace {

using namespace std::chrono_literals;

// Every top-level window's title, and the main window's class name.
constexpr const wchar_t* kProductTitle = L"Tavo";
constexpr const wchar_t* kMainWindowClass = L"mainDlgClass";

// The listen thread must report its listening socket within this time.
constexpr auto kListenHandshakeTimeout = 5000ms;
// Pause between the listen thread's report and the day log's opening.
constexpr auto kPauseBeforeLog = 200ms;

// One-instance rule, first guard: a running main window comes to the front and this
// start ends. The lookup is still process-local; the per-user channel to a running
// program will answer it across processes.
bool ActivateRunningInstance() {
  HWND running = FindWindow(kMainWindowClass, kProductTitle);
  if (running == kNoWindow) return false;
  PostMessage(running, WM_ACTIVATE_MAIN, 0, 0);
  return true;
}

// Starts the local web server's listen thread (never joined; it ends with the process)
// and waits up to kListenHandshakeTimeout for its report that the socket listens. The
// fixed port is the second guard of the one-instance rule. The web server is not part
// of the program yet, so there is nothing to wait for.
bool StartWebRouterListenThreadAndWait(const StartupOptions& options) {
  (void)options.webPort;
  (void)kListenHandshakeTimeout;
  return true;
}

// Role preparation of the browser process: true to go on, false to end with exit code 0.
bool PrepareBrowserRole(const StartupOptions& options) {
  if (ActivateRunningInstance()) return false;
  // Dropped like every line before the log opens; kept for the order of events.
  LogNormal(L"FindWindow(L\"mainDlgClass\", TAVO_DLG_NAME) nullptr");

  if (!StartWebRouterListenThreadAndWait(options)) {
    LogError(L"WebRouterListenThread WaitForSingleObject timeout");
    return false;
  }
  std::this_thread::sleep_for(kPauseBeforeLog);

  OpenLog(L"browserlog");
  LogNormal(L"*************_tWinMain start*************");
  for (const std::string& problem : options.problems) LogError(Utf8ToWide(problem));
  return true;
}

// The start-up usage report to the service; it waits for the request to finish. Comes
// with the service module.
void SendUsageReport() {}

// The browser engine for the whole process; false stops the start. Comes with the browser
// module (the renderer side lives in the engine's web-process extension).
bool InitBrowserEngine() { return true; }
void ShutdownBrowserEngine() {}

// The download worker pool. Comes with the downloads module.
void StartWorkerPool() {}
void StopWorkerPool() {}

// The skin archive for every window. Comes with the UI toolkit.
void LoadSkin() {}

// The login frame, the first window; false when there is none to show. Comes with the
// account module.
bool OpenFirstWindow() { return false; }

// Process-wide objects created on first use by their modules (saved-password store,
// course database, download task list), released after the pool has stopped.
void ReleaseProcessObjects() {}

// A deliberate fault, so tests can see the crash handler at work on a real crash.
[[noreturn]] void CrashForTest() {
  // Read through a volatile so the compiler cannot see (or fold) the bad address.
  static volatile std::uintptr_t badAddress = 0x10;
  *reinterpret_cast<volatile int*>(badAddress) = 1;
  __builtin_trap();
}

int RunBrowserProcess(const StartupOptions& options) {
  InitMessageCore();
  // The report's path is computed now: the handler itself may compute nothing.
  const std::string crashDumpPath = WideToAnsi(GetStateFolder()) + "crash.dmp";

  // 1. Role preparation: one instance, listen thread, pause, day log.
  if (!PrepareBrowserRole(options)) return 0;
  // 2. Usage report, before the engine starts.
  SendUsageReport();
  // 3. Crash handler.
  if (!InstallCrashHandler(crashDumpPath)) LogError(L"crash handler not installed: " + AnsiToWide(crashDumpPath));
  if (options.crashForTest) CrashForTest();
  // 4. Browser engine.
  if (!InitBrowserEngine()) {
    LogError(L"CefInitialize false code:0");
    return 0;
  }
  // 5. Worker pool.
  StartWorkerPool();
  // 6. Skin.
  LoadSkin();
  // 7. First window, then 8. the message loop until the quit message.
  if (OpenFirstWindow()) {
    RunMessageLoop();
  } else {
    std::puts("Tavo: the windows are not built yet; start-up and shutdown ran, see the browser log.");
  }
  // 9. Shutdown: engine, pool, process-wide objects, then the last log line.
  ShutdownBrowserEngine();
  StopWorkerPool();
  ReleaseProcessObjects();
  ShutdownMessageCore();
  LogNormal(L"*************_tWinMain end*************");
  CloseLog();
  return 0;
}

}  // namespace

int TavoMain(int argc, char** argv) {
  StartupOptions options = ParseCommandLine(argc, argv);
  // Helper processes get no application object and open no log: nothing of theirs runs
  // here (the renderer's work happens in the engine's web-process extension).
  if (RoleOf(options) != ProcessRole::Browser) return 0;
  for (const std::string& problem : options.problems) std::fprintf(stderr, "tavo: %s\n", problem.c_str());
  return RunBrowserProcess(options);
}
