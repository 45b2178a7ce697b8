// A TCP stream: bind and listen on an IPv4 address, accept connections.
#pragma once

#include <functional>
#include <string>

#include "web/native/Stream.h"

namespace native::net {

class tcp : public base::stream {
 public:
  explicit tcp(uv_loop_t* loop = uv_default_loop());

  // Binds to an IPv4 address text and port (0 picks a free port). False on failure.
  bool bind(const std::string& ip, int port);
  // Listens; `on_connection` gets 0 or a libuv error for each incoming connection.
  bool listen(std::function<void(int status)> on_connection, int backlog = 128);
  // Accepts one pending connection of this listening socket into `client`.
  bool accept(tcp& client);
  // Adopts a connected stream socket (the fuzz target feeds the server through a socket pair).
  bool open(uv_os_sock_t socket);
  // Sends small writes at once instead of waiting for the peer's acknowledgement (Nagle).
  void set_no_delay();
  // While corked, writes are held back until full packets can go out: an answer's head and
  // the start of its file body leave together. Uncorking sends what is held.
  void set_cork(bool corked);
  // The bound local port, 0 when unknown.
  int local_port() const;

  uv_loop_t* loop() const { return m_loop; }

 private:
  static void on_connection(uv_stream_t* server, int status);
  uv_tcp_t* tcp_raw() const { return reinterpret_cast<uv_tcp_t*>(raw()); }

  uv_loop_t* m_loop;
};

}  // namespace native::net
