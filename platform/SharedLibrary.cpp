// A shared library opened at run time.
#include "platform/SharedLibrary.h"

#include <dlfcn.h>

SharedLibrary::SharedLibrary(const std::string& soname) {
  m_handle = ::dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!m_handle) {
    const char* why = ::dlerror();
    m_error = why ? why : soname + ": cannot be opened";
  }
}

SharedLibrary::~SharedLibrary() {
  if (m_handle) ::dlclose(m_handle);
}

void* SharedLibrary::Symbol(const char* name) {
  if (!m_handle) return nullptr;
  ::dlerror();
  void* address = ::dlsym(m_handle, name);
  if (!address) {
    const char* why = ::dlerror();
    m_error = why ? why : std::string(name) + ": not found";
  }
  return address;
}
