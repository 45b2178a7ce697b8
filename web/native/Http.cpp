// The HTTP server.
#include "web/native/Http.h"

#include <csignal>
#include <mutex>

#include "app/Log.h"
#include "app/TextConv.h"

namespace native::http {

http::http(uv_loop_t* loop, connection_limits limits) : m_loop(loop), m_limits(limits) {}

http::~http() { close(); }

bool http::listen(const std::string& ip, int port, route_fn route) {
  // A client that leaves while its answer is being written must cost an EPIPE on that
  // connection, not the whole process: writing to a closed socket raises SIGPIPE.
  static std::once_flag ignorePipe;
  std::call_once(ignorePipe, [] { std::signal(SIGPIPE, SIG_IGN); });
  m_route = std::move(route);
  m_socket = std::make_shared<net::tcp>(m_loop);
  if (!m_socket->bind(ip, port) || !m_socket->listen([this](int status) { on_connection(status); })) {
    m_socket.reset();
    return false;
  }
  return true;
}

int http::port() const { return m_socket ? m_socket->local_port() : 0; }

void http::on_connection(int status) {
  if (status < 0) {
    LogError(L"http server: connection failed: " + AnsiToWide(uv_strerror(status)));
    return;
  }
  auto client = std::make_shared<net::tcp>(m_loop);
  if (!m_socket->accept(*client)) {
    LogError(L"http server: accept failed");
    return;
  }
  if (!make_room()) {
    client->close();
    return;
  }
  serve(std::move(client), m_route);
}

// Frees a slot for one more connection: the oldest one still waiting for its request goes.
// False when every slot is busy answering. One log line each time the server fills up.
bool http::make_room() {
  if (m_clients.size() < m_limits.max_connections) {
    m_full_logged = false;
    return true;
  }
  if (!m_full_logged) {
    LogError(L"http server: " + std::to_wstring(m_clients.size()) +
             L" connections open, the oldest waiting ones are closed");
    m_full_logged = true;
  }
  auto oldest = m_clients.end();
  for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
    if (it->second->waiting_for_request() &&
        (oldest == m_clients.end() || it->second->started_at() < oldest->second->started_at()))
      oldest = it;
  }
  if (oldest == m_clients.end()) return false;
  std::shared_ptr<client_context> evicted = oldest->second;
  m_clients.erase(oldest);
  evicted->abort();
  return true;
}

void http::serve(std::shared_ptr<net::tcp> connection, route_fn route) {
  auto context = std::make_shared<client_context>(std::move(connection), std::move(route), m_limits);
  m_clients.emplace(context.get(), context);
  context->start([this](client_context* finished) { m_clients.erase(finished); });
}

void http::close() {
  if (m_socket) m_socket->close();
  auto clients = std::move(m_clients);
  m_clients.clear();
  for (auto& [raw, context] : clients) context->abort();
}

}  // namespace native::http
