// What the server asks of a connection before it answers it: a Host naming the loopback
// address with the listening port, a request that arrives in time, and a free slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace native::http {

// Connections served at once; a further one takes the slot of the oldest connection still
// waiting for its request, or is closed at once when every slot is answering.
constexpr std::size_t kMaxConnections = 256;

struct connection_limits {
  // A connection that has sent nothing for this long is closed.
  std::uint64_t idle_timeout_ms = 5000;
  // The whole request (line, headers and body) must have arrived this long after the accept.
  std::uint64_t request_deadline_ms = 10000;
  std::size_t max_connections = kMaxConnections;
};

// True when `host` is "127.0.0.1:<port>" or "localhost:<port>" (the name in any letter case).
// A page of another site reached through a name that resolves to the loopback address
// (DNS rebinding) sends its own name and is refused. With `port` 0 (a connection that is not
// a TCP socket) any port number is taken.
bool host_admitted(std::string_view host, int port);

}  // namespace native::http
