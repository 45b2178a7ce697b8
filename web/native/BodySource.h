// An answer's body handed over piece by piece, so that a large body never sits in memory
// whole. The connection asks for the next piece only once the previous one was written.
#pragma once

#include <uv.h>

#include <functional>
#include <string_view>

namespace native::http {

class body_source {
 public:
  // `status` is 0 or a libuv error. With 0, an empty piece ends the body; a piece stays valid
  // until the next call of `next` or the source's destruction.
  using piece_fn = std::function<void(int status, std::string_view piece)>;

  virtual ~body_source() = default;
  // Asks for the next piece; `done` runs on the loop thread, later or at once. One request
  // at a time.
  virtual void next(uv_loop_t* loop, piece_fn done) = 0;
};

}  // namespace native::http
