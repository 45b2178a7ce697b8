// The exceptions of the HTTP layer. They never leave a libuv or http-parser callback: the
// connection code catches them and answers or drops the connection instead.
#pragma once

#include <stdexcept>
#include <string>

namespace native {

class exception : public std::runtime_error {
 public:
  explicit exception(const std::string& message) : std::runtime_error(message) {}
};

namespace http {

class url_parse_exception : public exception {
 public:
  url_parse_exception() : exception("Failed to parse URL.") {}
};

class response_exception : public exception {
 public:
  response_exception() : exception("Not supported status code.") {}
};

}  // namespace http
}  // namespace native
