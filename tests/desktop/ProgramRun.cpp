// Starting, waiting for and ending the real program, and the leftover-process scan.
#include "ProgramRun.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "support/PrivateDisplay.h"

extern char** environ;

// Every test of this executable gets a private X server of its own.
const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new PrivateDisplay("1366x768x24"));

namespace desktop_test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

ScratchFolder::ScratchFolder() {
  char pattern[] = "/tmp/tavo-desktop-XXXXXX";
  if (mkdtemp(pattern) != nullptr) m_path = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  if (!m_path.empty()) fs::remove_all(m_path, ignored);
}

fs::path BuildFolder() {
  const char* binaryDir = getenv("TAVO_TEST_BINARY_DIR");
  return binaryDir ? fs::path(binaryDir) : fs::path();
}

std::string Shell(const std::string& command, int* status) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("timeout 120 " + command).c_str(), "r"), pclose);
  std::string out;
  if (!pipe) return out;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe.get()) != nullptr) out += buffer;
  int code = pclose(pipe.release());
  if (status) *status = WIFEXITED(code) ? WEXITSTATUS(code) : -1;
  return out;
}

ProgramRun::ProgramRun(const fs::path& root, std::map<std::string, std::string> env)
    : m_root(root), m_env(std::move(env)) {
  for (const char* folder : {"state", "data", "config", "cache", "home"})
    fs::create_directories(root / folder);
  fs::create_directories(root / "run");
  fs::permissions(root / "run", fs::perms::owner_all, fs::perm_options::replace);
  m_env.emplace("XDG_STATE_HOME", (root / "state").string());
  m_env.emplace("XDG_DATA_HOME", (root / "data").string());
  m_env.emplace("XDG_CONFIG_HOME", (root / "config").string());
  m_env.emplace("XDG_CACHE_HOME", (root / "cache").string());
  m_env.emplace("XDG_RUNTIME_DIR", (root / "run").string());
  m_env.emplace("HOME", (root / "home").string());
}

ProgramRun::~ProgramRun() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
}

bool ProgramRun::Start(const std::vector<std::string>& argv) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    if (m_env.count(name) == 0 && name.rfind("TAVO_", 0) != 0) env.push_back(entry);
  }
  for (const auto& [name, value] : m_env) {
    if (!value.empty()) env.push_back(name + "=" + value);
  }
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  for (std::string& a : args) argp.push_back(a.data());
  argp.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  fs::path output = m_root / "program.out";
  m_pid = fork();
  if (m_pid == 0) {
    int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    int null = open("/dev/null", O_RDONLY);
    dup2(null, STDIN_FILENO);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  return m_pid > 0;
}

std::string ProgramRun::WaitForWindow(const std::string& className, std::chrono::milliseconds limit) {
  auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
      m_pid = -1;
      return {};
    }
    std::string found = Shell("xdotool search --onlyvisible --classname '^" + className + "$' 2>/dev/null");
    if (!found.empty()) return found.substr(0, found.find('\n'));
    std::this_thread::sleep_for(100ms);
  }
  return {};
}

int ProgramRun::Stop(std::chrono::milliseconds limit) {
  if (m_pid <= 0) return -1;
  kill(m_pid, SIGTERM);
  auto deadline = Clock::now() + limit;
  int status = 0;
  while (Clock::now() < deadline) {
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(20ms);
  }
  return -1;
}

std::string ProgramRun::Output() const {
  std::ifstream in(m_root / "program.out", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> ProcessesOnDisplay(const std::string& display) {
  const std::string wanted = "DISPLAY=" + display;
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos || std::stoi(name) == getpid()) continue;
    std::ifstream in(entry.path() / "environ", std::ios::binary);
    std::string environ_text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    bool match = false;
    for (size_t at = 0; at < environ_text.size();) {
      size_t end = environ_text.find('\0', at);
      if (end == std::string::npos) end = environ_text.size();
      if (environ_text.compare(at, end - at, wanted) == 0) match = true;
      at = end + 1;
    }
    if (!match) continue;
    std::ifstream cmd(entry.path() / "cmdline", std::ios::binary);
    std::string line{std::istreambuf_iterator<char>(cmd), std::istreambuf_iterator<char>()};
    for (char& c : line) {
      if (c == '\0') c = ' ';
    }
    // Zombies and processes that ended meanwhile have no command line left.
    if (!line.empty()) found.push_back(name + ": " + line);
  }
  return found;
}

}  // namespace desktop_test
