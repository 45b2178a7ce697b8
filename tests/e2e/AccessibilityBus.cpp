// The private session bus: a dbus-daemon of the test's own, and the probe run against it.
#include "AccessibilityBus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "support/ChildProcess.h"

namespace e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kLauncher = "/usr/libexec/at-spi-bus-launcher";

}  // namespace

std::string AccessibilityBus::Missing() {
  if (std::system("command -v dbus-daemon >/dev/null 2>&1") != 0)
    return "dbus-daemon missing (package dbus-daemon)";
  if (access(kLauncher, X_OK) != 0) return "at-spi-bus-launcher missing (package at-spi2-core)";
#ifdef TAVO_ATSPI_PROBE
  return {};
#else
  return "built without the AT-SPI client library (package libatspi2.0-dev)";
#endif
}

AccessibilityBus::~AccessibilityBus() {
  // The launcher and the accessibility bus leave once their session bus is gone.
  EndChildProcess(m_daemon);
}

bool AccessibilityBus::Start(const fs::path& folder) {
  m_folder = folder;
  fs::create_directories(folder);
  int fds[2];
  if (pipe(fds) != 0) return false;
  const pid_t parent = getpid();
  const std::string listen = "--address=unix:path=" + (folder / "bus").string();
  m_daemon = fork();
  if (m_daemon == 0) {
    close(fds[0]);
    TieChildToTestProcess(parent);
    const std::string print = "--print-address=" + std::to_string(fds[1]);
    execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile", listen.c_str(),
           print.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  // The daemon prints its address once it listens.
  const std::string address = ReadFirstLine(fds[0], 20s);
  if (address.empty()) {
    m_error = "the session bus did not start";
    return false;
  }
  m_address = address;
  setenv("DBUS_SESSION_BUS_ADDRESS", m_address.c_str(), 1);
  unsetenv("AT_SPI_BUS_ADDRESS");
  return true;
}

int AccessibilityBus::Probe(pid_t pid, const std::vector<std::string>& args, std::string& out) {
#ifdef TAVO_ATSPI_PROBE
  const fs::path outFile = m_folder / "probe.out";
  std::vector<std::string> all{TAVO_ATSPI_PROBE, std::to_string(pid)};
  all.insert(all.end(), args.begin(), args.end());
  pid_t child = fork();
  if (child == 0) {
    int fd = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDOUT_FILENO);
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  bool ended = false;
  const auto deadline = Clock::now() + 60s;
  while (Clock::now() < deadline && !(ended = waitpid(child, &status, WNOHANG) == child))
    std::this_thread::sleep_for(10ms);
  if (!ended) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  std::ifstream in(outFile);
  out.assign(std::istreambuf_iterator<char>(in), {});
  return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#else
  (void)pid;
  (void)args;
  out.clear();
  return 2;
#endif
}

std::vector<AtspiRow> AccessibilityBus::Dump(pid_t pid) {
  std::string out;
  if (Probe(pid, {"dump"}, out) != 0) return {};
  return ParseAtspiDump(out);
}

}  // namespace e2e
