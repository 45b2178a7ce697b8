// Connections of the local web server that carry more than one request: keep-alive, pipelined
// requests, the "Connection: close" said before every close, and byte ranges of files.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "WebTestSupport.h"
#include "web/WebRouter.h"

namespace {

// A file larger than the whole-file limit (sent by sendfile) with bytes that tell their offset.
std::string Patterned(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
  return bytes;
}

// One client connection that reads answers one at a time, framed by their Content-Length.
class Connection {
 public:
  explicit Connection(int port) : m_fd(ConnectLoopback(port)) {}
  ~Connection() {
    if (m_fd >= 0) ::close(m_fd);
  }
  bool connected() const { return m_fd >= 0; }
  bool Send(const std::string& text) {
    return ::send(m_fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  }
  // The next whole answer (head and body), or what arrived before the connection ended. A HEAD
  // answer has no body whatever its length says.
  std::string ReadAnswer(bool head = false) {
    std::size_t end;
    while ((end = m_buffered.find("\r\n\r\n")) == std::string::npos) {
      if (!Fill()) return Take(m_buffered.size());
    }
    std::size_t total = end + 4;
    const std::size_t length = m_buffered.find("\r\nContent-Length: ");
    if (!head && length != std::string::npos && length < end)
      total += std::strtoull(m_buffered.c_str() + length + 18, nullptr, 10);
    while (m_buffered.size() < total) {
      if (!Fill()) return Take(m_buffered.size());
    }
    return Take(total);
  }
  // True when the server has closed the connection with nothing more to read.
  bool ClosedByServer() { return m_buffered.empty() && !Fill() && m_eof; }

 private:
  bool Fill() {
    char buffer[65536];
    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (n > 0) m_buffered.append(buffer, static_cast<std::size_t>(n));
    m_eof = n == 0;
    return n > 0;
  }
  std::string Take(std::size_t n) {
    std::string taken = m_buffered.substr(0, n);
    m_buffered.erase(0, n);
    return taken;
  }

  int m_fd;
  std::string m_buffered;
  bool m_eof = false;
};

class WebConnectionTest : public ::testing::Test {
 protected:
  WebConnectionTest() {
    m_root.Write("small.html", "<p>small</p>");
    m_root.Write("big.bin", Patterned(kBigSize));
  }
  // A request with the Host this server admits, an HTTP version and further header lines.
  std::string Request(const std::string& target, const std::string& version = "HTTP/1.1",
                      const std::string& headers = {}, const std::string& method = "GET") const {
    return method + " " + target + " " + version + "\r\nHost: 127.0.0.1:" + std::to_string(m_server.port()) +
           "\r\n" + headers + "\r\n";
  }
  // An answer with the file's bytes on a connection that stays open.
  static std::string Kept(const std::string& type, const std::string& body) {
    return "HTTP/1.1 200 OK\r\nAccept-Ranges: bytes\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nContent-Type: " + type + "\r\n\r\n" + body;
  }

