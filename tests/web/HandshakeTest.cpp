// The start-up handshake with the listen thread: a port that cannot be taken is not
// reported, and a second program start gives up after the wait with exit code 0.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "WebTestSupport.h"
#include "web/WebRouterListenThread.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Listens on a free loopback port for the life of the object.
class HeldPort {
 public:
  HeldPort() {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(m_fd, 4) == 0 &&
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      m_port = ntohs(address.sin_port);
    }
  }
  ~HeldPort() { ::close(m_fd); }
  int port() const { return m_port; }

 private:
  int m_fd = -1;
  int m_port = 0;
};

TEST(ListenThread, PortTakenIsReportedWithoutTheEvent) {
  HeldPort held;
  ASSERT_NE(held.port(), 0);
  uv_loop_t loop;
  uv_loop_init(&loop);
  ListenEvent listening;
  TempFolder content;
  EXPECT_FALSE(RunWebRouter(&loop, held.port(), content.path(), listening));
  EXPECT_FALSE(listening.WaitFor(std::chrono::milliseconds(0)));
  uv_run(&loop, UV_RUN_DEFAULT);
  EXPECT_EQ(uv_loop_close(&loop), 0);
}

TEST(StartupHandshake, SecondStartGivesUpAfterTheWaitWithExitCodeZero) {
  const char* binaryDir = std::getenv("TAVO_TEST_BINARY_DIR");
  ASSERT_NE(binaryDir, nullptr) << "TAVO_TEST_BINARY_DIR is set by ctest";
  const std::string program = std::string(binaryDir) + "/bin/tavo";
  ASSERT_TRUE(std::filesystem::exists(program)) << program;

  HeldPort held;  // stands for the first instance, still at its login window
  ASSERT_NE(held.port(), 0);
  TempFolder home;
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    if (entry.rfind("TAVO_WEB_PORT=", 0) == 0 || entry.rfind("XDG_", 0) == 0 || entry.rfind("HOME=", 0) == 0)
      continue;
    env.push_back(entry);
  }
  env.push_back("TAVO_WEB_PORT=" + std::to_string(held.port()));
  env.push_back("HOME=" + home.path());
  for (const char* name : {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
    env.push_back(std::string(name) + "=" + home.path() + "/" + name);
  }
  std::vector<char*> envp;
  for (auto& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string arg0 = program;
  char* argv[] = {arg0.data(), nullptr};

  const auto started = Clock::now();
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()), 0);
  int status = 0;
  bool exited = false;
  while (Clock::now() - started < std::chrono::seconds(20)) {  // guard: a start that hangs fails the test
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      exited = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  if (!exited) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    FAIL() << "the second start did not end within 20 s";
  }
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_GE(seconds, 4.9) << "it must wait for the listen thread";
  EXPECT_LT(seconds, 8.0);
  // It went no further than the handshake: the browser log is opened only after it.
  const auto logFolder = std::filesystem::path(home.path()) / "XDG_STATE_HOME/tavo/log";
  if (std::filesystem::exists(logFolder)) {
    for (const auto& entry : std::filesystem::directory_iterator(logFolder)) {
      EXPECT_EQ(entry.path().filename().string().rfind("browserlog", 0), std::string::npos) << entry.path();
    }
  }
}

}  // namespace
