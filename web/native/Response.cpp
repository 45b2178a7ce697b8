// The answer being built for one request.
#include "web/native/Response.h"

#include <new>

#include "app/Log.h"
#include "app/TextConv.h"
#include "web/native/Exception.h"
#include "web/native/StatusText.h"

namespace native::http {

namespace {
constexpr std::string_view kInternalError =
    "HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\nContent-Length: 21\r\nContent-Type: "
    "text/plain\r\n\r\n"
    "Internal Server Error";
}  // namespace

std::string format_answer(int status, const header_map& headers, std::string_view body) {
  const char* text = status_text(status);
  std::string answer;
  std::size_t size = 32 + body.size();
  for (const auto& [name, value] : headers) size += name.size() + value.size() + 4;
  answer.reserve(size);
  answer.append("HTTP/1.1 ").append(std::to_string(status)).append(" ").append(text).append("\r\n");
  for (const auto& [name, value] : headers) answer.append(name).append(": ").append(value).append("\r\n");
  answer.append("\r\n").append(body);
  return answer;
}

response::response(writer_fn writer) : m_writer(std::move(writer)) {}

void response::set_header(const std::string& name, const std::string& value) {
  auto it = m_headers.find(name);
  if (it != m_headers.end()) {
    it->second = value;
  } else {
    m_headers.emplace(name, value);
  }
}

bool response::end(const std::string& body) { return send(body, true); }

bool response::end(const char* data, std::size_t length) {
  return send(std::string_view(data, length), false);
}

bool response::end(file_body body) { return send({}, false, std::move(body)); }

bool response::fail(int code) {
  if (m_ended) return false;
  m_status = code;
  m_headers.clear();
  m_headers.emplace("Content-Type", "text/plain");
  return send(status_text(code), true);
}

bool response::send(std::string_view body, bool add_length, std::optional<file_body> rest) {
  if (m_ended) return false;
  std::string answer;
  bool ok = false;
  try {
    if (add_length && m_headers.find("Content-Length") == m_headers.end()) {
      m_headers.emplace("Content-Length", std::to_string(body.size()));
    }
    // Without a length only the end of the connection tells the client where the body ends.
    if (m_headers.find("Content-Length") == m_headers.end()) m_connection = connection_after::close;
    if (m_connection == connection_after::close) {
      set_header("Connection", "close");
    } else if (m_connection == connection_after::keep_open_announced) {
      set_header("Connection", "keep-alive");
    }
    if (m_head_only) {
      body = {};
      rest.reset();
    }
    answer = format_answer(m_status, m_headers, body);
    ok = true;
  } catch (const response_exception& e) {
    LogError(L"http answer with status " + std::to_wstring(m_status) + L": " + AnsiToWide(e.what()));
  } catch (const std::bad_alloc&) {
    LogError(L"http answer of " + std::to_wstring(body.size()) + L" bytes: out of memory");
  }
  if (!ok) {
    // The route's answer cannot be given; the client still learns that the request failed.
    // Should even this small text not fit in memory, the empty answer drops the connection.
    // The connection closes after it, whatever the request asked.
    rest.reset();
    m_connection = connection_after::close;
    try {
      answer = m_head_only ? kInternalError.substr(0, kInternalError.find("\r\n\r\n") + 4) : kInternalError;
    } catch (const std::bad_alloc&) {
      answer.clear();
    }
  }
  m_ended = true;
  return m_writer(std::move(answer), std::move(rest)) && ok;
}

}  // namespace native::http
