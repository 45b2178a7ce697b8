// A libuv poll handle watching a descriptor of its own for writability. libuv allows one
// watcher per descriptor, and a TCP handle already watches its socket; a duplicate of the
// socket's descriptor refers to the same connection and can be watched beside it.
#pragma once

#include <functional>

#include "web/native/Handle.h"

namespace native::base {

class poll : public handle {
 public:
  // Takes ownership of `fd`; it is closed once libuv has let go of the handle.
  poll(uv_loop_t* loop, int fd);
  ~poll() override;

  // Calls `on_writable` with 0 each time the descriptor can take more bytes (level-triggered),
  // or with a libuv error. Returns 0 or a libuv error.
  int start_writable(std::function<void(int status)> on_writable);
  void stop();
  bool active() const { return m_active; }

 private:
  static void on_event(uv_poll_t* p, int status, int events);
  uv_poll_t* poll_raw() const { return reinterpret_cast<uv_poll_t*>(raw()); }

  int m_fd;
  bool m_active = false;
};

}  // namespace native::base
