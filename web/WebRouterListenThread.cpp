// The listen thread of the local web server.
#include "web/WebRouterListenThread.h"

#include <atomic>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "web/WebRouter.h"
#include "web/native/Http.h"

namespace {
std::atomic<int> g_port{8501};
}  // namespace

int LocalWebServerPort() { return g_port.load(); }

std::string HtmlLocalFolder() { return WideToAnsi(GetExeFolder()) + "htmllocal"; }

bool RunWebRouter(uv_loop_t* loop, int port, const std::string& contentFolder, ListenEvent& listening) {
  WebRouter router(contentFolder);
  native::http::http server(loop);
  bool ok = server.listen(kWebListenAddress, port,
                          [&router](native::http::request& request, native::http::response& response) {
                            router.Handle(request, response);
                          });
  LogNormal(L"server listen port:" + std::to_wstring(port) + (ok ? L" success" : L" failed"));
  if (!ok) return false;
  // Published before the event is set, so whoever waited for the event reads the bound port.
  g_port = server.port();
  listening.Set();
  uv_run(loop, UV_RUN_DEFAULT);
  return true;
}

int WebRouterListenThread(std::shared_ptr<ListenEvent> listening, int port) {
  if (port != 0) g_port = port;
  if (!RunWebRouter(uv_default_loop(), port, HtmlLocalFolder(), *listening)) listening->Fail();
  return 0;
}
