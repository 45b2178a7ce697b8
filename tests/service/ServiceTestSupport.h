// Shared fixtures of the service and account tests: private XDG folders with an open day
// log whose lines the test can read, a loopback HTTP(S) server that records requests,
// and the openssl command for reference values.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/ListenThread.h"

namespace servicetest {

// Points the XDG folders at a fresh temporary folder and opens the day log there.
class TempHomeTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Lines of the day log written so far, each as "[error]text" or "[normal]text" (UTF-8).
  std::vector<std::string> LogLines() const;
  // Only the lines of one kind, without the tag.
  std::vector<std::string> ErrorLines() const;
  std::vector<std::string> NormalLines() const;

  std::filesystem::path m_root;
};

struct RecordedRequest {
  std::string method;
  std::string path;
  std::string target;  // path and raw query as sent
  std::string body;
  std::string contentType;
  httplib::Params params;  // decoded form or query values
  httplib::MultipartFormDataMap files;
};

// A cpp-httplib server on a free loopback port, answering every GET and POST with one
// canned status and body and recording what it received.
class LoopbackServer {
 public:
  LoopbackServer();                                                         // plain HTTP
  LoopbackServer(const std::string& certFile, const std::string& keyFile);  // HTTPS
  ~LoopbackServer();

  void SetAnswer(int status, std::string body);
  std::string Origin() const;  // "http://127.0.0.1:port" or "https://..."
  int Port() const { return m_port; }
  std::vector<RecordedRequest> Requests() const;

 private:
  void Start();

  std::unique_ptr<httplib::Server> m_server;
  bool m_tls = false;
  int m_port = 0;
  std::unique_ptr<ListenThread> m_listening;
  mutable std::mutex m_mutex;
  int m_status = 200;
  std::string m_body = "{}";
  std::vector<RecordedRequest> m_requests;
};

// A loopback service that answers badly at any path: "/trickle…" sends one byte every
// 0.4 s (fast enough for the stall limit, never done), "/huge…" announces and sends
// 100 MB, "/endless…" sends 100 MB in chunks without announcing a length. Each ends on
// its own after a while (25 s of trickling), so a client without limits still gets an
// answer and its test fails instead of hanging.
class HostileServer {
 public:
  static constexpr std::size_t kHugeAnswer = 100 * 1024 * 1024;
  HostileServer();
  ~HostileServer();
  std::string Origin() const { return "http://127.0.0.1:" + std::to_string(m_port); }

 private:
  std::atomic<bool> m_quit{false};
  const std::string m_block = std::string(64 * 1024, ' ');
  httplib::Server m_server;
  int m_port = 0;
  std::unique_ptr<ListenThread> m_listening;
};

// A loopback port nothing listens on (bound, then closed).
int RefusedPort();

// Runs a shell command; its standard output, or nullopt-like empty plus a test failure.
std::string RunCommand(const std::string& command);
// Writes bytes to a file.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);
// Lower-case hex of bytes.
std::string Hex(std::string_view bytes);

}  // namespace servicetest
