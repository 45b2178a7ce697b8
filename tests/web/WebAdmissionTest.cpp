// The local web server against requests meant to misuse it, over real loopback sockets: a
// page of another site reaching the port through a rebound name, links out of the served
// folder, and connections that are opened and left silent to use up the server.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "WebTestSupport.h"
#include "support/ChildProcess.h"
#include "support/Waiting.h"
#include "web/WebRouter.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kIndex = Answer(200, "text/plain", "This is the index!");
const std::string kMisdirected = Answer(421, "text/plain", "Misdirected Request");

// A content folder with a file, a link inside it, and links out of it to a secret.
class Fixture {
 public:
  Fixture() {
    m_root.Write("secret.txt", "root:x:0:0\n");
    m_root.Write("secret/inner.txt", "outside as well\n");
    m_root.Write("htmllocal/page.html", "<p>page</p>");
    const std::filesystem::path folder = this->folder();
    std::filesystem::create_symlink(m_root.path() + "/secret.txt", folder / "passwd.txt");
    std::filesystem::create_symlink(m_root.path() + "/secret", folder / "outdir");
    std::filesystem::create_symlink("page.html", folder / "same.html");
    std::filesystem::create_symlink("/nonexistent-target", folder / "dangling.txt");
    // The folder itself reached through a link, as an installation may do.
    std::filesystem::create_symlink(folder, m_root.path() + "/linked");
  }
  std::string folder() const { return m_root.path() + "/htmllocal"; }
  std::string linkedFolder() const { return m_root.path() + "/linked"; }

 private:
  TempFolder m_root;
};

native::http::route_fn RouteTo(const WebRouter& router) {
  return [&router](native::http::request& request, native::http::response& response) {
    router.Handle(request, response);
  };
}

std::string WithHost(const std::string& host) {
  return "GET / HTTP/1.1\r\n" + (host.empty() ? std::string() : "Host: " + host + "\r\n") +
         "Connection: close\r\n\r\n";
}

TEST(WebAdmission, OnlyTheLoopbackHostWithThisPortIsAnswered) {
  Fixture fixture;
  WebRouter router(fixture.folder());
  LoopServer server(RouteTo(router));
  const std::string port = std::to_string(server.port());
  const std::string otherPort = std::to_string(server.port() == 65535 ? 1 : server.port() + 1);
  struct HostCase {
    std::string host;
    std::string expected;
  };
  const std::vector<HostCase> cases = {
      {"127.0.0.1:" + port, kIndex},
      {"localhost:" + port, kIndex},
      {"LocalHost:" + port, kIndex},
      {"attacker.example:" + port, kMisdirected},
      {"attacker.example", kMisdirected},
      {"127.0.0.1", kMisdirected},
      {"localhost", kMisdirected},
      {"127.0.0.1:" + otherPort, kMisdirected},
      {"127.0.0.1:" + port + "0", kMisdirected},
      {"127.0.0.1.attacker.example:" + port, kMisdirected},
      {"localhost.attacker.example:" + port, kMisdirected},
      {"evil.localhost:" + port, kMisdirected},
      {"127.0.0.2:" + port, kMisdirected},
      {"0.0.0.0:" + port, kMisdirected},
      {"[::1]:" + port, kMisdirected},
      {"", kMisdirected},
  };
  for (const HostCase& c : cases) {
    SCOPED_TRACE("Host: \"" + c.host + "\"");
    EXPECT_EQ(Talk(server.port(), {WithHost(c.host)}), c.expected);
  }
  // A refused page does not learn whether a file exists.
  EXPECT_EQ(Talk(server.port(), {"GET /page.html HTTP/1.1\r\nHost: attacker.example:" + port +
                                 "\r\nConnection: close\r\n\r\n"}),
            kMisdirected);
  EXPECT_TRUE(server.WaitForNoConnections());
}

TEST(WebAdmission, LinksOutOfTheFolderAreNotFollowedAndNotFoundNamesOnlyThePath) {
  Fixture fixture;
  for (const std::string& folder : {fixture.folder(), fixture.linkedFolder()}) {
    SCOPED_TRACE(folder);
    WebRouter router(folder);
    LoopServer server(RouteTo(router));
    const std::string page = FileAnswer("text/html", "<p>page</p>");
    struct PathCase {
      std::string path;
      std::string expected;
    };
    const std::vector<PathCase> cases = {
        {"/page.html", page},
        {"/same.html", page},  // a link that stays inside is served
        {"/passwd.txt", Answer(404, "text/plain", "Not found. URL=/passwd.txt")},
        {"/outdir/inner.txt", Answer(404, "text/plain", "Not found. URL=/outdir/inner.txt")},
        {"/dangling.txt", Answer(404, "text/plain", "Not found. URL=/dangling.txt")},
        {"/missing.js", Answer(404, "text/plain", "Not found. URL=/missing.js")},
    };
    for (const PathCase& c : cases) {
      SCOPED_TRACE(c.path);
      const std::string answer = Talk(server.port(), {GetRequest(server.port(), c.path)});
      EXPECT_EQ(answer, c.expected);
      EXPECT_EQ(answer.find(fixture.folder()), std::string::npos) << "the install path leaks";
    }
    EXPECT_TRUE(server.WaitForNoConnections());
  }
}

