// Prints two figures of the embedded browser: the time from creating a browser control
// to the host's 1039 for a local page, and the round trip of one app.call answered at
// once by the host window, each the median of many runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BrowserTestKit.h"
#include "platform/Messages.h"

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
  PageServer server(std::map<std::string, std::string>{{"/index.html", kPlayerPage}});

  constexpr int kWindows = 15;
  std::vector<double> createToLoadEnd;
  for (int i = 0; i < kWindows; ++i) {
    TestBrowserWindow window;
    const auto start = std::chrono::steady_clock::now();
    window.Control().InitBrowser(window.Hwnd());
    window.Control().LoadURL(server.Url("/index.html"));
    if (!WaitFor([&] { return window.m_loadEndCount > 0; })) {
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
  if (!window.Start() || !window.Load(server.Url("/index.html"))) return 1;
  std::vector<double> roundTrips;
  auto lastAnswer = std::chrono::steady_clock::now();
  window.m_onCall = [&](const ReceivedCall& call) {
    const auto now = std::chrono::steady_clock::now();
    if (window.m_calls.size() > 1) roundTrips.push_back(std::chrono::duration<double, std::milli>(now - lastAnswer).count());
    lastAnswer = std::chrono::steady_clock::now();
    call.responder(200, L"{\"vid\":\"x\"}");
  };
  Evaluate(window.View(), "bench(" + std::to_string(kCalls) + ")");
  const bool done = WaitFor([&] { return window.m_calls.size() >= static_cast<size_t>(kCalls); }, 60000);

  std::printf("browser create to 1039 (local page): median %.1f ms over %d windows (min %.1f, max %.1f)\n",
              Median(createToLoadEnd), kWindows, *std::min_element(createToLoadEnd.begin(), createToLoadEnd.end()),
              *std::max_element(createToLoadEnd.begin(), createToLoadEnd.end()));
  std::printf("app.call round trip (host answer -> page callback -> next call at the host): median %.3f ms over %zu calls\n",
              Median(roundTrips), roundTrips.size());
  return done ? 0 : 1;
}
