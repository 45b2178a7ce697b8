// Starting and stopping the demo school with posix_spawn and two pipes.
#include "app/main/DemoSchool.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

}  // namespace

std::string DemoOriginFromLine(const std::string& line) {
  static const std::string kPrefix = "listening on ";
  if (line.rfind(kPrefix, 0) != 0) return {};
  std::string origin = line.substr(kPrefix.size());
  while (!origin.empty() && (origin.back() == '\r' || origin.back() == '\n')) origin.pop_back();
  std::string rest;
  if (origin.rfind("http://127.0.0.1:", 0) == 0) {
    rest = origin.substr(17);
  } else if (origin.rfind("https://127.0.0.1:", 0) == 0) {
    rest = origin.substr(18);
  } else {
    return {};
  }
  if (rest.empty() || rest.size() > 5 || rest.find_first_not_of("0123456789") != std::string::npos) return {};
  int port = std::stoi(rest);
  return port > 0 && port <= 65535 ? origin : std::string();
}

std::string DemoWelcomeText(const std::string& origin) {
  return "Demo school at " + origin +
         "\n"
         "  account     password    mobile\n"
         "  lixiaoming  xm123456    13800138001  (every course)\n"
         "  wangfang    Fang&2027+  13900139002  (one exam)\n"
         "  zhaolei     zl123456    13700137003  (no course)\n"
         "  SMS code for every mobile: 123456\n";
}

bool DemoSchool::Start(const std::string& program, const std::string& dataFolder,
                       std::chrono::milliseconds timeout) {
  Stop();
  int input[2];
  int output[2];
  if (pipe2(input, O_CLOEXEC) != 0) return false;
  if (pipe2(output, O_CLOEXEC) != 0) {
    close(input[0]);
    close(input[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // dup2 onto 0 and 1 clears close-on-exec there; every other pipe end closes at exec.
  posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  std::vector<std::string> args = {program, "--port", "0", "--data", dataFolder, "--watch-stdin"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int spawned = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(input[0]);
  close(output[1]);
  m_input = input[1];
  m_output = output[0];
  if (spawned != 0) {
    m_pid = -1;
    Stop();
    return false;
  }

  // The first line, read a byte at a time so nothing after it is consumed.
  std::string line;
  const Clock::time_point deadline = Clock::now() + timeout;
  while (line.size() < 200) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{m_output, POLLIN, 0};
    int ready = poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char c = 0;
    ssize_t n = read(m_output, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    line += c;
  }
  m_origin = DemoOriginFromLine(line);
  if (m_origin.empty()) {
    Stop();
    return false;
  }
  return true;
}

bool DemoSchool::WaitForExit(std::chrono::milliseconds limit) {
  const Clock::time_point deadline = Clock::now() + limit;
  for (;;) {
    pid_t done = waitpid(m_pid, nullptr, WNOHANG);
    if (done == m_pid || (done < 0 && errno == ECHILD)) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
}

void DemoSchool::Stop(std::chrono::milliseconds grace) {
  if (m_input >= 0) {
    close(m_input);
    m_input = -1;
  }
  if (m_pid > 0) {
    if (!WaitForExit(grace)) {
      kill(m_pid, SIGTERM);
      if (!WaitForExit(grace)) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
      }
    }
    m_pid = -1;
  }
  if (m_output >= 0) {
    close(m_output);
    m_output = -1;
  }
  m_origin.clear();
}
