// Test support for the local web server.
#include "WebTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cassert>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>

#include "support/Waiting.h"
#include "web/native/StatusText.h"

LoopServer::LoopServer(native::http::route_fn route, native::http::connection_limits limits) {
  // Shared, so that neither side destroys the promise while the other still uses it.
  auto started = std::make_shared<std::promise<int>>();
  auto port = started->get_future();
  m_thread = std::thread([this, route = std::move(route), started, limits]() mutable {
    uv_loop_init(&m_loop);
    uv_async_init(&m_loop, &m_wake, &LoopServer::OnWake);
    m_wake.data = this;
    m_server = std::make_unique<native::http::http>(&m_loop, limits);
    bool ok = m_server->listen("127.0.0.1", 0, std::move(route));
    started->set_value(ok ? m_server->port() : 0);
    uv_run(&m_loop, UV_RUN_DEFAULT);
    m_server.reset();
    uv_run(&m_loop, UV_RUN_DEFAULT);  // let the close callbacks run
    int rc = uv_loop_close(&m_loop);
    assert(rc == 0 && "a libuv handle was left open");
    (void)rc;
  });
  m_port = port.get();
}

LoopServer::~LoopServer() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  uv_async_send(&m_wake);
  m_thread.join();
}

void LoopServer::OnWake(uv_async_t* async) {
  auto* self = static_cast<LoopServer*>(async->data);
  std::vector<std::function<void()>> tasks;
  bool stopping;
  {
    std::lock_guard<std::mutex> lock(self->m_mutex);
    tasks.swap(self->m_tasks);
    stopping = self->m_stopping;
  }
  for (auto& task : tasks) task();
  if (stopping) {
    self->m_server->close();
    uv_close(reinterpret_cast<uv_handle_t*>(&self->m_wake), nullptr);
  }
}

void LoopServer::RunOnLoop(std::function<void()> task) {
  auto done = std::make_shared<std::promise<void>>();
  auto finished = done->get_future();
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tasks.push_back([&task, done] {
      task();
      done->set_value();
    });
  }
  uv_async_send(&m_wake);
  finished.wait();
}

std::size_t LoopServer::OpenConnections() {
  std::size_t count = 0;
  RunOnLoop([&] { count = m_server->connection_count(); });
  return count;
}

bool LoopServer::WaitForNoConnections() {
  return WaitUntil([&] { return OpenConnections() == 0; });
}

int ConnectLoopback(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  timeval guard{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &guard, sizeof guard);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string Talk(int port, const std::vector<std::string>& pieces, Ending ending) {
  int fd = ConnectLoopback(port);
  if (fd < 0) return "<connect failed>";
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(40));
    std::size_t sent = 0;
    while (sent < pieces[i].size()) {
      ssize_t n = ::send(fd, pieces[i].data() + sent, pieces[i].size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
  }
  if (ending == Ending::kClose || ending == Ending::kReset) {
    if (ending == Ending::kReset) {
      linger abort{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    ::close(fd);
    return {};
  }
  if (ending == Ending::kHalfClose) ::shutdown(fd, SHUT_WR);
  std::string received;
  char buffer[16384];
  for (;;) {
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      received.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) received += "<timeout>";
    if (n < 0 && errno == ECONNRESET) received += "<reset>";
    break;
  }
  ::close(fd);
  return received;
}

std::string GetRequest(int port, const std::string& target, const std::string& extraHeaders) {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" + extraHeaders +
         "Connection: close\r\n\r\n";
}

std::string Answer(int status, const std::string& contentType, const std::string& body) {
  return "HTTP/1.1 " + std::to_string(status) + " " + native::http::status_text(status) +
         "\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nContent-Type: " + contentType + "\r\n\r\n" + body;
}

std::string FileAnswer(const std::string& contentType, const std::string& body) {
  return Answer(200, contentType, body)
      .insert(std::string_view("HTTP/1.1 200 OK\r\n").size(), "Accept-Ranges: bytes\r\n");
}

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tavo-web-XXXXXX").string();
  char* made = ::mkdtemp(pattern.data());
  assert(made && "mkdtemp");
  m_path = made ? made : "";
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

void TempFolder::Write(const std::string& relative, const std::string& content) const {
  std::filesystem::path file = std::filesystem::path(m_path) / relative;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}
