// Prints two figures of the embedded browser: the time from creating a toolkit window with
// a cefcontrol (on the GTK host) to its 1039 for the local player page, and the round trip
// of one app.call answered at once by the host window, each the median of many runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BrowserTestKit.h"
#include "browser/CefNativeControl.h"
#include "platform/Messages.h"
#include "platform/host/GtkHost.h"
#include "ui/ResourceStore.h"
#include "ui/WindowImplBase.h"

namespace {

constexpr char kPlayerPage[] = R"(<!doctype html><html><head><meta charset="utf-8"><title>player</title>
<style>body{margin:0;background:#000;color:#fff;font:14px sans-serif}#v{width:100%;height:100vh}</style></head>
<body><div id="v">video</div><script>
// Each answer starts the next call; the first callback of a name stays, so this one
// function receives every answer.
window.bench = function (count) {
  var calls = 0;
  var next = function () { ++calls; app.call('getVidAndPlayAuth', answered); };
  var answered = function () { if (calls < count) next(); };
  next();
};
</script></body></html>)";

constexpr char kSkin[] = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="1024,640" caption="0,0,0,48"><VerticalLayout bkcolor="#FF000000"><CefControl name="web"/></VerticalLayout></Window>
)";

// A player-like window: one cefcontrol filling it; counts 1039.
class PlayerDlg : public WindowImplBase {
 public:
  std::wstring GetWindowClassName() const override { return L"videoPlayDlgClass"; }
  std::wstring GetSkinFile() override { return L"player_bench.xml"; }
  std::unique_ptr<CControlUI> CreateControl(const std::wstring& tag) override {
    auto control = CefNativeControl::CreateFromTag(tag, GetHWND());
    if (control) browser = static_cast<CefNativeControl*>(control.get());
    return control;
  }
  LRESULT HandleCustomMessage(UINT msg, WPARAM, LPARAM, const Payload&, bool& bHandled) override {
    if (msg == WM_BROWSER_LOAD_END) ++loadEnds;
    bHandled = msg == WM_BROWSER_LOAD_END || (msg >= WM_JS_FIRST && msg <= WM_JS_LAST);
    return 0;
  }
  CefNativeControl* browser = nullptr;
  int loadEnds = 0;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main() {
  PrepareBrowserEnvironment();
  if (!PrepareDisplay()) {
    std::fprintf(stderr, "browser_bench: no display (run under xvfb-run)\n");
    return 1;
  }
  PageServer server(std::map<std::string, std::string>{{"/bench.html", kPlayerPage}});
  // The real player page when the source tree has it.
  const std::string playerFolder = std::string(TAVO_SOURCE_DIR) + "/htmllocal";
  const bool realPlayer = std::filesystem::exists(playerFolder + "/index.html") && server.Mount(playerFolder);
  const std::wstring playerUrl = server.Url(realPlayer ? "/index.html" : "/bench.html");

  if (!GtkHost::Init()) return 1;
  SetHost(std::make_unique<GtkHost>());
  const auto skins = BrowserTest::Root() / "skins";
  std::filesystem::create_directories(skins);
  std::ofstream(skins / "player_bench.xml", std::ios::binary) << kSkin;
  CResourceStore::Get().SetFolder(skins.string());

  constexpr int kWindows = 15;
  std::vector<double> createToLoadEnd;
  for (int i = 0; i < kWindows; ++i) {
    const auto start = std::chrono::steady_clock::now();
    PlayerDlg dlg;
    dlg.Create(kNoWindow, L"Tavo", WS_POPUP, 0);
    dlg.browser->LoadURL(playerUrl);  // as the player does in InitWindow
    dlg.ShowWindow(true);
    if (!WaitFor([&] { return dlg.loadEnds > 0; })) {
      std::fprintf(stderr, "browser_bench: no load end\n");
      return 1;
    }
    createToLoadEnd.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }

  // One round trip: the host answers through its responder, the answer reaches the page's
  // callback, which calls app.call again, and that call reaches the host window.
  constexpr int kCalls = 500;
  TestBrowserWindow window;
  if (!window.Start() || !window.Load(server.Url("/bench.html"))) return 1;
  std::vector<double> roundTrips;
  auto lastAnswer = std::chrono::steady_clock::now();
  window.m_onCall = [&](const ReceivedCall& call) {
    const auto now = std::chrono::steady_clock::now();
    if (window.m_calls.size() > 1)
      roundTrips.push_back(std::chrono::duration<double, std::milli>(now - lastAnswer).count());
    lastAnswer = std::chrono::steady_clock::now();
    call.responder(200, L"{\"vid\":\"x\"}");
  };
  Evaluate(window.View(), "bench(" + std::to_string(kCalls) + ")");
  const bool done = WaitFor([&] { return window.m_calls.size() >= static_cast<size_t>(kCalls); }, 60000);

  std::printf(
      "window with a cefcontrol, Create to 1039 (%s): median %.1f ms over %d windows (min %.1f, max %.1f)\n",
      realPlayer ? "htmllocal/index.html" : "stand-in player page", Median(createToLoadEnd), kWindows,
      *std::min_element(createToLoadEnd.begin(), createToLoadEnd.end()),
      *std::max_element(createToLoadEnd.begin(), createToLoadEnd.end()));
  std::printf(
      "app.call round trip (host answer -> page callback -> next call at the host): median %.3f ms over %zu "
      "calls\n",
      Median(roundTrips), roundTrips.size());
  return done ? 0 : 1;
}
