// A libuv stream handle: reading, and writing one block per write request.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

#include "web/native/Handle.h"

namespace native::base {

class stream : public handle {
 public:
  // `on_read` gets each block read (nread > 0), or a libuv error code with no data
  // (UV_EOF when the peer ended its side). Returns 0 or a libuv error.
  int read_start(std::function<void(const char* data, ssize_t nread)> on_read);
  int read_stop();

  // Writes `data` with one write request. `on_done` gets 0 or a libuv error once the request
  // is over, also when the handle is closed before that. Returns 0 or a libuv error; on an
  // error `on_done` is not called.
  int write(std::string data, std::function<void(int status)> on_done);
  // The same for bytes the caller owns: they must stay valid until `on_done` runs.
  int write_view(std::string_view data, std::function<void(int status)> on_done);
  // The operating system's descriptor of the stream, -1 when it has none.
  int fileno() const;

 protected:
  uv_stream_t* stream_raw() const { return reinterpret_cast<uv_stream_t*>(raw()); }

 private:
  static void on_alloc(uv_handle_t* h, std::size_t suggested, uv_buf_t* buf);
  static void on_read(uv_stream_t* s, ssize_t nread, const uv_buf_t* buf);
};

}  // namespace native::base
