// A TCP stream: bind and listen on an IPv4 address, accept connections.
#include "web/native/Tcp.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cassert>

namespace native::net {

tcp::tcp(uv_loop_t* loop) : m_loop(loop) {
  if (uv_tcp_init(loop, tcp_raw()) == 0) set_initialized();
}

bool tcp::bind(const std::string& ip, int port) {
  if (!is_open() || port < 0 || port > 65535) return false;
  sockaddr_in address{};
  if (uv_ip4_addr(ip.c_str(), port, &address) != 0) return false;
  return uv_tcp_bind(tcp_raw(), reinterpret_cast<const sockaddr*>(&address), 0) == 0;
}

bool tcp::listen(std::function<void(int)> on_connection_fn, int backlog) {
  if (!is_open()) return false;
  callbacks().store<int>(internal::callback_id::listen, std::move(on_connection_fn));
  return uv_listen(stream_raw(), backlog, &tcp::on_connection) == 0;
}

bool tcp::accept(tcp& client) {
  if (!is_open() || !client.is_open()) return false;
  return uv_accept(stream_raw(), client.stream_raw()) == 0;
}

bool tcp::open(uv_os_sock_t socket) { return is_open() && uv_tcp_open(tcp_raw(), socket) == 0; }

void tcp::set_no_delay() {
  if (is_open()) uv_tcp_nodelay(tcp_raw(), 1);
}

// Not every stream is a TCP socket (the fuzz target uses a socket pair): a failure is harmless.
void tcp::set_cork(bool corked) {
  const int fd = fileno();
  const int value = corked ? 1 : 0;
  if (fd >= 0) ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &value, sizeof value);
}

int tcp::local_port() const {
  if (!is_open()) return 0;
  sockaddr_storage address{};
  int length = sizeof address;
  if (uv_tcp_getsockname(tcp_raw(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  if (address.ss_family != AF_INET) return 0;
  return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

void tcp::on_connection(uv_stream_t* server, int status) {
  auto* storage = static_cast<internal::handle_storage*>(server->data);
  assert(storage && "uv_handle_->data");
  storage->callbacks.invoke<int>(internal::callback_id::listen, status);
}

}  // namespace native::net
