// A shared library opened at run time (dlopen) and closed with its owner, for a dependency
// that only some uses of the program need: starting the program does not map it.
#pragma once

#include <string>

class SharedLibrary {
 public:
  // Opens the library `soname` with every symbol bound at once; `error()` says why it failed.
  explicit SharedLibrary(const std::string& soname);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  bool loaded() const { return m_handle != nullptr; }
  const std::string& error() const { return m_error; }

  // Points `function` at the library's symbol `name`; false (and `error()` set) when missing.
  template <typename F>
  bool Resolve(const char* name, F*& function) {
    function = reinterpret_cast<F*>(Symbol(name));
    return function != nullptr;
  }

 private:
  void* Symbol(const char* name);

  void* m_handle = nullptr;
  std::string m_error;
};
