// The start-up handshake with the listen thread: a port that cannot be taken is reported
// as failed, and a program start on a taken port ends with an error naming the port.
#include <arpa/inet.h>
#include <fcntl.h>
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
#include <fstream>
#include <iterator>
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

// The text of a UTF-16LE day log, narrowed (its lines here are ASCII).
std::string ReadDayLog(const std::filesystem::path& folder) {
  std::string text;
  if (!std::filesystem::exists(folder)) return text;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().rfind("browserlog", 0) != 0) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (size_t at = 0; at + 1 < bytes.size(); at += 2) text += bytes[at + 1] == 0 ? bytes[at] : '?';
  }
  return text;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(StartupHandshake, AStartOnATakenPortEndsWithAnErrorNamingThePort) {
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

  const std::string errorsPath = home.path() + "/stderr.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  const auto started = Clock::now();
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
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
    FAIL() << "the start on a taken port did not end within 20 s";
  }
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_NE(WEXITSTATUS(status), 0);
  EXPECT_LT(seconds, 4.5) << "a refused port ends the start without waiting out the handshake";
  const std::string port = "port " + std::to_string(held.port());
  EXPECT_NE(ReadText(errorsPath).find(port), std::string::npos) << ReadText(errorsPath);
  const std::string log = ReadDayLog(std::filesystem::path(home.path()) / "XDG_STATE_HOME/tavo/log");
  EXPECT_NE(log.find(port), std::string::npos) << log;
}

}  // namespace
