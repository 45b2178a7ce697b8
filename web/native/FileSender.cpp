// Sends a file body with sendfile(2), driven by the socket's writability.
#include "web/native/FileSender.h"

#include <fcntl.h>
#include <sys/sendfile.h>

#include <algorithm>
#include <cerrno>

namespace native::base {

namespace {
// One call of sendfile moves at most this much, and one turn of the loop at most a few such
// calls: a fast reader of a big file does not keep the loop from the other connections.
constexpr std::uint64_t kCallLimit = 1 << 20;
constexpr std::uint64_t kTurnLimit = 4 * kCallLimit;
}  // namespace

file_sender::file_sender(uv_loop_t* loop, int socket_fd, http::file_body body)
    : m_loop(loop), m_socket_fd(socket_fd), m_body(std::move(body)) {}

void file_sender::start(done_fn done) {
  m_done = std::move(done);
  pump();
}

void file_sender::pump() {
  std::uint64_t sent_this_turn = 0;
  while (m_body.length > 0) {
    if (sent_this_turn >= kTurnLimit) break;
    off_t offset = static_cast<off_t>(m_body.offset);
    const auto count = static_cast<std::size_t>(std::min(m_body.length, kCallLimit));
    const ssize_t n = ::sendfile(m_socket_fd, m_body.file.get(), &offset, count);
    if (n > 0) {
      m_body.offset += static_cast<std::uint64_t>(n);
      m_body.length -= static_cast<std::uint64_t>(n);
      sent_this_turn += static_cast<std::uint64_t>(n);
      continue;
    }
    if (n == 0) {
      // The file is shorter now than when its length was announced.
      complete(UV_EOF);
      return;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) break;
    complete(-errno);
    return;
  }
  if (m_body.length == 0) {
    complete(0);
    return;
  }
  if (m_writable && m_writable->active()) return;  // level-triggered: it calls again
  if (!m_writable) {
    m_writable = std::make_unique<poll>(m_loop, ::fcntl(m_socket_fd, F_DUPFD_CLOEXEC, 0));
  }
  int rc = m_writable->start_writable([this](int status) {
    if (status < 0) {
      complete(status);
      return;
    }
    pump();
  });
  if (rc != 0) complete(rc);
}

void file_sender::complete(int status) {
  if (m_writable) m_writable->stop();
  auto done = std::move(m_done);
  m_done = nullptr;
  if (done) done(status);  // may destroy this sender: nothing touches it afterwards
}

}  // namespace native::base
