// Development server: serves a folder with the web router on 127.0.0.1 and prints
// "listening <port>" once it listens. Usage: tavo-web-serve [--port N] [--folder DIR]
// (defaults: a free port, htmllocal/ next to the program).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "web/WebRouterListenThread.h"

int main(int argc, char** argv) {
  int port = 0;
  std::string folder;
  for (int i = 1; i < argc; i += 2) {
    if (i + 1 < argc && std::strcmp(argv[i], "--port") == 0) {
      port = std::atoi(argv[i + 1]);
    } else if (i + 1 < argc && std::strcmp(argv[i], "--folder") == 0) {
      folder = argv[i + 1];
    } else {
      std::fprintf(stderr, "usage: %s [--port N] [--folder DIR]\n", argv[0]);
      return 2;
    }
  }
  if (folder.empty()) folder = HtmlLocalFolder();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();

  ListenEvent listening;
  std::thread server([&] {
    if (!RunWebRouter(uv_default_loop(), port, folder, listening)) {
      std::fprintf(stderr, "cannot listen on 127.0.0.1:%d\n", port);
      std::exit(1);
    }
  });
  while (!listening.WaitFor(std::chrono::seconds(1))) {
  }
  std::printf("listening %d\n", LocalWebServerPort());
  std::fflush(stdout);
  server.join();
  return 0;
}
