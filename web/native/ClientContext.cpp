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

namespace {
// Bytes of a following request kept while the current one is answered; beyond this, reading
// pauses until the answer is out.
constexpr std::size_t kPendingLimit = 64 * 1024;
}  // namespace

void client_context::start(std::function<void(client_context*)> on_finished) {
  auto self = shared_from_this();
  m_on_finished = std::move(on_finished);
  m_socket->set_no_delay();
  new_response();
  watch_idle();
  start_reading();
}

void client_context::new_response() {
  m_response = std::make_unique<response>([this](std::string answer, std::optional<file_body> rest) {
    return write_answer(std::move(answer), std::move(rest));
  });
}

void client_context::start_reading() {
  int rc = m_socket->read_start([this](const char* data, ssize_t nread) { on_read(data, nread); });
  if (rc != 0) {
    LogError(L"http connection: cannot read: " + AnsiToWide(uv_strerror(rc)));
    finish();
    return;
  }
  m_reading = true;
}

void client_context::watch_idle() {
  std::weak_ptr<client_context> weak = weak_from_this();
  m_deadline.start(m_limits.idle_timeout_ms, [weak] {
    if (auto context = weak.lock()) context->on_deadline(L"idle connection closed");
  });
}

void client_context::on_first_bytes() {
  m_got_bytes = true;
  // The idle timeout gives way to the deadline of the whole request, counted from the accept
  // or from the end of the previous answer.
  const std::uint64_t elapsed = uv_now(m_socket->loop()) - m_started_at;
  const std::uint64_t left =
      m_limits.request_deadline_ms > elapsed ? m_limits.request_deadline_ms - elapsed : 0;
  std::weak_ptr<client_context> weak = weak_from_this();
  m_deadline.start(left, [weak] {
    if (auto context = weak.lock()) context->on_deadline(L"request too slow, connection closed");
  });
}

void client_context::on_deadline(const wchar_t* what) {
  auto self = shared_from_this();
  if (m_finished || m_message_complete || m_response->ended()) return;
  // A connection kept open that simply stays unused is closed without a log line.
  if (m_got_bytes || m_request_count == 0) LogError(std::wstring(L"http connection: ") + what);
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
    if (nread == UV_EOF) {
      // The end of the peer's side after a whole request is a half-close: the answer still
      // goes out, and the connection closes after it.
      m_peer_ended = true;
      if (m_message_complete) return;
    } else {
      LogError(L"http connection: read failed: " + AnsiToWide(uv_strerror(static_cast<int>(nread))));
    }
    finish();
    return;
  }
  if (m_message_complete) {
    // The next request, sent before this answer is out (pipelining), waits its turn.
    if (m_after != connection_after::close) m_pending.append(data, static_cast<std::size_t>(nread));
    if (m_pending.size() >= kPendingLimit && m_reading) {
      m_socket->read_stop();
      m_reading = false;
    }
    return;
  }
  if (m_response->ended()) return;
  parse(data, static_cast<std::size_t>(nread));
}

void client_context::parse(const char* data, std::size_t length) {
  if (!m_got_bytes) on_first_bytes();
  const std::size_t parsed = http_parser_execute(&m_parser, &kSettings, data, length);
  if (m_finished) return;
  if (m_message_complete) {
    m_pending.assign(data + parsed, length - parsed);
    answer_request();
    return;
  }
  if (m_response->ended()) return;
  auto error = HTTP_PARSER_ERRNO(&m_parser);
  if (error != HPE_OK) {
    // The parser cannot find where the next request would begin: the connection ends.
    LogError(L"http request rejected: " + AnsiToWide(http_errno_name(error)));
    m_after = connection_after::close;
    m_response->set_connection(m_after);
    m_response->fail(400);
  }
}

