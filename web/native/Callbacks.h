// The callback table every libuv handle of the layer carries: one slot per kind of
// operation, holding the std::function that the plain libuv callback forwards to.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <functional>
#include <memory>
#include <utility>

namespace native::internal {

enum class callback_id : std::size_t { close, listen, read, timeout, poll, count_ };

class callback_object_base {
 public:
  virtual ~callback_object_base() = default;
};

template <typename... A>
class callback_object : public callback_object_base {
 public:
  explicit callback_object(std::function<void(A...)> fn) : m_fn(std::move(fn)) {}
  void invoke(A... args) {
    if (m_fn) m_fn(args...);
  }

 private:
  std::function<void(A...)> m_fn;
};

class callback_table {
 public:
  template <typename... A>
  void store(callback_id id, std::function<void(A...)> fn) {
    m_slots[index(id)] = std::make_shared<callback_object<A...>>(std::move(fn));
  }

  // Calls the slot's function; an empty slot does nothing. The slot is held for the call, so
  // a callback may replace its own slot.
  template <typename... A>
  void invoke(callback_id id, A... args) {
    std::shared_ptr<callback_object_base> slot = m_slots[index(id)];
    if (!slot) return;
    auto* typed = dynamic_cast<callback_object<A...>*>(slot.get());
    assert(typed && "x");
    typed->invoke(args...);
  }

 private:
  static constexpr std::size_t index(callback_id id) { return static_cast<std::size_t>(id); }
  std::array<std::shared_ptr<callback_object_base>, static_cast<std::size_t>(callback_id::count_)> m_slots;
};

}  // namespace native::internal
