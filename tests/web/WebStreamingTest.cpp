// A big file over the local web server: sent in pieces as the client takes them, so a slow
// reader neither holds the server's loop nor makes the server hold the file in memory.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <string>

#include "WebTestSupport.h"
#include "web/WebRouter.h"

namespace {

constexpr std::uint64_t kBigSize = std::uint64_t{200} << 20;
// Where the marks of the big file sit: across a megabyte boundary, one sendfile call's most.
constexpr std::uint64_t kPiece = 1 << 20;

// Resident memory of this process (server and client both live here), in KiB.
long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(4096, '\n');
  }
  return 0;
}

// A client socket with a small receive buffer, so that a pause in reading soon stops the sender.
class SlowReader {
 public:
  explicit SlowReader(int port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int small = 32 * 1024;
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    timeval guard{10, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~SlowReader() { ::close(m_fd); }
  bool connected() const { return m_connected; }
  bool Send(const std::string& text) {
    return ::send(m_fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  }
  // Reads up to `limit` bytes into `sink` piece by piece; false on a timeout or an error.
  template <typename Sink>
  bool Read(std::uint64_t limit, Sink&& sink) {
    char buffer[65536];
    while (limit > 0) {
      ssize_t n = ::recv(m_fd, buffer, std::min<std::uint64_t>(sizeof buffer, limit), 0);
      if (n <= 0) return false;
      sink(buffer, static_cast<std::size_t>(n));
      limit -= static_cast<std::uint64_t>(n);
    }
    return true;
  }
  // True when the server closed the connection with nothing more to read.
  bool AtEnd() {
    char byte;
    return ::recv(m_fd, &byte, 1, 0) == 0;
  }

 private:
  int m_fd = -1;
  bool m_connected = false;
};

TEST(WebStreaming, BigFileStreamsWhileOtherRequestsAreAnsweredAtOnce) {
  TempFolder root;
  root.Write("small.html", "<p>small</p>");
  // A sparse file costs neither disk nor page cache; a few marked bytes check that the pieces
  // arrive whole and in order, across a piece boundary and at the very end.
  const std::string bigPath = root.path() + "/big.bin";
  const std::map<std::uint64_t, char> marks = {
      {0, 'A'}, {kPiece - 1, 'B'}, {kPiece, 'C'}, {kBigSize / 2 + 12345, 'D'}, {kBigSize - 1, 'E'}};
  {
    int fd = ::open(bigPath.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kBigSize)), 0);
    for (const auto& [at, c] : marks) ASSERT_EQ(::pwrite(fd, &c, 1, static_cast<off_t>(at)), 1);
    ::close(fd);
  }
  WebRouter router(root.path());
  LoopServer server([&router](native::http::request& request, native::http::response& response) {
    router.Handle(request, response);
  });
  const long before = ResidentKiB();
  long peak = before;

  SlowReader big(server.port());
  ASSERT_TRUE(big.connected());
  ASSERT_TRUE(big.Send(GetRequest(server.port(), "/big.bin")));
  const std::string head =
      "HTTP/1.1 200 OK\r\nAccept-Ranges: bytes\r\nConnection: close\r\nContent-Length: " +
      std::to_string(kBigSize) + "\r\nContent-Type: text/plain\r\n\r\n";
  std::string received;
  ASSERT_TRUE(big.Read(head.size(), [&](const char* data, std::size_t n) { received.append(data, n); }));
  EXPECT_EQ(received, head);

  std::uint64_t offset = 0;
  std::map<std::uint64_t, char> seen;
  std::uint64_t nonZero = 0;
  auto check = [&](const char* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      if (data[i] != 0) {
        ++nonZero;
        seen[offset + i] = data[i];
      }
    }
    offset += n;
  };
  // The reader takes one megabyte and pauses: the server's writes back up behind it.
  ASSERT_TRUE(big.Read(1 << 20, check));

  // Meanwhile another request is answered at once, and nothing piles up in memory.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Talk(server.port(), {GetRequest(server.port(), "/small.html")}),
            FileAnswer("text/html", "<p>small</p>"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  peak = std::max(peak, ResidentKiB());

  // Then the rest, in steps, watching the memory as it flows.
  while (offset < kBigSize) {
    ASSERT_TRUE(big.Read(std::min<std::uint64_t>(kBigSize - offset, 16 << 20), check)) << "at " << offset;
    peak = std::max(peak, ResidentKiB());
  }
  EXPECT_TRUE(big.AtEnd());
  EXPECT_EQ(offset, kBigSize);
  EXPECT_EQ(seen, marks);
  EXPECT_EQ(nonZero, marks.size());
  EXPECT_LT(peak - before, 16 * 1024)
      << "resident memory grew from " << before << " KiB to " << peak << " KiB";
  EXPECT_TRUE(server.WaitForNoConnections());
}

TEST(WebStreaming, ClientGoneOrFileShrunkInTheMiddle) {
  TempFolder root;
  const std::string bigPath = root.path() + "/big.bin";
  auto makeBig = [&] {
    int fd = ::open(bigPath.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 64 << 20), 0);
    ::close(fd);
  };
  WebRouter router(root.path());
  LoopServer server([&router](native::http::request& request, native::http::response& response) {
    router.Handle(request, response);
  });

  makeBig();
  {
    // Closed with unread data waiting: the kernel resets the connection under the server's writes.
    SlowReader reader(server.port());
    ASSERT_TRUE(reader.Send(GetRequest(server.port(), "/big.bin")));
    ASSERT_TRUE(reader.Read(256 * 1024, [](const char*, std::size_t) {}));
  }
  EXPECT_TRUE(server.WaitForNoConnections());

  {
    // The file shrinks while it is sent: the answer cannot keep the length it announced, so
    // the connection ends short of it instead of hanging or padding.
    SlowReader reader(server.port());
    ASSERT_TRUE(reader.Send(GetRequest(server.port(), "/big.bin")));
    ASSERT_TRUE(reader.Read(256 * 1024, [](const char*, std::size_t) {}));
    ASSERT_EQ(::truncate(bigPath.c_str(), 1 << 20), 0);
    std::uint64_t rest = 0;
    EXPECT_FALSE(reader.Read(64 << 20, [&](const char*, std::size_t n) { rest += n; }));
    EXPECT_LT(256 * 1024 + rest, std::uint64_t{64} << 20);
  }
  EXPECT_TRUE(server.WaitForNoConnections());
  EXPECT_EQ(Talk(server.port(), {GetRequest(server.port(), "/")}),
            Answer(200, "text/plain", "This is the index!"));
}

}  // namespace