void client_context::answer_request() {
  m_deadline.stop();
  ++m_request_count;
  m_response->set_connection(m_after);
  try {
    m_route(m_request, *m_response);
  } catch (const std::exception& e) {
    LogError(L"http route failed: " + AnsiToWide(e.what()));
    m_response->fail(500);
  } catch (...) {
    LogError(L"http route failed");
    m_response->fail(500);
  }
}

bool client_context::write_answer(std::string answer, std::optional<file_body> body) {
  if (m_finished) return false;
  if (answer.empty()) {
    finish();
    return false;
  }
  m_after = m_response->connection();
  m_body = std::move(body);
  if (m_body) m_socket->set_cork(true);
  // Each write holds the connection until it completes.
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
  if (m_finished) return;
  if (status < 0) {
    if (status != UV_ECANCELED)
      LogError(L"http connection: write failed: " + AnsiToWide(uv_strerror(status)));
    finish();
    return;
  }
  if (m_body) {
    send_body();
    return;
  }
  on_answer_sent();
}

void client_context::send_body() {
  const int fd = m_socket->fileno();
  if (fd < 0) {
    finish();
    return;
  }
  m_sender = std::make_unique<base::file_sender>(m_socket->loop(), fd, std::move(*m_body));
  m_body.reset();
  std::weak_ptr<client_context> weak = weak_from_this();
  m_sender->start([weak](int status) {
    auto self = weak.lock();
    if (!self || self->m_finished) return;
    if (status < 0) {
      // The headers promised more: closing early tells the client the answer is incomplete.
      LogError(L"http connection: body cut short: " + AnsiToWide(uv_strerror(status)));
      self->finish();
      return;
    }
    self->m_socket->set_cork(false);
    self->on_answer_sent();
  });
}

void client_context::on_answer_sent() {
  m_sender.reset();
  if (m_after == connection_after::close || (m_peer_ended && m_pending.empty())) {
    finish();
    return;
  }
  next_request();
}

// Makes the connection ready for its next request and parses what of it has arrived already.
void client_context::next_request() {
  m_request = request{};
  new_response();
  http_parser_init(&m_parser, HTTP_REQUEST);
  m_parser.data = this;
  m_url_text.clear();
  m_field.clear();
  m_value.clear();
  m_last_was_value = true;
  m_message_complete = false;
  m_got_bytes = false;
  m_started_at = uv_now(m_socket->loop());
  watch_idle();
  if (!m_reading) {
    start_reading();
    if (m_finished) return;
  }
  if (!m_pending.empty()) {
    const std::string waiting = std::move(m_pending);
    m_pending.clear();
    parse(waiting.data(), waiting.size());
  }
  // A peer that ended its side cannot complete a request it has not sent whole.
  if (m_peer_ended && !m_finished && !m_message_complete && !m_response->ended()) finish();
}

void client_context::finish() {
  if (m_finished) return;
  m_finished = true;
  m_deadline.stop();
  m_sender.reset();  // its duplicate of the socket's descriptor would keep the connection up
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
  // An upgrade or CONNECT would turn the connection into something else: it closes after the
  // answer, as do HTTP/1.0 connections without keep-alive and those the client asks to close.
  if (m_parser.upgrade || !http_should_keep_alive(&m_parser)) {
    m_after = connection_after::close;
  } else {
    m_after = m_parser.http_minor == 0 && m_parser.http_major == 1 ? connection_after::keep_open_announced
                                                                   : connection_after::keep_open;
  }
  if (m_local_port < 0) m_local_port = m_socket->local_port();
  m_request.m_local_port = m_local_port;
  m_request.m_method = http_method_str(static_cast<http_method>(m_parser.method));
  m_response->set_head_only(m_parser.method == HTTP_HEAD);
  m_request.m_url = url_obj(m_url_text, m_parser.method == HTTP_CONNECT);  // throws url_parse_exception
  return 0;
}

int client_context::on_message_complete() {
  // The parser stops here; the route runs once it has returned, and what follows the request
  // is kept for the next one.
  m_message_complete = true;
  http_parser_pause(&m_parser, 1);
  return 0;
}

}  // namespace native::http
