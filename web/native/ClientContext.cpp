// One accepted connection of the HTTP server.
#include "web/native/ClientContext.h"

#include <exception>

#include "app/Log.h"
#include "app/TextConv.h"
#include "web/native/Exception.h"

namespace native::http {

// The plain callbacks http-parser calls. No exception may cross the parser's C frames, so
// each one is caught here and turned into a parser error.
struct parser_callbacks {
  template <typename F>
  static int guarded(http_parser* parser, F&& body) {
    auto* context = static_cast<client_context*>(parser->data);
    try {
      return body(*context);
    } catch (const std::exception& e) {
      LogError(L"http request: " + AnsiToWide(e.what()));
      return -1;
    } catch (...) {
      LogError(L"http request: unknown failure");
      return -1;
    }
  }
  static int url(http_parser* p, const char* at, std::size_t n) {
    return guarded(p, [&](client_context& c) { return c.on_url(at, n); });
  }
  static int header_field(http_parser* p, const char* at, std::size_t n) {
    return guarded(p, [&](client_context& c) { return c.on_header_field(at, n); });
  }
  static int header_value(http_parser* p, const char* at, std::size_t n) {
    return guarded(p, [&](client_context& c) { return c.on_header_value(at, n); });
  }
  static int headers_complete(http_parser* p) {
    return guarded(p, [&](client_context& c) { return c.on_headers_complete(); });
  }
  static int message_complete(http_parser* p) {
    return guarded(p, [&](client_context& c) { return c.on_message_complete(); });
  }
  // The body is delivered but never stored: no route reads it, and it may be large.
  static int body(http_parser*, const char*, std::size_t) { return 0; }

