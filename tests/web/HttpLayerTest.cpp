// The HTTP layer with routes of its own: answer format, header maps, request parsing, and
// routes that fail.
#include <gtest/gtest.h>

#include <stdexcept>

#include "WebTestSupport.h"
#include "support/Waiting.h"
#include "web/native/Exception.h"
#include "web/native/StatusText.h"
#include "web/native/Url.h"

namespace {

using native::http::request;
using native::http::response;

TEST(HttpLayer, AnswerFormatFromTheRoute) {
  struct RouteCase {
    std::string name;
    native::http::route_fn route;
    std::string expected;
  };
  std::vector<RouteCase> cases = {
      {"one-byte text body with the default headers", [](request&, response& res) { res.end("x"); },
       "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\nContent-Type: text/html\r\n\r\nx"},
      {"content type set in other letter case replaces the default",
       [](request&, response& res) {
         res.set_header("content-type", "text/css");
         res.end("");
       },
       "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 0\r\nContent-Type: text/css\r\n\r\n"},
      {"a length set by the route is kept",
       [](request&, response& res) {
         res.set_header("CONTENT-LENGTH", "2");
         res.end(std::string("ab"));
       },
       "HTTP/1.1 200 OK\r\nConnection: close\r\nCONTENT-LENGTH: 2\r\nContent-Type: text/html\r\n\r\nab"},
      {"byte body adds no length",
       [](request&, response& res) {
         res.set_status(201);
         res.end("a\0b", 3);
       },
       "HTTP/1.1 201 Created\r\nConnection: close\r\nContent-Type: text/html\r\n\r\n" +
           std::string("a\0b", 3)},
      {"headers in case-insensitive order",
       [](request&, response& res) {
         res.set_header("x-b", "2");
         res.set_header("X-A", "1");
         res.end("");
       },
       "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 0\r\nContent-Type: text/html\r\nX-A: "
       "1\r\nx-b: 2\r\n\r\n"},
      {"status without a text answers 500",
       [](request&, response& res) {
         res.set_status(306);
         res.end("unused");
       },
       Answer(500, "text/plain", "Internal Server Error")},
      {"a route that throws answers 500", [](request&, response&) { throw std::runtime_error("route bug"); },
       Answer(500, "text/plain", "Internal Server Error")},
      {"a second end is ignored",
       [](request&, response& res) {
         EXPECT_TRUE(res.end("first"));
         EXPECT_FALSE(res.end("second"));
       },
       Answer(200, "text/html", "first")},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    LoopServer server(c.route);
    EXPECT_EQ(Talk(server.port(), {"GET / HTTP/1.1\r\nConnection: close\r\n\r\n"}), c.expected);
    EXPECT_TRUE(server.WaitForNoConnections());
  }
}

TEST(HttpLayer, RequestAsTheRouteSeesIt) {
  LoopServer server([](request& req, response& res) {
    res.end(req.method() + "|" + req.url().path() + "|" + req.url().query() + "|" + req.get_header("x-test") +
            "|" + req.get_header("Host") + "|" + std::to_string(req.headers().size()));
  });
  struct Parsed {
    std::string name;
    std::vector<std::string> pieces;
    std::string body;
  };
  std::vector<Parsed> cases = {
      {"path and query", {"GET /a/b.js?v=2&w=3 HTTP/1.0\r\nHost: h\r\n\r\n"}, "GET|/a/b.js|v=2&w=3||h|1"},
      {"header names in any letter case", {"PUT /p HTTP/1.0\r\nX-TEST: v\r\n\r\n"}, "PUT|/p||v||1"},
      {"a repeated header keeps its last value",
       {"GET / HTTP/1.0\r\nx-test: 1\r\nX-Test: 2\r\n\r\n"},
       "GET|/||2||1"},
      {"field and value split across reads",
       {"GET / HTTP/1.0\r\nX-Te", "st: ab", "c\r\nHost: h\r\n\r\n"},
       "GET|/||abc|h|2"},
      {"folded header value", {"GET / HTTP/1.0\r\nX-Test: a\r\n b\r\n\r\n"}, "GET|/||a b||1"},
      {"no path in an absolute URL", {"GET http://h HTTP/1.0\r\n\r\n"}, "GET|/||||0"},
      {"CONNECT target", {"CONNECT h:443 HTTP/1.0\r\n\r\n"}, "CONNECT|/||||0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string answer = Talk(server.port(), c.pieces);
    EXPECT_EQ(answer.substr(answer.find("\r\n\r\n") + 4), c.body);
  }
  EXPECT_TRUE(server.WaitForNoConnections());
}

TEST(HttpLayer, UrlAndStatusTextFailures) {
  EXPECT_THROW(native::http::url_obj("http://a:99999/"), native::http::url_parse_exception);
  EXPECT_THROW(native::http::url_obj(""), native::http::url_parse_exception);
  EXPECT_EQ(native::http::url_obj("/?q").path(), "/");
  for (int code : {0, 199, 306, 418, 600})
    EXPECT_THROW(native::http::status_text(code), native::http::response_exception) << code;
  EXPECT_STREQ(native::http::status_text(416), "Requested Range Not Satisfiable");
}

TEST(HttpLayer, ClosingTheServerDropsOpenConnections) {
  // A route that never answers keeps its connection; closing the server must still free it.
  auto server = std::make_unique<LoopServer>([](request&, response&) {});
  std::thread client([port = server->port()] { Talk(port, {"GET / HTTP/1.1\r\n\r\n"}); });
  EXPECT_TRUE(WaitUntil([&] { return server->OpenConnections() > 0; }));
  server.reset();  // asserts in its loop thread that no handle was left open
  client.join();
}

}  // namespace
