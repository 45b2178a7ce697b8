// A libuv timer handle: one pending timeout at a time.
#pragma once

#include <cstdint>
#include <functional>

#include "web/native/Handle.h"

namespace native::base {

class timer : public handle {
 public:
  explicit timer(uv_loop_t* loop);

  // Calls `on_timeout` once after `timeout_ms`, replacing a timeout still pending. Returns 0
  // or a libuv error.
  int start(std::uint64_t timeout_ms, std::function<void()> on_timeout);
  // Drops the pending timeout, if any.
  void stop();

 private:
  static void on_timeout(uv_timer_t* t);
  uv_timer_t* timer_raw() const { return reinterpret_cast<uv_timer_t*>(raw()); }
};

}  // namespace native::base
