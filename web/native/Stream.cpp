// A libuv stream handle: reading, and writing one block per write request.
#include "web/native/Stream.h"

#include <cassert>
#include <memory>
#include <new>

namespace native::base {

namespace {

struct write_request {
  uv_write_t req{};
  std::string data;
  std::function<void(int)> done;
};

void on_write(uv_write_t* req, int status) {
  std::unique_ptr<write_request> request(static_cast<write_request*>(req->data));
  if (request->done) request->done(status);
}

}  // namespace

int stream::read_start(std::function<void(const char*, ssize_t)> on_read_fn) {
  if (!is_open()) return UV_EBADF;
  callbacks().store<const char*, ssize_t>(internal::callback_id::read, std::move(on_read_fn));
  return uv_read_start(stream_raw(), &stream::on_alloc, &stream::on_read);
}

int stream::read_stop() {
  if (!is_open()) return UV_EBADF;
  return uv_read_stop(stream_raw());
}

int stream::write(std::string data, std::function<void(int)> on_done) {
  if (!is_open()) return UV_EBADF;
  auto request = std::make_unique<write_request>();
  request->data = std::move(data);
  request->done = std::move(on_done);
  request->req.data = request.get();
  uv_buf_t buf = uv_buf_init(request->data.data(), static_cast<unsigned>(request->data.size()));
  int rc = uv_write(&request->req, stream_raw(), &buf, 1, &on_write);
  if (rc == 0) request.release();  // on_write owns it now
  return rc;
}

int stream::write_view(std::string_view data, std::function<void(int)> on_done) {
  if (!is_open()) return UV_EBADF;
  auto request = std::make_unique<write_request>();
  request->done = std::move(on_done);
  request->req.data = request.get();
  // libuv only reads the bytes; the cast does not lead to a change.
  uv_buf_t buf = uv_buf_init(const_cast<char*>(data.data()), static_cast<unsigned>(data.size()));
  int rc = uv_write(&request->req, stream_raw(), &buf, 1, &on_write);
  if (rc == 0) request.release();
  return rc;
}

int stream::fileno() const {
  uv_os_fd_t fd = -1;
  if (!is_open() || uv_fileno(raw(), &fd) != 0) return -1;
  return fd;
}

void stream::on_alloc(uv_handle_t* h, std::size_t suggested, uv_buf_t* buf) {
  auto* storage = static_cast<internal::handle_storage*>(h->data);
  assert(storage && "uv_handle_->data");
  if (storage->read_buffer_size < suggested) {
    storage->read_buffer.reset(new (std::nothrow) char[suggested]);
    storage->read_buffer_size = storage->read_buffer ? suggested : 0;
  }
  // A zero-length buffer makes libuv report UV_ENOBUFS to the read callback.
  *buf = uv_buf_init(storage->read_buffer.get(), static_cast<unsigned>(storage->read_buffer_size));
}

void stream::on_read(uv_stream_t* s, ssize_t nread, const uv_buf_t* buf) {
  if (nread == 0) return;  // nothing read this time (EAGAIN)
  auto* storage = static_cast<internal::handle_storage*>(s->data);
  assert(storage && "uv_handle_->data");
  storage->callbacks.invoke<const char*, ssize_t>(internal::callback_id::read,
                                                  nread > 0 ? buf->base : nullptr, nread);
}

}  // namespace native::base
