// An answer's body taken from a file: `length` bytes from `offset` of an open file, sent by
// the kernel from the page cache to the socket (sendfile) without passing through the server.
#pragma once

#include <cstdint>

#include "web/native/UniqueFd.h"

namespace native::http {

struct file_body {
  base::unique_fd file;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

}  // namespace native::http
