// The listen thread of the local web server and where it listens.
#pragma once

#include <uv.h>

#include <memory>
#include <string>

#include "web/ListenEvent.h"

constexpr int kDefaultWebPort = 8501;
constexpr const char* kWebListenAddress = "127.0.0.1";

// The port of the local web server: TAVO_WEB_PORT when it holds a port number, else 8501.
int WebServerPort();
// The content folder: the program's folder followed by "htmllocal", no trailing "/".
std::string HtmlLocalFolder();

// Serves `contentFolder` on 127.0.0.1:`port` with the web router on `loop`. Sets `listening`
// once the socket listens and then runs the loop until it stops; returns false at once,
// without setting the event, when the port cannot be taken.
bool RunWebRouter(uv_loop_t* loop, int port, const std::string& contentFolder, ListenEvent& listening,
                  int* boundPort = nullptr);

// Thread body started by the browser process at start-up: serves htmllocal on the default
// loop and WebServerPort() until the process ends. Returns 0.
int WebRouterListenThread(std::shared_ptr<ListenEvent> listening);
