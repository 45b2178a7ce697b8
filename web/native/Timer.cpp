// A libuv timer handle.
#include "web/native/Timer.h"

#include <cassert>

namespace native::base {

timer::timer(uv_loop_t* loop) {
  if (uv_timer_init(loop, timer_raw()) == 0) set_initialized();
}

int timer::start(std::uint64_t timeout_ms, std::function<void()> on_timeout_fn) {
  if (!is_open()) return UV_EBADF;
  callbacks().store<>(internal::callback_id::timeout, std::move(on_timeout_fn));
  return uv_timer_start(timer_raw(), &timer::on_timeout, timeout_ms, 0);
}

void timer::stop() {
  if (is_open()) uv_timer_stop(timer_raw());
}

void timer::on_timeout(uv_timer_t* t) {
  auto* storage = static_cast<internal::handle_storage*>(t->data);
  assert(storage && "uv_handle_->data");
  storage->callbacks.invoke<>(internal::callback_id::timeout);
}

}  // namespace native::base
