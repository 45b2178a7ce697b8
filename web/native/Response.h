// The answer being built for one request. It is written in one piece by `end`, after which
// the server closes the connection.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "web/native/Headers.h"

namespace native::http {

// Status line, headers in map order, empty line and body. Throws response_exception when the
// status has no text.
std::string format_answer(int status, const header_map& headers, std::string_view body);

class response {
 public:
  // `writer` sends the finished answer (empty: drop the connection without one); it returns
  // false when the connection cannot take it.
  explicit response(std::function<bool(std::string answer)> writer);

  void set_status(int code) { m_status = code; }
  // Sets a header; a name differing only in letter case replaces the earlier value.
  void set_header(const std::string& name, const std::string& value);

  // Writes the answer with a text body, adding "Content-Length" when no header holds it.
  bool end(const std::string& body);
  // Writes the answer with a byte body; the caller sets "Content-Length" itself.
  bool end(const char* data, std::size_t length);
  // Answers `code` with its status text as a plain-text body, dropping the headers set so far.
  bool fail(int code);

  // True once an answer was handed to the connection (each response answers once).
  bool ended() const { return m_ended; }
  int status() const { return m_status; }

 private:
  bool send(std::string_view body, bool add_length);

  std::function<bool(std::string)> m_writer;
  int m_status = 200;
  header_map m_headers{{"Content-Type", "text/html"}};
  bool m_ended = false;
};

}  // namespace native::http
