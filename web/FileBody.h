// A file answer's body read in pieces by libuv's worker threads (uv_fs_read), one piece in
// memory at a time: the loop thread never waits for the disk and a big file costs one piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "web/native/BodySource.h"

class FileBody : public native::http::body_source {
 public:
  static constexpr std::size_t kPieceSize = 128 * 1024;

  // Takes ownership of the open descriptor `fd` and sends `length` bytes of it from offset 0.
  FileBody(int fd, std::uint64_t length, std::size_t pieceSize = kPieceSize);
  // A read still running finishes into memory that the read itself keeps alive.
  ~FileBody() override;
  FileBody(const FileBody&) = delete;
  FileBody& operator=(const FileBody&) = delete;

  void next(uv_loop_t* loop, piece_fn done) override;

 private:
  struct State;
  static void OnRead(uv_fs_t* request);

  std::shared_ptr<State> m_state;
};
