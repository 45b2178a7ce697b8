// The one-instance channel: a second process asking a serving one, stale and foreign
// socket files, and hostile clients that must not disturb the server.
#include "platform/InstanceChannel.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class InstanceChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavo-channel-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_root = pattern;
    m_path = (m_root / "instance.sock").string();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }

  // Runs the main loop (where the channel serves) until `done` or a guard time-out.
  template <class Done>
  bool PumpUntil(Done done, std::chrono::milliseconds limit = 10s) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      g_main_context_iteration(nullptr, FALSE);
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }

  // Asks from a forked process, as a second start does; returns its answer.
  InstanceAnswer AskFromOtherProcess() {
    pid_t child = fork();
    if (child == 0) _exit(static_cast<int>(AskRunningInstance(m_path, 3000ms)));
    int status = -1;
    bool ended = PumpUntil([&] { return waitpid(child, &status, WNOHANG) == child; });
    if (!ended) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      ADD_FAILURE() << "asking process did not end";
    }
    return WIFEXITED(status) ? static_cast<InstanceAnswer>(WEXITSTATUS(status)) : InstanceAnswer::NoInstance;
  }

  // Sends raw bytes as a client and reads what comes back until the server closes.
  std::string RawExchange(const std::string& bytes, bool closeAfterSend) {
    auto result = std::async(std::launch::async, [&] {
      int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::strcpy(address.sun_path, m_path.c_str());
      if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return std::string("<no connection>");
      }
      timeval limit{5, 0};
      setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (closeAfterSend) shutdown(fd, SHUT_WR);
      std::string answer;
      char buffer[256];
      ssize_t n;
      while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, static_cast<size_t>(n));
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) answer += "<timed out>";
      close(fd);
      return answer;
    });
    EXPECT_TRUE(PumpUntil([&] { return result.wait_for(0s) == std::future_status::ready; }));
    return result.get();
  }

  fs::path m_root;
  std::string m_path;
};

TEST_F(InstanceChannelTest, AnotherProcessGetsTheRunningProgramsAnswer) {
  struct Case {
    const char* name;
    bool hasMainWindow;
    InstanceAnswer expected;
  };
  for (const Case& c : {Case{"main window open", true, InstanceAnswer::Activated},
                        Case{"still at the login frame", false, InstanceAnswer::NotActivated}}) {
    SCOPED_TRACE(c.name);
    int calls = 0;
    auto channel = InstanceChannel::Listen(m_path, [&] {
      ++calls;
      return c.hasMainWindow;
    });
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(AskFromOtherProcess(), c.expected);
    EXPECT_EQ(calls, 1);
    channel.reset();
    EXPECT_FALSE(fs::exists(m_path)) << "socket file left behind";
    EXPECT_EQ(AskRunningInstance(m_path, 500ms), InstanceAnswer::NoInstance);
  }
}

TEST_F(InstanceChannelTest, StaleSocketFileNeitherAnswersNorBlocksTheNextStart) {
  // A program that died left its bound socket file behind.
  int dead = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, m_path.c_str());
  ASSERT_EQ(bind(dead, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(dead);
  ASSERT_TRUE(fs::exists(m_path));

  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(AskRunningInstance(m_path, 2000ms), InstanceAnswer::NoInstance);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms) << "a refused connection must not wait";

  auto channel = InstanceChannel::Listen(m_path, [] { return true; });
  ASSERT_NE(channel, nullptr) << "the stale file must be replaced";
  EXPECT_EQ(AskFromOtherProcess(), InstanceAnswer::Activated);

  // A plain file in the socket's place (no program can listen there) is replaced too.
  channel.reset();
  { std::ofstream(m_path) << "junk"; }
  EXPECT_EQ(AskRunningInstance(m_path, 500ms), InstanceAnswer::NoInstance);
  EXPECT_NE(InstanceChannel::Listen(m_path, [] { return true; }), nullptr);
}

