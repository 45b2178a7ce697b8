// The HTTP server.
#include "web/native/Http.h"

#include <csignal>
#include <mutex>

#include "app/Log.h"
#include "app/TextConv.h"

namespace native::http {

http::http(uv_loop_t* loop) : m_loop(loop) {}

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
  serve(std::move(client), m_route);
}

void http::serve(std::shared_ptr<net::tcp> connection, route_fn route) {
  auto context = std::make_shared<client_context>(std::move(connection), std::move(route));
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
