// An owning reference to a GObject (unref on destruction), shared by both processes' code.
#pragma once

#include <glib-object.h>

#include <utility>

template <class T>
class GRef {
 public:
  GRef() = default;
  // Takes over a reference the caller owns (a "transfer full" result).
  static GRef Adopt(T* object) {
    GRef ref;
    ref.m_object = object;
    return ref;
  }
  // Adds a reference of its own (a "transfer none" result).
  static GRef Retain(T* object) {
    if (object) g_object_ref(object);
    return Adopt(object);
  }
  GRef(const GRef& other) : m_object(other.m_object) {
    if (m_object) g_object_ref(m_object);
  }
  GRef(GRef&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
  GRef& operator=(GRef other) noexcept {
    std::swap(m_object, other.m_object);
    return *this;
  }
  ~GRef() {
    if (m_object) g_object_unref(m_object);
  }
  T* get() const { return m_object; }
  explicit operator bool() const { return m_object != nullptr; }

 private:
  T* m_object = nullptr;
};