TEST_F(InstanceChannelTest, LiveChannelIsNeverTakenOver) {
  auto first = InstanceChannel::Listen(m_path, [] { return true; });
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(InstanceChannel::Listen(m_path, [] { return false; }), nullptr);
  EXPECT_EQ(AskFromOtherProcess(), InstanceAnswer::Activated);
}

TEST_F(InstanceChannelTest, UnusablePathsMeanNoInstance) {
  std::string tooLong = (m_root / std::string(200, 'x')).string();
  EXPECT_EQ(InstanceChannel::Listen(tooLong, [] { return true; }), nullptr);
  EXPECT_EQ(AskRunningInstance(tooLong, 200ms), InstanceAnswer::NoInstance);
  EXPECT_EQ(AskRunningInstance("", 200ms), InstanceAnswer::NoInstance);
  // A folder where the socket should be is not removed.
  fs::create_directory(m_path);
  EXPECT_EQ(InstanceChannel::Listen(m_path, [] { return true; }), nullptr);
  EXPECT_TRUE(fs::is_directory(m_path));
}

TEST_F(InstanceChannelTest, HostileClientsAreDroppedAndTheServerStillAnswers) {
  int calls = 0;
  auto channel = InstanceChannel::Listen(m_path, [&] {
    ++calls;
    return true;
  });
  ASSERT_NE(channel, nullptr);

  struct Case {
    const char* name;
    std::string bytes;
    bool closeAfterSend;
  };
  const std::vector<Case> cases = {
      {"unknown request", "hello\n", false},
      {"request with trailing junk", "tavo-activate-main please\n", false},
      {"nul bytes", std::string("\0\0\0\n", 4), false},
      {"overlong line without end", std::string(10000, 'A'), false},
      {"request cut off before its end", "tavo-activate-", true},
      {"binary noise", "\xff\xfe\x01\x80\n", false},
      {"silent client", "", false},  // dropped by the idle limit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RawExchange(c.bytes, c.closeAfterSend), "");
  }
  EXPECT_EQ(calls, 0);

  // A crowd of idle connections beyond the limit, then a real request.
  std::vector<int> crowd;
  for (int i = 0; i < 40; ++i) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, m_path.c_str());
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    crowd.push_back(fd);
    g_main_context_iteration(nullptr, FALSE);
  }
  for (int fd : crowd) close(fd);
  auto settle = std::chrono::steady_clock::now() + 300ms;
  PumpUntil([&] { return std::chrono::steady_clock::now() > settle; });
  EXPECT_EQ(RawExchange("tavo-activate-main\n", false), "activated\n");
  EXPECT_EQ(AskFromOtherProcess(), InstanceAnswer::Activated);
  EXPECT_EQ(calls, 2);
}

}  // namespace

namespace {

// A request to open a target reaches the open handler with exactly that target; a target
// that is not one (spaces, control bytes, too long) is never handed over.
TEST_F(InstanceChannelTest, AnOpenRequestCarriesOnlyAWellFormedTarget) {
  std::vector<std::string> opened;
  int activations = 0;
  auto channel = InstanceChannel::Listen(
      m_path,
      [&] {
        ++activations;
        return true;
      },
      [&](const std::string& target) {
        opened.push_back(target);
        return true;
      });
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(RawExchange("tavo-open page/c1/d1/2/\n", false), "activated\n");
  EXPECT_EQ(RawExchange("tavo-activate-main\n", false), "activated\n");
  for (const std::string& hostile :
       {std::string("tavo-open \n"), std::string("tavo-open a b\n"), std::string("tavo-open a\x01\n"),
        "tavo-open " + std::string(kMaxOpenTarget + 1, 'x') + "\n", std::string("tavo-openx\n")}) {
    EXPECT_EQ(RawExchange(hostile, false), "") << hostile;
  }
  EXPECT_EQ(opened, std::vector<std::string>{"page/c1/d1/2/"});
  EXPECT_EQ(activations, 1);
  // The asking side refuses to send what the server would drop.
  EXPECT_EQ(AskRunningInstanceToOpen(m_path, "a b", 500ms), InstanceAnswer::NoInstance);
}

}  // namespace
