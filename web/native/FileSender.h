// Sends a file body to a connected socket with sendfile(2) on the loop thread: the kernel
// copies from the page cache straight into the socket, so no piece of the file passes through
// this process. When the socket's buffer is full, the sender waits for the socket to become
// writable again; a slow reader costs two descriptors and nothing else.
#pragma once

#include <uv.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "web/native/FileBody.h"
#include "web/native/Poll.h"

namespace native::base {

class file_sender {
 public:
  // `done` gets 0 once the whole body was sent, or a libuv error (UV_EOF when the file ended
  // before the body's length). The sender may be destroyed inside `done`.
  using done_fn = std::function<void(int status)>;

  file_sender(uv_loop_t* loop, int socket_fd, http::file_body body);
  file_sender(const file_sender&) = delete;
  file_sender& operator=(const file_sender&) = delete;

  // Sends what the socket takes at once, then the rest as it becomes writable.
  void start(done_fn done);

 private:
  void pump();
  void complete(int status);

  uv_loop_t* m_loop;
  int m_socket_fd;
  http::file_body m_body;
  std::unique_ptr<poll> m_writable;
  done_fn m_done;
};

}  // namespace native::base
