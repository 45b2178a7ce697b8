// The listen thread of the local web server.
#include "web/WebRouterListenThread.h"

#include <cstdlib>
#include <string_view>

#include "app/Folders.h"
#include "app/Log.h"
#include "app/TextConv.h"
#include "web/WebRouter.h"
#include "web/native/Http.h"

int WebServerPort() {
  const char* text = std::getenv("TAVO_WEB_PORT");
  if (!text || !*text) return kDefaultWebPort;
  char* end = nullptr;
  long port = std::strtol(text, &end, 10);
  if (*end != '\0' || port < 1 || port > 65535) {
    LogError(L"TAVO_WEB_PORT is not a port number: " + AnsiToWide(text));
    return kDefaultWebPort;
  }
  return static_cast<int>(port);
}

std::string HtmlLocalFolder() { return WideToAnsi(GetExeFolder()) + "htmllocal"; }

bool RunWebRouter(uv_loop_t* loop, int port, const std::string& contentFolder, ListenEvent& listening,
                  int* boundPort) {
  WebRouter router(contentFolder);
  native::http::http server(loop);
  bool ok = server.listen(kWebListenAddress, port,
                          [&router](native::http::request& request, native::http::response& response) {
                            router.Handle(request, response);
                          });
  LogNormal(L"server listen port:" + std::to_wstring(port) + (ok ? L" success" : L" failed"));
  if (!ok) return false;
  if (boundPort) *boundPort = server.port();
  listening.Set();
  uv_run(loop, UV_RUN_DEFAULT);
  return true;
}

int WebRouterListenThread(std::shared_ptr<ListenEvent> listening) {
  RunWebRouter(uv_default_loop(), WebServerPort(), HtmlLocalFolder(), *listening);
  return 0;
}
