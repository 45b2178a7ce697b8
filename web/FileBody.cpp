// A file answer's body read in pieces off the loop thread.
#include "web/FileBody.h"

#include <unistd.h>

#include <algorithm>
#include <new>

struct FileBody::State {
  ~State() {
    if (fd >= 0) ::close(fd);
  }
  int fd = -1;
  std::uint64_t offset = 0;
  std::uint64_t remaining = 0;
  std::size_t pieceSize = 0;
  std::unique_ptr<char[]> buffer;
  uv_fs_t request{};
  piece_fn done;  // empty once the body is gone: the result of a late read is dropped
};

FileBody::FileBody(int fd, std::uint64_t length, std::size_t pieceSize) : m_state(std::make_shared<State>()) {
  m_state->fd = fd;
  m_state->remaining = length;
  m_state->pieceSize = std::max<std::size_t>(1, pieceSize);
}

FileBody::~FileBody() { m_state->done = nullptr; }

void FileBody::next(uv_loop_t* loop, piece_fn done) {
  State& state = *m_state;
  if (state.remaining == 0) {
    done(0, {});
    return;
  }
  if (!state.buffer) {
    state.buffer.reset(new (std::nothrow) char[state.pieceSize]);
    if (!state.buffer) {
      done(UV_ENOMEM, {});
      return;
    }
  }
  const auto want = static_cast<unsigned>(std::min<std::uint64_t>(state.remaining, state.pieceSize));
  uv_buf_t buffer = uv_buf_init(state.buffer.get(), want);
  // The request keeps the state (descriptor and buffer) alive until it completes.
  auto keep = std::make_unique<std::shared_ptr<State>>(m_state);
  state.request.data = keep.get();
  state.done = std::move(done);
  int rc = uv_fs_read(loop, &state.request, state.fd, &buffer, 1, static_cast<std::int64_t>(state.offset),
                      &FileBody::OnRead);
  if (rc != 0) {
    uv_fs_req_cleanup(&state.request);
    auto failed = std::move(state.done);
    state.done = nullptr;
    failed(rc, {});
    return;
  }
  keep.release();  // OnRead owns it now
}

void FileBody::OnRead(uv_fs_t* request) {
  std::unique_ptr<std::shared_ptr<State>> keep(static_cast<std::shared_ptr<State>*>(request->data));
  State& state = **keep;
  const ssize_t result = request->result;
  uv_fs_req_cleanup(request);
  auto done = std::move(state.done);
  state.done = nullptr;
  if (!done) return;
  if (result < 0) {
    done(static_cast<int>(result), {});
    return;
  }
  if (result == 0) {
    // The file ended before the length announced in the headers: the answer cannot be completed.
    done(UV_EOF, {});
    return;
  }
  const auto got = static_cast<std::uint64_t>(result);
  state.offset += got;
  state.remaining -= std::min(got, state.remaining);
  done(0, std::string_view(state.buffer.get(), static_cast<std::size_t>(got)));
}
