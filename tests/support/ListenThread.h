// Runs a bound cpp-httplib server's accept loop on a thread of its own until the object
// goes. The constructor returns once the loop runs: httplib's stop() does nothing before
// that, so an earlier stop would be lost and the join would hang.
#pragma once

#include <httplib.h>

#include <chrono>
#include <thread>

#include "support/Waiting.h"

class ListenThread {
 public:
  explicit ListenThread(httplib::Server& server)
      : m_server(server), m_thread([&server] { server.listen_after_bind(); }) {
    WaitUntil([&] { return m_server.is_running(); }, kWaitGuard, std::chrono::milliseconds(1));
  }
  ~ListenThread() {
    m_server.stop();
    m_thread.join();
  }
  ListenThread(const ListenThread&) = delete;
  ListenThread& operator=(const ListenThread&) = delete;

 private:
  httplib::Server& m_server;
  std::thread m_thread;
};
