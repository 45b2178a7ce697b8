// Feeds arbitrary bytes to the local web server's request handling: each input goes through
// a connected socket pair into the same connection code the listening server uses, in
// pieces whose size the first byte picks, then the sending side is closed. Each answer must
// be well formed, its length must match, and a file answer must come from the content folder.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "web/WebRouter.h"
#include "web/native/Http.h"

namespace {

constexpr std::string_view kSecret = "TOP-SECRET-OUTSIDE";

struct Fixture {
  Fixture() {
    char pattern[] = "/tmp/tavo-fuzz-XXXXXX";
    root = ::mkdtemp(pattern);
    const std::filesystem::path folder = root / "htmllocal";
    std::filesystem::create_directories(folder / "a");
    std::ofstream(root / "secret.txt") << kSecret;
    std::ofstream(folder / "index.html") << "<p>index</p>";
    std::ofstream(folder / "a" / "b.css") << "b{}";
    router = std::make_unique<WebRouter>(folder.string());
    uv_loop_init(&loop);
    server = std::make_unique<native::http::http>(&loop);
  }
  std::filesystem::path root;
  std::unique_ptr<WebRouter> router;
  uv_loop_t loop{};
  std::unique_ptr<native::http::http> server;
};

Fixture& Get() {
  static Fixture* fixture = new Fixture;  // lives for the whole run
  return *fixture;
}

// Checks the answers of one connection, one after the other; none at all (connection dropped)
// is fine. Each must be well formed with a body of its declared length; the answer to a HEAD
// request announces a length and carries no body, so an answer followed at once by the next
// one, or by the end, may have none (no file of the fixture starts like an answer). A file
// answer, whole or a range of it, is one of the folder's files: never what lies outside it.
void CheckAnswers(std::string_view answers) {
  while (!answers.empty()) {
    if (answers.substr(0, 9) != "HTTP/1.1 ") __builtin_trap();
    const std::size_t headerEnd = answers.find("\r\n\r\n");
    if (headerEnd == std::string_view::npos) __builtin_trap();
    const std::string head(answers.substr(0, headerEnd));
    const std::size_t length = head.find("\r\nContent-Length: ");
    if (length == std::string::npos) __builtin_trap();
    const unsigned long declared = std::strtoul(head.c_str() + length + 18, nullptr, 10);
    std::string_view rest = answers.substr(headerEnd + 4);
    const bool bodiless = rest.empty() || rest.substr(0, 9) == "HTTP/1.1 ";
    const std::size_t bodySize = bodiless ? 0 : declared;
    if (rest.size() < bodySize) __builtin_trap();
    const std::string_view body = rest.substr(0, bodySize);
    if ((head.rfind("HTTP/1.1 200 ", 0) == 0 || head.rfind("HTTP/1.1 206 ", 0) == 0) && !body.empty()) {
      bool known = false;
      for (std::string_view file : {"<p>index</p>", "b{}", "This is the index!"})
        known = known || file.find(body) != std::string_view::npos;
      if (!known) __builtin_trap();
    }
    answers = rest.substr(bodySize);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Fixture& f = Get();
  if (size == 0) return 0;
  const std::size_t piece = (data[0] % 32) + 1;
  const bool halfClose = data[0] & 0x80;
  ++data;
  --size;

  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return 0;
  auto connection = std::make_shared<native::net::tcp>(&f.loop);
  if (!connection->open(fds[0])) {
    ::close(fds[0]);
    ::close(fds[1]);
    return 0;
  }
  f.server->serve(connection, [&f](native::http::request& request, native::http::response& response) {
    f.router->Handle(request, response);
  });
  connection.reset();

  for (std::size_t sent = 0; sent < size; sent += piece) {
    const std::size_t n = std::min(piece, size - sent);
    if (::send(fds[1], data + sent, n, MSG_NOSIGNAL) != static_cast<ssize_t>(n)) break;
    uv_run(&f.loop, UV_RUN_NOWAIT);
  }
  if (halfClose) {
    ::shutdown(fds[1], SHUT_WR);
  } else {
    ::shutdown(fds[1], SHUT_RDWR);
  }
  // Every connection ends once the peer's side has ended: answered, refused or dropped.
  for (int round = 0; f.server->connection_count() != 0; ++round) {
    if (round > 10000) __builtin_trap();  // a connection that never ends
    uv_run(&f.loop, UV_RUN_NOWAIT);
  }
  uv_run(&f.loop, UV_RUN_NOWAIT);  // close callbacks

  if (halfClose) {
    std::string answer;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fds[1], buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
      answer.append(buffer, static_cast<std::size_t>(n));
    CheckAnswers(answer);
  }
  ::close(fds[1]);
  return 0;
}
