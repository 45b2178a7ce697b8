// The answer being built for one request. `end` writes it in one piece, or its head and then
// a file body. The answer says "Connection: close" when the connection ends after it, and
// "Connection: keep-alive" to an HTTP/1.0 client whose connection stays open. The answer to a
// HEAD request carries the same status line and headers and no body.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "web/native/FileBody.h"
#include "web/native/Headers.h"

namespace native::http {

// Status line, headers in map order, empty line and body. Throws response_exception when the
// status has no text.
std::string format_answer(int status, const header_map& headers, std::string_view body);

// What happens to the connection after the answer, as the answer announces it.
enum class connection_after {
  keep_open,            // HTTP/1.1: open unless said otherwise, no header
  keep_open_announced,  // an HTTP/1.0 client asked for keep-alive: "Connection: keep-alive"
  close,                // "Connection: close"
};

class response {
 public:
  // `writer` sends the finished answer (empty: drop the connection without one), followed by
  // `rest` when there is one; it returns false when the connection cannot take it.
  using writer_fn = std::function<bool(std::string answer, std::optional<file_body> rest)>;
  explicit response(writer_fn writer);

  // The answer goes to a HEAD request: headers as for GET, no body.
  void set_head_only(bool head_only) { m_head_only = head_only; }
  void set_connection(connection_after after) { m_connection = after; }
  connection_after connection() const { return m_connection; }

  void set_status(int code) { m_status = code; }
  // Sets a header; a name differing only in letter case replaces the earlier value.
  void set_header(const std::string& name, const std::string& value);

  // Writes the answer with a text body, adding "Content-Length" when no header holds it.
  bool end(const std::string& body);
  // Writes the answer with a byte body; the caller sets "Content-Length" itself.
  bool end(const char* data, std::size_t length);
  // Writes the status line and headers, then `body`; the caller sets "Content-Length" itself.
  bool end(file_body body);
  // Answers `code` with its status text as a plain-text body, dropping the headers set so far.
  bool fail(int code);

  // True once an answer was handed to the connection (each response answers once).
  bool ended() const { return m_ended; }
  int status() const { return m_status; }

 private:
  bool send(std::string_view body, bool add_length, std::optional<file_body> rest = std::nullopt);

  writer_fn m_writer;
  int m_status = 200;
  header_map m_headers{{"Content-Type", "text/html"}};
  bool m_ended = false;
  bool m_head_only = false;
  connection_after m_connection = connection_after::close;
};

}  // namespace native::http
