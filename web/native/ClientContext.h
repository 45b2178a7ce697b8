// One accepted connection: feeds what it reads to http-parser, hands each complete request to
// the route function and writes its answer, one request after the other. The connection stays
// open for the next request unless the client said otherwise (HTTP/1.0 without keep-alive,
// "Connection: close"), the request could not be parsed, or the answer failed; the answer
// before a close says "Connection: close". A request that arrives while the previous one is
// answered waits, and reading pauses once too much of it is waiting. A file body goes out by
// sendfile as the socket takes it. A connection that stays silent, or whose request is not
// whole by a deadline, is closed.
#pragma once

#include <http_parser.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "web/native/Admission.h"
#include "web/native/FileSender.h"
#include "web/native/Request.h"
#include "web/native/Response.h"
#include "web/native/Tcp.h"
#include "web/native/Timer.h"

namespace native::http {

using route_fn = std::function<void(request&, response&)>;

class client_context : public std::enable_shared_from_this<client_context> {
 public:
  client_context(std::shared_ptr<net::tcp> socket, route_fn route, connection_limits limits = {});
  ~client_context();
  client_context(const client_context&) = delete;
  client_context& operator=(const client_context&) = delete;

  // Starts reading. `on_finished` runs once, when the connection has been closed.
  void start(std::function<void(client_context*)> on_finished);
  // Closes the connection at once without calling `on_finished`.
  void abort();
  // True until the whole request has arrived, and again between requests.
  bool waiting_for_request() const { return !m_message_complete && !m_finished; }
  // The loop time of the accept or of the end of the previous answer, in milliseconds.
  std::uint64_t started_at() const { return m_started_at; }

 private:
  friend struct parser_callbacks;

  void new_response();
  void start_reading();
  void on_read(const char* data, ssize_t nread);
  void parse(const char* data, std::size_t length);
  void answer_request();
  bool write_answer(std::string answer, std::optional<file_body> body);
  void on_written(int status);
  void send_body();
  void on_answer_sent();
  void next_request();
  void finish();
  void watch_idle();
  void on_first_bytes();
  void on_deadline(const wchar_t* what);

  int on_url(const char* at, std::size_t length);
  int on_header_field(const char* at, std::size_t length);
  int on_header_value(const char* at, std::size_t length);
  int on_headers_complete();
  int on_message_complete();
  void store_pending_header();

  http_parser m_parser{};
  std::shared_ptr<net::tcp> m_socket;
  base::timer m_deadline;
  connection_limits m_limits;
  std::uint64_t m_started_at = 0;
  bool m_got_bytes = false;
  route_fn m_route;
  request m_request;
  std::unique_ptr<response> m_response;
  std::optional<file_body> m_body;
  std::unique_ptr<base::file_sender> m_sender;
  std::function<void(client_context*)> m_on_finished;
  std::string m_pending;  // bytes of the next request, received while this one is answered
  bool m_reading = false;
  bool m_peer_ended = false;
  std::uint64_t m_request_count = 0;
  int m_local_port = -1;  // asked of the socket once, at the first request
  connection_after m_after = connection_after::close;

  std::string m_url_text;
  std::string m_field;
  std::string m_value;
  bool m_last_was_value = true;
  bool m_message_complete = false;
  bool m_finished = false;
};

}  // namespace native::http
