// Owner of one file descriptor, closed when the owner goes.
#pragma once

#include <unistd.h>

#include <utility>

namespace native::base {

class unique_fd {
 public:
  unique_fd() = default;
  explicit unique_fd(int fd) : m_fd(fd) {}
  ~unique_fd() { reset(); }
  unique_fd(unique_fd&& other) noexcept : m_fd(other.release()) {}
  unique_fd& operator=(unique_fd&& other) noexcept {
    if (this != &other) {
      reset();
      m_fd = other.release();
    }
    return *this;
  }
  unique_fd(const unique_fd&) = delete;
  unique_fd& operator=(const unique_fd&) = delete;

  int get() const { return m_fd; }
  int release() { return std::exchange(m_fd, -1); }
  void reset() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
  }

 private:
  int m_fd = -1;
};

}  // namespace native::base
