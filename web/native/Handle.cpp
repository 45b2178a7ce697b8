// Owner of one libuv handle; memory freed by the close callback.
#include "web/native/Handle.h"

#include <cassert>

namespace native::base {

handle::handle() : m_storage(new internal::handle_storage) { m_storage->handle.handle.data = m_storage; }

handle::~handle() { close(); }

internal::callback_table& handle::callbacks() const {
  assert(m_storage && "uv_handle_");
  return m_storage->callbacks;
}

void handle::close(std::function<void()> on_closed) {
  if (!m_storage) return;
  internal::handle_storage* storage = m_storage;
  m_storage = nullptr;
  if (!m_initialized) {
    // libuv never saw the handle: nothing to wait for.
    delete storage;
    if (on_closed) on_closed();
    return;
  }
  storage->callbacks.store<>(internal::callback_id::close, std::move(on_closed));
  uv_close(&storage->handle.handle, &handle::on_close);
}

void handle::on_close(uv_handle_t* h) {
  assert(h && "h");
  assert(h->data && "uv_handle_->data");
  std::unique_ptr<internal::handle_storage> storage(static_cast<internal::handle_storage*>(h->data));
  storage->callbacks.invoke<>(internal::callback_id::close);
}

}  // namespace native::base
