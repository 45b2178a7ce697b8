// Owner of one libuv handle. The handle's memory and its callback table live in one block
// that libuv's close callback frees, so the C++ object may go before libuv is done with it.
#pragma once

#include <uv.h>

#include <functional>
#include <memory>

#include "web/native/Callbacks.h"

namespace native::internal {

struct handle_storage {
  uv_any_handle handle{};
  callback_table callbacks;
  std::unique_ptr<char[]> read_buffer;  // one block reused by every read of a stream
  std::size_t read_buffer_size = 0;
};

}  // namespace native::internal

namespace native::base {

class handle {
 public:
  handle(const handle&) = delete;
  handle& operator=(const handle&) = delete;
  // Closes the handle when it is still open.
  virtual ~handle();

  // Starts closing; `on_closed` runs once libuv has let go of the handle. Later calls do
  // nothing, and no other operation works after it.
  void close(std::function<void()> on_closed = {});
  bool is_closing() const { return m_storage == nullptr; }

 protected:
  handle();
  // Called by the derived constructor once the uv_*_init call succeeded.
  void set_initialized() { m_initialized = true; }
  bool is_open() const { return m_storage && m_initialized; }

  uv_handle_t* raw() const { return m_storage ? &m_storage->handle.handle : nullptr; }
  internal::handle_storage* storage() const { return m_storage; }
  internal::callback_table& callbacks() const;

 private:
  static void on_close(uv_handle_t* h);

  internal::handle_storage* m_storage;  // owned here until close() hands it to libuv
  bool m_initialized = false;
};

}  // namespace native::base
