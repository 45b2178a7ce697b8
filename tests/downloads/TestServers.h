// Servers the download tests and the benchmark run on loopback: a real nginx started on a
// free port with a temporary configuration, a raw socket server whose answers a test
// scripts byte for byte (servers that ignore ranges, stall or fail), and on top of it a
// file server with validators whose failures a test queues request by request.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A free loopback TCP port (bound to port 0, then released).
int FreeLoopbackPort();

// nginx serving `root` at "/" and, limited to `slowRate` bytes a second per connection,
// at "/slow/". Its access log records every request (see Requests).
class NginxServer {
 public:
  struct Request {
    double start = 0;  // seconds, server clock
    double end = 0;
    int status = 0;
    std::string range;  // the Range header, "-" when none
    std::string uri;
  };

  NginxServer(std::filesystem::path root, std::filesystem::path work, std::string slowRate = "512k");
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  bool Start();
  void Stop();
  std::string Url(const std::string& path) const;  // path starts with "/"
  std::vector<Request> Requests() const;
  // The largest number of requests for uris starting with `prefix` that overlapped in time.
  int MaxConcurrent(const std::string& prefix) const;

 private:
  std::filesystem::path m_root;
  std::filesystem::path m_work;
  std::string m_slowRate;
  int m_port = 0;
  pid_t m_pid = -1;
};

// The demo school started on a free loopback port with its state in `data`; it ends when
// the object goes (its standard input closes).
class DemoSchool {
 public:
  DemoSchool(std::string program, std::filesystem::path data);
  ~DemoSchool();
  DemoSchool(const DemoSchool&) = delete;
  DemoSchool& operator=(const DemoSchool&) = delete;
  bool Start();
  const std::string& Origin() const { return m_origin; }

 private:
  std::string m_program;
  std::filesystem::path m_data;
  std::string m_origin;
  pid_t m_pid = -1;
  int m_stdin = -1;
};

// An HTTP server on a loopback port, one thread per connection; `respond` gets the request
// head and the connected socket and writes whatever it likes.
class RawHttpServer {
 public:
  using Responder = std::function<void(const std::string& head, int socket)>;
  explicit RawHttpServer(Responder respond);
  ~RawHttpServer();
  std::string Url(const std::string& path) const;
  std::vector<std::string> Heads() const;
  // Lets a responder that waits (a stalled transfer) give up.
  bool Stopping() const { return m_stop; }

  static void SendAll(int socket, const std::string& bytes);

 private:
  void Serve();
  void Answer(int client);
  Responder m_respond;
  std::vector<std::thread> m_connections;
  int m_listener = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::vector<std::string> m_heads;
  std::thread m_thread;
};

// Serves one file at every path the way a web server does: ETag and/or Last-Modified,
// Range "bytes=N-", If-Range (a range only while the validator still matches, else the
// whole file with 200), and 416 with "bytes */size" past the end. Queued faults replace
// the answers of the next requests, one each.
class ScriptedFileServer {
 public:
  struct Copy {
    std::string body;
    std::string etag;          // sent with its quotes; empty: not sent
    std::string lastModified;  // empty: not sent
  };
  enum class Fault {
    CutMidBody,    // the right headers, half the body, then a connection reset
    ShortBody,     // the right headers, half the body, then an orderly close
    Busy,          // 503, with Retry-After when retryAfter >= 0
    Bare416,       // 416 without a Content-Range
    StallMidBody,  // the right headers, a third of the body, then silence until the server goes
  };
  struct Step {
    Fault fault;
    int retryAfter = -1;
  };

  explicit ScriptedFileServer(Copy copy);
  void SetCopy(Copy copy);
  void Queue(std::vector<Step> steps);
  std::string Url(const std::string& path) const { return m_server.Url(path); }
  std::vector<std::string> Heads() const { return m_server.Heads(); }

 private:
  void Respond(const std::string& head, int socket);
  mutable std::mutex m_mutex;
  Copy m_copy;
  std::vector<Step> m_steps;
  RawHttpServer m_server;  // last: its threads use the members above
};
