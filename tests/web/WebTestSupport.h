// Test support for the local web server: a server on its own libuv loop and thread, and a
// raw TCP client that sends bytes in separate pieces and reads the whole answer.
#pragma once

#include <uv.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "web/native/Http.h"

// Serves `route` on 127.0.0.1 and a free port, on a loop of its own, until destroyed.
class LoopServer {
 public:
  explicit LoopServer(native::http::route_fn route, native::http::connection_limits limits = {});
  ~LoopServer();
  LoopServer(const LoopServer&) = delete;
  LoopServer& operator=(const LoopServer&) = delete;

  int port() const { return m_port; }
  // Runs `task` on the loop thread and waits for it.
  void RunOnLoop(std::function<void()> task);
  // Connections the server still holds open.
  std::size_t OpenConnections();
  // Waits (with the common guard) for the server to have let go of every connection.
  bool WaitForNoConnections();

 private:
  static void OnWake(uv_async_t* async);

  uv_loop_t m_loop{};
  uv_async_t m_wake{};
  std::unique_ptr<native::http::http> m_server;
  std::mutex m_mutex;
  std::vector<std::function<void()>> m_tasks;
  bool m_stopping = false;
  int m_port = 0;
  std::thread m_thread;
};

enum class Ending {
  kRead,       // send, then read the answer
  kHalfClose,  // send, end the sending side, then read
  kClose,      // send and close without reading
  kReset,      // send and reset the connection (RST)
};

// A blocking TCP socket connected to 127.0.0.1:`port` with five-second send and receive
// timeouts, or -1.
int ConnectLoopback(int port);

// Connects to 127.0.0.1:`port`, sends each piece (pausing between pieces so the server reads
// them separately) and returns every byte received until the server closes. A guard timeout
// of five seconds ends the read; the text then ends with "<timeout>".
std::string Talk(int port, const std::vector<std::string>& pieces, Ending ending = Ending::kRead);

// A GET request for `target` with the Host the server on `port` admits and `extraHeaders`
// (whole lines), asking the server to close the connection after its answer.
std::string GetRequest(int port, const std::string& target, const std::string& extraHeaders = {});

// A whole answer as the server writes it before it closes the connection.
std::string Answer(int status, const std::string& contentType, const std::string& body);
// The whole answer with a file's bytes, which also tells that byte ranges may be asked for.
std::string FileAnswer(const std::string& contentType, const std::string& body);

// A fresh temporary folder, removed with everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::string& path() const { return m_path; }
  // Writes `content` to `relative` inside the folder, creating subfolders.
  void Write(const std::string& relative, const std::string& content) const;

 private:
  std::string m_path;
};