  static http_parser_settings make() {
    http_parser_settings s{};
    s.on_url = &url;
    s.on_header_field = &header_field;
    s.on_header_value = &header_value;
    s.on_headers_complete = &headers_complete;
    s.on_body = &body;
    s.on_message_complete = &message_complete;
    return s;
  }
};

namespace {
const http_parser_settings kSettings = parser_callbacks::make();
}  // namespace

client_context::client_context(std::shared_ptr<net::tcp> socket, route_fn route, connection_limits limits)
    : m_socket(std::move(socket)),
      m_deadline(m_socket->loop()),
      m_limits(limits),
      m_started_at(uv_now(m_socket->loop())),
      m_route(std::move(route)) {
  http_parser_init(&m_parser, HTTP_REQUEST);
  m_parser.data = this;
}

client_context::~client_context() {
  m_deadline.close();
  m_socket->close();
}

void client_context::start(std::function<void(client_context*)> on_finished) {
  auto self = shared_from_this();
  m_on_finished = std::move(on_finished);
  m_response = std::make_unique<response>([this](std::string answer, std::unique_ptr<body_source> rest) {
    return write_answer(std::move(answer), std::move(rest));
  });
  std::weak_ptr<client_context> weak = weak_from_this();
  m_deadline.start(m_limits.idle_timeout_ms, [weak] {
    if (auto context = weak.lock()) context->on_deadline(L"idle connection closed");
  });
  int rc = m_socket->read_start([this](const char* data, ssize_t nread) { on_read(data, nread); });
  if (rc != 0) {
    LogError(L"http connection: cannot read: " + AnsiToWide(uv_strerror(rc)));
    finish();
  }
}

void client_context::on_first_bytes() {
  m_got_bytes = true;
  // The idle timeout gives way to the deadline of the whole request, counted from the accept.
  const std::uint64_t elapsed = uv_now(m_socket->loop()) - m_started_at;
  const std::uint64_t left = m_limits.request_deadline_ms > elapsed ? m_limits.request_deadline_ms - elapsed : 0;
  std::weak_ptr<client_context> weak = weak_from_this();
  m_deadline.start(left, [weak] {
    if (auto context = weak.lock()) context->on_deadline(L"request too slow, connection closed");
  });
}

void client_context::on_deadline(const wchar_t* what) {
  auto self = shared_from_this();
  if (m_finished || m_message_complete || m_response->ended()) return;
  LogError(std::wstring(L"http connection: ") + what);
  finish();
}


void client_context::abort() {
  m_on_finished = nullptr;
  finish();
}

void client_context::on_read(const char* data, ssize_t nread) {
  auto self = shared_from_this();  // the route or a failed write may finish the connection
  if (m_finished) return;
  if (nread < 0) {
    // The end of the peer's side after a whole request is a half-close: the answer still
    // goes out. Anything else ends the connection without an answer.
    if (nread == UV_EOF && m_message_complete) return;
    if (nread != UV_EOF)
      LogError(L"http connection: read failed: " + AnsiToWide(uv_strerror(static_cast<int>(nread))));
    finish();
    return;
  }
  if (m_message_complete || m_response->ended()) return;
  if (!m_got_bytes) on_first_bytes();
  http_parser_execute(&m_parser, &kSettings, data, static_cast<std::size_t>(nread));
  if (m_finished || m_message_complete || m_response->ended()) return;
  auto error = HTTP_PARSER_ERRNO(&m_parser);
  if (error != HPE_OK) {
    LogError(L"http request rejected: " + AnsiToWide(http_errno_name(error)));
    m_response->fail(400);
  }
}

bool client_context::write_answer(std::string answer, std::unique_ptr<body_source> rest) {
  if (m_finished) return false;
  if (answer.empty()) {
    finish();
    return false;
  }
  m_body = std::move(rest);
  // Each write holds the connection, and with it the body's current piece, until it completes.
  auto self = shared_from_this();
  int rc = m_socket->write(std::move(answer), [self](int status) { self->on_written(status); });
  if (rc != 0) {
    LogError(L"http connection: cannot write: " + AnsiToWide(uv_strerror(rc)));
    finish();
    return false;
  }
  return true;
}

void client_context::on_written(int status) {
  if (status < 0 && status != UV_ECANCELED) {
    LogError(L"http connection: write failed: " + AnsiToWide(uv_strerror(status)));
  }
  if (status < 0 || !m_body) {
    finish();
    return;
  }
  write_next_piece();
}

void client_context::write_next_piece() {
  if (m_finished) return;
  std::weak_ptr<client_context> weak = weak_from_this();
  m_body->next(m_socket->loop(), [weak](int status, std::string_view piece) {
    auto self = weak.lock();
    if (!self || self->m_finished) return;
    if (status < 0) {
      // The headers promised more: closing early tells the client the answer is incomplete.
      LogError(L"http connection: body cut short: " + AnsiToWide(uv_strerror(status)));
      self->finish();
      return;
    }
    if (piece.empty()) {
      self->finish();
      return;
    }
    int rc = self->m_socket->write_view(piece, [self](int written) { self->on_written(written); });
    if (rc != 0) {
      LogError(L"http connection: cannot write: " + AnsiToWide(uv_strerror(rc)));
      self->finish();
    }
  });
}

void client_context::finish() {
  if (m_finished) return;
  m_finished = true;
  m_deadline.stop();
  m_socket->close();
  auto done = std::move(m_on_finished);
  m_on_finished = nullptr;
  if (done) done(this);
}

int client_context::on_url(const char* at, std::size_t length) {
  // A URL split over several reads arrives in pieces; it is parsed whole once the headers end.
  m_url_text.append(at, length);
  return 0;
}

void client_context::store_pending_header() {
  if (!m_field.empty()) m_request.m_headers[m_field] = m_value;
}

int client_context::on_header_field(const char* at, std::size_t length) {
  if (m_last_was_value) {
    store_pending_header();
    m_field.clear();
    m_value.clear();
    m_last_was_value = false;
  }
  m_field.append(at, length);
  return 0;
}

int client_context::on_header_value(const char* at, std::size_t length) {
  if (!m_last_was_value) {
    m_value.clear();
    m_last_was_value = true;
  }
  m_value.append(at, length);
  return 0;
}

int client_context::on_headers_complete() {
  store_pending_header();
  m_request.m_local_port = m_socket->local_port();
  m_request.m_method = http_method_str(static_cast<http_method>(m_parser.method));
  m_response->set_head_only(m_parser.method == HTTP_HEAD);
  m_request.m_url = url_obj(m_url_text, m_parser.method == HTTP_CONNECT);  // throws url_parse_exception
  return 0;
}

int client_context::on_message_complete() {
  m_message_complete = true;
  m_deadline.stop();
  try {
    m_route(m_request, *m_response);
  } catch (const std::exception& e) {
    LogError(L"http route failed: " + AnsiToWide(e.what()));
    m_response->fail(500);
  } catch (...) {
    LogError(L"http route failed");
    m_response->fail(500);
  }
  // Stop the parser: a pipelined second request on this connection is not handled.
  return 1;
}

}  // namespace native::http