TEST(WebAdmission, SilentAndSlowConnectionsAreClosedByDeadline) {
  Fixture fixture;
  WebRouter router(fixture.folder());
  native::http::connection_limits limits;
  limits.idle_timeout_ms = 300;
  limits.request_deadline_ms = 900;
  LoopServer server(RouteTo(router), limits);
  struct SlowCase {
    std::string name;
    std::vector<std::string> pieces;
  };
  // Each pause between pieces (40 ms) is well inside the idle timeout; together they pass the
  // request deadline.
  std::vector<std::string> dribble = {"GET / HTTP/1.1\r\n"};
  for (int i = 0; i < 40; ++i) dribble.push_back("X-" + std::to_string(i) + ": a\r\n");
  const std::vector<SlowCase> cases = {
      {"nothing sent", {}},
      {"part of a request line, then silence", {"GET / HT"}},
      {"headers dribbled past the deadline", dribble},
  };
  for (const SlowCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto start = Clock::now();
    const std::string answer = Talk(server.port(), c.pieces);
    EXPECT_TRUE(answer.empty() || answer == "<reset>") << answer;  // closed, never "<timeout>"
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(server.WaitForNoConnections());
  }
  // A request sent at once is still answered under the short limits.
  EXPECT_EQ(Talk(server.port(), {GetRequest(server.port(), "/")}), kIndex);
}

TEST(WebAdmission, IdleConnectionsBeyondTheCapMakeRoomForANewRequest) {
  Fixture fixture;
  WebRouter router(fixture.folder());
  native::http::connection_limits limits;
  limits.max_connections = 8;
  LoopServer server(RouteTo(router), limits);
  std::vector<int> idle;
  for (int i = 0; i < 30; ++i) {
    int fd = ConnectLoopback(server.port());
    ASSERT_GE(fd, 0);
    idle.push_back(fd);
  }
  EXPECT_TRUE(WaitUntil([&] { return server.OpenConnections() == limits.max_connections; }));
  EXPECT_EQ(Talk(server.port(), {GetRequest(server.port(), "/")}), kIndex);
  EXPECT_LE(server.OpenConnections(), limits.max_connections);
  // The oldest idle connection was closed by the server to make room.
  char byte = 0;
  EXPECT_EQ(::recv(idle.front(), &byte, 1, 0), 0);
  for (int fd : idle) ::close(fd);
  EXPECT_TRUE(server.WaitForNoConnections());
}

// The development server (the program's web router) in a process of its own, under the open
// files limit of a usual desktop session.
class LimitedServer {
 public:
  LimitedServer(const std::string& folder, int openFiles) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
      ::dup2(out[1], 100);
      TieChildToTestProcess(parent);
      ::dup2(100, STDOUT_FILENO);
      ::close(100);
      const std::string limit = "--nofile=" + std::to_string(openFiles);
      ::execlp("prlimit", "prlimit", limit.c_str(), TAVO_WEB_SERVE, "--folder", folder.c_str(),
               static_cast<char*>(nullptr));
      _exit(127);
    }
    ::close(out[1]);
    const std::string line = ReadFirstLine(out[0], std::chrono::seconds(10));
    if (line.rfind("listening ", 0) == 0) m_port = std::stoi(line.substr(10));
  }
  // The server keeps no state worth a clean end.
  ~LimitedServer() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
  }
  LimitedServer(const LimitedServer&) = delete;
  LimitedServer& operator=(const LimitedServer&) = delete;
  int port() const { return m_port; }

 private:
  pid_t m_pid = -1;
  int m_port = 0;
};

TEST(WebAdmission, AFloodOfIdleSocketsUnderTheDesktopFileLimitLeavesRoomForARequest) {
  constexpr int kFlood = 1100;
  rlimit own{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &own), 0);
  if (own.rlim_max < kFlood + 100) GTEST_SKIP() << "the test itself needs more open files";
  const rlimit before = own;
  own.rlim_cur = own.rlim_max;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &own), 0);

  Fixture fixture;
  LimitedServer server(fixture.folder(), 1024);
  ASSERT_GT(server.port(), 0);
  std::vector<int> idle;
  for (int i = 0; i < kFlood; ++i) {
    int fd = ConnectLoopback(server.port());
    if (fd >= 0) idle.push_back(fd);
  }
  EXPECT_GT(idle.size(), 1024u) << "the flood must pass the server's limit";
  const auto start = Clock::now();
  EXPECT_EQ(Talk(server.port(), {GetRequest(server.port(), "/page.html")}),
            FileAnswer("text/html", "<p>page</p>"));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  for (int fd : idle) ::close(fd);
  ::setrlimit(RLIMIT_NOFILE, &before);
}

}  // namespace