  static constexpr std::size_t kBigSize = 3 * WebRouter::kWholeFileLimit + 11;
  TempFolder m_root;
  WebRouter m_router{m_root.path()};
  LoopServer m_server{[this](native::http::request& request, native::http::response& response) {
    m_router.Handle(request, response);
  }};
};

TEST_F(WebConnectionTest, KeepAliveCarriesSeveralRequestsAndPipelinedOnesInOrder) {
  const std::string small = Kept("text/html", "<p>small</p>");
  const std::string big = Kept("text/plain", Patterned(kBigSize));
  Connection connection(m_server.port());
  ASSERT_TRUE(connection.connected());

  // One after the other, a body in memory and one sent from the file.
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(connection.Send(Request("/small.html")));
    EXPECT_EQ(connection.ReadAnswer(), small);
    ASSERT_TRUE(connection.Send(Request("/big.bin")));
    EXPECT_EQ(connection.ReadAnswer(), big);
  }
  // Three at once, the last one split from the others in the middle of its headers.
  const std::string third = Request("/big.bin", "HTTP/1.1", {}, "HEAD");
  ASSERT_TRUE(connection.Send(Request("/big.bin") + Request("/small.html") + third.substr(0, 20)));
  ASSERT_TRUE(connection.Send(third.substr(20)));
  EXPECT_EQ(connection.ReadAnswer(), big);
  EXPECT_EQ(connection.ReadAnswer(), small);
  EXPECT_EQ(connection.ReadAnswer(true), big.substr(0, big.find("\r\n\r\n") + 4));
  // A request that asks to close gets its answer, saying so, and then the close.
  ASSERT_TRUE(connection.Send(Request("/small.html", "HTTP/1.1", "Connection: close\r\n")));
  EXPECT_EQ(connection.ReadAnswer(), FileAnswer("text/html", "<p>small</p>"));
  EXPECT_TRUE(connection.ClosedByServer());
  EXPECT_TRUE(m_server.WaitForNoConnections());
}

TEST_F(WebConnectionTest, EveryCloseIsAnnouncedAndEveryKeptConnectionStaysUsable) {
  struct ConnectionCase {
    std::string name;
    std::string request;
    std::string connectionHeader;  // as answered; empty when the answer has none
    bool closes;
  };
  const std::vector<ConnectionCase> cases = {
      {"HTTP/1.1 stays open", Request("/small.html"), "", false},
      {"HTTP/1.1 asking to close", Request("/small.html", "HTTP/1.1", "Connection: close\r\n"), "close",
       true},
      {"close in any letter case", Request("/small.html", "HTTP/1.1", "connection: CLOSE\r\n"), "close",
       true},
      {"HTTP/1.0 closes", Request("/small.html", "HTTP/1.0"), "close", true},
      {"HTTP/1.0 with keep-alive stays open",
       Request("/small.html", "HTTP/1.0", "Connection: keep-alive\r\n"), "keep-alive", false},
      {"a file sent from disk, HTTP/1.0", Request("/big.bin", "HTTP/1.0"), "close", true},
      {"missing file, still open", Request("/none.js"), "", false},
      {"another host, still open", "GET / HTTP/1.1\r\nHost: elsewhere.example\r\n\r\n", "", false},
      {"unparsable request", "GET / HTTP/1.1\r\nBad\x01Header: 1\r\n\r\n", "close", true},
      {"upgrade request", Request("/small.html", "HTTP/1.1", "Connection: Upgrade\r\nUpgrade: other\r\n"),
       "close", true},
  };
  for (const ConnectionCase& c : cases) {
    SCOPED_TRACE(c.name);
    Connection connection(m_server.port());
    ASSERT_TRUE(connection.Send(c.request));
    const std::string answer = connection.ReadAnswer();
    const std::string head = answer.substr(0, answer.find("\r\n\r\n") + 2);
    const std::size_t at = head.find("\r\nConnection: ");
    EXPECT_EQ(at == std::string::npos ? "" : head.substr(at + 14, head.find("\r\n", at + 2) - at - 14),
              c.connectionHeader)
        << head;
    if (c.closes) {
      EXPECT_TRUE(connection.ClosedByServer());
    } else {
      // The same connection answers the next request.
      ASSERT_TRUE(connection.Send(Request("/", "HTTP/1.1", "Connection: close\r\n")));
      EXPECT_EQ(connection.ReadAnswer(), Answer(200, "text/plain", "This is the index!"));
    }
  }
  EXPECT_TRUE(m_server.WaitForNoConnections());
}

TEST_F(WebConnectionTest, AnAnswerWithoutALengthClosesTheConnection) {
  LoopServer server([](native::http::request&, native::http::response& response) { response.end("ab", 2); });
  // Read until the server closes, which must come without a guard timeout.
  EXPECT_EQ(Talk(server.port(), {"GET / HTTP/1.1\r\n\r\n"}),
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html\r\n\r\nab");
  EXPECT_TRUE(server.WaitForNoConnections());
}

TEST_F(WebConnectionTest, AKeptConnectionLeftUnusedIsClosedAfterTheIdleTimeout) {
  native::http::connection_limits limits;
  limits.idle_timeout_ms = 200;
  LoopServer server([this](native::http::request& request,
                           native::http::response& response) { m_router.Handle(request, response); },
                    limits);
  Connection connection(server.port());
  ASSERT_TRUE(connection.Send("GET /small.html HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                              "\r\n\r\n"));
  EXPECT_EQ(connection.ReadAnswer(), Kept("text/html", "<p>small</p>"));
  EXPECT_TRUE(connection.ClosedByServer());  // the read's own guard is five seconds
  EXPECT_TRUE(server.WaitForNoConnections());
}

TEST_F(WebConnectionTest, ByteRangesOfSmallAndLargeFiles) {
  const std::string big = Patterned(kBigSize);
  const std::string size = std::to_string(kBigSize);
  const std::string sent = std::to_string(WebRouter::kWholeFileLimit + 100);
  struct RangeCase {
    std::string name;
    std::string target;
    std::string headers;
    int status;
    std::string contentRange;  // empty when the answer has none
    std::string body;
  };
  const std::vector<RangeCase> cases = {
      {"first bytes of a small file", "/small.html", "Range: bytes=0-2\r\n", 206, "bytes 0-2/12", "<p>"},
      {"suffix of a small file", "/small.html", "Range: bytes=-4\r\n", 206, "bytes 8-11/12", "</p>"},
      {"end past the file is cut", "/small.html", "Range: bytes=9-99\r\n", 206, "bytes 9-11/12", "/p>"},
      {"inside a large file, in memory", "/big.bin", "Range: bytes=1000-1999\r\n", 206,
       "bytes 1000-1999/" + size, big.substr(1000, 1000)},
      {"a large part, from the file", "/big.bin", "Range: bytes=5-" + sent + "\r\n", 206,
       "bytes 5-" + sent + "/" + size, big.substr(5, WebRouter::kWholeFileLimit + 96)},
      {"open end, from the file", "/big.bin", "Range: bytes=7-\r\n", 206,
       "bytes 7-" + std::to_string(kBigSize - 1) + "/" + size, big.substr(7)},
      {"suffix longer than the file takes it whole", "/small.html", "Range: bytes=-100\r\n", 206,
       "bytes 0-11/12", "<p>small</p>"},
      {"start past the end", "/small.html", "Range: bytes=12-\r\n", 416, "bytes */12",
       "Requested Range Not Satisfiable"},
      {"empty suffix", "/small.html", "Range: bytes=-0\r\n", 416, "bytes */12",
       "Requested Range Not Satisfiable"},
      {"several ranges: the whole file", "/small.html", "Range: bytes=0-1,4-5\r\n", 200, "", "<p>small</p>"},
      {"end before start: the whole file", "/small.html", "Range: bytes=5-2\r\n", 200, "", "<p>small</p>"},
      {"another unit: the whole file", "/small.html", "Range: lines=0-1\r\n", 200, "", "<p>small</p>"},
      {"numbers too large: the whole file", "/small.html", "Range: bytes=0-99999999999999999999999\r\n", 200,
       "", "<p>small</p>"},
      {"conditional range: the whole file", "/small.html", "Range: bytes=0-2\r\nIf-Range: \"x\"\r\n", 200, "",
       "<p>small</p>"},
  };
  Connection connection(m_server.port());
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(connection.Send(Request(c.target, "HTTP/1.1", c.headers)));
    const std::string answer = connection.ReadAnswer();
    const std::size_t headEnd = answer.find("\r\n\r\n");
    ASSERT_NE(headEnd, std::string::npos) << answer;
    const std::string head = answer.substr(0, headEnd + 2);
    EXPECT_EQ(head.substr(9, 3), std::to_string(c.status));
    const std::size_t at = head.find("\r\nContent-Range: ");
    EXPECT_EQ(at == std::string::npos ? "" : head.substr(at + 17, head.find("\r\n", at + 2) - at - 17),
              c.contentRange);
    EXPECT_NE(head.find("\r\nContent-Length: " + std::to_string(c.body.size()) + "\r\n"), std::string::npos);
    EXPECT_TRUE(answer.compare(headEnd + 4, std::string::npos, c.body) == 0) << "body differs";
  }
}

}  // namespace
