// The HTTP server: listens on an IPv4 address and answers every request with one route
// function, keeping connections open between requests. Everything runs on the thread of its
// libuv loop.
// At most `max_connections` connections are held: a flood of idle ones cannot use up the
// process's open files.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "web/native/ClientContext.h"
#include "web/native/Tcp.h"

namespace native::http {

class http {
 public:
  explicit http(uv_loop_t* loop = uv_default_loop(), connection_limits limits = {});
  // Stops listening and drops the connections still open.
  ~http();
  http(const http&) = delete;
  http& operator=(const http&) = delete;

  // Binds to `ip`:`port` (port 0 picks a free one) and listens; the caller then runs the loop.
  bool listen(const std::string& ip, int port, route_fn route);
  // The port listened on, 0 before listen.
  int port() const;
  // Serves one connected stream with `route` as if it had been accepted.
  void serve(std::shared_ptr<net::tcp> connection, route_fn route);
  // Stops listening and drops the open connections; the loop may then run out.
  void close();
  std::size_t connection_count() const { return m_clients.size(); }

 private:
  void on_connection(int status);
  bool make_room();

  uv_loop_t* m_loop;
  std::shared_ptr<net::tcp> m_socket;
  route_fn m_route;
  connection_limits m_limits;
  bool m_full_logged = false;
  std::map<client_context*, std::shared_ptr<client_context>> m_clients;
};

}  // namespace native::http
