// The listen thread of the local web server, and the port it listens on.
#pragma once

#include <uv.h>

#include <memory>
#include <string>

#include "web/ListenEvent.h"

constexpr const char* kWebListenAddress = "127.0.0.1";

// The port the local web server listens on, for the player page's address. It is the port
// asked for (8501 unless configured) until the listen thread has bound, then the bound one.
int LocalWebServerPort();
// The content folder: the program's folder followed by "htmllocal", no trailing "/".
std::string HtmlLocalFolder();

// Serves `contentFolder` on 127.0.0.1:`port` (0: a free port) with the web router on `loop`.
// Sets `listening` once the socket listens and then runs the loop until it stops; returns
// false at once, without setting the event, when the port cannot be taken. The bound port
// is what LocalWebServerPort() answers from then on.
bool RunWebRouter(uv_loop_t* loop, int port, const std::string& contentFolder, ListenEvent& listening);

// Thread body started by the browser process at start-up: serves htmllocal on the default
// loop until the process ends, and publishes the bound port. Marks `listening` failed when
// the port cannot be taken. Returns 0.
int WebRouterListenThread(std::shared_ptr<ListenEvent> listening, int port);
