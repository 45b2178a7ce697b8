// A libuv poll handle on a descriptor it owns.
#include "web/native/Poll.h"

#include <unistd.h>

#include <cassert>

namespace native::base {

poll::poll(uv_loop_t* loop, int fd) : m_fd(fd) {
  if (fd >= 0 && uv_poll_init(loop, poll_raw(), fd) == 0) set_initialized();
}

poll::~poll() {
  // The descriptor stays open until libuv no longer watches it.
  const int fd = m_fd;
  close([fd] {
    if (fd >= 0) ::close(fd);
  });
}

int poll::start_writable(std::function<void(int)> on_writable) {
  if (!is_open()) return UV_EBADF;
  callbacks().store<int>(internal::callback_id::poll, std::move(on_writable));
  int rc = uv_poll_start(poll_raw(), UV_WRITABLE, &poll::on_event);
  m_active = rc == 0;
  return rc;
}

void poll::stop() {
  if (is_open()) uv_poll_stop(poll_raw());
  m_active = false;
}

void poll::on_event(uv_poll_t* p, int status, int) {
  auto* storage = static_cast<internal::handle_storage*>(p->data);
  assert(storage && "uv_handle_->data");
  storage->callbacks.invoke<int>(internal::callback_id::poll, status);
}

}  // namespace native::base
